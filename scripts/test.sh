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
# The window scenarios on Zelbo32.exe under wine, on a virtual display
# (the driver is built by the default preset, the programs by windows).
started=$SECONDS
echo "== wine window scenarios"
tests/desktop/wine_session.sh build-windows/bin build/bin/desktop_wine_tests
echo "== wine window scenarios: $((SECONDS - started)) s"
echo "All tests passed."
