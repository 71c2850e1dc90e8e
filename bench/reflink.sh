#!/usr/bin/env bash
# On file systems that share blocks between files (XFS with reflink, btrfs),
# made in loop files for the run, splits a 4 GiB file with czelbo32 into
# 100 MiB parts, copies it with `cp --reflink=always` and splits it with
# `split -b`, alternating, and prints the medians and the ratios
# czelbo32/cp-reflink and czelbo32/split for each file system. Needs root
# (mount) and xfsprogs / btrfs-progs.
#
#   bench/reflink.sh [size-in-MiB (4096)] [rounds (5)] [part-size-in-MiB (100)]
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "bench/reflink.sh mounts loop file systems: run it as root" >&2; exit 1; }

size_mib=${1:-4096}
rounds=${2:-5}
part_mib=${3:-100}

scripts/setup.sh
for package in btrfs-progs xfsprogs; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$package" >/dev/null
done
cmake --preset default >/dev/null
cmake --build --preset default --target czelbo32 >/dev/null
program=$PWD/build/bin/czelbo32

work=$(mktemp -d "${TMPDIR:-/var/tmp}/zelbo-reflink.XXXXXX")
cleanup() {
  for mount in "$work"/mnt-*; do umount "$mount" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

source bench/stats.sh

bench_on() {
  local kind=$1 mount=$work/mnt-$1 image=$work/$1.img
  truncate -s $((size_mib * 2 + 1024))M "$image"
  case $kind in
    xfs) mkfs.xfs -q -m reflink=1 "$image" ;;
    btrfs) mkfs.btrfs -q "$image" ;;
  esac
  mkdir -p "$mount"
  mount -o loop "$image" "$mount"
  head -c $((size_mib * 1048576)) /dev/urandom > "$mount/source.bin"
  sync
  clean() { rm -f "$mount"/source.[0-9]* "$mount"/unsplit.* "$mount"/copy.bin "$mount"/part-*; sync; }
  local zelbo=() cp=() split=() t tool i
  local tools=(czelbo32 cp split)
  for ((round = 1; round <= rounds; round++)); do
    # A different tool goes first in each round: removing split's parts
    # (real blocks) leaves the file system busy for whichever tool is next.
    for ((i = 0; i < ${#tools[@]}; i++)); do
      tool=${tools[(i + round) % ${#tools[@]}]}
      clean; t=$EPOCHREALTIME
      case $tool in
        czelbo32) "$program" "$mount/source.bin" "-sm$part_mib" -nd -nf >/dev/null ;;
        cp) cp --reflink=always "$mount/source.bin" "$mount/copy.bin" ;;
        split) split -b "${part_mib}M" "$mount/source.bin" "$mount/part-" ;;
      esac
      t=$(awk -v a="$t" -v b="$EPOCHREALTIME" 'BEGIN {print b - a}')
      case $tool in
        czelbo32) zelbo+=("$t") ;;
        cp) cp+=("$t") ;;
        split) split+=("$t") ;;
      esac
    done
    printf '%s round %d: czelbo32 %.4f s, cp --reflink %.4f s, split %.3f s\n' "$kind" "$round" \
      "${zelbo[-1]}" "${cp[-1]}" "${split[-1]}"
  done
  "$program" "$mount/source.bin" "-sm$part_mib" -nd -nf >/dev/null
  cat "$mount"/source.[0-9]* | cmp - "$mount/source.bin" && echo "$kind: the parts hold the source byte for byte"
  clean
  local z c s
  z=$(printf '%s\n' "${zelbo[@]}" | median_of)
  c=$(printf '%s\n' "${cp[@]}" | median_of)
  s=$(printf '%s\n' "${split[@]}" | median_of)
  printf '%s: median czelbo32 %.4f s (%s), cp --reflink=always %.4f s (%s), split %.3f s\n' "$kind" \
    "$z" "$(printf '%s\n' "${zelbo[@]}" | spread_of 4)" "$c" "$(printf '%s\n' "${cp[@]}" | spread_of 4)" "$s"
  awk -v z="$z" -v c="$c" -v s="$s" -v k="$kind" \
    -v zb="$(printf '%s\n' "${zelbo[@]}" | best_of)" -v cb="$(printf '%s\n' "${cp[@]}" | best_of)" \
    'BEGIN {printf "%s: ratio czelbo32/cp-reflink %.2f (best %.2f), czelbo32/split %.4f\n", k, z / c, zb / cb, z / s}'
  umount "$mount"
  rm -f "$image"
}

bench_on xfs
bench_on btrfs
