#!/usr/bin/env bash
# The player in KDE Plasma's own compositor: KWin headless with Xwayland on a
# private session bus (scripts/lib/kwin.sh), KWin serving KGlobalAccel and
# xdg-desktop-portal running with KDE's backend. The player runs as an X
# client on Xwayland, asks for its place at the bottom of the screen and gets
# it, is kept above other windows, moves to the next file at a click on its
# "next" button and ends the orderly way at Esc held for 80 ms.
#
# Global keys (the last section; QORVE_E2E_GLOBAL_KEYS=0 leaves it out): a
# second run registers its keys with KGlobalAccel as the component "qorve",
# one action per key of the settings' key table, and logs them; the action
# "next", invoked through KGlobalAccel as a key press would, moves to the next
# file, while KDE's portal backend also runs in the session.
# Usage: kde_session_e2e.sh BIN_FOLDER (exit 77, skipped, only where KWin
# cannot start)
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
source "$here/xwayland_player.sh"
source "$here/../../scripts/lib/kwin.sh"
need_tools sox xdotool xprop xwininfo
check_global_keys=${QORVE_E2E_GLOBAL_KEYS:-1}
fail() {
  echo "FAIL: $*"
  show_player_output
  show_desktop_logs
  exit 1
}

begin_e2e
trap 'stop_kwin; end_e2e' EXIT
started=$SECONDS
start_kwin "$work/session"
echo "KWin on $WAYLAND_DISPLAY, Xwayland on $DISPLAY, up in $((SECONDS - started)) s; QT_QPA_PLATFORM ${QT_QPA_PLATFORM-unset}"

make_tone_folder
start_player_on_tones
find_player_window
check_asked_place
check_placed_as_asked KWin
click_next_button
end_by_escape

# ---------------------------------------------------------------------------
# Global keys through KGlobalAccel.
if [ "$check_global_keys" = 1 ]; then
  echo "- global keys"
  kglobalaccel() {  # method arguments...
    local method=$1
    shift
    dbus-send --session --print-reply --dest=org.kde.kglobalaccel /component/qorve \
      "org.kde.kglobalaccel.Component.$method" "$@"
  }
  new_player_home home-keys
  start_player_on_tones
  wait_for_log '"グローバルショートカット KGlobalAccel ' 15 || fail "the player registered no keys with KGlobalAccel"
  registered=$(grep -F '"グローバルショートカット KGlobalAccel ' "$log" | head -n 1)
  echo "  $registered"
  names=$(kglobalaccel shortcutNames) || fail "KGlobalAccel has no component qorve"
  for action in close pause loop list rand full zoom next back show hidden volumeup volumedown; do
    grep -qF "string \"$action\"" <<<"$names" || fail "the component qorve has no action $action"
  done
  count=$(grep -oE '=[^ "]+' <<<"$registered" | wc -l)
  grep -qF "\"$count\"" <<<"$registered" || fail "the log line does not count its $count keys"
  echo "ok: the component qorve has the 13 actions of the key table; the log lists $count keys"
  kglobalaccel invokeShortcut string:next >/dev/null || fail "KGlobalAccel did not invoke qorve's next"
  wait_for_log "\"$work/music/b.wav\" , \"1\"" 10 || fail "next invoked through KGlobalAccel did not move to b.wav"
  echo "ok: next invoked through KGlobalAccel loaded b.wav"
  bus_name_owned org.freedesktop.impl.portal.desktop.kde || fail "KDE's portal backend no longer runs"
  dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop /org/freedesktop/portal/desktop \
    org.freedesktop.DBus.Properties.Get string:org.freedesktop.portal.GlobalShortcuts string:version >/dev/null ||
    fail "the session offers no global shortcuts portal"
  echo "ok: the session's portal offers global shortcuts through KDE's backend"
  end_by_escape
fi
echo "PASS"
