# Sourced by the tests that need a real Wayland compositor.
#
# start_weston [xwayland] [debug]: starts Weston headless (no screen, no
# input devices, a 1280x800 output) on a private socket in $XDG_RUNTIME_DIR,
# which must be a private folder, and waits until it accepts clients. Exports
# WAYLAND_DISPLAY and XDG_SESSION_TYPE=wayland, and unsets QT_QPA_PLATFORM so
# that the programs choose their window system themselves. With `xwayland`
# Weston also runs an X server (Xwayland) and DISPLAY names it once an X
# client can connect; without it DISPLAY is unset. With `debug` Weston offers
# its debug protocols, among them the one weston-screenshooter takes the
# screen through. Sets WESTON_PID and
# WESTON_LOG. Where Weston is missing or does not come up, the test ends as
# skipped (exit 77) with the reason. stop_weston ends Weston and its Xwayland.
#
# Every wait is bounded: a compositor that hangs ends the test, never holds it.

WESTON_PID=
WESTON_LOG=

# Prints "SKIP: REASON" and the end of Weston's log, stops what started, and
# ends the test as skipped.
weston_skip() {
  echo "SKIP: $*"
  [ -n "$WESTON_LOG" ] && [ -f "$WESTON_LOG" ] && tail -n 15 "$WESTON_LOG"
  stop_weston
  exit 77
}

start_weston() {
  local with_x= debug= option socket number i
  for option in "$@"; do
    case "$option" in
      xwayland) with_x=xwayland ;;
      debug) debug=debug ;;
      *) echo "start_weston: unknown option $option" >&2; exit 1 ;;
    esac
  done
  command -v weston >/dev/null || weston_skip "weston is not installed"
  [ -d "${XDG_RUNTIME_DIR:-}" ] || weston_skip "XDG_RUNTIME_DIR is not a folder"
  if [ "$with_x" = xwayland ]; then
    command -v Xwayland >/dev/null || weston_skip "Xwayland is not installed"
    command -v xdpyinfo >/dev/null || weston_skip "xdpyinfo is not installed"
  fi
  socket="qorve-wayland-$$"
  WESTON_LOG="$XDG_RUNTIME_DIR/weston-$$.log"
  local options=(--backend=headless-backend.so --socket="$socket" --width=1280 --height=800 --use-pixman
                 --no-config --idle-time=0)
  [ "$with_x" = xwayland ] && options+=(--xwayland)
  [ "$debug" = debug ] && options+=(--debug)
  # Weston must not see the session it was started from.
  env -u DISPLAY -u WAYLAND_DISPLAY weston "${options[@]}" >"$WESTON_LOG" 2>&1 &
  WESTON_PID=$!

  for i in $(seq 200); do
    [ -S "$XDG_RUNTIME_DIR/$socket" ] && break
    kill -0 "$WESTON_PID" 2>/dev/null || weston_skip "weston ended at its start"
    sleep 0.05
  done
  [ -S "$XDG_RUNTIME_DIR/$socket" ] || weston_skip "weston made no socket within 10 s"
  export WAYLAND_DISPLAY="$socket" XDG_SESSION_TYPE=wayland
  unset QT_QPA_PLATFORM DISPLAY

  [ "$with_x" = xwayland ] || return 0
  # Weston holds the X display itself and starts Xwayland on the first client.
  number=
  for i in $(seq 200); do
    number=$(sed -n 's/.*xserver listening on display :\([0-9][0-9]*\).*/\1/p' "$WESTON_LOG" | head -n 1)
    [ -n "$number" ] && break
    kill -0 "$WESTON_PID" 2>/dev/null || weston_skip "weston ended before its X server listened"
    sleep 0.05
  done
  [ -n "$number" ] || weston_skip "weston's X server did not listen within 10 s"
  export DISPLAY=":$number"
  for i in $(seq 100); do
    timeout 5 xdpyinfo >/dev/null 2>&1 && return 0
    kill -0 "$WESTON_PID" 2>/dev/null || weston_skip "weston ended while Xwayland started"
    sleep 0.2
  done
  weston_skip "no X client could connect to Xwayland on $DISPLAY within 20 s"
}

stop_weston() {
  local xserver i
  [ -n "${WESTON_PID:-}" ] || return 0
  xserver=$(pgrep -P "$WESTON_PID" -x Xwayland 2>/dev/null || true)
  kill "$WESTON_PID" 2>/dev/null || true
  for i in $(seq 100); do
    kill -0 "$WESTON_PID" 2>/dev/null || break
    sleep 0.05
  done
  kill -KILL "$WESTON_PID" 2>/dev/null || true
  wait "$WESTON_PID" 2>/dev/null || true
  # Weston ends its X server as it leaves; one it left behind is ended here.
  for i in $xserver; do
    [ "$(ps -o comm= -p "$i" 2>/dev/null)" = Xwayland ] && kill -KILL "$i" 2>/dev/null
  done
  WESTON_PID=
}
