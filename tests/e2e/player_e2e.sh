#!/usr/bin/env bash
# The player as a new user meets it: started on a folder of files it cannot
# play, it shows the first file's error text at the bottom of the screen; Right
# and Left move through the folder; Space hides it in the notification area; a
# click on the tray icon brings it back; Esc quits. The log records it all.
# Usage: player_e2e.sh BIN_FOLDER
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"

begin_e2e

export QORVE_HOME="$work/settings" QORVE_MIXER_START=30000 LANG=ja_JP.UTF-8
mkdir -p "$work/My.Music"
for name in a b c; do printf 'no sound here %s\n' "$name" > "$work/My.Music/$name.xyz"; done

start_x_session with-tray
"$bin/qorve" "$work/My.Music/" &
player=$!

visible_window() { xdotool search --onlyvisible --name '^KESTRAVOX$' | head -n 1; }
wait_for '[ -n "$(visible_window)" ]'
window=$(visible_window)
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "window at $X,$Y size ${WIDTH}x$HEIGHT"
# Placed at the bottom of the screen, 12 pixels in from the left.
[ "$X" -eq 12 ] || { echo "window left edge $X, expected 12"; exit 1; }
screen_height=$(xdotool getdisplaygeometry | cut -d' ' -f2)
bottom=$((Y + HEIGHT))
[ "$bottom" -ge $((screen_height - 40)) ] && [ "$bottom" -le "$screen_height" ] || {
  echo "window bottom $bottom not at the screen bottom ($screen_height)"; exit 1; }

# Something is drawn: the window holds more than one colour. Shot again
# until it does, for at most 60 s (a loaded machine paints late).
if command -v import >/dev/null; then
  until_=$((SECONDS + 60))
  while :; do
    import -window root "$work/screen.png"
    colours=$(convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+$X+$Y" -format %k info:)
    [ "$colours" -le 2 ] && [ "$SECONDS" -lt "$until_" ] || break
    sleep 0.2
  done
  echo "window shows $colours colours"
  [ "$colours" -gt 2 ] || { echo "the window looks empty"; exit 1; }
  [ -n "${QORVE_E2E_SCREENSHOT:-}" ] && cp "$work/screen.png" "$QORVE_E2E_SCREENSHOT"
fi

log="$QORVE_HOME/LOG.TXT"
hold_key Right
wait_for "grep -q 'NEXT 終了' '$log'"
hold_key Left
wait_for "[ \$(grep -c 'LoadMedia' '$log') -ge 3 ]"

hold_key space
wait_for '[ -z "$(visible_window)" ]'
echo "hidden in the notification area"

# The tray icon: the window Qt embeds in trayer's panel, or our own corner
# icon window where no notification area exists.
icon_centre() {
  local panel id
  panel=$(xdotool search --class trayer | while read -r id; do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    [ "$WIDTH" -ge 100 ] && echo "$X $Y $WIDTH $HEIGHT"
  done | head -n 1)
  for id in $(xdotool search --name '.*'); do
    case "$(xdotool getwindowname "$id" 2>/dev/null)" in qorve|KESTRAVOX2) ;; *) continue ;; esac
    eval "$(xdotool getwindowgeometry --shell "$id")"
    [ "$WIDTH" -le 40 ] && [ "$HEIGHT" -le 40 ] && [ "$Y" -lt 40 ] || continue
    if [ -n "$panel" ]; then
      read -r px py pw ph <<<"$panel"
      [ "$X" -ge "$px" ] && [ "$X" -lt $((px + pw)) ] || continue
    fi
    echo "$((X + WIDTH / 2)) $((Y + HEIGHT / 2))"
    return 0
  done
  return 1
}
wait_for icon_centre
read -r icon_x icon_y <<<"$(icon_centre)"
echo "tray icon at $icon_x,$icon_y"
xdotool mousemove "$icon_x" "$icon_y" click 1
wait_for '[ -n "$(visible_window)" ]'
echo "restored from the notification area"

sleep 0.5  # input stays blocked for a moment after the restore
hold_key Escape
wait_for_player

# The log names the steps of the run in order.
expected=("ウィンドウ作成" "LoadMedia" "ERRORFILE コンストラクタ" "ファイルオープン完了" "NEXT 準備" "NEXT 開始"
          "NEXT 終了" "メッセージループ終了" "ERRORFILE デストラクタ")
line=0
for text in "${expected[@]}"; do
  found=$(grep -n -F "\"$text" "$log" | cut -d: -f1 | awk -v after="$line" '$1 > after { print; exit }')
  [ -n "$found" ] || { echo "log lacks \"$text\" after line $line"; cat "$log"; exit 1; }
  line=$found
done
echo "log in order: ${expected[*]}"
