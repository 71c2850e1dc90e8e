#!/usr/bin/env bash
# start: a fresh wine prefix at $WINEPREFIX with a persistent server, booted
#        once, so that every test after it starts wine in a fraction of a second.
# stop:  ends the server and every wine process of the prefix.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix folder}"
export WINEPREFIX

case "${1:-}" in
  start)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # The server and wine's helpers outlive this script: they must not hold
    # its output open, or ctest would wait for them.
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
    wine cmd /c echo ready </dev/null 2>/dev/null | grep -q ready
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
