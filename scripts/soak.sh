#!/usr/bin/env bash
# Soak test: the player goes through 500 files of every kind it plays or shows
# (sounds of every format, tracker modules, MIDI, videos, pictures), moved on
# by MPRIS Next as fast as each file opens, on a private Xvfb and session bus,
# with the capture device. Resident memory is sampled as it goes; the growth
# from the end of the first round of the list to the end of the last must stay
# within BOUND_MB. Run
# with a player built with AddressSanitizer (scripts/sanitize.sh builds one in
# build-asan/), LeakSanitizer reports every leak when the player ends.
#
# Usage: scripts/soak.sh [-n FILES] [-b BOUND_MB] [-k REGEX] [BIN_FOLDER]
#   FILES     how many files to go through (default 500)
#   BOUND_MB  the memory growth allowed (default 16)
#   REGEX     only the files whose path matches (to find which kind leaks)
#   BIN_FOLDER the programs (default build/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
count=500
bound=16
only=.
while getopts "n:b:k:" option; do
  case $option in
    k) only=$OPTARG ;;
    n) count=$OPTARG ;;
    b) bound=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
bin=$(cd "${1:-build/bin}" && pwd)
shared=$(cd .. && pwd)/shared/media
for tool in Xvfb playerctl dbus-daemon sox oggenc flac lame ffmpeg convert python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/bootstrap.sh installs it)" >&2; exit 2; }
done
source scripts/lib/xvfb.sh

work=$(mktemp -d)
player=0
bus_pid=
cleanup() {
  [ "$player" != 0 ] && kill "$player" 2>/dev/null
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
start_xvfb "$work/xvfb.log" || { echo "Xvfb did not start" >&2; exit 1; }
export QT_QPA_PLATFORM=xcb QORVE_MIXER=virtual QORVE_HOME="$work/home" QORVE_AUDIO="wav:$work/capture.wav"
export XDG_RUNTIME_DIR="$work/runtime" XDG_DESKTOP_DIR="$work/desktop"
mkdir -p -m 700 "$work/runtime"
mkdir -p "$QORVE_HOME" "$work/made"
{ read -r DBUS_SESSION_BUS_ADDRESS; read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS
# Series with every kind mixed; the log off, as a user would run it.
printf '[KESTRAVOX]\r\nLOG=0\r\nMIXPLAY=1\r\n[SOUNDSET]\r\nLOOP=2\r\n' >"$QORVE_HOME/$(id -un).INI"

echo "making the files"
made=$work/made
sox -n -r 44100 -c 2 -b 16 "$made/tone.wav" synth 3 sine 440 vol 0.3
oggenc -Q "$made/tone.wav" -o "$made/tone.ogg"
flac -s "$made/tone.wav" -o "$made/tone.flac"
lame --quiet "$made/tone.wav" "$made/tone.mp3"
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=3 -f lavfi -i sine=duration=3 \
  -c:v mpeg4 -c:a mp3 "$made/clip.avi"
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=3 -c:v mpeg1video "$made/clip.mpg"
convert -size 800x600 gradient:navy-orange "$made/picture.png"
convert -size 640x480 plasma:fractal "$made/picture.jpg"
convert -size 300x200 xc:teal "$made/picture.bmp"

# Every kind: the files made here and the real files of others, by path.
files=("$made"/tone.{wav,ogg,flac,mp3} "$made"/clip.{avi,mpg} "$made"/picture.{png,jpg,bmp})
for pattern in "ape/*.ape" "vqf/atl_vqf.vqf" "mio/*.mio" "spc/*.spc" "mod/*.mod" "xm/*.xm" "mid/*" \
  "wma/atl_wmav2.wma" "mov/*.mov" "wmv/*.wmv" "gif/*.gif" "ico/*.ico" "ogg/*.ogg" "flac/*.flac"; do
  for file in "$shared"/$pattern; do [ -f "$file" ] && files+=("$file"); done
done
# Only files that open: what qorve-info says of each.
opening=()
for file in "${files[@]}"; do
  [[ "$file" =~ $only ]] || continue
  if "$bin/qorve-info" "$file" 2>/dev/null | grep -q '"result":0,'; then
    opening+=("$file")
  else
    echo "  left out, it does not open: ${file#"$shared/"}"
  fi
done
files=("${opening[@]}")
list=$work/soak.lst
: >"$list"
for ((i = 0; i < count; i++)); do echo "${files[i % ${#files[@]}]}" >>"$list"; done
echo "${#files[@]} different files, $count entries"

rss_kb() { awk '$1 == "VmRSS:" {print $2}' "/proc/$player/status"; }
"$bin/qorve" "$list" 2>"$work/player.err" &
player=$!
ctl() { playerctl -p qorve "$@" 2>/dev/null; }
for _ in $(seq 1 300); do [ -n "$(ctl status)" ] && break; sleep 0.1; done
[ -n "$(ctl status)" ] || { echo "FAIL: the player did not appear on the bus"; exit 1; }

first_round=${#files[@]}
began=$(date +%s)
for ((i = 1; i < count; i++)); do
  before=$(ctl metadata mpris:trackid)
  ctl next
  # The next entry's track id, once it has opened (a few files take a while).
  for _ in $(seq 1 100); do
    [ "$(ctl metadata mpris:trackid)" != "$before" ] && break
    sleep 0.05
  done
  kill -0 "$player" 2>/dev/null || { echo "FAIL: the player ended at entry $i"; cat "$work/player.err"; exit 1; }
  # At the start of each round the same file is playing: the memory then is
  # compared from round to round.
  if ((i % first_round == 0)); then
    sleep 0.5
    rss=$(rss_kb)
    echo "  round $((i / first_round)) done ($i files): VmRSS $rss kB"
    [ -z "${start_rss:-}" ] && start_rss=$rss
    end_rss=$rss
  fi
done
hwm=$(awk '$1 == "VmHWM:" {print $2}' "/proc/$player/status")
kill -TERM "$player"
status=0
wait "$player" || status=$?
player=0
growth=$(((end_rss - start_rss) / 1024))
echo "went through $count files in $(($(date +%s) - began)) s"
echo "VmRSS after the first round ($first_round files): $start_rss kB; after the last: $end_rss kB; peak $hwm kB"
echo "growth: $growth MB (bound $bound MB)"
if grep -q "LeakSanitizer" "$work/player.err"; then
  grep -A12 "LeakSanitizer" "$work/player.err" | head -40
  echo "FAIL: leaks"
  exit 1
fi
[ "$status" -eq 0 ] || { echo "FAIL: the player ended with $status"; tail -20 "$work/player.err"; exit 1; }
[ "$growth" -le "$bound" ] || { echo "FAIL: memory grew by $growth MB"; exit 1; }
echo "soak: ok"
