# Sourced by the tests that run in KDE Plasma's compositor.
#
# start_kwin ROOT: a KDE Plasma session without its shell, in the private
# folder ROOT (desktop_session.sh): KWin 5.27 headless (--virtual, one
# 1280x1024 output) with Xwayland, on a private session bus, with
# XDG_CURRENT_DESKTOP=KDE and KDE_FULL_SESSION=true; KWin serves the global
# shortcuts (org.kde.kglobalaccel: on Wayland KGlobalAccel's daemon runs
# inside KWin, and kglobalaccel5 would find the name taken), and
# xdg-desktop-portal runs with KDE's backend (xdg-desktop-portal-kde). Exports
# WAYLAND_DISPLAY, DISPLAY, DBUS_SESSION_BUS_ADDRESS and the session's folders,
# unsets QT_QPA_PLATFORM; KWIN_LOG is KWin's output. Where KWin is missing or
# cannot start the test ends as skipped (exit 77) with KWin's own words.
# stop_kwin ends the session.
#
# KWin runs from a copy: the installed binary carries a file capability
# (cap_sys_resource, for its real-time scheduling) that a container without
# that capability refuses to execute ("Operation not permitted"); the copy has
# none. KWin draws with QPainter (KWIN_COMPOSE=Q): no GPU is needed, and it
# costs less than OpenGL through llvmpipe. It needs no logind with --virtual.

source "$(dirname "${BASH_SOURCE[0]}")/desktop_session.sh"
KWIN_LOG=
KWIN_PID=

start_kwin() {  # root
  local kwin portal_kde announce
  kwin=$(command -v kwin_wayland) || desktop_skip "kwin_wayland is not installed"
  command -v Xwayland >/dev/null || desktop_skip "Xwayland is not installed"
  command -v xdpyinfo >/dev/null || desktop_skip "xdpyinfo is not installed"
  for portal_kde in /usr/lib/*/libexec/xdg-desktop-portal-kde /usr/libexec/xdg-desktop-portal-kde; do
    [ -x "$portal_kde" ] && break
  done
  [ -x "$portal_kde" ] || desktop_skip "xdg-desktop-portal-kde is not installed"

  begin_desktop_session "$1" KDE
  export KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
  cp "$kwin" "$DESKTOP_ROOT/kwin_wayland"
  announce=$(desktop_announce_file)
  export WAYLAND_DISPLAY=qorve-kwin-$$
  # KWin starts the program it is given once Wayland and Xwayland take
  # clients, with DISPLAY set: that is how the test learns the X display,
  # which KWin picks itself.
  desktop_spawn kwin env KWIN_COMPOSE=Q "$DESKTOP_ROOT/kwin_wayland" --virtual --xwayland --width 1280 --height 1024 \
    --socket "$WAYLAND_DISPLAY" --no-lockscreen "$announce $DESKTOP_ROOT/display"
  KWIN_PID=$DESKTOP_SPAWNED
  KWIN_LOG="$DESKTOP_ROOT/kwin.log"
  read_announcement "$DESKTOP_ROOT/display" 30 "$KWIN_PID" || {
    kill -0 "$KWIN_PID" 2>/dev/null && desktop_fail "KWin started no X server within 30 s"
    desktop_skip "kwin_wayland ended at its start"
  }
  wait_for_x_clients 20 "$KWIN_PID" || desktop_fail "no X client could connect to KWin's Xwayland on $DISPLAY"
  wait_for_bus_name org.kde.kglobalaccel 10 "$KWIN_PID" || desktop_fail "KWin serves no org.kde.kglobalaccel"
  [ "$(bus_name_pid org.kde.kglobalaccel)" = "$KWIN_PID" ] ||
    desktop_fail "org.kde.kglobalaccel is not KWin's (pid $(bus_name_pid org.kde.kglobalaccel))"

  desktop_spawn xdg-desktop-portal-kde "$portal_kde"
  wait_for_bus_name org.freedesktop.impl.portal.desktop.kde 20 "$DESKTOP_SPAWNED" ||
    desktop_fail "xdg-desktop-portal-kde did not come up"
  start_desktop_portal /usr/share/xdg-desktop-portal/portals
}

stop_kwin() {
  stop_desktop_session
  KWIN_PID=
}
