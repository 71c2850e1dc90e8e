#!/usr/bin/env bash
# zelbo32 as a desktop user meets it: a window manager (openbox) on a
# virtual X display, driven by mouse and keyboard. Every window is awaited
# by its exact title as the window manager shows it. Checks the save
# dialog's refusals, a close by Alt+F4 during a run (the window stays until
# the run is over, Cancel still works, then the program ends with 0), and
# that nothing but the settings store is written below the user's home.
#   desktop_test.sh PATH-TO-ZELBO32
set -euo pipefail
# A desktop session has a session bus; without one, libdbus would start one
# for the window's accessibility and note it below the home folder.
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || exec dbus-run-session -- "$0" "$@"
program=$1
work=$(mktemp -d)
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache \
       XDG_DATA_HOME=$work/home/.local/share XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb
# A desktop has its session bus; without one, dbus-launch (where installed)
# would start one for Qt and keep its address below the home folder.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/runtime/no-bus
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/wm" "$work/src" "$work/out" && chmod 700 "$XDG_RUNTIME_DIR"
settings=$XDG_CONFIG_HOME/OVallen/Zelbo.reg
pids=()
trap 'kill -CONT "${pids[@]}" 2>/dev/null; kill "${pids[@]}" ${xvfb:-} 2>/dev/null; rm -rf "$work"' EXIT

# Fails with the titles of the windows shown at the time.
fail() {
  echo "FAILED: $*; windows shown:" >&2
  for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do
    xprop -id "$id" -notype _NET_WM_NAME >&2
  done
  exit 1
}

# Waits up to twenty seconds for a command to succeed.
await() {
  local what=$1
  shift
  within 20 "$@" || fail "$what"
}
# Waits up to $1 seconds for a command to succeed; false if it did not.
within() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.01
  done
}

source "$(dirname "$0")/x_display.sh"
start_x_display
HOME=$work/wm XDG_CACHE_HOME=$work/wm openbox >/dev/null 2>&1 &
pids+=($!)
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
await "no window manager" wm_running

# The visible windows whose title, as the window manager shows it, is $1
# exactly (the plain WM_NAME that xdotool searches may differ from it).
titled() {
  local id
  for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do
    [ "$(xprop -id "$id" -notype _NET_WM_NAME 2>/dev/null)" = "_NET_WM_NAME = \"$1\"" ] && echo "$id"
  done
  return 0
}
count_is() { [ "$(titled "$1" | wc -l)" = "$2" ]; }
# Waits until exactly $2 visible windows carry the title $1.
windows() { await "not $2 window(s) titled \"$1\"" count_is "$1" "$2"; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
# Replaces the text of the name field of the dialog titled $1 with $2 and
# presses Return. The dialog is activated first: under load the keys can
# come before the window manager has given it the focus.
enter() {
  local id
  id=$(titled "$1" | head -n 1)
  [ -z "$id" ] || timeout 10 xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
  xdotool key ctrl+a type --delay 2 "$2"
  xdotool key Return
}
# Answers the dialog titled $1 with $2 and waits for it to close; a dialog
# still open after ten seconds is answered once more.
answer() {
  enter "$1" "$2"
  within 10 count_is "$1" 0 || { echo "$1: answered again" >&2; enter "$1" "$2"; }
  windows "$1" 0
}
expect_exit_zero() {
  local status=0
  wait "$1" || status=$?
  [ "$status" = 0 ] || fail "exit code $status"
}

open_dialog="Select the file to split"
save_dialog="Select the name of the unsplit batch file"
truncate -s 4G "$work/src/big.avi"  # sparse: a run long enough to interrupt
echo "keep me" > "$work/out/old.BAT" && chmod 444 "$work/out/old.BAT"

"$program" &
zelbo=$!
pids+=($zelbo)
windows Zelbo 1
main=$(titled Zelbo)
xdotool mousemove --window "$main" 49 24 click 1  # "Source file..."
windows "$open_dialog" 1
answer "$open_dialog" "$work/src/big.avi"
# A click that came before the choice was taken would find no source yet.
await "the source's folder was not stored" grep -q SourcePath "$settings"
xdotool mousemove --window "$main" 229 188 click 1  # "Start Splitting"
windows "$save_dialog" 1

# The save dialog refuses a missing folder and a read-only file in a box
# of its own, and stays open.
for refused in "$work/missing/big.BAT" "$work/out/old.BAT"; do
  enter "$save_dialog" "$refused"
  windows "$save_dialog" 2
  xdotool key Return
  windows "$save_dialog" 1
done
grep -q DestPath "$settings" && fail "a refused name was stored"

# Alt+F4 during the run. The program is held while the keys are sent, so
# that the run cannot end first; the settings file, removed meanwhile, is
# written again by the close.
answer "$save_dialog" "$work/out/big.BAT"
await "the run did not start" test -e "$work/out/big.001"
kill -STOP $zelbo
rm "$settings"
xdotool windowactivate --sync "$main" key alt+F4
kill -CONT $zelbo
await "the close stored nothing" test -e "$settings"
kill -STOP $zelbo
viewable "$main" || fail "the window went away during the run"
xdotool key Escape  # Cancel
kill -CONT $zelbo
windows "Zelbo - Aborted" 1
viewable "$main" || fail "the run's last box stands alone"
xdotool key Return
expect_exit_zero $zelbo
[ "$(ls "$work/out")" = old.BAT ] || fail "the cancelled run left parts: $(ls "$work/out")"
grep -q '^"Parts"="2"' "$settings" || fail "Parts not stored at the close"

written=$(cd "$HOME" && find . -type f | sort | tr '\n' ' ')
[ "$written" = "./.config/OVallen/Zelbo.reg " ] ||
  fail "written below the home folder: $written"
echo "zelbo32 on a desktop: exact titles, the save dialog's refusals, a close during a run, nothing else written"
