#!/usr/bin/env bash
# Short key taps reach the player under a real X server: a 5 ms tap of the
# next key moves on, and a 5 ms tap of Esc (pressed and released between two
# passes over the window system's events) ends the player; so does a tap with
# no hold at all, as scripts send them.
# Usage: key_tap_e2e.sh BIN_FOLDER (exit 77, skipped, without the X tools)
set -euo pipefail
bin=$(cd "$1" && pwd)
command -v sox >/dev/null || { echo "SKIP: sox is not installed"; exit 77; }
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
begin_e2e
start_x_session
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/music" "$work/home"
# Long enough that neither file ends during the test.
sox -n -r 22050 -c 1 -b 16 "$work/music/a.wav" synth 30 sine 440 vol 0.1
sox -n -r 22050 -c 1 -b 16 "$work/music/b.wav" synth 30 sine 660 vol 0.1
printf '[KESTRAVOX]\r\nLOG=1\r\n' >"$work/home/$(id -un).INI"
export QORVE_HOME="$work/home" QORVE_AUDIO="wav:$work/capture.wav"
log="$work/home/LOG.TXT"

start_player() {
  rm -f "$log"
  "$bin/qorve" "$work/music/a.wav" &
  player=$!
  wait_for "grep -q 'ファイルオープン完了' '$log'" 20 || fail "the player did not start"
  wait_for "xdotool search --onlyvisible --name '^KESTRAVOX$'" 10 || fail "no player window"
  sleep 0.3
}
# One xdotool run, so that the key is held for the 5 ms alone (no process
# start in between, and no keystroke delay: its default of 12 ms would make
# the tap as long as an event pass).
tap_5ms() { xdotool keydown --delay 0 "$1" sleep 0.005 keyup --delay 0 "$1"; }
expect_end() {  # what
  wait_for "! kill -0 $player" 5 || fail "$1 did not end the player"
  wait "$player" || fail "the player ended with status $? after $1"
  player=0
  echo "ok: $1 ended the player"
}

echo "- 5 ms taps: next, then Esc"
start_player
tap_5ms Right
wait_for "grep -q 'NEXT 終了' '$log'" 5 || fail "a 5 ms tap of the next key did not move on"
echo "ok: a 5 ms tap of the next key moved on"
tap_5ms Escape
expect_end "a 5 ms tap of Esc"

echo "- a tap with no hold"
start_player
xdotool key --delay 0 Escape
expect_end "a tap of Esc with no hold"
