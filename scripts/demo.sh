#!/usr/bin/env bash
# Installs what is missing for the console program alone (compiler, CMake,
# Ninja), builds it, and shows the main job on a built-in sample: split it
# with the floppy preset, join the parts again with the written
# unsplit.sh, and compare the result with the original.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh demo
# Runs a command silently, showing its output only when it fails.
quietly() {
  local output
  output=$("$@" 2>&1) || { echo "$output" >&2; exit 1; }
}
quietly cmake --preset demo
quietly cmake --build --preset demo

demo=build-demo/sample
rm -rf "$demo"
mkdir -p "$demo"
seq 1 700000 > "$demo/sample.txt"   # 4.6 MB of numbered lines
cp "$demo/sample.txt" "$demo/original.txt"

echo "\$ build-demo/bin/czelbo32 $demo/sample.txt -sf"
build-demo/bin/czelbo32 "$demo/sample.txt" -sf
rm "$demo/sample.txt"
echo
echo "\$ ls $demo"
ls -l "$demo"
echo
echo "\$ (cd $demo && sh unsplit.sh)"
(cd "$demo" && sh unsplit.sh)
echo
if cmp "$demo/sample.txt" "$demo/original.txt"; then
  echo "The rejoined sample.txt is identical to the original."
else
  echo "The rejoined sample.txt differs from the original!" >&2
  exit 1
fi
