#!/usr/bin/env bash
# Videos in the player under Xvfb, tried as a user would (through DIRECTSHOW,
# and once through MCIVIDEO): a video shows centred at its natural size with
# the display window below it, F4 and a double click switch full screen on and
# off, the seek bar jumps, Right moves to the next video, and a folder of two
# videos in series mode plays both, its sound in the capture file.
# Screenshots are checked by the colour of the picture where it must be; set
# QORVE_E2E_SHOTS to a folder to keep them.
# Usage: video_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools)
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
need_tools ffmpeg import convert soxi
begin_e2e
start_x_session
ini_name="$(id -un).INI"
fail() { fail_showing_log "$@"; }

# Videos of one colour each (blue and green), so that a screen pixel tells
# which picture lies there; a tone each for the capture.
mkdir -p "$work/videos"
video() {  # file colour size seconds hertz [ffmpeg options]
  ffmpeg -v error -y -f lavfi -i "color=c=$2:size=$3:rate=25:duration=$4" \
    -f lavfi -i "sine=frequency=$5:duration=$4" "${@:6}" "$work/videos/$1"
}
video a.avi 0x2040E0 320x240 1.5 440 -c:v mpeg4 -c:a mp3
video b.mpg 0x20C040 640x360 1.5 880 -c:v mpeg1video -c:a mp2 -f mpeg
# Two seconds of blue, then two of green: the colour tells where the seek bar went.
ffmpeg -v error -y -filter_complex \
  "color=c=0x2040E0:s=320x240:r=25:d=2[a];color=c=0x20C040:s=320x240:r=25:d=2[b];[a][b]concat=n=2:v=1:a=0" \
  -f lavfi -i "sine=frequency=440:duration=4" -c:v msmpeg4v2 -c:a pcm_s16le "$work/videos/long.avi"

settings() {  # folder LOOP
  mkdir -p "$1"
  printf '[KESTRAVOX]\r\nLOG=1\r\n[SOUNDSET]\r\nLOOP=%s\r\nEND=1\r\n' "$2" >"$1/$ini_name"
}
shot() {  # name
  import -window root "$work/$1.png"
  if [ -n "${QORVE_E2E_SHOTS:-}" ]; then mkdir -p "$QORVE_E2E_SHOTS" && cp "$work/$1.png" "$QORVE_E2E_SHOTS/"; fi
}
# The kind of colour at (x, y) of a screenshot: blue, green, black or other.
colour_at() {  # name x y
  convert "$work/$1.png" -format '%[fx:int(255*p{'"$2,$3"'}.r)] %[fx:int(255*p{'"$2,$3"'}.g)] %[fx:int(255*p{'"$2,$3"'}.b)]' info: |
    awk '{ r=$1; g=$2; b=$3
           if (b > 170 && r < 90 && g < 110) print "blue"
           else if (g > 150 && r < 90 && b < 110) print "green"
           else if (r < 30 && g < 30 && b < 30) print "black"
           else print "other(" r "," g "," b ")" }'
}
expect_colour() {  # name x y colour (picture: blue or green)
  local found
  found=$(colour_at "$1" "$2" "$3")
  echo "  $1 at ($2, $3): $found"
  case "$4:$found" in picture:blue | picture:green) return 0 ;; esac
  [ "$found" = "$4" ] || fail "$1: ($2, $3) is $found, not $4"
}
# Whether (x, y) of a screenshot shows `colour` (picture: blue or green).
shows() {  # name x y colour
  local found
  found=$(colour_at "$1" "$2" "$3")
  case "$4:$found" in picture:blue | picture:green) return 0 ;; esac
  [ "$found" = "$4" ]
}
# Shoots until every point shows its colour or 60 s have passed (a loaded
# machine paints late, and a window takes its new size late); the caller then
# checks the last shot.
shot_showing() {  # name x y colour [x y colour]...
  local name=$1 point until_=$((SECONDS + 60))
  shift
  while [ "$SECONDS" -lt "$until_" ]; do
    shot "$name"
    local all=1
    for ((point = 1; point <= $#; point += 3)); do
      shows "$name" "${@:point:1}" "${@:point+1:1}" "${@:point+2:1}" || { all=0; break; }
    done
    [ "$all" = 1 ] && return 0
    sleep 0.5
  done
}
video_window() { xdotool search --onlyvisible --class qorve 2>/dev/null | while read -r id; do
  eval "$(xdotool getwindowgeometry --shell "$id")"
  [ "$WIDTH" -ge 300 ] && [ "$HEIGHT" -ge 200 ] && [ "$Y" -lt 700 ] && echo "$id $X $Y $WIDTH $HEIGHT" && break
done; }
read -r screen_width screen_height < <(xdotool getdisplaygeometry)

echo "- one video: centred at natural size, the display window below"
export QORVE_HOME="$work/single" QORVE_AUDIO="wav:$work/single.wav"
settings "$QORVE_HOME" 1  # loop, so that it plays while we look
"$bin/qorve" "$work/videos/long.avi" &
player=$!
wait_for_log "最後" 15 || fail "the video did not open"
centre_x=$((screen_width / 2)) centre_y=$((screen_height / 2))
shot_showing natural "$centre_x" "$centre_y" picture $((centre_x - 170)) "$centre_y" black \
  $((centre_x + 170)) "$centre_y" black
expect_colour natural "$centre_x" "$centre_y" picture
# 320 × 240 centred: just outside the picture is no picture.
expect_colour natural $((centre_x - 170)) "$centre_y" black
expect_colour natural $((centre_x + 170)) "$centre_y" black
display=$(xdotool search --onlyvisible --name '^KESTRAVOX$' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$display")"
[ "$Y" -gt $((centre_y + 120)) ] || fail "the display window is not below the video"

echo "- F4: full screen and back"
xdotool key F4
shot_showing full 40 $((screen_height / 2)) picture $((screen_width - 40)) $((screen_height / 2)) picture
expect_colour full 40 $((screen_height / 2)) picture
expect_colour full $((screen_width - 40)) $((screen_height / 2)) picture
xdotool key F4
shot_showing back 40 $((screen_height / 2)) black "$centre_x" "$centre_y" picture
expect_colour back 40 $((screen_height / 2)) black
expect_colour back "$centre_x" "$centre_y" picture

echo "- a double click: full screen and back"
xdotool mousemove "$centre_x" "$centre_y" click --repeat 2 --delay 80 1
shot_showing double 40 $((screen_height / 2)) picture
expect_colour double 40 $((screen_height / 2)) picture
xdotool mousemove 10 10 click 1
shot_showing corner 40 $((screen_height / 2)) black
expect_colour corner 40 $((screen_height / 2)) black

echo "- the seek bar jumps"
seek_to() {  # fraction of the length: a click on the seek bar, in the display window's bottom 28 pixels
  eval "$(xdotool getwindowgeometry --shell "$display")"
  # A warp makes no pointer motion: the player sees the new place at its next
  # look at the pointer (within 250 ms). The seek follows a held button, so
  # the press lasts as a hand's does.
  xdotool mousemove "$(awk -v x="$X" -v w="$WIDTH" -v f="$1" 'BEGIN { print int(x + 8 + f * (w - 16)) }')" \
    $((Y + HEIGHT - 14)) sleep 0.4 mousedown 1 sleep 0.1 mouseup 1
}
seek_to 0.7
shot_showing seek_green "$centre_x" "$centre_y" green
expect_colour seek_green "$centre_x" "$centre_y" green
seek_to 0.1
shot_showing seek_blue "$centre_x" "$centre_y" blue
expect_colour seek_blue "$centre_x" "$centre_y" blue

echo "- Right goes to the next video"
restarts_before=$(grep -c "NEXT" "$QORVE_HOME/LOG.TXT" || true)
xdotool key Right
# long.avi is the last of a.avi, b.mpg, long.avi: the next is the first again,
# loaded with the kind filter of a video (2).
wait_for_log "\"$work/videos/a.avi\" , \"2\"" 10 || fail "Right did not load the next video"
[ "$(grep -c "NEXT" "$QORVE_HOME/LOG.TXT")" -gt "$restarts_before" ] || fail "no move was logged"
shot_showing next "$centre_x" "$centre_y" blue
expect_colour next "$centre_x" "$centre_y" blue  # a.avi
end_player

echo "- through MCI ([VIDEOSET] DSHOW=0): the same picture in the same place"
export QORVE_HOME="$work/mci" QORVE_AUDIO="wav:$work/mci.wav"
settings "$QORVE_HOME" 1
printf '[VIDEOSET]\r\nDSHOW=0\r\n' >>"$QORVE_HOME/$ini_name"
"$bin/qorve" "$work/videos/b.mpg" &
player=$!
wait_for_log "MPEGVideo" 15 || fail "the video did not open through MCI"
shot_showing mci "$centre_x" "$centre_y" green
expect_colour mci "$centre_x" "$centre_y" green
expect_colour mci $((centre_x - 330)) "$centre_y" black  # 640 wide
end_player
grep -qF "MCIVIDEO コンストラクタ" "$QORVE_HOME/LOG.TXT" || fail "not played by MCIVIDEO"
# Xvfb has no GPU: OpenGL on the software renderer, and the log says so.
[ -n "${QORVE_VIDEO_SINK:-}" ] || grep -qF "映像出力: glimagesink (OpenGL はソフトウェア描画" "$QORVE_HOME/LOG.TXT" ||
  fail "the log does not name the OpenGL sink and the software renderer"

echo "- series: a folder of two videos plays both, with sound"
rm "$work/videos/long.avi"
export QORVE_HOME="$work/series" QORVE_AUDIO="wav:$work/series.wav"
settings "$QORVE_HOME" 2
# The player starts on the folder; the round is done when a.avi is loaded
# again by a move (kind filter 2), b.mpg having come after it.
"$bin/qorve" "$work/videos" -C &
player=$!
wait_for_log "\"$work/videos/a.avi\" , \"2\"" 60 || fail "the series did not come round within 60 s"
end_player
loads=$(grep -oE "\"$work/videos/[a-z]+\.[a-z0-9]+\" , \"[0-9]\"" "$QORVE_HOME/LOG.TXT" | sed "s|$work/videos/||g" | tr -d '" ' | paste -sd ' ')
echo "  loaded: $loads"
[ "$loads" = "a.avi,0 b.mpg,2 a.avi,2" ] || fail "wrong order: $loads"
duration=$(soxi -D "$work/series.wav")
echo "  captured $duration s"
awk -v d="$duration" 'BEGIN { exit !(d > 2.4) }' || fail "capture of $duration s, not both videos"
echo "PASS"
