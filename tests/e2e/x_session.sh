# Shared by the end-to-end tests: a private X server (and, when asked, a
# notification area) for the length of one test. Source it, then call
# start_x_session [with-tray]; stop_x_session runs on exit.

x_session_pids=()

stop_x_session() {
  local pid
  for pid in "${x_session_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${x_session_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  x_session_pids=()
}

# Exits with 77 (skipped) when the X tools are missing.
start_x_session() {
  local tool
  for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then break; fi
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  x_session_pids+=($!)
  export DISPLAY=":$n"
  unset WAYLAND_DISPLAY
  export QT_QPA_PLATFORM=xcb
  local i
  for i in $(seq 1 100); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
  done
  if [ "${1:-}" = with-tray ] && command -v trayer >/dev/null; then
    trayer --edge top --align right --widthtype pixel --width 200 --heighttype pixel --height 32 \
      --transparent false >/dev/null 2>&1 &
    x_session_pids+=($!)
    sleep 1
  fi
}

# Waits up to $2 seconds (default 10) for a command to succeed.
wait_for() {
  local command=$1 limit=${2:-10} i
  for i in $(seq 1 $((limit * 10))); do
    if eval "$command" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  echo "timed out waiting for: $command"
  return 1
}

# A key held long enough for a polling program to see it down.
hold_key() {
  xdotool keydown "$1"
  sleep 0.15
  xdotool keyup "$1"
}
