#!/usr/bin/env bash
# zelbo32 as assistive technology meets it, on a virtual X display and in
# a D-Bus session of its own, where the AT-SPI registry starts on demand:
# atspi_walk.py walks its tree.
#   atspi_test.sh PATH-TO-ZELBO32
set -euo pipefail
program=$1
work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb \
       QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
trap 'kill ${xvfb:-} 2>/dev/null; rm -rf "$work"' EXIT
source "$(dirname "$0")/x_display.sh"
start_x_display
head -c 30000 /dev/zero > "$work/clip.avi"
dbus-run-session -- /usr/bin/python3 "$(dirname "$0")/atspi_walk.py" "$program" "$work/clip.avi"
