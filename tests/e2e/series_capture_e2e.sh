#!/usr/bin/env bash
# The player end to end with the capture device, offscreen: a folder of three
# short pieces (two Ogg Vorbis, one FLAC, each its own pitch) played with -C
# goes through all three in order and on to the first again; the capture holds
# the three one after the other, each to its last sound. Pieces of 0.3 s, one
# for each way a class finds its position (bytes the wave-out device played,
# a GStreamer pipeline's clock), are each heard whole, the next one starting
# after the last sound of the one before. In mode once with SOUNDSET END 1 the
# player ends by itself when its file ends, after its last sound.
# Usage: series_capture_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools)
set -euo pipefail
bin=$(cd "$1" && pwd)
for tool in sox oggenc flac; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
begin_offscreen_e2e
ini_name="$(id -un).INI"

mkdir -p "$work/music"
piece() {  # name hertz
  sox -n -r 44100 -c 2 -b 16 "$work/$1.wav" synth 1.5 sine "$2" vol 0.5
}
piece a 440 && oggenc -Q "$work/a.wav" -o "$work/music/a.ogg"
piece b 660 && flac -s "$work/b.wav" -o "$work/music/b.flac"
piece c 880 && oggenc -Q "$work/c.wav" -o "$work/music/c.ogg"

settings() {  # folder LOOP END
  mkdir -p "$1"
  printf '[KESTRAVOX]\r\nLOG=1\r\n[SOUNDSET]\r\nLOOP=%s\r\nEND=%s\r\n' "$2" "$3" >"$1/$ini_name"
}
frequency() {  # file start seconds
  sox "$1" -n remix 1 trim "$2" "$3" stat 2>&1 | sed -n 's/^Rough[[:space:]]*frequency:[[:space:]]*//p'
}
near() {  # value target tolerance
  awk -v v="$1" -v t="$2" -v d="$3" 'BEGIN { exit !(v >= t - d && v <= t + d) }'
}
fail() { echo "FAIL: $*"; exit 1; }
# A capture in 10 ms windows, each named by the strongest of the four tones
# or "-" for silence, as runs: "440:30 660:30 ...".
tone_runs() { python3 "$here/tone_runs.py" "$1" 10 440 660 880 1100; }  # capture.wav

echo "- series: a, b, c in order, then round to a"
export QORVE_HOME="$work/series" QORVE_AUDIO="wav:$work/series.wav"
settings "$QORVE_HOME" 0 1
play_series_round "$work/music" "$work/music/a.ogg" 60
log="$QORVE_HOME/LOG.TXT"
loads=$(loaded_files "$work/music")
echo "  loaded: $loads"
[ "$loads" = "a.ogg,0 b.flac,1 c.ogg,1 a.ogg,1" ] || fail "wrong order: $loads"
duration=$(soxi -D "$work/series.wav")
echo "  captured $duration s"
# Each piece plays to its end, then the next one is loaded.
near "$duration" 4.5 0.15 || fail "capture of $duration s, not about 3 × 1.5 s"
for segment in "0.2 440" "1.7 660" "3.2 880"; do
  read -r start hertz <<<"$segment"
  found=$(frequency "$work/series.wav" "$start" 1.0)
  echo "  from $start s: $found Hz"
  near "$found" "$hertz" 15 || fail "from $start s the capture is at $found Hz, not $hertz Hz"
done

echo "- pieces of 0.3 s in series: each heard to its end, the next after it"
mkdir -p "$work/short"
tone() {  # file hertz
  sox -n -r 44100 -c 2 -b 16 "$1" synth 0.3 sine "$2" vol 0.5
}
tone "$work/d.wav" 440 && oggenc -Q "$work/d.wav" -o "$work/short/d.ogg"
tone "$work/e.wav" 660 && flac -s "$work/e.wav" -o "$work/short/e.flac"
tone "$work/short/f.wav" 880  # MCISOUND: a GStreamer pipeline
tone "$work/g.wav" 1100 && sox "$work/g.wav" "$work/short/g.aif"
export QORVE_HOME="$work/short-home" QORVE_AUDIO="wav:$work/short.wav"
settings "$QORVE_HOME" 0 1
play_series_round "$work/short" "$work/short/d.ogg" 60
loads=$(loaded_files "$work/short")
echo "  loaded: $loads"
runs=$(tone_runs "$work/short.wav")
echo "  capture in 10 ms windows: $runs"
expected=""
for entry in $loads; do
  case "${entry%,*}" in
    d.ogg) expected+=" 440" ;; e.flac) expected+=" 660" ;; f.wav) expected+=" 880" ;; g.aif) expected+=" 1100" ;;
  esac
done
# Each of the four pieces, in the order loaded, fills 30 windows (a window
# cut by a piece's start or end may go to its neighbour or to silence). The
# first piece again, under way when the player is ended, is not looked at.
read -r -a heard <<<"$(tr ' ' '\n' <<<"$runs" | grep -v '^-:' | paste -sd ' ')"
index=0
for hertz in ${expected# }; do
  [ "$index" -lt 4 ] || break
  run=${heard[$index]:-none:0}
  index=$((index + 1))
  [ "${run%:*}" = "$hertz" ] || fail "piece $index should be $hertz Hz, the capture has $run"
  [ "${run#*:}" -ge 29 ] && [ "${run#*:}" -le 31 ] ||
    fail "the $hertz Hz piece lasts ${run#*:} windows of 10 ms, not its 30"
done

echo "- a 0.3 s MPEG program stream whose stated duration is shorter than its sound"
if command -v ffmpeg >/dev/null; then
  mkdir -p "$work/video"
  ffmpeg -loglevel error -nostdin -y -f lavfi -i testsrc=d=0.3:s=160x120:r=25 \
    -f lavfi -i "sine=f=440:d=0.3:r=44100,volume=4" -c:v mpeg1video -c:a mp2 -ac 2 "$work/video/h.mpg"
  export QORVE_HOME="$work/video-home" QORVE_AUDIO="wav:$work/video.wav"
  settings "$QORVE_HOME" 0 1
  timeout 60 "$bin/qorve" "$work/video/h.mpg" || fail "the player did not end by itself within 60 s"
  runs=$(tone_runs "$work/video.wav")
  echo "  capture in 10 ms windows: $runs"
  # GStreamer states 0.25 s; the sound, all of which is heard, lasts 0.3 s.
  [ "$(tr ' ' '\n' <<<"$runs" | awk -F: '$1 == 440 { n += $2 } END { print n + 0 }')" -ge 29 ] ||
    fail "the stream's sound was cut short"
else
  echo "  skipped: ffmpeg is missing"
fi

echo "- once with END 1: ends by itself after the file"
export QORVE_HOME="$work/once" QORVE_AUDIO="wav:$work/once.wav"
settings "$QORVE_HOME" 0 1
timeout 60 "$bin/qorve" "$work/music/b.flac" || fail "the player did not end by itself within 60 s"
duration=$(soxi -D "$work/once.wav")
echo "  captured $duration s"
near "$duration" 1.5 0.05 || fail "capture of $duration s, not about 1.5 s"
near "$(frequency "$work/once.wav" 0.2 1.0)" 660 15 || fail "the capture is not the FLAC piece"
grep -q "メッセージループ終了" "$QORVE_HOME/LOG.TXT" || fail "no orderly exit"
echo "ok"
