#!/usr/bin/env bash
# The player end to end with the capture device, offscreen: a folder of three
# short pieces (two Ogg Vorbis, one FLAC, each its own pitch) played with -C
# goes through all three in order and on to the first again; the capture holds
# the three one after the other. In mode once with SOUNDSET END 1 the player
# ends by itself when its file ends.
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

echo "- series: a, b, c in order, then round to a"
export QORVE_HOME="$work/series" QORVE_AUDIO="wav:$work/series.wav"
settings "$QORVE_HOME" 0 1
play_series_round "$work/music" "$work/music/a.ogg" 15
log="$QORVE_HOME/LOG.TXT"
loads=$(loaded_files "$work/music")
echo "  loaded: $loads"
[ "$loads" = "a.ogg,0 b.flac,1 c.ogg,1 a.ogg,1" ] || fail "wrong order: $loads"
duration=$(soxi -D "$work/series.wav")
echo "  captured $duration s"
# Each piece plays until 0.1 s before its end, when the next one is loaded.
near "$duration" 4.2 0.15 || fail "capture of $duration s, not about 3 × 1.4 s"
for segment in "0.2 440" "1.6 660" "3.0 880"; do
  read -r start hertz <<<"$segment"
  found=$(frequency "$work/series.wav" "$start" 1.0)
  echo "  from $start s: $found Hz"
  near "$found" "$hertz" 15 || fail "from $start s the capture is at $found Hz, not $hertz Hz"
done

echo "- once with END 1: ends by itself after the file"
export QORVE_HOME="$work/once" QORVE_AUDIO="wav:$work/once.wav"
settings "$QORVE_HOME" 0 1
timeout 20 "$bin/qorve" "$work/music/b.flac" || fail "the player did not end by itself"
duration=$(soxi -D "$work/once.wav")
echo "  captured $duration s"
near "$duration" 1.4 0.1 || fail "capture of $duration s, not about 1.4 s"
near "$(frequency "$work/once.wav" 0.2 1.0)" 660 15 || fail "the capture is not the FLAC piece"
grep -q "メッセージループ終了" "$QORVE_HOME/LOG.TXT" || fail "no orderly exit"
echo "ok"
