# Summaries of timings, one number a line on standard input; sourced by the
# benchmark scripts.
median_of() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# The fastest: on a virtual machine most noise only ever adds time.
best_of() { sort -g | head -1; }
# "lowest-highest", with DIGITS (3) decimals.
spread_of() { sort -g | awk -v d="${1:-3}" 'NR == 1 {lo = $1} {hi = $1} END {printf "%.*f-%.*f", d, lo, d, hi}'; }
