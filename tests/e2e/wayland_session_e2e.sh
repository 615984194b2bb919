#!/usr/bin/env bash
# The player in a Wayland session that offers Xwayland, as on a desktop:
# Weston runs headless with Xwayland, WAYLAND_DISPLAY and DISPLAY are set and
# QT_QPA_PLATFORM is not. The player runs as an X client on Xwayland, asks for
# its place at the bottom of the screen, a click on its "next" button moves
# to the next file, and Esc held for 80 ms ends it the orderly way.
#
# Input comes from XTEST through Xwayland. Weston's headless output has no
# input devices, so the X server has no Wayland pointer: the pointer is moved
# by relative XTEST motion (xdotool mousemove_relative); a core-protocol warp
# (xdotool mousemove, XWarpPointer) makes Xwayland 22 crash without one.
# Usage: wayland_session_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools
# or where Weston cannot start)
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
source "$here/../../scripts/lib/weston.sh"
need_tools sox xdotool xprop xwininfo ffmpeg import convert
fail() {
  echo "FAIL: $*"
  [ -f "${QORVE_HOME:-}/LOG.TXT" ] && tail -n 8 "$QORVE_HOME/LOG.TXT"
  [ -n "${WESTON_LOG:-}" ] && [ -f "$WESTON_LOG" ] && { echo "--- weston:"; tail -n 15 "$WESTON_LOG"; }
  exit 1
}

begin_e2e
trap 'stop_weston; end_e2e' EXIT
start_weston xwayland
# No session bus: the player must not register shortcuts with the desktop the
# tests run on (the native-Wayland test brings a bus and a portal of its own).
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus"
echo "Weston on $WAYLAND_DISPLAY, Xwayland on $DISPLAY, QT_QPA_PLATFORM ${QT_QPA_PLATFORM-unset}"

mkdir -p "$work/music" "$work/home"
# Long enough that no file ends during the test.
sox -n -r 22050 -c 1 -b 16 "$work/music/a.wav" synth 30 sine 440 vol 0.1
sox -n -r 22050 -c 1 -b 16 "$work/music/b.wav" synth 30 sine 550 vol 0.1
sox -n -r 22050 -c 1 -b 16 "$work/music/c.wav" synth 30 sine 660 vol 0.1
printf '[KESTRAVOX]\r\nLOG=1\r\n' >"$work/home/$(id -un).INI"
export QORVE_HOME="$work/home" QORVE_AUDIO="wav:$work/capture.wav"
log="$QORVE_HOME/LOG.TXT"

"$bin/qorve" "$work/music/" 2>"$work/player.err" &
player=$!
wait_for_log '"ファイルオープン完了"' 20 || fail "the player did not open the first file"
grep -qF "\"$work/music/a.wav\" , \"0\"" "$log" || fail "the player did not start on a.wav"

# Found by name on the Xwayland display: the player is an X client there.
visible_window() { xdotool search --onlyvisible --name '^KESTRAVOX$' 2>/dev/null | head -n 1; }
wait_for '[ -n "$(visible_window)" ]' 10 || fail "no KESTRAVOX window on Xwayland ($DISPLAY)"
window=$(visible_window)
echo "ok: the player runs as an X client on Xwayland (window $window)"

# The place it asks for: 12 pixels from the left, its bottom 5 pixels above
# the bottom of the work area (the screen, where no panel claims a part).
read -r screen_width screen_height <<<"$(xdotool getdisplaygeometry)"
work_area=$(xprop -root _NET_WORKAREA 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
work_bottom=$screen_height
work_right=$screen_width
if [ -n "$work_area" ]; then
  IFS=, read -r wx wy ww wh _ <<<"$work_area"
  work_bottom=$((wy + wh))
  work_right=$((wx + ww))
fi
wait_for "xprop -id $window WM_NORMAL_HINTS | grep -q 'user specified location'" 10 ||
  fail "the window asks for no place"
hints=$(xprop -id "$window" WM_NORMAL_HINTS)
read -r asked_x asked_y <<<"$(sed -n 's/.*user specified location: *\(-\?[0-9]*\), *\(-\?[0-9]*\).*/\1 \2/p' <<<"$hints")"
read -r asked_width asked_height <<<"$(sed -n 's/.*user specified size: *\([0-9]*\) by \([0-9]*\).*/\1 \2/p' <<<"$hints")"
echo "asked for ${asked_width}x$asked_height at $asked_x,$asked_y on a ${screen_width}x$screen_height screen" \
  "(work area bottom $work_bottom)"
[ "$asked_x" -eq 12 ] || fail "asked for left edge $asked_x, expected 12"
[ "$asked_width" -eq $((work_right - 24)) ] || fail "asked for width $asked_width, expected $((work_right - 24))"
[ $((asked_y + asked_height)) -eq $((work_bottom - 5)) ] ||
  fail "asked for bottom $((asked_y + asked_height)), expected $((work_bottom - 5))"
echo "ok: the window asks for its place at the bottom of the screen"

# Where the compositor put it. xwininfo, not `xdotool getwindowgeometry`:
# xdotool counts the offset inside a window manager's frame twice.
placement() { xwininfo -id "$window" | sed -n "s/.*Absolute upper-left $1: *\(-\?[0-9]*\).*/\1/p"; }
client_x=$(placement X)
client_y=$(placement Y)
client_width=$(xwininfo -id "$window" | sed -n 's/.*Width: *\([0-9]*\).*/\1/p')
frame=$(xwininfo -tree -id "$window" | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
frame_geometry=$(xwininfo -id "$frame" | sed -n 's/.*-geometry *//p')
echo "placed by the compositor at $client_x,$client_y (X root coordinates), inside a frame window" \
  "$frame_geometry"

# The row of buttons fills from the right edge leftwards; for sound with
# every button on, "next" is the seventh (exit, pause, once, loop, list,
# random, next), 32 pixels each, 2 pixels in from the 1-pixel edge.
next_x=$((client_x + client_width - 32 * 7 - 1 - 2 + 16))
next_y=$((client_y + 1 + 16))
pointer_at() {  # x y: moved by relative XTEST motion, checked where it landed
  local i X Y SCREEN WINDOW
  for i in 1 2 3 4 5; do
    eval "$(xdotool getmouselocation --shell)"
    [ "$X" -eq "$1" ] && [ "$Y" -eq "$2" ] && return 0
    xdotool mousemove_relative -- $(($1 - X)) $(($2 - Y))
  done
  return 1
}
pointer_at "$next_x" "$next_y" || fail "the pointer did not reach $next_x,$next_y"
sleep 0.3  # the player reads the pointer's place on its next snapshot
xdotool click 1
wait_for_log "\"$work/music/b.wav\" , \"1\"" 10 || fail "a click on the next button at $next_x,$next_y did not move on"
wait_for_log '"NEXT 終了"' 5 || fail "the move to the next file did not finish"
echo "ok: a click on the next button at $next_x,$next_y loaded b.wav"

# Esc held for 80 ms, with no window focused: the player reads the keys the
# X server holds, whichever window has the keyboard.
xdotool keydown Escape
sleep 0.08
xdotool keyup Escape
wait_for "! kill -0 $player" 10 || fail "Esc did not end the player"
status=0
wait "$player" || status=$?
player=0
[ "$status" -eq 0 ] || { cat "$work/player.err"; fail "the player ended with status $status"; }
# The exit sequence in order: the message loop ends, the sound is closed,
# the controller goes.
line=0
for text in "NEXT 終了" "メッセージループ終了" "MCISOUND デストラクタ" "MainLoop デストラクタ"; do
  found=$(grep -n -F "\"$text\"" "$log" | cut -d: -f1 | awk -v after="$line" '$1 > after { print; exit }')
  [ -n "$found" ] || fail "the log lacks \"$text\" after line $line"
  line=$found
done
data=$(($(stat -c %s "$work/capture.wav") - 44))
header=$(od -An -tu4 -j40 -N4 "$work/capture.wav" | tr -d ' ')
[ "$data" -gt 0 ] && [ "$header" = "$data" ] ||
  fail "capture not closed: its header says $header bytes of sound, the file holds $data"
echo "ok: Esc held for 80 ms ended the player orderly (status 0)"

# A video through Xwayland: the sinks draw into the player's X window (the
# OpenGL sink must not take it for a Wayland surface). The picture is read
# back from the X server: Weston's own screen shows Xwayland's windows black.
# Long enough to play on through the whole wait for its picture.
ffmpeg -v error -y -f lavfi -i "color=c=0xE04020:size=160x120:rate=25" -f lavfi -i "sine=frequency=440" -t 90 \
  -c:v mpeg4 -c:a mp3 "$work/clip.avi"
"$bin/qorve" "$work/clip.avi" 2>"$work/player.err" &
player=$!
wait_for_log '"ファイルオープン完了"' 20 || fail "the player did not open the video"
colour_pixels=0
until_=$((SECONDS + 60))
while [ "$SECONDS" -lt "$until_" ]; do
  sleep 0.25
  kill -0 "$player" 2>/dev/null || { cat "$work/player.err"; fail "the player ended while it showed the video"; }
  # The sink's own window inside the picture's child, at the picture's size.
  picture=$(xwininfo -root -tree | awk '/ 160x120\+0\+0 / { print $1 }' | tail -n 1)
  [ -n "$picture" ] || continue
  import -window "$picture" "$work/picture.png" 2>/dev/null || continue
  colour_pixels=$(convert "$work/picture.png" -fuzz 10% -fill black +opaque '#E04020' -fill white -opaque '#E04020' \
    -format '%[fx:mean*w*h]' info: | cut -d. -f1)
  [ "$colour_pixels" -ge 14400 ] && break
done
[ "$colour_pixels" -ge 14400 ] || fail "the video's window holds $colour_pixels pixels of its colour, fewer than 14400"
end_player 30
echo "ok: a video shows its picture in the player's X window ($colour_pixels pixels of its colour)"
echo "PASS"
