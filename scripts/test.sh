#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test once: the Windows
# build first (its unit tests under wine), then the Linux build under
# AddressSanitizer and UndefinedBehaviorSanitizer, whose tests also drive
# the Windows programs through wine.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
stage() { echo "== $1 ($((SECONDS - started)) s)"; }

scripts/setup.sh

stage "windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows

stage "linux build (sanitizers)"
cmake --preset sanitize -DZELBO_WINDOWS_BUILD="$PWD/build-windows" >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize

stage "package"
scripts/test-package.sh  # the Debian package, installed with apt, used and removed again

stage "done"
echo "All tests passed in $((SECONDS - started)) s."
