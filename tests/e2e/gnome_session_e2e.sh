#!/usr/bin/env bash
# The player in GNOME's own compositor: Mutter headless with Xwayland on a
# private session bus (scripts/lib/mutter.sh), with xdg-desktop-portal but no
# global shortcuts service, and the test's notification server
# (notification_server.py) as the desktop's. The player runs as an X client
# on Xwayland, asks for its place at the bottom of the screen and gets it, is
# kept above other windows, moves to the next file at a click on its "next"
# button and ends the orderly way at Esc held for 80 ms.
#
# Global keys (the last section; QORVE_E2E_GLOBAL_KEYS=0 leaves it out): a
# second run finds no global shortcuts service, logs so and tells the user
# once, by one notification naming `qorve --command`; `qorve --command NEXT`
# moves it to the next file and `qorve --command CLOSE` ends it orderly.
# Usage: gnome_session_e2e.sh BIN_FOLDER (exit 77, skipped, only where Mutter
# cannot start)
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
source "$here/xwayland_player.sh"
source "$here/../../scripts/lib/mutter.sh"
need_tools sox xdotool xprop xwininfo
check_global_keys=${QORVE_E2E_GLOBAL_KEYS:-1}
fail() {
  echo "FAIL: $*"
  show_player_output
  [ -s "${notifications:-}" ] && { echo "--- notifications:"; cat "$notifications"; }
  show_desktop_logs
  exit 1
}
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null ||
  fail "python3-dbus and python3-gi are not installed (scripts/bootstrap.sh installs them)"

begin_e2e
trap 'stop_mutter; end_e2e' EXIT
started=$SECONDS
start_mutter "$work/session"
echo "Mutter on $WAYLAND_DISPLAY, Xwayland on $DISPLAY, up in $((SECONDS - started)) s; QT_QPA_PLATFORM ${QT_QPA_PLATFORM-unset}"
# The desktop's notification server, a process of the session (stopped with it).
notifications="$work/notifications.jsonl"
desktop_spawn notification-server "$here/notification_server.py" "$notifications"
wait_for "grep -qx ready '$DESKTOP_ROOT/notification-server.log'" 10 || fail "the notification server did not start"

make_tone_folder
start_player_on_tones
find_player_window
check_asked_place
check_placed_as_asked Mutter
click_next_button
end_by_escape

# ---------------------------------------------------------------------------
# Global keys: none in this session; the command line stands in for them.
if [ "$check_global_keys" = 1 ]; then
  echo "- global keys"
  # Notify calls of this run (those recorded after the lines there are now)
  # whose body names the command line.
  seen=$(wc -l <"$notifications" 2>/dev/null || echo 0)
  told() {
    tail -n +$((seen + 1)) "$notifications" 2>/dev/null | grep -cE '"body": "([^"\\]|\\.)*qorve --command' || true
  }
  new_player_home home-keys
  start_player_on_tones
  wait_for_log '"グローバルショートカットなし (' 15 || fail "the log does not say that no global keys are served"
  grep -F '"グローバルショートカットなし (' "$log"
  wait_for '[ "$(told)" -ge 1 ]' 10 || fail "no notification names qorve --command"
  tail -n +$((seen + 1)) "$notifications"
  run_bounded 10 "$bin/qorve" --command NEXT || fail "qorve --command NEXT failed"
  wait_for_log "\"$work/music/b.wav\" , \"1\"" 10 || fail "qorve --command NEXT did not move to b.wav"
  echo "ok: qorve --command NEXT loaded b.wav"
  run_bounded 10 "$bin/qorve" --command CLOSE || fail "qorve --command CLOSE failed"
  check_orderly_end "qorve --command CLOSE"
  [ "$(told)" -eq 1 ] || fail "$(told) notifications name qorve --command, not one"
  echo "ok: one notification told the user of qorve --command"
fi
echo "PASS"
