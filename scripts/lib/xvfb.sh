# Sourced by the scripts that need a private X server.
#
# start_xvfb LOGFILE: starts Xvfb on the first free display from :91 up, sets
# DISPLAY and XVFB_PID, returns non-zero when none starts. stop_xvfb ends it.
# Another engineer's server on the same machine is never touched: a display
# with a lock file is skipped, and a start that loses the race moves on.

start_xvfb() {
  local log=$1 number
  for number in $(seq 91 140); do
    [[ -e /tmp/.X${number}-lock || -e /tmp/.X11-unix/X${number} ]] && continue
    Xvfb ":${number}" -screen 0 1280x1024x24 -nolisten tcp >>"$log" 2>&1 &
    XVFB_PID=$!
    local tries
    for tries in $(seq 100); do
      if [[ -S /tmp/.X11-unix/X${number} ]] && kill -0 "$XVFB_PID" 2>/dev/null; then
        export DISPLAY=":${number}"
        return 0
      fi
      kill -0 "$XVFB_PID" 2>/dev/null || break
      sleep 0.05
    done
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
  done
  return 1
}

stop_xvfb() {
  if [[ -n "${XVFB_PID:-}" ]]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
  fi
}
