# Sourced by the scripts that need a private X server.
#
# start_xvfb LOGFILE: starts Xvfb on a free display, sets DISPLAY and
# XVFB_PID, returns non-zero when none starts. stop_xvfb ends it. The server
# picks the display number itself (-displayfd) once it holds the display, so
# two tests starting at the same moment never share one. -noreset: by default
# the server resets itself whenever its last client leaves and drops any
# client that connects during the reset, so a program started while a test's
# xdotool calls come and go could fail with "could not connect to display".

start_xvfb() {
  local log=$1 announce tries number
  announce=$(mktemp)
  Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$announce" >>"$log" 2>&1 &
  XVFB_PID=$!
  for tries in $(seq 200); do
    number=$(head -n 1 "$announce" 2>/dev/null || true)
    if [[ -n "$number" ]]; then
      rm -f "$announce"
      export DISPLAY=":${number}"
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  rm -f "$announce"
  kill "$XVFB_PID" 2>/dev/null
  wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=
  return 1
}

stop_xvfb() {
  if [[ -n "${XVFB_PID:-}" ]]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
  fi
}
