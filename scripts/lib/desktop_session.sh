# Sourced by kwin.sh and mutter.sh: the session round a desktop's own
# compositor, as a login would make it, kept inside one private folder.
#
# begin_desktop_session ROOT DESKTOP: makes ROOT/{home,config,runtime} and
# exports them as HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR, sets
# XDG_CURRENT_DESKTOP=DESKTOP and XDG_SESSION_TYPE=wayland, and starts a
# private session bus (DBUS_SESSION_BUS_ADDRESS). The bus activates nothing:
# its only service folder is ROOT/dbus-services, empty, so every service of
# the session is one the harness started with the session's environment (the
# machine's activatable services would otherwise start with the bus's
# environment, and a GNOME session would gain KDE's shortcut daemon).
# desktop_spawn NAME COMMAND... starts a process of the session, its output in
# ROOT/NAME.log; wait_for_bus_name waits for a service; desktop_announce_file
# names the program a compositor starts once its X server takes clients.
# stop_desktop_session ends everything, last started first, then the bus.
#
# Every wait is bounded. DESKTOP_LOGS lists the logs a failing test shows.

DESKTOP_ROOT=
DESKTOP_PIDS=()
DESKTOP_LOGS=()
DESKTOP_BUS_PID=

# Prints the end of every log of the session.
show_desktop_logs() {
  local log
  for log in "${DESKTOP_LOGS[@]}"; do
    [ -s "$log" ] && { echo "--- $(basename "$log"):"; tail -n 15 "$log"; }
  done
  return 0
}

# Ends the test as skipped with REASON and the session's logs: only for a
# compositor that cannot start here.
desktop_skip() {
  echo "SKIP: $*"
  show_desktop_logs
  stop_desktop_session
  exit 77
}

# Ends the test as failed with REASON and the session's logs: a part of the
# session that is installed but does not come up.
desktop_fail() {
  echo "FAIL: $*"
  show_desktop_logs
  stop_desktop_session
  exit 1
}

begin_desktop_session() {  # root desktop
  local tool
  for tool in dbus-daemon dbus-send; do
    command -v "$tool" >/dev/null || desktop_skip "$tool is not installed"
  done
  DESKTOP_ROOT=$1
  mkdir -p "$DESKTOP_ROOT/home" "$DESKTOP_ROOT/config" "$DESKTOP_ROOT/dbus-services"
  mkdir -p -m 700 "$DESKTOP_ROOT/runtime"
  export HOME="$DESKTOP_ROOT/home" XDG_CONFIG_HOME="$DESKTOP_ROOT/config" XDG_RUNTIME_DIR="$DESKTOP_ROOT/runtime"
  export XDG_CURRENT_DESKTOP=$2 XDG_SESSION_TYPE=wayland
  unset DISPLAY WAYLAND_DISPLAY XAUTHORITY QT_QPA_PLATFORM
  # Xwayland listens in the machine's X socket folder, which a container
  # without an X server may lack (a desktop's boot makes it).
  [ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix 2>/dev/null || [ -d /tmp/.X11-unix ] ||
    desktop_skip "/tmp/.X11-unix is missing and cannot be made: Xwayland would have no socket folder"

  cat >"$DESKTOP_ROOT/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$DESKTOP_ROOT/runtime/bus</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$DESKTOP_ROOT/dbus-services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
  local address=
  { read -r address && read -r DESKTOP_BUS_PID; } < <(timeout 10 dbus-daemon --config-file="$DESKTOP_ROOT/bus.conf" \
    --fork --print-address=1 --print-pid=1 2>"$DESKTOP_ROOT/bus.log") || true
  DESKTOP_LOGS+=("$DESKTOP_ROOT/bus.log")
  [ -n "$address" ] && [ -n "$DESKTOP_BUS_PID" ] || desktop_fail "the private session bus did not start"
  export DBUS_SESSION_BUS_ADDRESS=$address
}

# Starts COMMAND in the background with the session's environment, its
# output in ROOT/NAME.log; DESKTOP_SPAWNED is its pid.
desktop_spawn() {  # name command...
  local name=$1
  shift
  "$@" >"$DESKTOP_ROOT/$name.log" 2>&1 &
  DESKTOP_SPAWNED=$!
  DESKTOP_PIDS+=("$DESKTOP_SPAWNED")
  DESKTOP_LOGS+=("$DESKTOP_ROOT/$name.log")
}

bus_name_owned() {  # name
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner "string:$1" \
    2>/dev/null | grep -q 'boolean true'
}

# Waits up to SECONDS for NAME to be owned on the session bus, while process
# PID runs; false when PID ends first or time runs out.
wait_for_bus_name() {  # name seconds pid
  local i
  for i in $(seq 1 $(($2 * 10))); do
    bus_name_owned "$1" && return 0
    kill -0 "$3" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# The pid of the process that owns bus NAME.
bus_name_pid() {  # name
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetConnectionUnixProcessID "string:$1" 2>/dev/null | sed -n 's/.*uint32 //p'
}

# Writes the program that a compositor starts as the session's first client
# once Wayland and Xwayland take clients, and prints its path: it writes its
# DISPLAY, XAUTHORITY and pid to FILE and then stays (mutter ends the session
# when its first client ends). read_announcement waits for the file.
desktop_announce_file() {  # file
  cat >"$DESKTOP_ROOT/announce.sh" <<'EOF'
#!/bin/sh
printf '%s\n%s\n%s\n' "$DISPLAY" "$XAUTHORITY" "$$" >"$1.part" && mv "$1.part" "$1"
exec sleep infinity
EOF
  chmod +x "$DESKTOP_ROOT/announce.sh"
  echo "$DESKTOP_ROOT/announce.sh"
}

# Waits up to SECONDS for the announcement FILE while the compositor PID
# runs, then exports DISPLAY (and XAUTHORITY where the X server asks for one)
# and adds the announcer to the processes to end.
read_announcement() {  # file seconds pid
  local i holder
  for i in $(seq 1 $(($2 * 10))); do
    [ -s "$1" ] && break
    kill -0 "$3" 2>/dev/null || return 1
    sleep 0.1
  done
  [ -s "$1" ] || return 1
  { read -r DISPLAY; read -r XAUTHORITY; read -r holder; } <"$1"
  [ -n "$DISPLAY" ] || return 1
  export DISPLAY
  if [ -n "$XAUTHORITY" ]; then export XAUTHORITY; else unset XAUTHORITY; fi
  DESKTOP_PIDS+=("$holder")
}

# Waits up to SECONDS for an X client to connect to $DISPLAY.
wait_for_x_clients() {  # seconds pid
  local i
  for i in $(seq 1 $(($1 * 5))); do
    timeout 5 xdpyinfo >/dev/null 2>&1 && return 0
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}

# Starts xdg-desktop-portal, the front of the desktop portals, with its
# backends from PORTAL_FOLDER (each backend already running), and waits for it.
start_desktop_portal() {  # portal_folder
  local portal
  for portal in /usr/libexec/xdg-desktop-portal /usr/lib/xdg-desktop-portal /usr/lib/*/libexec/xdg-desktop-portal; do
    [ -x "$portal" ] && break
  done
  [ -x "$portal" ] || desktop_skip "xdg-desktop-portal is not installed"
  desktop_spawn xdg-desktop-portal env XDG_DESKTOP_PORTAL_DIR="$1" "$portal" --verbose
  wait_for_bus_name org.freedesktop.portal.Desktop 20 "$DESKTOP_SPAWNED" ||
    desktop_fail "xdg-desktop-portal did not take org.freedesktop.portal.Desktop within 20 s"
}

# Ends every process of the session, last started first (each gets 5 s after
# SIGTERM before SIGKILL), with the X servers the compositors started, then
# the bus. Safe to call twice.
stop_desktop_session() {
  local i pid children=()
  for ((i = ${#DESKTOP_PIDS[@]} - 1; i >= 0; i--)); do
    pid=${DESKTOP_PIDS[i]}
    children+=($(pgrep -P "$pid" -x Xwayland 2>/dev/null || true))
    kill "$pid" 2>/dev/null || continue
    wait_for_exit "$pid" 5 || kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  for pid in "${children[@]}"; do
    [ "$(ps -o comm= -p "$pid" 2>/dev/null)" = Xwayland ] && kill -KILL "$pid" 2>/dev/null
  done
  DESKTOP_PIDS=()
  if [ -n "$DESKTOP_BUS_PID" ]; then
    kill "$DESKTOP_BUS_PID" 2>/dev/null || true
    DESKTOP_BUS_PID=
  fi
  return 0
}

# Waits up to SECONDS for process PID to end (a zombie counts as ended).
wait_for_exit() {  # pid seconds
  local i state
  for i in $(seq 1 $(($2 * 20))); do
    state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1) || return 0
    [ -z "$state" ] || [ "$state" = Z ] && return 0
    sleep 0.05
  done
  return 1
}
