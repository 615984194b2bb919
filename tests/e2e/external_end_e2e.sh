#!/usr/bin/env bash
# The player ended from outside while it plays: the X server going away under
# it, and SIGTERM (also while paused, where the exit key is refused). Each time
# it must end within a few seconds through its exit sequence: the sound device
# closed (the captured WAV file's header counts every byte), the window
# rectangle saved (WINSET MODE 1), the log written to the end.
# Usage: external_end_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools)
set -euo pipefail
bin=$(cd "$1" && pwd)
for tool in sox oggenc; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"

begin_e2e
ini_name="$(id -un).INI"
mkdir -p "$work/music"
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 60 sine 440 vol 0.3
oggenc -Q "$work/tone.wav" -o "$work/music/tone.ogg"

fail() { echo "FAIL: $*"; exit 1; }
visible_window() { xdotool search --onlyvisible --name '^KESTRAVOX$' | head -n 1; }
file_size() { stat -c %s "$1" 2>/dev/null || echo 0; }

# Starts the player on the tone with the settings folder $work/NAME, captured
# into $work/NAME.wav, and moves its window to 150,250 once it plays.
start_playing() {
  export QORVE_HOME="$work/$1"
  capture="$work/$1.wav"
  export QORVE_AUDIO="wav:$capture"
  mkdir -p "$QORVE_HOME"
  printf '[KESTRAVOX]\r\nLOG=1\r\n[WINSET]\r\nMODE=1\r\nX=100\r\nY=200\r\nWIDTH=600\r\nHEIGHT=90\r\n' \
    >"$QORVE_HOME/$ini_name"
  "$bin/qorve" "$work/music/tone.ogg" 2>"$work/$1.err" &
  player=$!
  wait_for '[ -n "$(visible_window)" ]' 20 || fail "no window"
  xdotool windowmove "$(visible_window)" 150 250
  wait_for 'eval "$(xdotool getwindowgeometry --shell "$(visible_window)")"; [ "$X,$Y" = "150,250" ]' ||
    fail "the window did not move"
  wait_for '[ "$(file_size "$capture")" -gt 100000 ]' 20 || fail "no sound reaches the capture"
}

# Waits up to 30 seconds for the player to end and checks its exit status.
expect_end() {  # expected-status
  local status=0
  wait_for "! running $player" 30 || fail "the player still runs 30 s later"
  wait "$player" || status=$?
  player=0
  [ "$status" = "$1" ] || { cat "$work/$name.err"; fail "exit status $status, expected $1"; }
}

# What every end must leave behind.
expect_orderly_end() {
  local log="$QORVE_HOME/LOG.TXT" data header
  grep -q 'メッセージループ終了' "$log" || fail "the exit sequence did not run"
  grep -q 'WAVEOUT - STOP' "$log" || fail "the sound was not stopped"
  grep -q '^X=150' "$QORVE_HOME/$ini_name" && grep -q '^Y=250' "$QORVE_HOME/$ini_name" ||
    fail "window rectangle not saved: $(tr -d '\r' <"$QORVE_HOME/$ini_name" | paste -sd ' ')"
  data=$(($(file_size "$capture") - 44))
  header=$(od -An -tu4 -j40 -N4 "$capture" | tr -d ' ')
  [ "$data" -gt 0 ] && [ "$header" = "$data" ] ||
    fail "capture not closed: its header says $header bytes of sound, the file holds $data"
}

echo "- the X server goes away under a playing player"
name=lost
start_x_session
start_playing "$name"
kill -KILL "$XVFB_PID"
wait "$XVFB_PID" 2>/dev/null || true
XVFB_PID=
expect_end 1
expect_orderly_end
grep -q 'ディスプレイ接続切断' "$QORVE_HOME/LOG.TXT" || fail "the lost connection is not logged"
stop_x_session

echo "- SIGTERM ends a playing player"
name=term
start_x_session
start_playing "$name"
kill -TERM "$player"
expect_end 0
expect_orderly_end

echo "- SIGTERM ends a paused player"
name=paused
start_playing "$name"
hold_key p
size=$(file_size "$capture")
wait_for 'sleep 0.3; [ "$(file_size "$capture")" = "$size" ] || { size=$(file_size "$capture"); false; }' ||
  fail "the player did not pause"
kill -TERM "$player"
expect_end 0
expect_orderly_end
echo "all external-end checks passed"
