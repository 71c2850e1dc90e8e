#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once optimised,
# once under AddressSanitizer and UndefinedBehaviorSanitizer, and the
# Windows build under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
for preset in default sanitize windows; do
  started=$SECONDS
  echo "== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
  echo "== $preset: $((SECONDS - started)) s"
done
scripts/test-package.sh  # the Debian package, installed with apt, used and removed again
echo "All tests passed."
