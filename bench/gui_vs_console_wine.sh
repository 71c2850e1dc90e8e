#!/usr/bin/env bash
# Splits one 1 GiB file with Zelbo32.exe and with CZELBO32.exe under wine,
# alternately, and prints the median time of each and their ratio. The
# windowed run is driven as a user drives it (on a virtual display) and
# timed from the confirmed save dialog to its last file (the shell script,
# written just before the finished message, watched without asking wine); the
# console program is timed as a whole process, and once more without the
# start of a wine process. Both write 700 MiB parts beside the source.
#   bench/gui_vs_console_wine.sh [ROUNDS]      (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target desktop_wine_bench >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target zelbo32 czelbo32 zelbo_probe >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/zelbo-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((1 << 30)) /dev/urandom > "$work/source.bin"
tests/desktop/wine_session.sh build-windows/bin build/bin/desktop_wine_bench "$work/source.bin" "$rounds"
