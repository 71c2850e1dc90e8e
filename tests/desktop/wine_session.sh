#!/usr/bin/env bash
# Runs a command in a desktop session for Zelbo32.exe: a virtual X screen
# with a window manager (openbox), and a fresh wine prefix with wine's own
# fonts (the prefix does not look for them elsewhere) and a persistent
# server. Everything it started ends with the command; its exit code is
# the command's.
#   wine_session.sh WINDOWS-BIN COMMAND [ARGUMENT...]
# WINDOWS-BIN is the folder of Zelbo32.exe and zelbo_probe.exe; the command
# finds it in ZELBO_WINDOWS_BIN, the session in DISPLAY and WINEPREFIX.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 WINDOWS-BIN COMMAND [ARGUMENT...]" >&2; exit 2; }
ZELBO_WINDOWS_BIN=$(realpath "$1")
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/zelbo-wine.XXXXXX")
export ZELBO_WINDOWS_BIN WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
       LC_ALL=C.UTF-8

pids=()
finish() {
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap finish EXIT

# Key auto-repeat off (-r): a key held while wine is busy must not repeat.
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -r >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
exec 3>&-
export DISPLAY=":$(head -1 "$work/display")"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 200); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done

mkdir -p "$WINEPREFIX"
# The server and wine's helpers outlive their starters: they must not hold
# this script's output open.
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"

"$@"
