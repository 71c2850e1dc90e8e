# Sourced by the tests that run zelbo32 on a virtual X display.
#
# start_x_display: starts a private X server (Xvfb), exports DISPLAY and
# leaves the server's pid in $xvfb. The display number is claimed through
# the server's lock file: Xvfb -displayfd takes none, and two tests that
# start side by side with it can end up on one server.
start_x_display() {
  local number lock
  for _ in $(seq 20); do
    number=$((200 + RANDOM % 700))
    lock=/tmp/.X$number-lock
    # -noreset: a program that starts just as the previous one has ended
    # would otherwise meet a server in the middle of its reset.
    Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb=$!
    # Up to five seconds for this server to answer; it ends at once when
    # another one holds the number.
    for _ in $(seq 500); do
      kill -0 $xvfb 2>/dev/null || break
      if [ "$(tr -d ' \n' 2>/dev/null < "$lock")" = "$xvfb" ] &&
         xprop -display ":$number" -root >/dev/null 2>&1; then
        export DISPLAY=":$number"
        return 0
      fi
      sleep 0.01
    done
    kill $xvfb 2>/dev/null || true
    wait $xvfb 2>/dev/null || true
  done
  echo "FAILED: no X display could be started" >&2
  return 1
}
