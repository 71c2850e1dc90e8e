#!/usr/bin/env bash
# Installs what is missing, builds, and shows the main job on a built-in
# sample: split it with the floppy preset, join the parts again with the
# written unsplit.sh, and compare the result with the original.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null

demo=build/demo
rm -rf "$demo"
mkdir -p "$demo"
seq 1 700000 > "$demo/sample.txt"   # 4.6 MB of numbered lines
cp "$demo/sample.txt" "$demo/original.txt"

echo "\$ build/bin/czelbo32 $demo/sample.txt -sf"
build/bin/czelbo32 "$demo/sample.txt" -sf
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
