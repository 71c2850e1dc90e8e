#!/usr/bin/env bash
# Splits the same file with czelbo32 and with coreutils `split -b` (same part
# size), alternating, for several rounds, and prints the median wall time of
# each, their ratio, and the peak memory of each.
#
#   bench/console_vs_split.sh [size-in-MiB (1024)] [rounds (7)] [part-size-in-MiB (100)]
#
# Builds the default preset first. Outputs land in build/bench (same file
# system for both tools); the source stays in the page cache for both.
set -euo pipefail
cd "$(dirname "$0")/.."

size_mib=${1:-1024}
rounds=${2:-7}
part_mib=${3:-100}

cmake --preset default >/dev/null
cmake --build --preset default --target czelbo32 >/dev/null
program=$PWD/build/bin/czelbo32

work=$PWD/build/bench
mkdir -p "$work"
source_file=$work/source.bin
if [ "$(stat -c %s "$source_file" 2>/dev/null || echo 0)" -ne $((size_mib * 1048576)) ]; then
  echo "Making a ${size_mib} MiB source of random bytes..."
  head -c $((size_mib * 1048576)) /dev/urandom > "$source_file"
fi
cat "$source_file" > /dev/null   # into the page cache

clean() { rm -f "$work"/source.[0-9]* "$work"/unsplit.* "$work"/split-part-*; sync; }

# Runs one command; appends "seconds max-rss-kib" to the file $1. An
# untimed run comes first: on virtual machines whose host backs guest memory
# lazily, the first touch of freed pages costs far more than the copy, and
# that cost would land on whichever tool happens to run first.
measure() {
  local out=$1; shift
  clean
  "$@" > /dev/null
  clean
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f "%M" -o "$work/rss" "$@" > /dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" -v m="$(cat "$work/rss")" 'BEGIN {printf "%.4f %d\n", e - s, m}' >> "$out"
}

: > "$work/zelbo.times"
: > "$work/split.times"
for ((round = 1; round <= rounds; round++)); do
  if ((round % 2)); then
    measure "$work/zelbo.times" "$program" "$source_file" "-sm$part_mib"
    measure "$work/split.times" split -b "${part_mib}M" "$source_file" "$work/split-part-"
  else
    measure "$work/split.times" split -b "${part_mib}M" "$source_file" "$work/split-part-"
    measure "$work/zelbo.times" "$program" "$source_file" "-sm$part_mib"
  fi
  printf 'round %d: czelbo32 %.3f s, split %.3f s\n' "$round" \
    "$(tail -1 "$work/zelbo.times" | cut -d' ' -f1)" "$(tail -1 "$work/split.times" | cut -d' ' -f1)"
done
clean

median() { cut -d' ' -f"$2" "$1" | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
peak() { cut -d' ' -f2 "$1" | sort -g | tail -1; }

zelbo=$(median "$work/zelbo.times" 1)
split=$(median "$work/split.times" 1)
echo
echo "source: ${size_mib} MiB, parts of ${part_mib} MiB, ${rounds} rounds"
printf 'czelbo32  median %.3f s   peak RSS %d KiB\n' "$zelbo" "$(peak "$work/zelbo.times")"
printf 'split -b  median %.3f s   peak RSS %d KiB\n' "$split" "$(peak "$work/split.times")"
awk -v z="$zelbo" -v s="$split" 'BEGIN {printf "ratio czelbo32/split: %.3f\n", z / s}'
