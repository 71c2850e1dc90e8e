#!/usr/bin/env bash
# Joins 1 GiB of parts with its unsplit.sh under dash, and with the peer
# workflow that gives the same guarantee, in one alternating run, for a set
# of 100 parts and one of 749 floppy-sized parts:
#   digests  the script, which checks every part's SHA-256 before it joins,
#            against `openssl dgst -sha256` of the parts, then `cat` of them
#   sizes    the script where no SHA-256 tool is found (a PATH without one),
#            which checks sizes only, against `cat` of the parts, then `rm`
# and prints the median wall time and CPU seconds of each and the ratios.
#
#   bench/join.sh [size-in-MiB (1024)] [rounds (5)]
#
# The parts and their scripts (with each part's digest) are made here by
# build/bin/zelbo_join_scripts, which calls the script writers as czelbo32
# does. Every run gets a fresh copy of the set, made untimed and synced;
# the script and the peer take turns at going first.
set -euo pipefail
cd "$(dirname "$0")/.."

size_mib=${1:-1024}
rounds=${2:-5}

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target zelbo_join_scripts >/dev/null
make_scripts=$PWD/build/bin/zelbo_join_scripts

work=$PWD/build/bench-join
mkdir -p "$work"
source_file=$work/source.bin
if [ "$(stat -c %s "$source_file" 2>/dev/null || echo 0)" -ne $((size_mib * 1048576)) ]; then
  echo "Making a ${size_mib} MiB source of random bytes..."
  head -c $((size_mib * 1048576)) /dev/urandom > "$source_file"
  rm -rf "$work"/set-*
fi

# The commands a script needs besides a SHA-256 tool.
bare=$work/bare-path
mkdir -p "$bare"
for tool in ls cat rm mv dd chmod mkdir rmdir df getconf; do ln -sf "$(command -v "$tool")" "$bare/$tool"; done

# set-N: the source in N parts (or as near as whole bytes allow) and their scripts.
declare -A part_bytes=([100]=$(((size_mib * 1048576 + 99) / 100)) [749]=1433600)
for parts in 100 749; do
  set_dir=$work/set-$parts
  [ -f "$set_dir/unsplit.sh" ] && continue
  mkdir -p "$set_dir"
  split -b "${part_bytes[$parts]}" -a 3 --numeric-suffixes=1 "$source_file" "$set_dir/big."
  "$make_scripts" "$set_dir" big big.iso
done

run=$work/run
fresh() { rm -rf "$run"; cp -r "$work/set-$1" "$run"; sync; }
# Times one join; appends "seconds cpu-seconds" to build/bench-join/<name>.times.
measure() {
  local name=$1 parts=$2 mode=$3 joiner=$4
  fresh "$parts"
  case $joiner:$mode in
    script:digests) command=(dash unsplit.sh) ;;
    script:sizes) command=(env PATH="$bare" "$(command -v dash)" unsplit.sh) ;;
    peer:digests) command=(dash -c 'openssl dgst -sha256 big.[0-9]* > /dev/null && cat big.[0-9]* > big.iso') ;;
    peer:sizes) command=(dash -c 'cat big.[0-9]* > big.iso && rm big.[0-9]*') ;;
  esac
  (cd "$run" && /usr/bin/time -f "%e %U %S" -o "$work/time" "${command[@]}" > /dev/null)
  cmp -s "$run/big.iso" "$source_file" || { echo "$name: the joined file differs" >&2; exit 1; }
  awk '{printf "%.3f %.3f\n", $1, $2 + $3}' "$work/time" >> "$work/$name.times"
}

cases=()
for parts in 100 749; do
  for mode in digests sizes; do cases+=("$parts-$mode"); done
done
for case_name in "${cases[@]}"; do : > "$work/$case_name-script.times"; : > "$work/$case_name-peer.times"; done
for ((round = 1; round <= rounds; round++)); do
  line="round $round:"
  for case_name in "${cases[@]}"; do
    parts=${case_name%-*} mode=${case_name#*-}
    order=(script peer)
    [ $((round % 2)) = 0 ] && order=(peer script)
    for joiner in "${order[@]}"; do measure "$case_name-$joiner" "$parts" "$mode" "$joiner"; done
    line+=" $case_name $(tail -1 "$work/$case_name-script.times" | cut -d' ' -f1)/$(tail -1 "$work/$case_name-peer.times" | cut -d' ' -f1)"
  done
  echo "$line"
done
rm -rf "$run"

source bench/stats.sh
column() { cut -d' ' -f"$2" "$work/$1.times"; }
echo
echo "${size_mib} MiB, ${rounds} rounds under dash (medians; wall s, CPU s; ratio script/peer, in brackets of the fastest runs)"
declare -A goal=([100]=2 [749]=3)
for case_name in "${cases[@]}"; do
  script=$case_name-script peer=$case_name-peer
  awk -v n="$case_name" -v g="${goal[${case_name%-*}]}" \
    -v sw="$(column "$script" 1 | median_of)" -v sc="$(column "$script" 2 | median_of)" \
    -v pw="$(column "$peer" 1 | median_of)" -v pc="$(column "$peer" 2 | median_of)" \
    -v sb="$(column "$script" 1 | best_of)" -v pb="$(column "$peer" 1 | best_of)" \
    'BEGIN {printf "%-12s script %6.3f s %6.3f cpu  peer %6.3f s %6.3f cpu  ratio %.2f (best %.2f, cpu %.2f; goal <= %d)\n",
            n, sw, sc, pw, pc, sw / pw, sb / pb, sc / pc, g}'
done
uptime
