#!/usr/bin/env bash
# Splits one 1 GiB file with the windowed program (driven offscreen) and
# with the console program, alternately, and prints the median wall-clock
# time of each and their ratio, for two part sizes: 700 MiB parts ("CD
# 700M", -sc), and 1400 KiB parts ("Floppy", -sf: 749 parts, where what the
# window draws for each part would show). Parts land beside the source and
# are removed between runs. The windowed time is the run itself, from the
# click on Start to the finished message (the driver measures it); the
# console time is the whole process. Besides the ratio of the medians it
# prints the ratio of the fastest runs ("best") and the median of each
# round's ratio (the two runs of a round are close in time, and so share
# much of the machine's mood).
#
# Each timed run follows an untimed one of the same program: on virtual
# machines whose host backs guest memory lazily, the first touch of freed
# pages costs more than the copy, and would land on whichever program
# happened to run first.
#   bench/gui_vs_console.sh [RUNS]      (default 9)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-9}

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target czelbo32 zelbo32_bench >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/zelbo-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
head -c $((1 << 30)) /dev/urandom > "$work/source.bin"

now() { date +%s.%N; }
clean() { rm -f "$work"/source.[0-9]* "$work"/SOURCE.* "$work"/source.bat "$work"/source.sh "$work"/unsplit.*; }
source bench/stats.sh
median() { printf '%s\n' "$@" | median_of; }
best() { printf '%s\n' "$@" | best_of; }
spread() { printf '%s\n' "$@" | spread_of; }

# compare LABEL PRESET-INDEX CONSOLE-OPTION FIRST-PART-BYTES
compare() {
  local label=$1 preset=$2 option=$3 first_part=$4 gui=() console=() i t0 t1
  for ((i = 1; i <= runs; i++)); do
    clean; sync
    ZELBO_BENCH_PRESET=$preset build/bin/zelbo32_bench "$work/source.bin" "$work/source.BAT" >/dev/null 2>&1
    clean
    gui+=("$(ZELBO_BENCH_PRESET=$preset build/bin/zelbo32_bench "$work/source.bin" "$work/source.BAT" 2>/dev/null)")
    [ "$(stat -c %s "$work/source.001")" = "$first_part" ] || { echo "windowed run wrote no full part" >&2; exit 1; }
    clean; sync
    build/bin/czelbo32 "$work/source.bin" "$option" >/dev/null
    clean
    t0=$(now); build/bin/czelbo32 "$work/source.bin" "$option" >/dev/null; t1=$(now)
    console+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}')")
    printf '%s run %d: windowed %.3f s, console %.3f s\n' "$label" "$i" "${gui[-1]}" "${console[-1]}"
  done
  clean
  local g c gb cb
  g=$(median "${gui[@]}")
  c=$(median "${console[@]}")
  gb=$(best "${gui[@]}")
  cb=$(best "${console[@]}")
  local paired=()
  for ((i = 0; i < runs; i++)); do paired+=("$(awk -v g="${gui[i]}" -v c="${console[i]}" 'BEGIN {print g / c}')"); done
  printf '%s: median windowed %.3f s (%s), console %.3f s (%s), ratio %.3f (target <= 1.05); best %.3f; median of the rounds'"'"' ratios %.3f (%s)\n' \
    "$label" "$g" "$(spread "${gui[@]}")" "$c" "$(spread "${console[@]}")" \
    "$(awk -v g="$g" -v c="$c" 'BEGIN {print g / c}')" "$(awk -v g="$gb" -v c="$cb" 'BEGIN {print g / c}')" \
    "$(median "${paired[@]}")" "$(spread "${paired[@]}")"
}

compare "CD 700M" 4 -sc 734003200
compare "Floppy" 0 -sf 1433600
