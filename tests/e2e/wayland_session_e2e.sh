#!/usr/bin/env bash
# The player in a Wayland session that offers Xwayland, as on a desktop:
# Weston runs headless with Xwayland, WAYLAND_DISPLAY and DISPLAY are set and
# QT_QPA_PLATFORM is not. The player runs as an X client on Xwayland, asks for
# its place at the bottom of the screen, a click on its "next" button moves
# to the next file, and Esc held for 80 ms ends it the orderly way.
#
# Input comes from XTEST through Xwayland (xwayland_player.sh).
# Usage: wayland_session_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools
# or where Weston cannot start)
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
source "$here/xwayland_player.sh"
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

make_tone_folder
start_player_on_tones
find_player_window
check_asked_place
read_placement
click_next_button
end_by_escape

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
