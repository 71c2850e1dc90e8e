#!/usr/bin/env bash
# Splits the same file with czelbo32 (a scratch copy: -nd -nf) and with its
# peers in one alternating run, and prints the median wall time of each and
# the ratios:
#   czelbo32 -smN > /dev/null     the program, its marks to /dev/null
#   split -b N                    coreutils, the same part size
#   cp                            one copy of the whole file
#   cat > /dev/null               reading alone
#   czelbo32 on a pty             under `script`, as a user watches it
#   script true                   what `script` and its pty cost by themselves
# and the peak memory of each (for the pty run: of `script`).
#
#   bench/console_vs_split.sh [size-in-MiB (1024)] [rounds (7)] [part-size-in-MiB (100)]
#
# Builds the default preset first. Outputs land in build/bench (one file
# system for all); the source stays in the page cache. Each timed run
# follows an untimed one of the same command: on virtual machines whose
# host backs guest memory lazily, the first touch of freed pages costs more
# than the copy, and would land on whichever tool ran first.
set -euo pipefail
cd "$(dirname "$0")/.."

size_mib=${1:-1024}
rounds=${2:-7}
part_mib=${3:-100}

source bench/rounds.sh
build_program
source_file=$work/source.bin
if [ "$(stat -c %s "$source_file" 2>/dev/null || echo 0)" -ne $((size_mib * 1048576)) ]; then
  echo "Making a ${size_mib} MiB source of random bytes..."
  head -c $((size_mib * 1048576)) /dev/urandom > "$source_file"
fi
cat "$source_file" > /dev/null   # into the page cache

clean() { rm -f "$work"/source.[0-9]* "$work"/unsplit.* "$work"/split-part-* "$work"/copy.bin; sync; }

tools=(czelbo32 split cp cat pty pty-empty)
timed=()  # set to /usr/bin/time for the timed runs
run() {
  case $1 in
    czelbo32) "${timed[@]}" "$program" "$source_file" "-sm$part_mib" -nd -nf ;;
    split) "${timed[@]}" split -b "${part_mib}M" "$source_file" "$work/split-part-" ;;
    cp) "${timed[@]}" cp "$source_file" "$work/copy.bin" ;;
    cat) "${timed[@]}" cat "$source_file" ;;
    pty) "${timed[@]}" script -qfec "'$program' '$source_file' -sm$part_mib -nd -nf" /dev/null ;;
    pty-empty) "${timed[@]}" script -qfec true /dev/null ;;
  esac
}

# Times one tool; appends "seconds peak-rss-kib" to build/bench/<tool>.times.
measure() {
  clean
  run "$1" > /dev/null
  clean
  timed=(/usr/bin/time -f "%M" -o "$work/rss")
  local start=$EPOCHREALTIME
  run "$1" > /dev/null
  local end=$EPOCHREALTIME
  timed=()
  awk -v s="$start" -v e="$end" -v m="$(cat "$work/rss")" 'BEGIN {printf "%.4f %d\n", e - s, m}' >> "$work/$1.times"
}

for tool in "${tools[@]}"; do : > "$work/$tool.times"; done
for ((round = 1; round <= rounds; round++)); do
  # A different tool goes first in each round.
  line="round $round:"
  for ((i = 0; i < ${#tools[@]}; i++)); do
    tool=${tools[(i + round) % ${#tools[@]}]}
    measure "$tool"
  done
  for tool in "${tools[@]}"; do line+=" $tool $(tail -1 "$work/$tool.times" | cut -d' ' -f1)"; done
  echo "$line"
done
clean

median() { cut -d' ' -f1 "$work/$1.times" | median_of; }
spread() { cut -d' ' -f1 "$work/$1.times" | spread_of; }
peak() { cut -d' ' -f2 "$work/$1.times" | sort -g | tail -1; }
best() { cut -d' ' -f1 "$work/$1.times" | best_of; }
# Of the medians, and in brackets of the fastest runs.
ratio() {
  awk -v a="$(median "$1")" -v b="$(median "$2")" -v c="$(best "$1")" -v d="$(best "$2")" \
    'BEGIN {printf "%.3f (best %.3f)", a / b, c / d}'
}

echo
echo "source: ${size_mib} MiB, parts of ${part_mib} MiB, ${rounds} rounds (medians; range)"
for tool in "${tools[@]}"; do
  printf '%-9s %.3f s  (%s)  peak RSS %d KiB\n' "$tool" "$(median "$tool")" "$(spread "$tool")" "$(peak "$tool")"
done
echo "ratio czelbo32/split: $(ratio czelbo32 split)"
echo "ratio czelbo32/cp:    $(ratio czelbo32 cp)"
echo "ratio pty/null:       $(ratio pty czelbo32)"
awk -v p="$(median pty)" -v e="$(median pty-empty)" -v z="$(median czelbo32)" \
  -v pb="$(best pty)" -v eb="$(best pty-empty)" -v zb="$(best czelbo32)" \
  'BEGIN {printf "ratio pty/null without script'"'"'s own cost: %.3f (best %.3f)\n", (p - e) / z, (pb - eb) / zb}'
