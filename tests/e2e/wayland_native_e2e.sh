#!/usr/bin/env bash
# The player as a native Wayland client, in a session with no X server at
# all: Weston runs headless without Xwayland, WAYLAND_DISPLAY is set, DISPLAY
# and QT_QPA_PLATFORM are not, so Qt picks its Wayland platform. Its keys
# reach it through the desktop's global shortcuts portal, here the test's
# stand-in on a private session bus, driven line by line through a FIFO.
#
# With the portal: the player opens its window on Weston, registers its
# KEYSET keys (close as Escape, next as Right...), plays into the capture
# device, moves to the next file of the folder at a "next" activation,
# registers anew with the new key when the settings file binds NEXT to N,
# and ends the orderly way at "close" held for 80 ms. Without the portal:
# the log says so once, the player plays without spinning and ends cleanly
# on SIGTERM. A short video plays to its end with its picture on Weston's
# screen (a screenshot through Weston's debug protocol holds the video's
# colour over most of its 160x120 pixels) and its sound in the capture; set
# QORVE_E2E_SHOTS to a folder to keep the screenshot.
# Usage: wayland_native_e2e.sh BIN_FOLDER FAKE_PORTAL (exit 77, skipped,
# only where Weston cannot start)
set -euo pipefail
bin=$(cd "$1" && pwd)
fake_portal=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
source "$here/../../scripts/lib/weston.sh"

fail() {
  echo "FAIL: $*"
  [ -f "${QORVE_HOME:-}/LOG.TXT" ] && { echo "--- player log:"; tail -n 12 "$QORVE_HOME/LOG.TXT"; }
  [ -f "${portal_out:-}" ] && { echo "--- portal:"; tail -n 20 "$portal_out"; }
  [ -s "${work:-}/player.err" ] && { echo "--- player stderr:"; grep -v '^\[' "$work/player.err" | tail -n 12; }
  [ -n "${WESTON_LOG:-}" ] && [ -f "$WESTON_LOG" ] && { echo "--- weston:"; tail -n 15 "$WESTON_LOG"; }
  exit 1
}
for tool in sox soxi dbus-daemon ffmpeg convert; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/bootstrap.sh installs it)"
done
command -v weston-screenshooter >/dev/null ||
  fail "weston-screenshooter is not installed (it comes with the weston package; scripts/bootstrap.sh installs it)"

[ -x "$fake_portal" ] || fail "the portal stand-in $fake_portal is not built"

bus_pid=
portal_pid=
portal_out=
portal_runs=0
stop_portal() {
  [ -n "$portal_pid" ] || return 0
  exec 3>&- || true
  kill "$portal_pid" 2>/dev/null || true
  wait "$portal_pid" 2>/dev/null || true
  portal_pid=
}
cleanup() {
  stop_portal
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  stop_weston
  end_e2e
}

begin_e2e
trap cleanup EXIT
start_weston debug
[ -z "${DISPLAY:-}" ] || fail "DISPLAY is still set ($DISPLAY)"
echo "Weston on $WAYLAND_DISPLAY without an X server; QT_QPA_PLATFORM ${QT_QPA_PLATFORM-unset}"
{ read -r DBUS_SESSION_BUS_ADDRESS && read -r bus_pid; } < <(timeout 10 dbus-daemon --session --fork --print-address=1 --print-pid=1) || true
[ -n "$bus_pid" ] || fail "no private session bus"
export DBUS_SESSION_BUS_ADDRESS

# Starts the portal stand-in with OPTIONS; its standard input is fd 3 of
# this shell (a FIFO opened for reading and writing, so neither side waits
# for the other), its output goes to $portal_out.
start_portal() {  # options...
  portal_runs=$((portal_runs + 1))
  local fifo="$work/portal-$portal_runs.in"
  portal_out="$work/portal-$portal_runs.out"
  mkfifo "$fifo"
  exec 3<>"$fifo"
  "$fake_portal" "$@" <&3 >"$portal_out" 2>&1 &
  portal_pid=$!
  wait_for "grep -qx ready '$portal_out'" 10 || fail "the portal stand-in did not start"
}
portal_says() { echo "$*" >&3; }

mkdir -p "$work/music"
# Long enough that no file ends during the test.
sox -n -r 22050 -c 1 -b 16 "$work/music/a.wav" synth 30 sine 440 vol 0.1
sox -n -r 22050 -c 1 -b 16 "$work/music/b.wav" synth 30 sine 550 vol 0.1
sox -n -r 22050 -c 1 -b 16 "$work/music/c.wav" synth 30 sine 660 vol 0.1

# A fresh home with logging on; the player plays the folder into CAPTURE.
new_home() {  # name capture
  export QORVE_HOME="$work/$1" QORVE_AUDIO="wav:$work/$2"
  mkdir -p "$QORVE_HOME"
  printf '[KESTRAVOX]\r\nLOG=1\r\n' >"$QORVE_HOME/$(id -un).INI"
  log="$QORVE_HOME/LOG.TXT"
}

# The exit sequence in order: the message loop ends, the sound (or the
# video: DIRECTSHOW) is closed, the controller goes.
check_orderly_exit() {  # [device]
  local line=0 text found
  for text in "メッセージループ終了" "${1:-MCISOUND} デストラクタ" "MainLoop デストラクタ"; do
    found=$(grep -n -F "\"$text\"" "$log" | cut -d: -f1 | awk -v after="$line" '$1 > after { print; exit }') || true
    [ -n "$found" ] || fail "the log lacks \"$text\" after line $line"
    line=$found
  done
}

# The tones of a capture in 50 ms windows, each named by the strongest of
# the folder's three tones or "-" for silence, as runs: "440:20 550:6 ...".
tone_runs() { python3 "$here/tone_runs.py" "$1" 50 440 550 660; }  # capture.wav

# Lets the player play TENTHS more tenths of a second into the capture
# (waiting at most 60 s), so that each file is heard long enough to be told apart.
play_on() {  # capture.wav tenths
  local until=$(($(captured_tenths "$1") + $2))
  wait_for "[ \$(captured_tenths '$1') -ge $until ]" 60 || fail "the capture stopped growing"
}

# The capture is closed (its header counts the sound it holds) and its tones,
# transitions of one window left out, come in the order EXPECTED, the first
# for at least FIRST_WINDOWS windows of 50 ms.
check_capture() {  # capture.wav expected first_windows
  local data header runs heard first
  data=$(($(stat -c %s "$1") - 44))
  header=$(od -An -tu4 -j40 -N4 "$1" | tr -d ' ')
  [ "$data" -gt 0 ] && [ "$header" = "$data" ] ||
    fail "capture not closed: its header says $header bytes of sound, the file holds $data"
  runs=$(tone_runs "$1")
  echo "  capture in 50 ms windows: $runs"
  heard=$(tr ' ' '\n' <<<"$runs" | awk -F: '$1 != "-" && $2 > 1 && $1 != last { printf "%s%s", sep, $1; sep = " "; last = $1 }')
  [ "$heard" = "$2" ] || fail "the capture holds the tones \"$heard\", not \"$2\""
  first=$(tr ' ' '\n' <<<"$runs" | awk -F: -v tone="${2%% *}" '$1 == tone { n += $2 } END { print n + 0 }')
  [ "$first" -ge "$3" ] || fail "the capture holds $first windows of ${2%% *} Hz, fewer than $3"
}

echo "- with the portal"
start_portal
new_home home capture.wav
# Qt's own protocol trace shows the window the player makes on Weston.
WAYLAND_DEBUG=client "$bin/qorve" "$work/music/" 2>"$work/player.err" &
player=$!
wait_for_log '"ファイルオープン完了"' 20 || fail "the player did not open the first file"
grep -qF "\"$work/music/a.wav\" , \"0\"" "$log" || fail "the player did not start on a.wav"
wait_for "grep -qE 'xdg_toplevel@[0-9]+\\.set_title\\(\"KESTRAVOX\"\\)' '$work/player.err'" 10 ||
  fail "the player made no KESTRAVOX window on Weston"
echo "ok: the player runs as a native Wayland client (its KESTRAVOX window is an xdg_toplevel on Weston)"

wait_for_log 'グローバルショートカット ' 10 || fail "the player registered no global shortcuts"
grep -F 'グローバルショートカット ' "$log" | head -n 1
wait_for "[ \$(grep -c '^bound ' '$portal_out') -ge 13 ]" 5 || fail "fewer than 13 shortcuts bound"
first_session=$(sed -n 's/^bound \([^ ]*\) .*/\1/p' "$portal_out" | head -n 1)
bound_as() {  # session id trigger
  grep -q "^bound $1 $2 $3 " "$portal_out"
}
bound_as "$first_session" close Escape || fail "close is not bound to Escape"
bound_as "$first_session" next Right || fail "next is not bound to Right"
bound_as "$first_session" back Left || fail "back is not bound to Left"
bound_as "$first_session" pause p || fail "pause is not bound to p"
grep -qF '"グローバルショートカット ポータル 終了=Escape 一時停止=p ' "$log" || fail "the log does not list the bound keys"
grep -qF '"13"' <<<"$(grep -F 'グローバルショートカット ' "$log" | head -n 1)" || fail "the log does not count 13 shortcuts"
echo "ok: 13 shortcuts bound in $first_session: close=Escape, next=Right, back=Left, pause=p"
play_on "$work/capture.wav" 10

portal_says press next
sleep 0.15
portal_says release next
wait_for_log "\"$work/music/b.wav\" , \"1\"" 10 || fail "the next activation did not move to b.wav"
wait_for_log '"NEXT 終了"' 5 || fail "the move to the next file did not finish"
echo "ok: press/release next loaded b.wav"
play_on "$work/capture.wav" 5

# The settings program writes the whole file anew and renames it into place.
printf '[KESTRAVOX]\r\nLOG=1\r\n[KEYSET]\r\nNEXT=78\r\n' >"$QORVE_HOME/settings.tmp"
mv "$QORVE_HOME/settings.tmp" "$QORVE_HOME/$(id -un).INI"
wait_for "grep -qx 'closed $first_session' '$portal_out'" 10 || fail "the old portal session was not closed"
wait_for "grep -qE '^bound [^ ]+ next n ' '$portal_out'" 10 || fail "next was not bound anew to n"
second_session=$(sed -n 's/^bound \([^ ]*\) next n .*/\1/p' "$portal_out" | head -n 1)
[ "$second_session" != "$first_session" ] || fail "next bound to n in the closed session"
bound_as "$second_session" close Escape || fail "close is not bound to Escape in the new session"
wait_for_log '次のファイル=n' 5 || fail "the log does not list next as n"
echo "ok: NEXT=78 in the settings file: closed $first_session, next bound to n in $second_session"

portal_says press next
sleep 0.15
portal_says release next
wait_for_log "\"$work/music/c.wav\" , \"1\"" 10 || fail "next in the new session did not move to c.wav"
echo "ok: next in the new session loaded c.wav"
play_on "$work/capture.wav" 5

portal_says hold close 80
wait_for_end "$player" 10 || fail "close held for 80 ms did not end the player"
status=0
wait "$player" || status=$?
player=0
[ "$status" -eq 0 ] || fail "the player ended with status $status"
check_orderly_exit
check_capture "$work/capture.wav" "440 550 660" 18
echo "ok: close held for 80 ms ended the player orderly (status 0)"
stop_portal

echo "- without the portal"
start_portal --without-portal
new_home home-without capture-without.wav
"$bin/qorve" "$work/music/" 2>"$work/player.err" &
player=$!
wait_for_log '"ファイルオープン完了"' 20 || fail "the player did not open the first file"
wait_for_log 'グローバルショートカットなし (' 10 || fail "the log does not say the shortcuts are missing"
grep -F 'グローバルショートカットなし (' "$log"
# CPU time of the player over about 3 s of playing, against the wall clock.
cpu_ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$player/stat"; }
ticks_per_second=$(getconf CLK_TCK)
start_ticks=$(cpu_ticks)
start_time=$(date +%s.%N)
sleep 3
end_ticks=$(cpu_ticks)
end_time=$(date +%s.%N)
share=$(awk -v t=$((end_ticks - start_ticks)) -v hz="$ticks_per_second" -v a="$start_time" -v b="$end_time" \
  'BEGIN { printf "%d", 100 * t / hz / (b - a) }')
echo "  CPU time over $(awk -v a="$start_time" -v b="$end_time" 'BEGIN { printf "%.1f", b - a }') s of playing: $share % of one core"
[ "$share" -lt 60 ] || fail "the player spins: $share % of one core while it plays"
[ "$(grep -cF 'グローバルショートカットなし (' "$log")" -eq 1 ] || fail "the log says more than once that the shortcuts are missing"
grep -qF 'グローバルショートカット ' "$log" && fail "the player logged bound shortcuts without a portal"
grep -q '^bound ' "$portal_out" && fail "shortcuts were bound without a portal"
end_player 30
check_orderly_exit
check_capture "$work/capture-without.wav" 440 50
echo "ok: without the portal the player says so once, plays without spinning and ends cleanly on SIGTERM"

echo "- a video"
stop_portal
# Three seconds of one saturated colour that nothing else on the screen has,
# and a tone.
video_colour=E04020
ffmpeg -v error -y -f lavfi -i "color=c=0x$video_colour:size=160x120:rate=25:duration=3" \
  -f lavfi -i "sine=frequency=440:duration=3" -c:v mpeg4 -c:a mp3 "$work/video.avi"
# Takes a screenshot of Weston's output into $work/$1.png.
shot() {  # name
  local folder="$work/shot-$1" status=0
  mkdir -p "$folder"
  (cd "$folder" && timeout -k 5 10 weston-screenshooter >/dev/null 2>&1) || status=$?
  [ "$status" -eq 0 ] || fail "weston-screenshooter ended with status $status"
  mv "$folder"/wayland-screenshot-*.png "$work/$1.png" 2>/dev/null || fail "weston-screenshooter wrote no screenshot"
  if [ -n "${QORVE_E2E_SHOTS:-}" ]; then mkdir -p "$QORVE_E2E_SHOTS" && cp "$work/$1.png" "$QORVE_E2E_SHOTS/"; fi
}
# The pixels of a screenshot within 10 % of the video's colour.
video_pixels() {  # name
  convert "$work/$1.png" -alpha off -fuzz 10% -fill black +opaque "#$video_colour" \
    -fill white -opaque "#$video_colour" -format '%[fx:int(mean*w*h+0.5)]' info:
}
# Plays the video once (run RUN) and shoots while it plays until most of its
# 160x120 pixels are on the screen (a loaded machine paints late); then lets
# it play to its end, where the player ends by itself, orderly and without
# errors, the video's sound in the capture. Sets `pixels` to the most pixels
# of the video's colour one screenshot held.
least=$((160 * 120 * 3 / 4))
play_video() {  # run
  local shots=0 found status seconds
  new_home home-video-$1 capture-video-$1.wav
  "$bin/qorve" "$work/video.avi" 2>"$work/player.err" &
  player=$!
  wait_for_log '"ファイルオープン完了"' 20 || fail "the player did not open the video"
  grep -qF '"DIRECTSHOW コンストラクタ"' "$log" || fail "the video was not opened by DIRECTSHOW"
  pixels=0
  while [ "$shots" -lt 8 ] && running "$player"; do
    shots=$((shots + 1))
    shot video-$1-$shots
    found=$(video_pixels video-$1-$shots)
    [ "$found" -gt "$pixels" ] && pixels=$found
    [ "$pixels" -ge "$least" ] && break
    sleep 0.2
  done
  echo "  run $1, $shots screenshots: at most $pixels pixels of the video's colour #$video_colour"
  [ "$shots" -gt 0 ] || fail "the video ended before a screenshot was taken"

  wait_for_end "$player" 60 || { show_threads "$player"; fail "the player did not end within 60 s of a 3 s video"; }
  status=0
  wait "$player" || status=$?
  player=0
  [ "$status" -eq 0 ] || fail "the player ended with status $status after the video"
  check_orderly_exit DIRECTSHOW
  grep -qF 'ERRORFILE' "$log" && fail "the player showed the video as a file it cannot play"
  grep -E 'CRITICAL|ERROR' "$work/player.err" && fail "the player wrote errors while it played the video"
  seconds=$(soxi -D "$work/capture-video-$1.wav")
  echo "  captured $seconds s of the video's sound"
  awk -v d="$seconds" 'BEGIN { exit !(d > 2.5) }' || fail "the capture holds $seconds s, not the video's 3 s"
}
# Weston places each new window where it likes, and the display window,
# always on top, may cover part of the video window: a covered picture is
# played again in a new window, at most four times in all.
for run in 1 2 3 4; do
  play_video "$run"
  [ "$pixels" -ge "$least" ] && break
done
[ "$pixels" -ge "$least" ] ||
  fail "no screenshot shows more than $pixels pixels of the video's colour, fewer than $least of its 160x120"
echo "ok: the video's picture is on the screen"
echo "ok: the video played to its end and the player ended by itself"
echo "PASS"
