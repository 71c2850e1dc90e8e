#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test once: the Windows
# build (its unit tests under wine), the Linux build under
# AddressSanitizer and UndefinedBehaviorSanitizer, whose tests also drive
# the Windows programs through wine, and the Debian package. The Linux
# build under the sanitizers is clang's, which compiles it faster than
# GCC; GCC builds the package's programs and, for Windows, the programs
# and the unit tests, so that both compilers' warnings are seen.
#
# Builds and tests alike keep both processors busy, so stages run side by
# side only where one of them waits: on a fresh machine, what only the
# tests and the later stages need installs while the sanitizer and Windows
# builds run (the sanitizer build needs only the Windows build's folder
# name until its tests drive the programs in it); the Windows tests and
# the package's build then run beside the sanitizer tests.
# A stage that runs beside another keeps its output until it ends; any
# failure, an install's too, fails the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
stage() { echo "== $1 ($((SECONDS - started)) s)"; }

# Stages in the background, each in a process group of its own (so that a
# failure elsewhere can end it with all it started), output in $logs/NAME.
set -m
logs=$(mktemp -d)
declare -A background=()
end_background() {
  local pid
  for pid in "${background[@]}"; do kill -- "-$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$logs"
}
trap end_background EXIT
trap 'exit 1' INT TERM
beside() {
  local name=$1
  shift
  stage "$name (beside the next stage)"
  "$@" >"$logs/$name" 2>&1 </dev/null &
  background[$name]=$!
}
await() {
  local name=$1 status=0
  [ -n "${background[$name]:-}" ] || return 0
  wait "${background[$name]}" || status=$?
  unset "background[$name]"
  stage "$name: its output"
  cat "$logs/$name"
  [ "$status" -eq 0 ] || { echo "FAILED: $name (exit code $status)" >&2; exit "$status"; }
}

scripts/setup.sh builds
# The rest installs beside the builds, unless sudo would ask for a password.
if [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
  beside "installs" scripts/setup.sh
else
  scripts/setup.sh
fi

stage "configure"
cmake --preset windows >/dev/null
cmake --preset sanitize -DZELBO_WINDOWS_BUILD="$PWD/build-windows" >/dev/null

beside "windows build" cmake --build --preset windows

stage "linux build (sanitizers)"
cmake --build --preset sanitize
await "windows build"
await "installs"

windows_tests_and_package_build() {
  ctest --preset windows
  # What scripts/test-package.sh packs, so that it finds it built.
  cmake --preset default >/dev/null
  cmake --build --preset default --target zelbo_package_contents
}
beside "windows tests, package build" windows_tests_and_package_build

stage "linux tests (sanitizers)"
ctest --preset sanitize
await "windows tests, package build"

stage "package"
scripts/test-package.sh  # the Debian package, installed with apt, used and removed again

stage "done"
echo "All tests passed in $((SECONDS - started)) s."
