# Shared by the end-to-end tests: a private X server (and, when asked, a
# notification area) for the length of one test. Source it, then call
# start_x_session [with-tray]; stop_x_session runs on exit.

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xvfb.sh"
x_session_pids=()

# Exits with 77 (skipped) unless every TOOL is installed.
need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
}

# Ends the test as failed with REASON and the end of the player's log.
fail_showing_log() {
  echo "FAIL: $*"
  [ -f "${QORVE_HOME:-}/LOG.TXT" ] && tail -n 8 "$QORVE_HOME/LOG.TXT"
  exit 1
}

# Waits up to SECONDS for TEXT to stand in the player's log.
wait_for_log() {  # text seconds
  local i
  for i in $(seq 1 $(($2 * 20))); do
    grep -qF "$1" "$QORVE_HOME/LOG.TXT" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

stop_x_session() {
  local pid
  for pid in "${x_session_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${x_session_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  x_session_pids=()
  stop_xvfb
}

# Exits with 77 (skipped) when the X tools are missing.
start_x_session() {
  need_tools Xvfb xdotool
  start_xvfb /dev/null || { echo "no X server could be started"; exit 1; }
  unset WAYLAND_DISPLAY
  export QT_QPA_PLATFORM=xcb
  if [ "${1:-}" = with-tray ] && command -v trayer >/dev/null; then
    trayer --edge top --align right --widthtype pixel --width 200 --heighttype pixel --height 32 \
      --transparent false >/dev/null 2>&1 &
    x_session_pids+=($!)
    sleep 1
  fi
}

# The start of every end-to-end test: `work`, a private folder removed at
# exit with everything the test started (the player's pid goes in `player`),
# a private runtime folder, and the virtual mixer.
begin_e2e() {
  work=$(mktemp -d)
  player=0
  trap end_e2e EXIT
  mkdir -m 700 "$work/runtime"
  export XDG_RUNTIME_DIR="$work/runtime" QORVE_MIXER=virtual
}

end_e2e() {
  if [ "$player" != 0 ]; then kill "$player" 2>/dev/null || true; fi
  stop_x_session
  rm -rf "$work"
}

# The start of an end-to-end test that needs no X server: begin_e2e, and Qt
# offscreen whatever the session has.
begin_offscreen_e2e() {
  begin_e2e
  export QT_QPA_PLATFORM=offscreen
  unset DISPLAY WAYLAND_DISPLAY
}

# Runs `qorve START -C` until the series comes round to the file FIRST again
# (loaded by a move, kind filter 1), then ends the player the orderly way
# (SIGTERM, as the exit key). QORVE_HOME's settings must log (LOG=1). Waits
# at most LIMIT seconds (default 30).
play_series_round() {
  local start=$1 first=$2 limit=${3:-30} log="$QORVE_HOME/LOG.TXT" i
  "$bin/qorve" "$start" -C &
  player=$!
  for i in $(seq 1 $((limit * 100))); do
    grep -qF "\"$first\" , \"1\"" "$log" 2>/dev/null && break
    kill -0 "$player" 2>/dev/null || { echo "FAIL: the player ended during the series"; exit 1; }
    sleep 0.01
  done
  kill -TERM "$player"
  wait "$player" || { echo "FAIL: the player did not end cleanly"; exit 1; }
  player=0
}

# The files of FOLDER that the log shows loaded, with their kind filters:
# "a.ogg,0 b.flac,1 ...".
loaded_files() {
  grep -oE "\"$1/[a-z]+\.[a-z0-9]+\" , \"[01]\"" "$QORVE_HOME/LOG.TXT" | sed "s|$1/||g" | tr -d '" ' | paste -sd ' '
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
