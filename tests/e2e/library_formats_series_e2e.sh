#!/usr/bin/env bash
# The player end to end with the capture device, offscreen: a folder of a
# Monkey's Audio file, an MP3 file and an SPC image played in series (-C) goes
# through the three in order, each through its own decoder (the SDK stand-in,
# VBMP3.so, SNESAPU.so), into one capture file.
# Usage: library_formats_series_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools)
set -euo pipefail
bin=$(cd "$1" && pwd)
for tool in sox lame; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
source "$here/shared_media.sh"
need_shared_media ape/taglib_mac-399.ape spc/ferris-nu.spc
source "$here/x_session.sh"
begin_offscreen_e2e
fail() { echo "FAIL: $*"; exit 1; }
near() { awk -v v="$1" -v t="$2" -v d="$3" 'BEGIN { exit !(v >= t - d && v <= t + d) }'; }

mkdir -p "$work/music"
ln -s "$shared/ape/taglib_mac-399.ape" "$work/music/a.ape"  # 3.55 s
sox -n -r 44100 -c 2 -b 16 "$work/b.wav" synth 2 sine 660 vol 0.5
lame --quiet -b 128 "$work/b.wav" "$work/music/b.mp3"        # 2 s
# The SPC image with the length field set to 3 seconds.
{ head -c $((0xA9)) "$shared/spc/ferris-nu.spc"; printf '003'; tail -c +$((0xA9 + 4)) "$shared/spc/ferris-nu.spc"; } \
  >"$work/music/c.spc"

export QORVE_HOME="$work/home" QORVE_AUDIO="wav:$work/series.wav"
mkdir -p "$QORVE_HOME"
printf '[KESTRAVOX]\r\nLOG=1\r\n[SOUNDSET]\r\nLOOP=0\r\nEND=1\r\n' >"$QORVE_HOME/$(id -un).INI"
play_series_round "$work/music/a.ape" "$work/music/a.ape" 60
log="$QORVE_HOME/LOG.TXT"
loads=$(loaded_files "$work/music")
echo "  loaded: $loads"
# The folder lists its files in the file system's order.
case "$loads" in
  "a.ape,0 b.mp3,1 c.spc,1 a.ape,1" | "a.ape,0 c.spc,1 b.mp3,1 a.ape,1") ;;
  *) fail "not each file once: $loads" ;;
esac
mp3_at=3.9
[ "${loads#a.ape,0 c.spc}" = "$loads" ] || mp3_at=6.9
duration=$(soxi -D "$work/series.wav")
echo "  captured $duration s"
# Each to its end: the APE file, the MP3 file, the SPC image to its 3 s.
near "$duration" 8.55 0.4 || fail "capture of $duration s, not about 3.55 + 2 + 3 s"
found=$(sox "$work/series.wav" -n remix 1 trim "$mp3_at" 1.0 stat 2>&1 | sed -n 's/^Rough[[:space:]]*frequency:[[:space:]]*//p')
echo "  MP3 part: $found Hz"
near "$found" 660 15 || fail "the MP3 part is at $found Hz"
echo "ok"
