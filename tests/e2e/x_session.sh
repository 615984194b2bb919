# Shared by the end-to-end tests: a private X server (and, when asked, a
# notification area) for the length of one test. Source it, then call
# start_x_session [with-tray]; stop_x_session runs on exit.

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xvfb.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/wait.sh"
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
  # An X session of its own: the player must not register shortcuts with the
  # desktop the tests run on.
  unset WAYLAND_DISPLAY XDG_SESSION_TYPE
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
  # No session bus unless a test starts one of its own. Given none, libdbus
  # would start one through the X server for the player's first D-Bus call
  # (a fork inside the running player, which can hang it, and a daemon
  # left behind): a test would depend on the machine having dbus-launch.
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus"
}

# Whether process PID still runs (a child that has ended but was not waited
# for is no longer running, though kill -0 still finds it).
running() {  # pid
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

# Waits up to SECONDS for process PID to end; false when it still runs.
wait_for_end() {  # pid seconds
  local i
  for i in $(seq 1 $(($2 * 10))); do
    running "$1" || return 0
    sleep 0.1
  done
  ! running "$1"
}

# Prints where every thread of process PID stands, for a test that finds a
# program stuck.
show_threads() {  # pid
  command -v gdb >/dev/null || { echo "(gdb is not installed: no backtrace of process $1)"; return 0; }
  echo "--- threads of process $1: $(tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null)"
  timeout -k 5 60 gdb -p "$1" -batch -nx -iex "set debuginfod enabled off" -ex "set pagination off" \
    -ex "thread apply all bt" </dev/null 2>&1 | grep -vE '^\[(New LWP|Thread debugging|Inferior)' || true
  echo "---"
}

# Runs COMMAND for at most LIMIT seconds, its output as it is. One that does
# not end in time is shown (show_threads) and killed, and 124 returned;
# otherwise the command's own exit status.
run_bounded() {  # limit command...
  local limit=$1 pid
  shift
  "$@" &
  pid=$!
  if ! wait_for_end "$pid" "$limit"; then
    echo "$(basename "$1") did not end within $limit s" >&2
    show_threads "$pid" >&2
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    return 124
  fi
  wait "$pid"
}

# Ends the player (pid in `player`) as the exit key does, by SIGTERM, and
# waits up to LIMIT seconds (default 30) for it, as wait_for_player does.
end_player() {  # [limit]
  local limit=${1:-30}
  kill -TERM "$player" 2>/dev/null || true
  wait_for_player "$limit" "of SIGTERM"
}

# Waits up to LIMIT seconds (default 10) for the player (pid in `player`)
# to end by itself (an exit key, a quit request). A player that still runs
# then fails the test showing where its threads stand; one that ends with an
# error status fails it too.
wait_for_player() {  # [limit] [what it ends by, for the message]
  local limit=${1:-10}
  if ! wait_for_end "$player" "$limit"; then
    echo "FAIL: the player did not end within $limit s${2:+ $2}"
    show_threads "$player"
    kill -KILL "$player" 2>/dev/null || true
    player=0
    fail_showing_log "the player hangs at its end"
  fi
  wait "$player" || { player=0; fail_showing_log "the player did not end cleanly"; }
  player=0
}

# The player is killed when it does not end by SIGTERM: a process left behind
# would keep the test's output open, and the test runner would wait for it.
end_e2e() {
  if [ "$player" != 0 ]; then
    kill -TERM "$player" 2>/dev/null || true
    if ! wait_for_end "$player" 10; then
      echo "the player did not end within 10 s of SIGTERM; killed"
      show_threads "$player"
      kill -KILL "$player" 2>/dev/null || true
    fi
  fi
  stop_x_session
  rm -rf "$work"
}

# The start of an end-to-end test that needs no X server: begin_e2e, and Qt
# offscreen whatever the session has.
begin_offscreen_e2e() {
  begin_e2e
  export QT_QPA_PLATFORM=offscreen
  unset DISPLAY WAYLAND_DISPLAY XDG_SESSION_TYPE
}

# Runs `qorve START -C` until the series comes round to the file FIRST again
# (loaded by a move, kind filter 1), then ends the player the orderly way
# (SIGTERM, as the exit key; end_player). QORVE_HOME's settings must log
# (LOG=1). Waits at most LIMIT seconds (default 60) for the round, a bound
# far above the series' own length: a loaded machine only makes it late.
play_series_round() {
  local start=$1 first=$2 limit=${3:-60} log="$QORVE_HOME/LOG.TXT" i
  "$bin/qorve" "$start" -C &
  player=$!
  for i in $(seq 1 $((limit * 100))); do
    if grep -qF "\"$first\" , \"1\"" "$log" 2>/dev/null; then
      end_player
      return 0
    fi
    running "$player" || { player=0; fail_showing_log "the player ended during the series"; }
    sleep 0.01
  done
  fail_showing_log "the series did not come round to $first within $limit s"
}

# Tenths of a second of sound that the capture file being written holds so
# far (its header is complete only once the player closes it).
captured_tenths() {  # capture.wav
  local size rate
  size=$(stat -c %s "$1" 2>/dev/null) || { echo 0; return; }
  rate=$(od -An -tu4 -j28 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$rate" ] && [ "$rate" -gt 0 ] || { echo 0; return; }
  echo $(((size - 44) * 10 / rate))
}

# The files of FOLDER that the log shows loaded, with their kind filters:
# "a.ogg,0 b.flac,1 ...".
loaded_files() {
  grep -oE "\"$1/[a-z]+\.[a-z0-9]+\" , \"[01]\"" "$QORVE_HOME/LOG.TXT" | sed "s|$1/||g" | tr -d '" ' | paste -sd ' '
}

# A key held long enough for a polling program to see it down.
hold_key() {
  xdotool keydown "$1"
  sleep 0.15
  xdotool keyup "$1"
}
