#!/usr/bin/env bash
# What the default run costs: czelbo32 computes each part's SHA-256 and
# waits until the parts are on the disk. Against the peer workflows that
# give the same guarantee, in alternating rounds (medians of each round's
# own ratio; CPU seconds and peak memory beside):
#   digests, no flush   czelbo32 -nf      vs  split -b, then openssl dgst -sha256 of the parts
#   digests and flush   czelbo32          vs  cp, then sync
#   floppy parts        czelbo32 -sf      vs  split -b 1433600, then sync
#   on tmpfs            czelbo32          vs  czelbo32 -nf (the flush should cost nothing there)
#
#   bench/safe_split.sh [sizes in GiB ("1 4")] [rounds (5)]
set -euo pipefail
cd "$(dirname "$0")/.."

sizes=${1:-"1 4"}
count=${2:-5}

source bench/rounds.sh
build_program

clean() { rm -f "$work"/source.[0-9]* "$work"/unsplit.* "$work"/split-part-* "$work"/copy.bin; }
run_czelbo32() { "${timed[@]}" "$program" "$work/source.bin" "-s$1"; }
run_czelbo32_nf() { "${timed[@]}" "$program" "$work/source.bin" "-s$1" -nf; }
run_split_openssl() {
  "${timed[@]}" sh -c 'split -b "$1" "$2" "$3" && openssl dgst -sha256 "$3"*' - \
    "$1" "$work/source.bin" "$work/split-part-"
}
run_cp_sync() { "${timed[@]}" sh -c 'cp "$1" "$2" && sync' - "$work/source.bin" "$work/copy.bin"; }
run_split_sync() {
  "${timed[@]}" sh -c 'split -b "$1" "$2" "$3" && sync' - "$1" "$work/source.bin" "$work/split-part-"
}

for size in $sizes; do
  make_source "$size" || continue
  rounds "${size} GiB, parts of 100 MiB, digests and no flush" $((100 << 20)) warm "$count" \
    czelbo32_nf split_openssl
  rounds "${size} GiB, parts of 100 MiB, digests and flush" $((100 << 20)) warm "$count" \
    czelbo32 cp_sync
  rounds "${size} GiB, floppy parts, digests and flush" 1433600 warm "$count" czelbo32 split_sync
done
clean

# tmpfs holds everything in memory: waiting for it costs nothing.
if [ "$(id -u)" -eq 0 ]; then
  memory=$PWD/build/bench-tmpfs
  mkdir -p "$memory"
  mountpoint -q "$memory" || mount -t tmpfs -o size=2200m zelbo-bench "$memory"
  work=$memory
  make_source 1 && rounds "1 GiB on tmpfs, parts of 100 MiB" $((100 << 20)) warm "$count" \
    czelbo32 czelbo32_nf
  clean
  umount "$memory"
else
  echo "== tmpfs runs skipped: mounting needs root"
fi
