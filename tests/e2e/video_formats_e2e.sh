#!/usr/bin/env bash
# Every video container the player lists opens, shows a picture and has a
# length: the real videos of the shared media folder and one small file
# ffmpeg makes here in each container (AVI, MPG, MPEG, MPE, MOV, OGM, WMV,
# RM, and a one-second MPEG-1 system stream of a still picture; RA, sound
# alone, opens with a length and no picture), first as
# GStreamer plays them and then with GStreamer's demultiplexers for them
# ranked out (as where they are not installed), so that libavformat plays
# them. qorve-info gives the length and size (offscreen); the player under
# Xvfb shows each in turn (Right moves on), and a screenshot of the picture
# must not be black. Every step is bounded: one that sticks fails the test
# naming the file, with where the stuck program's threads stand.
# Usage: video_formats_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools)
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
need_tools ffmpeg import convert
source "$here/shared_media.sh"
begin_e2e
fail() { fail_showing_log "$@"; }
# Bounds, in seconds, far above what each step takes on a loaded machine.
tool_limit=60    # one ffmpeg, qorve-info or screenshot
load_limit=60    # the player moving on to the next file
picture_limit=30 # a loaded file's picture appearing on the screen

videos="$work/videos"
mkdir -p "$videos"
shared_videos=(avi/filetype_msmpeg4v2_adpcm.avi mov/filetype_h264.mov mpg/filetype_fixture_mpeg1.mpg
  wmv/filetype_wmv2.wmv)
for path in "${shared_videos[@]}"; do
  have_shared_media "$path" && ln -s "$shared/$path" "$videos/shared_$(basename "$path")"
done
ff() { run_bounded "$tool_limit" ffmpeg "$@" || fail "ffmpeg failed making $(basename "${*: -1}")"; }
make() {  # file [ffmpeg output options]
  ff -v error -y -f lavfi -i "testsrc=size=160x128:rate=25:duration=1" \
    -f lavfi -i "sine=frequency=440:duration=1" "${@:2}" "$videos/$1"
}
make made.avi -c:v mpeg4 -c:a mp3
make made.mpg -c:v mpeg1video -c:a mp2 -f mpeg
make made.mpeg -c:v mpeg2video -c:a mp2 -f vob
make made.mpe -c:v mpeg1video -an -f mpeg1video
make made.mov -c:v mpeg4 -c:a aac
make made.ogm -c:v libtheora -c:a libvorbis -f ogg
make made.wmv -c:v wmv2 -c:a wmav2 -f asf
make made.rm -c:v rv10 -c:a ac3 -f rm
ff -v error -y -f lavfi -i "color=c=0xE04020:size=160x120:rate=25" -frames:v 1 "$work/still.png"
ff -v error -y -loop 1 -i "$work/still.png" -t 1 -r 25 -c:v mpeg1video -f mpeg "$videos/still.mpg"
ff -v error -y -f lavfi -i "sine=frequency=440:duration=1" -c:a ac3 -f rm "$work/sound.ra"

# GStreamer's demultiplexers and parsers of these containers, ranked out.
without_gstreamer="asfdemux:NONE,avidemux:NONE,qtdemux:NONE,mpegpsdemux:NONE,oggdemux:NONE,rmdemux:NONE"
without_gstreamer+=",mpegvideoparse:NONE"

check_info() {  # file: qorve-info's length and size
  local json status=0
  json=$(QT_QPA_PLATFORM=offscreen QORVE_AUDIO=wav-fast:/dev/null run_bounded "$tool_limit" "$bin/qorve-info" "$1") ||
    status=$?
  [ "$status" != 124 ] || fail "qorve-info did not end within $tool_limit s on $(basename "$1")"
  [ "$status" = 0 ] || fail "qorve-info ended with status $status on $(basename "$1"): $json"
  echo "$json" | grep -q '"result":0,"kind":2' || fail "$(basename "$1") does not open: $json"
  awk -v j="$json" -v name="$(basename "$1")" 'BEGIN {
    match(j, /"length":[0-9.e+-]+/); length_ = substr(j, RSTART + 9, RLENGTH - 9)
    match(j, /"width":[0-9-]+/); width = substr(j, RSTART + 8, RLENGTH - 8)
    if (length_ + 0 <= 0 || (width + 0 <= 0) != (name ~ /\.ra$/)) exit 1
    printf "  %s: length %s s, width %s\n", name, length_, width
  }' || fail "$(basename "$1") has no length or size: $json"
}

# The picture (the native child of the video window): X Y WIDTH HEIGHT.
picture() {
  local id
  for id in $(timeout -k 5 "$tool_limit" xdotool search --onlyvisible --class qorve 2>/dev/null); do
    [ "$(timeout -k 5 "$tool_limit" xdotool getwindowname "$id")" = KESTRAVOX ] && continue
    eval "$(timeout -k 5 "$tool_limit" xdotool getwindowgeometry --shell "$id")"
    echo "$((WIDTH * HEIGHT)) $X $Y $WIDTH $HEIGHT"
  done | sort -n | head -n 1 | cut -d' ' -f2-
}
# How bright the picture is on the screen, 0 to 1 ("stuck" when the
# screenshot does not end).
picture_brightness() {
  local x y width height
  read -r x y width height < <(picture)
  [ -n "${width:-}" ] || { echo 0; return; }
  run_bounded "$tool_limit" import -window root "$work/shot.png" || { echo stuck; return; }
  timeout -k 5 "$tool_limit" \
    convert "$work/shot.png" -crop "${width}x${height}+${x}+${y}" -format '%[fx:mean]' info: || echo 0
}
loaded() { grep -oE "\"$videos/[^\"]+\" , \"[0-9]\"" "$QORVE_HOME/LOG.TXT" | tail -n 1 | cut -d'"' -f2; }

# One player in loop mode shows every file of the folder in turn.
show_all() {  # label
  local count expected seen file i bright until_
  expected=$(ls "$videos" | wc -l)
  export QORVE_HOME="$work/home-$1" QORVE_AUDIO="wav:$work/sound-$1.wav"
  mkdir -p "$QORVE_HOME"
  printf '[KESTRAVOX]\r\nLOG=1\r\n[SOUNDSET]\r\nLOOP=1\r\nEND=1\r\n' >"$QORVE_HOME/$(id -un).INI"
  "$bin/qorve" "$videos" &
  player=$!
  seen=" "
  for count in $(seq 1 "$expected"); do
    file=""
    until_=$((SECONDS + load_limit))
    for i in $(seq 1 100000); do
      file=$(loaded 2>/dev/null || true)
      [ -n "$file" ] && [[ "$seen" != *" $file "* ]] && [ "$(grep -cF "最後" "$QORVE_HOME/LOG.TXT")" -ge "$count" ] && break
      running "$player" || fail "$1: the player ended after: $seen"
      [ $i -lt 200 ] || [ "$SECONDS" -lt "$until_" ] || break
      sleep 0.05
    done
    if [ -z "$file" ] || [[ "$seen" == *" $file "* ]]; then
      echo "FAIL: $1: no new video was loaded within $load_limit s after: $seen"
      show_threads "$player"
      fail "$1: the player stopped loading videos"
    fi
    seen+="$file "
    bright=0
    until_=$((SECONDS + picture_limit))
    for i in $(seq 1 100000); do
      bright=$(picture_brightness)
      [ "$bright" != stuck ] || fail "$1: a screenshot of $(basename "$file") did not end within $tool_limit s"
      awk -v b="$bright" 'BEGIN { exit !(b > 0.05) }' && break
      [ $i -lt 20 ] || [ "$SECONDS" -lt "$until_" ] || break
      sleep 0.25
    done
    awk -v b="$bright" 'BEGIN { exit !(b > 0.05) }' || fail "$1: $(basename "$file") shows no picture"
    printf '  %s: %s shows a picture (brightness %.2f)\n' "$1" "$(basename "$file")" "$bright"
    tail -n 1 "$QORVE_HOME/LOG.TXT" | grep -q ERR && fail "$1: $(basename "$file") failed"
    timeout -k 5 "$tool_limit" xdotool key Right || fail "$1: xdotool did not send Right within $tool_limit s"
  done
  end_player "$load_limit"
  ! grep -qF "ERR" "$QORVE_HOME/LOG.TXT" || fail "$1: a video failed to open"
}

echo "- as GStreamer plays them"
for file in "$videos"/* "$work/sound.ra"; do check_info "$file"; done
echo "- without GStreamer's demultiplexers: through libavformat"
export GST_PLUGIN_FEATURE_RANK="$without_gstreamer"
for file in "$videos"/* "$work/sound.ra"; do check_info "$file"; done
unset GST_PLUGIN_FEATURE_RANK

start_x_session
echo "- pictures as GStreamer plays them"
show_all gstreamer
echo "- pictures through libavformat"
export GST_PLUGIN_FEATURE_RANK="$without_gstreamer"
show_all libavformat
echo "PASS"
