#!/usr/bin/env bash
# What the player costs while it shows a video, beside mpv, in one run on a
# private Xvfb (no GPU): a 640 × 480, 30 fps MPEG-4 AVI with MP3 sound through
# playbin, and a WMV 8 file with GStreamer's ASF demultiplexer ranked out, so
# that it goes the libavformat way. Each player is started on the file at the
# same time as mpv (--vo=x11, --ao=null); after SETTLE s (default 2) the CPU
# time of every thread (schedstat) is counted for SECONDS (default 20), then
# the resident size (VmRSS) and its peak (VmHWM) are read. The player's sound
# goes into its real-time capture device writing to /dev/null (it keeps time
# as a sound card would, as mpv's null output does). Also prints the video
# output line the player logged.
# Usage: bench/player_video.sh [-s SECONDS]
# Environment: QORVE_BIN_DIR (default build/bin); QORVE_VIDEO_SINK is passed on.
set -u
cd "$(dirname "$0")/.."
window=20
if [[ "${1:-}" == "-s" ]]; then
  window=$2
  shift 2
fi
settle=2
bin=${QORVE_BIN_DIR:-build/bin}
[[ -x "$bin/qorve" ]] || { echo "not built: $bin/qorve" >&2; exit 2; }
for tool in Xvfb ffmpeg mpv; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/bootstrap.sh installs it)" >&2; exit 2; }
done
source bench/bench_session.sh
export QORVE_MIXER=virtual

length=$((window + settle + 8))
ffmpeg -v error -f lavfi -i testsrc=size=640x480:rate=30 -f lavfi -i sine=frequency=440 -t "$length" \
  -c:v mpeg4 -q:v 5 -c:a libmp3lame "$work/video.avi"
ffmpeg -v error -f lavfi -i testsrc=size=640x480:rate=30 -f lavfi -i sine=frequency=440 -t "$length" \
  -c:v wmv2 -c:a wmav2 "$work/video.wmv"

status_kb() { awk -v field="$2:" '$1 == field {print $2}' "/proc/$1/status" 2>/dev/null; }
run_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{sum += $1} END {printf "%d", sum}'; }

# measure LABEL FILE [ENV...]: the player and mpv on FILE side by side.
measure() {
  local label=$1 file=$2 home=$work/home-$1
  shift 2
  mkdir -p "$home"
  printf '[KESTRAVOX]\nLOG=1\n' >"$home/$(id -un).INI"
  env QORVE_HOME="$home" QORVE_AUDIO=wav:/dev/null "$@" "$bin/qorve" "$file" >"$work/$label.out" 2>&1 &
  local player=$!
  mpv --no-config --vo=x11 --ao=null --really-quiet "$file" >"$work/$label.mpv" 2>&1 &
  local peer=$!
  pids+=("$player" "$peer")
  sleep "$settle"
  local player_before peer_before
  player_before=$(run_ns "$player")
  peer_before=$(run_ns "$peer")
  sleep "$window"
  local name pid start
  for name in qorve mpv; do
    if [[ $name == qorve ]]; then pid=$player start=$player_before; else pid=$peer start=$peer_before; fi
    if kill -0 "$pid" 2>/dev/null; then
      printf '%-6s %-26s %9d %10s %10s\n' "$label" "$name" $((($(run_ns "$pid") - start) / 1000000)) \
        "$(status_kb "$pid" VmRSS)" "$(status_kb "$pid" VmHWM)"
    else
      printf '%-6s %-26s %9s\n' "$label" "$name" "ended early"
    fi
  done
  kill "$player" "$peer" 2>/dev/null
  wait "$player" "$peer" 2>/dev/null
  pids=()
  grep -a -o '映像出力[^"]*' "$home/LOG.TXT" 2>/dev/null | sort -u | sed 's/^/       log: /'
}

echo "CPU over ${window} s (after ${settle} s to settle), every thread; resident memory at the end"
printf '%-6s %-26s %9s %10s %10s\n' file program "CPU ms" "VmRSS kB" "VmHWM kB"
measure avi "$work/video.avi"
measure wmv "$work/video.wmv" GST_PLUGIN_FEATURE_RANK=asfdemux:NONE
