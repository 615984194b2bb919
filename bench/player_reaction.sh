#!/usr/bin/env bash
# How soon the player reacts, on a private Xvfb:
#   1. a key: from an X key event (XTEST, Right: the next file) to the
#      controller acting on it (its log line), 30 presses;
#   2. a series: from the last sample of one file to the first sample of the
#      next, in the real-time capture device's file, over a series of 1 s
#      Ogg Vorbis tones (about 12 changes).
# Usage: bench/player_reaction.sh [BIN_FOLDER] (default build/bin)
set -u
cd "$(dirname "$0")/.."
bin=${1:-build/bin}
[[ -x "$bin/qorve" ]] || { echo "not built: $bin/qorve" >&2; exit 2; }
for tool in Xvfb sox oggenc python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/bootstrap.sh installs it)" >&2; exit 2; }
done
source bench/bench_session.sh
export QORVE_MIXER=virtual QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY XDG_SESSION_TYPE
mkdir -m 700 "$work/runtime" && export XDG_RUNTIME_DIR="$work/runtime"
ini_name="$(id -un).INI"
settings() {  # folder LOOP
  mkdir -p "$1"
  printf '[KESTRAVOX]\r\nLOG=1\r\n[SOUNDSET]\r\nLOOP=%s\r\n' "$2" >"$1/$ini_name"
}
mkdir -p "$work/keys" "$work/series"
for hertz in 440 660; do
  sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 30 sine "$hertz" vol 0.5
  oggenc -Q "$work/tone.wav" -o "$work/keys/$hertz.ogg"
  sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 1 sine "$hertz" vol 0.5
  oggenc -Q -s "$hertz" "$work/tone.wav" -o "$work/series/$hertz.ogg"
done

echo "Key event to action (Right, the next file)"
settings "$work/key-home" 1
QORVE_HOME="$work/key-home" QORVE_AUDIO="wav:$work/keys.wav" "$bin/qorve" "$work/keys/440.ogg" >/dev/null 2>&1 &
pids+=($!)
sleep 2
python3 bench/key_reaction.py "$work/key-home/LOG.TXT" 30 Right
kill "${pids[@]}" 2>/dev/null
wait "${pids[@]}" 2>/dev/null
pids=()

echo "Series: last sample of a file to the first of the next"
settings "$work/series-home" 2
QORVE_HOME="$work/series-home" QORVE_AUDIO="wav:$work/series.wav" "$bin/qorve" "$work/series/440.ogg" >/dev/null 2>&1 &
pids+=($!)
sleep 13
kill "${pids[@]}" 2>/dev/null
wait "${pids[@]}" 2>/dev/null
pids=()
python3 bench/series_gap.py "$work/series.wav"
