#!/usr/bin/env bash
# The player as a desktop remote sees it: on a private session bus, offscreen,
# playing a folder of three tagged Ogg Vorbis pieces into the capture device,
# playerctl reads its metadata, pauses and plays it, skips, seeks, sets the
# play mode and the volume; Quit is ignored while paused, as the exit key is,
# and ends it otherwise. Under Xvfb with a notification area, Raise brings the
# player back from the tray. Without a session bus the player plays as before.
# Usage: mpris_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools)
set -euo pipefail
bin=$(cd "$1" && pwd)
for tool in sox oggenc playerctl dbus-daemon dbus-send; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
begin_offscreen_e2e
fail() { echo "FAIL: $*"; exit 1; }

bus_pid=
stop_bus() { if [ -n "$bus_pid" ]; then kill "$bus_pid" 2>/dev/null || true; fi; end_e2e; }
trap stop_bus EXIT
{ read -r DBUS_SESSION_BUS_ADDRESS; read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS

mkdir -p "$work/music"
for piece in "a 440 朝" "b 550 昼" "c 660 夜"; do
  read -r name hertz title <<<"$piece"
  sox -n -r 44100 -c 2 -b 16 "$work/$name.wav" synth 20 sine "$hertz" vol 0.3
  oggenc -Q -t "$title" -a "QORVE" -l "一日" "$work/$name.wav" -o "$work/music/$name.ogg"
done
export QORVE_HOME="$work/home" QORVE_AUDIO="wav:$work/capture.wav"
mkdir -p "$QORVE_HOME"
printf '[SOUNDSET]\r\nLOOP=2\r\n' >"$QORVE_HOME/$(id -un).INI"

ctl() { playerctl -p qorve "$@"; }
"$bin/qorve" "$work/music/a.ogg" &
player=$!
wait_for '[ "$(ctl status)" = Playing ]' 15 || fail "the player did not appear on the bus"

echo "- metadata"
[ "$(ctl metadata title)" = 朝 ] || fail "title: $(ctl metadata title)"
[ "$(ctl metadata artist)" = QORVE ] || fail "artist: $(ctl metadata artist)"
[ "$(ctl metadata album)" = 一日 ] || fail "album: $(ctl metadata album)"
[ "$(ctl metadata xesam:url)" = "file://$work/music/a.ogg" ] || fail "url: $(ctl metadata xesam:url)"
[ "$(ctl metadata mpris:length)" = 20000000 ] || fail "length: $(ctl metadata mpris:length)"

echo "- pause, play, next, previous"
ctl pause
wait_for '[ "$(ctl status)" = Paused ]' 5 || fail "pause"
ctl play
wait_for '[ "$(ctl status)" = Playing ]' 5 || fail "play"
ctl next
wait_for '[ "$(ctl metadata title)" = 昼 ]' 5 || fail "next: $(ctl metadata title)"
ctl previous
wait_for '[ "$(ctl metadata title)" = 朝 ]' 5 || fail "previous: $(ctl metadata title)"

echo "- seek"
ctl position 12
wait_for 'awk -v p="$(ctl position)" "BEGIN { exit !(p >= 11.9 && p < 14) }"' 5 || fail "position $(ctl position)"

echo "- play mode and volume"
ctl loop Track
wait_for '[ "$(ctl loop)" = Track ]' 5 || fail "loop: $(ctl loop)"
ctl shuffle On
wait_for '[ "$(ctl shuffle)" = On ]' 5 || fail "shuffle: $(ctl shuffle)"
ctl shuffle Off
wait_for '[ "$(ctl shuffle)" = Off ] && [ "$(ctl loop)" = Playlist ]' 5 || fail "shuffle off: $(ctl loop)"
ctl volume 0.25
wait_for 'awk -v v="$(ctl volume)" "BEGIN { exit !(v > 0.24 && v < 0.26) }"' 5 || fail "volume $(ctl volume)"

echo "- quit: ignored while paused, obeyed while playing"
quit() {
  dbus-send --session --type=method_call --dest=org.mpris.MediaPlayer2.qorve /org/mpris/MediaPlayer2 \
    org.mpris.MediaPlayer2.Quit
}
ctl pause
wait_for '[ "$(ctl status)" = Paused ]' 5 || fail "pause before quit"
quit
sleep 0.5
kill -0 "$player" 2>/dev/null || fail "quit ended a paused player"
ctl play
wait_for '[ "$(ctl status)" = Playing ]' 5 || fail "play before quit"
quit
wait_for_end "$player" 5 || { show_threads "$player"; fail "quit did not end the player"; }
wait "$player" || fail "the player did not end cleanly"
player=0

echo "- raise from the notification area (Xvfb)"
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
  start_x_session with-tray
  "$bin/qorve" "$work/music/b.ogg" &
  player=$!
  visible_window() { xdotool search --onlyvisible --name '^KESTRAVOX$' | head -n 1; }
  wait_for '[ -n "$(visible_window)" ] && [ "$(ctl status)" = Playing ]' 15 || fail "no window"
  hold_key space  # hides the player in the notification area; it plays on
  wait_for '[ -z "$(visible_window)" ]' 5 || fail "space did not hide the player"
  [ "$(ctl status)" = Playing ] || fail "hidden, the player stopped: $(ctl status)"
  sleep 0.5  # input stays blocked for a moment after hiding
  dbus-send --session --type=method_call --dest=org.mpris.MediaPlayer2.qorve /org/mpris/MediaPlayer2 \
    org.mpris.MediaPlayer2.Raise
  wait_for '[ -n "$(visible_window)" ]' 5 || fail "Raise did not bring the player back"
  end_player
  stop_x_session
  export QT_QPA_PLATFORM=offscreen
  unset DISPLAY
else
  echo "  (no Xvfb or xdotool: left out)"
fi

echo "- no session bus"
DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" QORVE_AUDIO="wav:$work/alone.wav" "$bin/qorve" "$work/music/c.ogg" &
player=$!
wait_for "[ \$(captured_tenths '$work/alone.wav') -ge 10 ]" 60 ||
  fail "without a bus the player did not play a second of sound within 60 s"
end_player
[ "$(soxi -D "$work/alone.wav" | cut -d. -f1)" -ge 1 ] || fail "without a bus the player did not play"
echo "mpris: ok"
