#!/usr/bin/env bash
# Time from starting `qorve song.ogg` (and song.flac) to the first buffer
# handed to the sound device, window creation included: the player runs
# offscreen with the capture device, and the moment is when its log shows the
# stream's first "WAVEOUT - SEEK" (logged right after the ring is handed over).
# Prints each run and the median per file (target: under 300 ms).
# Usage: bench/formats/first_buffer.sh [BIN_FOLDER, default build/bin] [runs, default 7]
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
runs=${2:-7}
work=$(mktemp -d)
player=0
cleanup() {
  if [ "$player" != 0 ]; then kill "$player" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export QT_QPA_PLATFORM=offscreen QORVE_MIXER=virtual QORVE_HOME="$work/home"
unset DISPLAY WAYLAND_DISPLAY
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$QORVE_HOME"
printf '[KESTRAVOX]\r\nLOG=1\r\n' >"$QORVE_HOME/$(id -un).INI"
sox -n -r 44100 -c 2 -b 16 "$work/song.wav" synth 30 pluck 220 pluck 330 sine 110 tremolo 3 60
oggenc -Q "$work/song.wav" -o "$work/song.ogg"
flac -s "$work/song.wav" -o "$work/song.flac"

for file in song.ogg song.flac; do
  times=()
  for _ in $(seq "$runs"); do
    rm -f "$QORVE_HOME/LOG.TXT" "$work/out.wav"
    start=$(date +%s%N)
    QORVE_AUDIO="wav:$work/out.wav" "$bin/qorve" "$work/$file" 2>/dev/null &
    player=$!
    log=""
    until [[ "$log" == *"WAVEOUT - SEEK"* ]]; do
      [ -e "$QORVE_HOME/LOG.TXT" ] && log=$(<"$QORVE_HOME/LOG.TXT")
    done
    end=$(date +%s%N)
    kill -TERM "$player"
    wait "$player" || true
    player=0
    times+=($(((end - start) / 1000000)))
  done
  sorted=($(printf '%s\n' "${times[@]}" | sort -n))
  echo "$file: ${times[*]} ms; median ${sorted[$((runs / 2))]} ms"
done
