#!/usr/bin/env bash
# The settings program as a new user meets it: `qorve` without arguments opens
# it; every dialog opens from the main dialog by keyboard (a screenshot of each
# goes to the artefacts folder and must show a real picture); a value changed
# with OK is written when the main dialog closes, and the player started
# afterwards follows it.
# Usage: settings_program_e2e.sh BIN_FOLDER ARTEFACTS_FOLDER
set -euo pipefail
bin=$(cd "$1" && pwd)
mkdir -p "$2"
artefacts=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"

[ -x "$bin/qorve-set" ] || { echo "SKIP: qorve-set is not built"; exit 77; }
for tool in /usr/bin/import /usr/bin/identify; do
  [ -x "$tool" ] || { echo "SKIP: ImageMagick is not installed"; exit 77; }
done
begin_e2e
start_x_session
export QORVE_HOME="$work/home"
ini="$QORVE_HOME/$(id -un).INI"

window_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
wait_window() { wait_for "[ -n \"\$(window_named '$1')\" ]" 30; window_named "$1"; }
wait_gone() { wait_for "[ -z \"\$(window_named '$1')\" ]" 30; }

# Keys go to the window that has the input focus; without a window manager
# the test gives it.
keys_to() {
  local window=$1
  shift
  xdotool windowfocus --sync "$window"
  sleep 0.2
  xdotool key --delay 80 "$@"
}

# Saves a window's picture and checks it is one: the expected size at least
# and more than a handful of colours (text and frames, not a blank). Shoots
# again until it is, for at most 30 s (a loaded machine paints late).
screenshot() {
  local window=$1 name=$2 file="$artefacts/$2.png" size until_=$((SECONDS + 30))
  while :; do
    sleep 0.4
    /usr/bin/import -window "$window" "$file"
    size=$(/usr/bin/identify -format '%w %h %k' "$file")
    read -r w h colours <<<"$size"
    [ "$w" -ge 200 ] && [ "$h" -ge 90 ] && [ "$colours" -ge 8 ] && break
    [ "$SECONDS" -lt "$until_" ] || break
  done
  echo "  $name.png: $size (width height colours)"
  [ "$w" -ge 200 ] && [ "$h" -ge 90 ] && [ "$colours" -ge 8 ] || { echo "FAIL: $name.png looks empty"; exit 1; }
}

echo "- qorve without arguments opens the settings program"
"$bin/qorve"
main=$(wait_window 'KESTRAVOX2の環境設定')
screenshot "$main" main

echo "- each settings dialog opens from its button"
open_and_shoot() {
  local keys=$1 title=$2 name=$3 dialog
  keys_to "$main" $keys
  dialog=$(wait_window "$title")
  screenshot "$dialog" "$name"
  keys_to "$dialog" Escape
  wait_gone "$title"
}
open_and_shoot "space" '画面の設定' display
open_and_shoot "Tab space" '全般の設定' general
open_and_shoot "Tab space" 'サウンドの設定' sound
open_and_shoot "Tab space" '動画の設定' video
open_and_shoot "Tab space" '画像の設定' image

echo "- the about box with the system report"
keys_to "$main" Tab Tab Tab space
about=$(wait_window 'KESTRAVOX2環境設定プログラム')
screenshot "$about" about
keys_to "$about" Tab Tab space
wait_for 'eval "$(xdotool getwindowgeometry --shell "$about")"; [ "$HEIGHT" -ge 320 ]' 30 || true
screenshot "$about" about_report
eval "$(xdotool getwindowgeometry --shell "$about")"
[ "$HEIGHT" -ge 320 ] || { echo "FAIL: the about box did not grow for the report (height $HEIGHT)"; exit 1; }
keys_to "$about" Escape
wait_gone 'KESTRAVOX2環境設定プログラム'

echo "- LOG switched off in the general dialog, OK, then the main dialog closed"
keys_to "$main" shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab space
general=$(wait_window '全般の設定')
keys_to "$general" space Return
wait_gone '全般の設定'
[ ! -e "$ini" ] || { echo "FAIL: the settings were written before the main dialog closed"; exit 1; }
keys_to "$main" Escape
wait_gone 'KESTRAVOX2の環境設定'
wait_for "[ -s '$ini' ]" 30
grep -q '^LOG=0' "$ini" || { echo "FAIL: LOG=0 not written:"; cat "$ini"; exit 1; }
grep -q '^RENEW=3' "$ini" || { echo "FAIL: the other keys were not written:"; cat "$ini"; exit 1; }
! grep -q '^WIDTH=' "$ini" || { echo "FAIL: the window rectangle was written"; exit 1; }

echo "- the player started afterwards writes no log"
mkdir -p "$work/music"
printf 'no sound\n' > "$work/music/a.xyz"
"$bin/qorve" "$work/music/a.xyz" &
player=$!
wait_for '[ -n "$(window_named KESTRAVOX)" ]' 30
sleep 0.4
hold_key Escape
wait_for_player
[ ! -e "$QORVE_HOME/LOG.TXT" ] || { echo "FAIL: the player logged although LOG=0"; exit 1; }
echo "- the system group's windows and the play test open from the main dialog"
XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" "$bin/qorve-set" &
main=$(wait_window 'KESTRAVOX2の環境設定')
# From 画面の設定, where the focus starts, back to 操作方法の設定, then 関連付け.
keys_to "$main" shift+Tab shift+Tab shift+Tab space
keys=$(wait_window '操作方法設定')
screenshot "$keys" keys
keys_to "$keys" Escape
wait_gone '操作方法設定'
keys_to "$main" shift+Tab space
types=$(wait_window 'ファイルタイプの設定')
screenshot "$types" file_types
keys_to "$types" Escape
wait_gone 'ファイルタイプの設定'
# 関連付け forward to 再生テスト: the other nine buttons lie between.
keys_to "$main" Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab space
chooser=$(wait_window '開く')
keys_to "$chooser" Escape
wait_gone '開く'
keys_to "$main" Escape
wait_gone 'KESTRAVOX2の環境設定'
echo "all settings program checks passed; screenshots in $artefacts"
