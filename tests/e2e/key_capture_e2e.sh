#!/usr/bin/env bash
# A key bound by pressing it: the key-binding dialog captures a key sent with
# xdotool (a mouse click during the capture binds nothing), the dialog is
# closed without OK and the settings saved; the player started afterwards
# ends on the new key and no longer on Esc.
# Usage: key_capture_e2e.sh BIN_FOLDER
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"

[ -x "$bin/key_binding_probe" ] || { echo "SKIP: key_binding_probe is not built"; exit 77; }
begin_e2e
export QORVE_HOME="$work/settings" LANG=ja_JP.UTF-8
start_x_session

# Row 0 is the exit command.
"$bin/key_binding_probe" 0 20 > "$work/probe.out" &
probe=$!
wait_for "grep -q ready '$work/probe.out'"
xdotool click 1
sleep 0.1
grep -q captured "$work/probe.out" && { echo "FAIL: a mouse click was bound"; exit 1; }
xdotool key q
# The probe ends by itself within its 20 s.
if ! wait_for_end "$probe" 30; then
  echo "FAIL: the probe did not end within 30 s"
  show_threads "$probe"
  kill -KILL "$probe" 2>/dev/null || true
  exit 1
fi
wait "$probe" || { echo "FAIL: the probe captured nothing"; cat "$work/probe.out"; exit 1; }
grep -qx "captured 81" "$work/probe.out" || { echo "FAIL: expected Q (81)"; cat "$work/probe.out"; exit 1; }
grep -qx "CLOSE=81" "$QORVE_HOME"/*.INI || { echo "FAIL: the settings file lacks CLOSE=81"; cat "$QORVE_HOME"/*.INI; exit 1; }
echo "Q captured and stored"

mkdir -p "$work/music"
printf 'no sound here\n' > "$work/music/a.xyz"
"$bin/qorve" "$work/music/a.xyz" &
player=$!
wait_for '[ -n "$(xdotool search --onlyvisible --name "^KESTRAVOX$" | head -n 1)" ]'
sleep 0.5
hold_key Escape
sleep 1
kill -0 "$player" || { echo "FAIL: Esc still ends the player"; exit 1; }
hold_key q
wait_for_player
echo "the player ends on Q and not on Esc"
