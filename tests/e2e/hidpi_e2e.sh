#!/usr/bin/env bash
# The player on high-resolution screens: at scale 1, 1.5 and 2 (QT_SCALE_FACTOR),
# at the scale the X server's Xft.dpi gives (144 dpi: 1.5), and on the second
# of two screens with different ratios (QT_SCREEN_SCALE_FACTORS), playing a folder
# of three long WAVs into the capture device, a click on each button of the
# display window does what the button says (the X server reports the pointer
# in device pixels, the windows are laid out in logical ones): next, back,
# pause and play, the four play modes (read back through MPRIS), the seek bar,
# hiding in the notification area (and back by its icon), and exit. A click
# inside the window on no button does nothing; a click just outside ends it.
# Usage: hidpi_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools)
set -euo pipefail
case_name=setup
case_settings=
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
need_tools sox xwininfo xrdb xrandr playerctl dbus-daemon trayer
fail() {
  local state="the player still runs"
  [ "${player:-0}" != 0 ] && ! running "$player" && state="the player has ended"
  echo "FAIL ($case_name): $* ($state)"
  [ -f "${QORVE_HOME:-}/LOG.TXT" ] && tail -n 8 "$QORVE_HOME/LOG.TXT"
  exit 1
}

begin_e2e
bus_pid=
stop_bus() { if [ -n "$bus_pid" ]; then kill "$bus_pid" 2>/dev/null || true; fi; end_e2e; }
trap stop_bus EXIT
{ read -r DBUS_SESSION_BUS_ADDRESS; read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR QT_ENABLE_HIGHDPI_SCALING

music="$work/music"
mkdir -p "$music"
for piece in "a 440" "b 550" "c 660"; do
  read -r name hertz <<<"$piece"
  sox -n -r 8000 -c 1 -b 16 "$music/$name.wav" synth 120 sine "$hertz" vol 0.3
done
start_x_session with-tray

ctl() { playerctl -p qorve "$@" 2>/dev/null; }
visible_window() { xdotool search --onlyvisible --name '^KESTRAVOX$' 2>/dev/null | head -n 1; }
loads_of() { grep -cF "\"$music/$1\" , \"1\"" "$QORVE_HOME/LOG.TXT" || true; }

# Starts the player on a.wav with the case's scale and waits until it plays
# with its window shown; reads the window's place in device pixels.
start_player() {
  export QORVE_HOME="$work/home-$case_name" QORVE_AUDIO="wav:$work/capture-$case_name.wav"
  rm -rf "$QORVE_HOME"
  mkdir -p "$QORVE_HOME"
  [ -z "$case_settings" ] || printf '%s' "$case_settings" >"$QORVE_HOME/$(id -un).INI"
  env $case_env "$bin/qorve" "$music/a.wav" 2>>"$work/player.err" &
  player=$!
  wait_for '[ -n "$(visible_window)" ]' 20 || fail "no window"
  wait_for '[ "$(ctl status)" = Playing ]' 20 || fail "the player did not appear on the bus"
  window=$(visible_window)
  local info
  info=$(xwininfo -id "$window")
  win_x=$(sed -n 's/.*Absolute upper-left X: *\(-\?[0-9]*\).*/\1/p' <<<"$info")
  win_y=$(sed -n 's/.*Absolute upper-left Y: *\(-\?[0-9]*\).*/\1/p' <<<"$info")
  win_w=$(sed -n 's/.*Width: *\([0-9]*\).*/\1/p' <<<"$info")
  win_h=$(sed -n 's/.*Height: *\([0-9]*\).*/\1/p' <<<"$info")
  # Placed 12 logical pixels in from the left of its screen, whose corner
  # lies at the same place in device and logical pixels.
  [ "$win_x" -eq "$(awk -v r="$ratio" -v left="$screen_left" 'BEGIN { printf "%d", left + 12 * r + 0.5 }')" ] ||
    fail "window left edge at $win_x device pixels, expected 12 logical pixels right of $screen_left"
}

# The device pixel of logical offset (DX, DY) from the window's top-left, DX
# counted from the right edge when negative, DY from the bottom.
device_point() {  # dx dy
  awk -v x="$win_x" -v y="$win_y" -v w="$win_w" -v h="$win_h" -v r="$ratio" -v dx="$1" -v dy="$2" 'BEGIN {
    if (dx < 0) dx += w / r
    if (dy < 0) dy += h / r
    printf "%d %d\n", x + dx * r, y + dy * r }'
}

# Moves the pointer there by relative motion (a warp makes no motion the
# player would see before its next look at the pointer), checked where it landed.
pointer_to() {  # x y
  local i X Y SCREEN WINDOW
  for i in 1 2 3 4 5 6; do
    eval "$(xdotool getmouselocation --shell)"
    [ "$X" -eq "$1" ] && [ "$Y" -eq "$2" ] && return 0
    xdotool mousemove_relative -- $(($1 - X)) $(($2 - Y))
  done
  fail "the pointer did not reach $1,$2"
}

# The centre of the Nth button from the right (1 exit, 2 pause, 3 once,
# 4 loop, 5 list, 6 random, 7 next, 8 back, 9 hide for sound): 32 logical
# pixels each, 2 in from the window's 1-pixel edge.
button_point() { device_point "$((-(32 * $1) - 3 + 16))" 17; }
click_at() { pointer_to "$1" "$2"; xdotool click 1; }
click_button() { click_at $(button_point "$1"); }

near() { awk -v v="$1" -v lo="$2" -v hi="$3" 'BEGIN { exit !(v >= lo && v <= hi) }'; }

# Clicks at X Y until the player ends (input is ignored for a moment after a
# return from the notification area).
click_until_end() {  # x y
  local tries
  for tries in 1 2 3 4 5 6 7 8 9 10; do
    click_at "$1" "$2"
    wait_for_end "$player" 1 && { wait_for_player; return 0; }
  done
  fail "a click at $1,$2 did not end the player"
}

# The icon Qt embeds in trayer's panel (device pixels; Qt maps the click).
tray_icon_centre() {
  local panel id px py pw ph
  panel=$(xdotool search --class trayer 2>/dev/null | while read -r id; do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    [ "$WIDTH" -ge 100 ] && echo "$X $Y $WIDTH $HEIGHT"
  done | head -n 1)
  [ -n "$panel" ] || return 1
  read -r px py pw ph <<<"$panel"
  for id in $(xdotool search --onlyvisible --name '.*' 2>/dev/null); do
    case "$(xdotool getwindowname "$id" 2>/dev/null)" in qorve|KESTRAVOX2) ;; *) continue ;; esac
    eval "$(xdotool getwindowgeometry --shell "$id")"
    [ "$X" -ge "$px" ] && [ "$X" -lt $((px + pw)) ] && [ "$Y" -lt $((py + ph)) ] || continue
    echo "$((X + WIDTH / 2)) $((Y + HEIGHT / 2))"
    return 0
  done
  return 1
}

run_case() {  # name ratio screen-left what env...
  case_name=$1 ratio=$2 screen_left=$3
  echo "== $case_name: device pixel ratio $ratio ($4)"
  shift 4
  case_env="$*"

  start_player
  echo "window at $win_x,$win_y, ${win_w}x$win_h device pixels"

  # Inside the window on no button (the text lines): nothing happens, and
  # the player keeps running (the next click must still find it).
  click_at $(device_point 40 17)
  b_before=$(loads_of b.wav)
  click_button 7
  wait_for '[ "$(loads_of b.wav)" -gt "$b_before" ]' 10 || fail "next did not load b.wav"
  running "$player" || fail "the click inside the window ended the player"
  echo "ok: next loaded b.wav"
  a_before=$(loads_of a.wav)
  click_button 8
  wait_for '[ "$(loads_of a.wav)" -gt "$a_before" ]' 10 || fail "back did not load a.wav"
  echo "ok: back loaded a.wav"

  click_button 2
  wait_for '[ "$(ctl status)" = Paused ]' 10 || fail "pause: $(ctl status)"
  click_button 2
  wait_for '[ "$(ctl status)" = Playing ]' 10 || fail "play: $(ctl status)"
  echo "ok: pause and play"

  click_button 3
  wait_for '[ "$(ctl loop)" = None ]' 10 || fail "once: loop $(ctl loop)"
  click_button 4
  wait_for '[ "$(ctl loop)" = Track ]' 10 || fail "loop: loop $(ctl loop)"
  click_button 6
  wait_for '[ "$(ctl shuffle)" = On ]' 10 || fail "random: shuffle $(ctl shuffle)"
  click_button 5
  wait_for '[ "$(ctl loop)" = Playlist ] && [ "$(ctl shuffle)" = Off ]' 10 ||
    fail "list: loop $(ctl loop) shuffle $(ctl shuffle)"
  echo "ok: once, loop, random, list"

  # The seek bar: the bottom 28 logical pixels, its track 8 in from each
  # end. Held at three quarters, the 120 s piece plays from 90 s.
  local logical_w seek_x
  logical_w=$(awk -v w="$win_w" -v r="$ratio" 'BEGIN { print w / r }')
  seek_x=$(awk -v w="$logical_w" 'BEGIN { printf "%d", 8 + 0.75 * (w - 16) }')
  pointer_to $(device_point "$seek_x" -14)
  xdotool mousedown 1
  wait_for 'near "$(ctl position)" 87 95' 10 || { xdotool mouseup 1; fail "seek: position $(ctl position)"; }
  xdotool mouseup 1
  echo "ok: the seek bar at three quarters played from $(ctl position) s"

  click_button 9
  wait_for '[ -z "$(visible_window)" ]' 10 || fail "hide: the window still shows"
  wait_for tray_icon_centre 10 || fail "no tray icon"
  xdotool mousemove $(tray_icon_centre) click 1
  wait_for '[ -n "$(visible_window)" ]' 10 || fail "the tray icon did not bring the window back"
  running "$player" || fail "the player ended in the tray"
  echo "ok: hidden in the notification area and back"

  # Just above the window, 2 logical pixels out: outside, the player ends.
  click_until_end $(awk -v x="$win_x" -v y="$win_y" -v r="$ratio" 'BEGIN { printf "%d %d\n", x + 40 * r, y - 2 * r }')
  echo "ok: a click just outside the window ended the player"

  start_player
  click_button 1
  wait_for_end "$player" 10 || fail "the exit button did not end the player"
  wait_for_player
  echo "ok: the exit button ended the player"
}

run_case factor1 1 0 QT_SCALE_FACTOR=1 QT_SCALE_FACTOR=1
run_case factor1.5 1.5 0 QT_SCALE_FACTOR=1.5 QT_SCALE_FACTOR=1.5
run_case factor2 2 0 QT_SCALE_FACTOR=2 QT_SCALE_FACTOR=2
echo 'Xft.dpi: 144' | xrdb -merge
run_case xft144 1.5 0 "Xft.dpi: 144"
xrdb -remove
# Two screens side by side on the one server (RandR monitors): one at ratio
# 1 and, right of it, one at ratio 2 (logical 480,0 400x512), where the
# window is placed by the settings (WINSET MODE 1, in logical pixels).
xrandr --setmonitor L 480/127x1024/271+0+0 screen >/dev/null
xrandr --setmonitor R 800/211x1024/271+480+0 none >/dev/null
case_settings=$(printf '[WINSET]\r\nMODE=1\r\nX=492\r\nY=400\r\nWIDTH=376\r\nHEIGHT=100\r\n')
run_case two-screens 2 480 "QT_SCREEN_SCALE_FACTORS L=1;R=2, on R" "QT_SCREEN_SCALE_FACTORS=L=1;R=2"
echo "all scales: every button did what it says"
