#!/usr/bin/env bash
# The video window under Xvfb with the plain X image sink (no OpenGL): its
# sizing frame dragged by the mouse resizes it and the picture is refitted
# and scaled to the new size, a resize from outside refits it too, and full
# screen fills the screen, as GStreamer plays the file and as libavformat
# does. Screenshots are checked by the picture's colour.
# Set QORVE_E2E_SHOTS to a folder to keep them.
# Usage: video_window_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools)
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
need_tools ffmpeg import convert
begin_e2e
start_x_session
fail() { fail_showing_log "$@"; }

# Long enough that no step meets the loop's restart, which reopens the file
# and shows its window again at the picture's size.
ffmpeg -v error -y -f lavfi -i "color=c=0x2040E0:size=320x240:rate=25:duration=30" \
  -f lavfi -i "sine=frequency=440:duration=30" -c:v mpeg4 -c:a mp3 "$work/blue.avi"
export QORVE_HOME="$work/home" QORVE_AUDIO="wav:$work/sound.wav" QORVE_VIDEO_SINK=ximagesink
mkdir -p "$QORVE_HOME"
printf '[KESTRAVOX]\r\nLOG=1\r\n[SOUNDSET]\r\nLOOP=1\r\nEND=1\r\n' >"$QORVE_HOME/$(id -un).INI"

shot() {  # name
  import -window root "$work/$1.png"
  if [ -n "${QORVE_E2E_SHOTS:-}" ]; then mkdir -p "$QORVE_E2E_SHOTS" && cp "$work/$1.png" "$QORVE_E2E_SHOTS/"; fi
}
is_blue() {  # name x y
  convert "$work/$1.png" -format '%[fx:int(255*p{'"$2,$3"'}.r)] %[fx:int(255*p{'"$2,$3"'}.g)] %[fx:int(255*p{'"$2,$3"'}.b)]' info: |
    awk '{ exit !($3 > 170 && $1 < 90 && $2 < 110) }'
}
expect_blue() {  # name x y
  is_blue "$@" || fail "$1: ($2, $3) is not the picture"
  echo "  $1: picture at ($2, $3)"
}
expect_not_blue() {  # name x y
  ! is_blue "$@" || fail "$1: ($2, $3) is the picture"
}
# Shoots until CONDITION holds of the shot or 60 s have passed (a loaded
# machine paints late, and a window takes its new size late); the caller then
# checks the last shot.
shot_until() {  # name condition
  local until_=$((SECONDS + 60))
  while :; do
    shot "$1"
    eval "$2" && return 0
    [ "$SECONDS" -lt "$until_" ] || return 0
    sleep 0.3
  done
}
shot_showing() { shot_until "$1" "is_blue $*"; }  # name x y: until (x, y) shows the picture
# The top-level video window: X Y WIDTH HEIGHT.
video_window() {
  local id
  for id in $(xdotool search --onlyvisible --class qorve 2>/dev/null); do
    [ "$(xdotool getwindowname "$id")" = KESTRAVOX ] && continue
    eval "$(xdotool getwindowgeometry --shell "$id")"
    # The picture is a child inside it: the top-level one is the larger.
    echo "$((WIDTH * HEIGHT)) $id $X $Y $WIDTH $HEIGHT"
  done | sort -n | tail -n 1 | cut -d' ' -f2-
}
read -r screen_width screen_height < <(xdotool getdisplaygeometry)

"$bin/qorve" "$work/blue.avi" &
player=$!
wait_for_log "最後" 15 || fail "the video did not open"
centre_x=$((screen_width / 2)) centre_y=$((screen_height / 2))
shot_showing natural "$centre_x" "$centre_y"
expect_blue natural "$centre_x" "$centre_y"
read -r id x y width height < <(video_window) || fail "no video window is shown"
echo "  video window at $x,$y, $width x $height"
[ "$width" = 328 ] && [ "$height" = 248 ] || fail "the window is not the picture and its frame"

echo "- the sizing frame's bottom-right corner dragged 200 right, 150 down"
xdotool mousemove $((x + width - 2)) $((y + height - 2)) sleep 0.3 mousedown 1 sleep 0.1 \
  mousemove $((x + width + 100)) $((y + height + 75)) sleep 0.1 \
  mousemove $((x + width + 198)) $((y + height + 148)) sleep 0.2 mouseup 1
wait_for 'read -r id new_x new_y new_width new_height < <(video_window) && [ "$new_width" -ge $((width + 190)) ]' 30 || true
read -r id new_x new_y new_width new_height < <(video_window) || fail "no video window is shown"
echo "  video window at $new_x,$new_y, $new_width x $new_height"
[ "$new_x" = "$x" ] && [ "$new_y" = "$y" ] || fail "the window moved instead of growing"
[ "$new_width" -ge $((width + 190)) ] && [ "$new_height" -ge $((height + 140)) ] || fail "the window did not grow"
# The picture keeps its aspect ratio in a box of 520 x 390: it fills it.
shot_showing dragged $((x + new_width - 20)) $((y + new_height / 2))
expect_blue dragged $((x + new_width - 20)) $((y + new_height / 2))
expect_blue dragged $((x + 20)) $((y + new_height - 20))

echo "- resized from outside to 700 x 300: the picture fits its height, centred"
xdotool windowsize "$id" 700 300
# 292 pixels high, 389 wide, centred in the 692-pixel box.
box_centre=$((x + 350))
shot_until outside "is_blue outside $((box_centre - 180)) $((y + 150)) && is_blue outside $((box_centre + 180)) $((y + 150)) &&
  ! is_blue outside $((box_centre - 220)) $((y + 150)) && is_blue outside $box_centre $((y + 290))"
expect_blue outside $((box_centre - 180)) $((y + 150))
expect_blue outside $((box_centre + 180)) $((y + 150))
expect_not_blue outside $((box_centre - 220)) $((y + 150))
expect_blue outside "$box_centre" $((y + 290))

echo "- F4: full screen is filled"
xdotool key F4
shot_until full "is_blue full 40 $((screen_height / 2)) && is_blue full $((screen_width - 40)) $((screen_height / 2)) &&
  is_blue full $((screen_width / 2)) 200"
expect_blue full 40 $((screen_height / 2))
expect_blue full $((screen_width - 40)) $((screen_height / 2))
expect_blue full $((screen_width / 2)) 200
end_player

echo "- through libavformat (GStreamer's AVI demultiplexer ranked out), started full screen (-F)"
GST_PLUGIN_FEATURE_RANK=avidemux:NONE "$bin/qorve" "$work/blue.avi" -F &
player=$!
wait_for_log "最後" 15 || fail "the video did not open through libavformat"
shot_showing libav 40 $((screen_height / 2))
expect_blue libav 40 $((screen_height / 2))
expect_blue libav $((screen_width - 40)) $((screen_height / 2))
end_player
echo "PASS"
