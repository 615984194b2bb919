#!/usr/bin/env bash
# How the player starts and ends: without arguments it only hands over to the
# settings program (whose window appears); a window placed by the user (WINSET MODE 1) comes back
# where it was left and is saved at exit, while automatic placement writes
# nothing; -B starts hidden in the notification area.
# Usage: startup_e2e.sh BIN_FOLDER
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"

begin_e2e
mkdir -p "$work/music"
printf 'no sound\n' > "$work/music/a.xyz"

start_x_session with-tray
visible_window() { xdotool search --onlyvisible --name '^KESTRAVOX$' | head -n 1; }
ini_name="$(id -un).INI"

echo "- no arguments: nothing read, nothing written, exit 0"
export QORVE_HOME="$work/none"
"$bin/qorve"
[ ! -e "$QORVE_HOME" ] || { echo "the settings folder was created"; exit 1; }
# The settings program it started has its own test; it goes now, unsaved.
if [ -x "$bin/qorve-set" ]; then
  wait_for "xdotool search --onlyvisible --name '環境設定' >/dev/null" 30 || { echo "no settings program"; exit 1; }
  kill "$(xdotool search --onlyvisible --name '環境設定' getwindowpid | head -n 1)"
fi

quit_player() {
  sleep 0.4
  hold_key Escape
  wait_for_player
}

echo "- WINSET MODE 1: the stored rectangle, saved again at exit"
export QORVE_HOME="$work/mode1"
mkdir -p "$QORVE_HOME"
printf '[WINSET]\r\nMODE=1\r\nX=100\r\nY=200\r\nWIDTH=600\r\nHEIGHT=90\r\n' > "$QORVE_HOME/$ini_name"
"$bin/qorve" "$work/music/a.xyz" &
player=$!
wait_for '[ -n "$(visible_window)" ]'
eval "$(xdotool getwindowgeometry --shell "$(visible_window)")"
echo "  window at $X,$Y size ${WIDTH}x$HEIGHT"
[ "$X,$Y,$WIDTH,$HEIGHT" = "100,200,600,90" ] || { echo "window not where the settings put it"; exit 1; }
xdotool windowmove "$(visible_window)" 150 250
wait_for 'eval "$(xdotool getwindowgeometry --shell "$(visible_window)")"; [ "$X,$Y" = "150,250" ]'
quit_player
grep -q '^X=150' "$QORVE_HOME/$ini_name" && grep -q '^Y=250' "$QORVE_HOME/$ini_name" &&
  grep -q '^WIDTH=600' "$QORVE_HOME/$ini_name" && grep -q '^HEIGHT=90' "$QORVE_HOME/$ini_name" ||
  { echo "window rectangle not saved:"; cat "$QORVE_HOME/$ini_name"; exit 1; }

echo "- WINSET MODE 0: nothing written at exit"
export QORVE_HOME="$work/mode0"
"$bin/qorve" "$work/music/a.xyz" &
player=$!
wait_for '[ -n "$(visible_window)" ]'
quit_player
[ ! -e "$QORVE_HOME/$ini_name" ] || { echo "settings written in MODE 0"; exit 1; }

echo "- -B: starts hidden in the notification area"
export QORVE_HOME="$work/tray"
"$bin/qorve" "$work/music/a.xyz" -B &
player=$!
wait_for "grep -q 'ファイルオープン完了' '$QORVE_HOME/LOG.TXT'"
sleep 0.5
[ -z "$(visible_window)" ] || { echo "window shown although started with -B"; exit 1; }

echo "- SIGTERM ends the program like the exit key"
end_player
grep -q 'メッセージループ終了' "$QORVE_HOME/LOG.TXT" || { echo "no orderly exit on SIGTERM"; exit 1; }
echo "all start-up checks passed"
