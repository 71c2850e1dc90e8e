#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test once: the Windows
# build first (its unit tests under wine), then the Linux build under
# AddressSanitizer and UndefinedBehaviorSanitizer, whose tests also drive
# the Windows programs through wine; then both programs and the unit tests
# once more with clang, whose warnings differ from GCC's, and the Debian
# package.
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

stage "clang build"
cmake --preset clang >/dev/null
cmake --build --preset clang
build-clang/bin/zelbo_unit_tests --gtest_brief=1

stage "package"
scripts/test-package.sh  # the Debian package, installed with apt, used and removed again

stage "done"
echo "All tests passed in $((SECONDS - started)) s."
