#!/usr/bin/env bash
# zelbo32 as a user starts it, on a virtual X display: arguments change
# nothing, a stored value of the wrong type shows the error box titled
# "Zelbo" before the window, and closing the window ends the program with
# exit code 0 and the choices stored, or with one box when they cannot be.
#   program_test.sh PATH-TO-ZELBO32
set -euo pipefail
program=$1
work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb
mkdir -p "$XDG_CONFIG_HOME/OVallen" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
settings=$XDG_CONFIG_HOME/OVallen/Zelbo.reg

trap 'umount "$XDG_CONFIG_HOME/OVallen" 2>/dev/null; kill ${xvfb:-} 2>/dev/null; rm -rf "$work"' EXIT
source "$(dirname "$0")/x_display.sh"
start_x_display

fail() { echo "FAILED: $*" >&2; exit 1; }

# The visible window titled "Zelbo" whose width is (or is not) the main
# window's 353 pixels; waits up to ten seconds for it.
window() {
  local want=$1 id width
  for _ in $(seq 200); do
    for id in $(xdotool search --onlyvisible --name '^Zelbo$' 2>/dev/null); do
      width=$(xdotool getwindowgeometry --shell "$id" | sed -n 's/^WIDTH=//p')
      if { [ "$want" = main ] && [ "$width" = 353 ]; } || { [ "$want" = box ] && [ "$width" != 353 ]; }; then
        echo "$id"; return
      fi
    done
    sleep 0.05
  done
  fail "no $want window appeared"
}

close_main_window() {
  # The Close button's middle, in window coordinates.
  xdotool mousemove --window "$(window main)" 309 188 click 1
}

expect_exit_zero() {
  local status=0
  wait "$1" || status=$?
  [ "$status" = 0 ] || fail "exit code $status"
}

# Started with arguments, closed with its Close button.
"$program" big.iso -sc --help /x &
pid=$!
close_main_window
expect_exit_zero $pid
grep -q '^"Parts"="2"' "$settings" || fail "Parts not stored"
grep -q '^"PartType"=dword:00000000' "$settings" || fail "PartType not stored"
grep -q '^"ShortNames"="Yes"' "$settings" || fail "ShortNames not stored"

# A unit stored as text: the error box comes first, then the window.
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\OVallen\\Zelbo]\n"Parts"="7"\n"PartType"="3"\n' > "$settings"
"$program" &
pid=$!
box=$(window box)
xdotool windowfocus --sync "$box" key Return
close_main_window
expect_exit_zero $pid
grep -q '^"Parts"="7"' "$settings" || fail "the amount read before the error was lost"
grep -q '^"PartType"=dword:00000000' "$settings" || fail "PartType not rewritten with its type"

# Settings that cannot be stored (a read-only folder; for root, who may
# write into any folder, a read-only mount of it): one box, then the window
# closes all the same.
folder=$XDG_CONFIG_HOME/OVallen
mount --bind "$folder" "$folder" 2>/dev/null && mount -o remount,bind,ro "$folder" || chmod 555 "$folder"
"$program" &
pid=$!
close_main_window
box=$(window box)
xdotool windowfocus --sync "$box" key Return
expect_exit_zero $pid
echo "zelbo32 started, showed its error boxes, closed and exited with 0"
