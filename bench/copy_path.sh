#!/usr/bin/env bash
# The copy path against the kernel's own copies: czelbo32 with neither
# digests nor flush (-nd -nf), next to
#   cp                 one copy of the whole file (copy_file_range)
#   split -b N         coreutils' split, the same part size
#   dd bs=1M           a copy through memory in blocks of 1 MiB
#   cat > /dev/null    reading alone
# for sources of several sizes, from the page cache (warm) and from the disk
# (cold: the caches dropped before every run, root only), with parts of
# 100 MiB and of a floppy (1,433,600 bytes). For each tool: the median wall
# time, CPU seconds (user + system) and peak memory; the ratios
# czelbo32/tool as the median of each round's own ratio.
#
#   bench/copy_path.sh [sizes in GiB ("1 4")] [rounds (5)] [caches ("warm cold")] [parts ("100m floppy")]
#
# A size of 16 needs 32 GiB free in build/bench, and is skipped where less is.
set -euo pipefail
cd "$(dirname "$0")/.."

sizes=${1:-"1 4"}
count=${2:-5}
caches=${3:-"warm cold"}
parts=${4:-"100m floppy"}

source bench/rounds.sh
build_program

clean() { rm -f "$work"/source.[0-9]* "$work"/unsplit.* "$work"/split-part-* "$work"/copy.bin; }
run_czelbo32() { "${timed[@]}" "$program" "$work/source.bin" "-s$1" -nd -nf; }
run_cp() { "${timed[@]}" cp "$work/source.bin" "$work/copy.bin"; }
run_split() { "${timed[@]}" split -b "$1" "$work/source.bin" "$work/split-part-"; }
run_dd() { "${timed[@]}" dd if="$work/source.bin" of="$work/copy.bin" bs=1M status=none; }
run_cat() { "${timed[@]}" cat "$work/source.bin"; }

for size in $sizes; do
  make_source "$size" || continue
  for cache in $caches; do
    if [ "$cache" = cold ] && [ "$(id -u)" -ne 0 ]; then
      echo "== cold runs skipped: dropping the caches needs root"
      continue
    fi
    for part in $parts; do
      bytes=$([ "$part" = floppy ] && echo 1433600 || echo $((${part%m} << 20)))
      rounds "${size} GiB, $cache, parts of $part" "$bytes" "$cache" "$count" czelbo32 cp split dd cat
    done
  done
done
clean
