#!/usr/bin/env bash
# The copy path against the kernel's own copies: czelbo32 with neither
# digests nor flush (-nd -nf), next to
#   least              the least a splitter can do: per part create, one
#                      copy_file_range, close (bench/least_split.cpp)
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
#   bench/copy_path.sh [sizes in GiB ("1 4")] [rounds (5)] [caches ("warm cold")] [parts ("100m floppy")] [place (disk)]
#
# A size of 16 needs 32 GiB free in build/bench, and is skipped where less is.
# Place `disk` runs in build/bench; `ext4` (root only) in a fresh ext4 with its
# journal, made in a loop file beside it. Outputs are emptied and kept aside
# until the end (bench/rounds.sh, retire), so that no run makes its files
# among the inodes that the runs before it freed.
set -euo pipefail
cd "$(dirname "$0")/.."

sizes=${1:-"1 4"}
count=${2:-5}
caches=${3:-"warm cold"}
parts=${4:-"100m floppy"}
place=${5:-disk}

source bench/rounds.sh
build_program
cmake --build --preset default --target zelbo_least_split >/dev/null
least=$PWD/build/bin/zelbo_least_split
disk=$work

# use_journaled_ext4 GIB: `work` becomes a new journaled ext4 with room for a
# source of GIB GiB and one copy of it; it goes when the script ends.
use_journaled_ext4() {
  [ "$(id -u)" -eq 0 ] || { echo "bench/copy_path.sh: place ext4 mounts a loop file system: run it as root" >&2; exit 1; }
  drop_journaled_ext4
  trap drop_journaled_ext4 EXIT
  truncate -s $(($1 * 2 + 1))G "$disk/ext4.img"
  mkfs.ext4 -q -F -m 0 -E lazy_itable_init=0,lazy_journal_init=0 "$disk/ext4.img"
  mkdir -p "$disk/ext4"
  mount -o loop "$disk/ext4.img" "$disk/ext4"
  work=$disk/ext4
}
drop_journaled_ext4() {
  umount "$disk/ext4" 2>/dev/null || true
  rm -f "$disk/ext4.img"
  work=$disk
}

clean() { retire "$work"/source.[0-9]* "$work"/unsplit.* "$work"/split-part-* "$work"/least.* "$work"/copy.bin; }
run_czelbo32() { "${timed[@]}" "$program" "$work/source.bin" "-s$1" -nd -nf; }
run_least() { "${timed[@]}" "$least" "$work/source.bin" "$1" "$work/least"; }
run_cp() { "${timed[@]}" cp "$work/source.bin" "$work/copy.bin"; }
run_split() { "${timed[@]}" split -b "$1" "$work/source.bin" "$work/split-part-"; }
run_dd() { "${timed[@]}" dd if="$work/source.bin" of="$work/copy.bin" bs=1M status=none; }
run_cat() { "${timed[@]}" cat "$work/source.bin"; }

for size in $sizes; do
  [ "$place" = ext4 ] && use_journaled_ext4 "$size"
  make_source "$size" || continue
  for cache in $caches; do
    if [ "$cache" = cold ] && [ "$(id -u)" -ne 0 ]; then
      echo "== cold runs skipped: dropping the caches needs root"
      continue
    fi
    for part in $parts; do
      bytes=$([ "$part" = floppy ] && echo 1433600 || echo $((${part%m} << 20)))
      if [ $(((size << 30) / bytes)) -ge 1000 ]; then
        echo "== ${size} GiB in parts of $part skipped: a split makes at most 1000 parts"
        continue
      fi
      rounds "${size} GiB, $cache, parts of $part, on $place" "$bytes" "$cache" "$count" czelbo32 cp least split dd cat
    done
  done
done
clean
retire_clear
