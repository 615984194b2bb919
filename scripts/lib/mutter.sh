# Sourced by the tests that run in GNOME's compositor.
#
# start_mutter ROOT: a GNOME session without its shell, in the private folder
# ROOT (desktop_session.sh): Mutter 43 headless with one 1280x1024 virtual
# monitor and Xwayland, on a private session bus, with
# XDG_CURRENT_DESKTOP=GNOME, and xdg-desktop-portal with no backend at all:
# GNOME's own backend has no global shortcuts, and the KDE backend installed
# on the machine must not stand in for it (xdg-desktop-portal 1.16 falls back
# to any backend when none is meant for the desktop). Nothing in the session
# serves global shortcuts. Exports WAYLAND_DISPLAY, DISPLAY, XAUTHORITY
# (Mutter's Xwayland asks for one), DBUS_SESSION_BUS_ADDRESS and the
# session's folders, unsets QT_QPA_PLATFORM; MUTTER_LOG is Mutter's output.
# Where Mutter is missing or cannot start the test ends as skipped (exit 77)
# with Mutter's own words. stop_mutter ends the session.
#
# Mutter keeps its settings in memory (GSETTINGS_BACKEND=memory: no dconf
# service on the private bus) and needs no logind when headless.

source "$(dirname "${BASH_SOURCE[0]}")/desktop_session.sh"
MUTTER_LOG=
MUTTER_PID=

start_mutter() {  # root
  local announce
  command -v mutter >/dev/null || desktop_skip "mutter is not installed"
  command -v Xwayland >/dev/null || desktop_skip "Xwayland is not installed"
  command -v xdpyinfo >/dev/null || desktop_skip "xdpyinfo is not installed"

  begin_desktop_session "$1" GNOME
  export GSETTINGS_BACKEND=memory
  announce=$(desktop_announce_file)
  export WAYLAND_DISPLAY=qorve-mutter-$$
  # Mutter runs the command it is given as the session once Xwayland takes
  # clients, with DISPLAY and XAUTHORITY set, and ends when it ends.
  desktop_spawn mutter mutter --wayland --headless --virtual-monitor 1280x1024 --wayland-display "$WAYLAND_DISPLAY" \
    -- "$announce" "$DESKTOP_ROOT/display"
  MUTTER_PID=$DESKTOP_SPAWNED
  MUTTER_LOG="$DESKTOP_ROOT/mutter.log"
  read_announcement "$DESKTOP_ROOT/display" 30 "$MUTTER_PID" || {
    kill -0 "$MUTTER_PID" 2>/dev/null && desktop_fail "Mutter started no X server within 30 s"
    desktop_skip "mutter ended at its start"
  }
  wait_for_x_clients 20 "$MUTTER_PID" || desktop_fail "no X client could connect to Mutter's Xwayland on $DISPLAY"

  mkdir -p "$DESKTOP_ROOT/portals"
  start_desktop_portal "$DESKTOP_ROOT/portals"
}

stop_mutter() {
  stop_desktop_session
  MUTTER_PID=
}
