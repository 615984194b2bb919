#!/usr/bin/env bash
# `qorve --command NAME` against a player under Xvfb on a private session bus,
# playing a folder of three Ogg Vorbis pieces into the capture device: NEXT
# moves on although its key is unbound; PAUSE, the play modes, BACK, NEXT and
# the volume act as their keys (seen through MPRIS); bad names end with 2 and
# the list of names; a second player leaves the commands to the first; CLOSE
# is dropped while paused, as the key is, and otherwise ends the player the
# orderly way; with no player, or no session bus, the sender ends with 1 and
# makes nothing of a player (no settings, log, sound or display).
# Usage: remote_command_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools)
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
need_tools sox oggenc playerctl dbus-daemon dbus-send
begin_e2e
start_x_session

bus_pid=
second=0
stop_all() {
  if [ "$second" != 0 ]; then kill -KILL "$second" 2>/dev/null || true; fi
  end_e2e
  if [ -n "$bus_pid" ]; then kill "$bus_pid" 2>/dev/null || true; fi
}
trap stop_all EXIT
{ read -r DBUS_SESSION_BUS_ADDRESS; read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS

mkdir -p "$work/music"
for piece in "a 440" "b 550" "c 660"; do
  read -r name hertz <<<"$piece"
  sox -n -r 44100 -c 2 -b 16 "$work/$name.wav" synth 30 sine "$hertz" vol 0.3
  oggenc -Q -t "$name" "$work/$name.wav" -o "$work/music/$name.ogg"
done
settings() {  # folder, then extra lines of the INI file
  local folder=$1
  shift
  mkdir -p "$folder"
  printf '[KESTRAVOX]\r\nLOG=1\r\n' >"$folder/$(id -un).INI"
  printf '%s\r\n' "$@" >>"$folder/$(id -un).INI"
}
# NEXT has no key: only the remote can ask for it.
settings "$work/home" '[KEYSET]' 'NEXT=0'
export QORVE_HOME="$work/home" QORVE_AUDIO="wav:$work/capture.wav"
export QORVE_MIXER_START=30000  # room for the volume to go up and down

# Sends a command; its exit status, its error output in $work/err.
send() { run_bounded 15 "$bin/qorve" --command "$@" 2>"$work/err"; }
# Sends a command that must be taken.
send_taken() { send "$1" || fail_showing_log "--command $1 was not taken: $(cat "$work/err")"; }
# Sends a command that must end with STATUS and say TEXT.
send_expecting() {  # status text arguments...
  local expected=$1 text=$2 status=0
  shift 2
  send "$@" || status=$?
  [ "$status" = "$expected" ] || fail_showing_log "--command $* ended with $status, not $expected: $(cat "$work/err")"
  grep -qF "$text" "$work/err" || fail_showing_log "--command $* did not say \"$text\": $(cat "$work/err")"
}
ctl() { playerctl -p qorve "$@"; }
names="CLOSE PAUSE LOOP LIST RAND FULL ZOOM NEXT BACK SHOW HIDDEN VOLUMEUP VOLUMEDOWN"

echo "- no player yet"
send_expecting 1 "no player is running" NEXT

"$bin/qorve" "$work/music/a.ogg" &
player=$!
wait_for '[ "$(ctl status)" = Playing ]' 20 || fail_showing_log "the player did not appear on the bus"

echo "- NEXT, its key unbound"
send_taken NEXT
wait_for_log "\"$work/music/b.ogg\" , \"1\"" 10 || fail_showing_log "NEXT did not open b.ogg"
wait_for_log '"リモートコマンド NEXT"' 5 || fail_showing_log "NEXT was not logged"

echo "- commands as their keys"
volume_before=0
louder() { awk -v v="$(ctl volume)" -v b="$volume_before" 'BEGIN { exit !(v > b) }'; }
softer() { awk -v v="$(ctl volume)" -v b="$volume_before" 'BEGIN { exit !(v < b) }'; }
while IFS='|' read -r name condition; do
  volume_before=$(ctl volume)
  send_taken "$name"
  wait_for "$condition" 10 || fail_showing_log "--command $name: not $condition"
  echo "  $name: $condition"
done <<'TABLE'
PAUSE|[ "$(ctl status)" = Paused ]
pause|[ "$(ctl status)" = Playing ]
LOOP|[ "$(ctl loop)" = Track ]
Rand|[ "$(ctl shuffle)" = On ]
LIST|[ "$(ctl shuffle)" = Off ] && [ "$(ctl loop)" = Playlist ]
BACK|[ "$(ctl metadata title)" = a ]
next|[ "$(ctl metadata title)" = b ]
VOLUMEUP|louder
VolumeDown|softer
TABLE

echo "- bad names"
send_expecting 2 "$names" bogus
send_expecting 2 'unknown command "bogus"' bogus
send_expecting 2 "$names"
send_expecting 2 "$names" NEXT "$work/music/c.ogg"
[ "$(ctl metadata title)" = b ] || fail_showing_log "a bad call moved the player"

echo "- a second player leaves the commands to the first"
settings "$work/home2"
QORVE_HOME="$work/home2" QORVE_AUDIO="wav:$work/second.wav" "$bin/qorve" "$work/music/c.ogg" &
second=$!
has_owner() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}
wait_for "has_owner org.mpris.MediaPlayer2.qorve.instance$second" 20 || fail_showing_log "the second player did not start"
owner=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.GetConnectionUnixProcessID string:io.github.qorve.Player | awk '/uint32/ { print $2 }')
[ "$owner" = "$player" ] || fail_showing_log "io.github.qorve.Player is owned by process $owner, not by the first player $player"
# The first player's status by its own bus name (playerctl -p would take
# either player).
first_status() {
  dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.qorve /org/mpris/MediaPlayer2 \
    org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player string:PlaybackStatus |
    grep -oE '"[A-Za-z]+"' | tr -d '"'
}
send_taken PAUSE
wait_for '[ "$(first_status)" = Paused ]' 10 || fail_showing_log "PAUSE did not reach the first player"
kill -TERM "$second"
wait_for_end "$second" 30 || fail_showing_log "the second player did not end"
wait "$second" || fail_showing_log "the second player did not end cleanly"
second=0
! grep -qF 'リモートコマンド' "$work/home2/LOG.TXT" || fail_showing_log "the second player took a command"

echo "- CLOSE: dropped while paused, as the key is"
send_taken CLOSE
# A later command is carried out after CLOSE: once it shows, CLOSE has been dropped.
send_taken RAND
wait_for '[ "$(ctl shuffle)" = On ]' 10 || fail_showing_log "RAND after CLOSE"
running "$player" || fail_showing_log "CLOSE ended a paused player"

echo "- CLOSE while playing ends the player the orderly way"
send_taken PAUSE
wait_for '[ "$(ctl status)" = Playing ]' 10 || fail_showing_log "PAUSE did not resume"
send_taken close
wait_for_player 15 "of --command CLOSE"
grep -qF '"メッセージループ終了"' "$QORVE_HOME/LOG.TXT" || fail_showing_log "the player did not end through its exit sequence"

echo "- after the player has ended"
send_expecting 1 "no player is running" NEXT

echo "- no session bus: the sender makes nothing of a player"
mkdir "$work/alone"
status=0
DBUS_SESSION_BUS_ADDRESS= QORVE_HOME="$work/alone" QORVE_AUDIO="wav:$work/alone/sound.wav" DISPLAY=:4242 \
  QT_QPA_PLATFORM=xcb run_bounded 15 "$bin/qorve" --command=NEXT 2>"$work/err" || status=$?
[ "$status" = 1 ] || fail_showing_log "without a bus --command ended with $status: $(cat "$work/err")"
grep -qF "no session bus" "$work/err" || fail_showing_log "without a bus: $(cat "$work/err")"
[ "$(wc -l <"$work/err")" = 1 ] || fail_showing_log "more than one line without a bus: $(cat "$work/err")"
[ -z "$(ls -A "$work/alone")" ] || fail_showing_log "the sender made files: $(ls -A "$work/alone")"
echo "remote command: ok"
