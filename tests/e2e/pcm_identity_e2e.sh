#!/usr/bin/env bash
# qorve-info --pcm renders exactly what the reference decoders (oggdec, flac -d)
# decode, sample for sample: whole files (to their last sample, also where
# that falls between two milliseconds), and from a seek point on (Vorbis: the
# sample the seek lands on; FLAC: the whole second). Files are made here with
# sox, oggenc and flac. Also: --pcm on a file that does not play through the
# wave-out engine exits 3, bad usage exits 2.
# Usage: pcm_identity_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools)
set -euo pipefail
bin=$(cd "$1" && pwd)
demo=$(cd "$(dirname "$0")/../../demo" && pwd)
for tool in sox oggenc oggdec flac; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QORVE_HOME="$work/home" QORVE_MIXER=virtual
cd "$work"
info="$bin/qorve-info"
failures=0

# The samples of a WAV file as 32-bit signed raw values (any width, any header).
samples() { sox "$1" -t raw -e signed -b 32 -; }
same_pcm() {  # ours reference label
  if [ "$(soxi -c "$1")/$(soxi -r "$1")" != "$(soxi -c "$2")/$(soxi -r "$2")" ]; then
    echo "FAIL $3: format $(soxi -c "$1")/$(soxi -r "$1") vs $(soxi -c "$2")/$(soxi -r "$2")"
    failures=$((failures + 1))
  elif ! cmp -s <(samples "$1") <(samples "$2"); then
    echo "FAIL $3: $(soxi -s "$1") vs $(soxi -s "$2") samples, or different values"
    failures=$((failures + 1))
  else
    echo "ok   $3 ($(soxi -s "$1") frames)"
  fi
}

# A short piece: a plucked line over a soft chord, so every codec has work.
make_wav() {  # name rate channels bits
  sox -n -r "$2" -c 1 -b 16 "$1.lead.wav" synth 2.5 pluck C4 pluck E4 pluck G4 fade 0 2.5 0.3 2>/dev/null ||
    sox -n -r "$2" -c 1 -b 16 "$1.lead.wav" synth 2.5 pluck 262 fade 0 2.5 0.3
  sox -n -r "$2" -c 1 -b 16 "$1.pad.wav" synth 2.5 sine 130.8 sine 196 vol 0.3
  sox -m "$1.lead.wav" "$1.pad.wav" -c "$3" -b "$4" "$1.wav" dither -s 2>/dev/null ||
    sox -m "$1.lead.wav" "$1.pad.wav" -c "$3" -b "$4" "$1.wav"
}

check_file() {  # file reference.wav rate
  local file=$1 reference=$2 rate=$3
  "$info" --pcm ours.wav "$file" >/dev/null
  same_pcm ours.wav "$reference" "$file whole"
  "$info" --pcm ours.wav --from 1 "$file" >/dev/null
  sox "$reference" ref_from.wav trim "${rate}s"
  same_pcm ours.wav ref_from.wav "$file --from 1"
  "$info" --pcm ours.wav --from 1 --seconds 0.5 "$file" >/dev/null
  sox "$reference" ref_part.wav trim "${rate}s" "$((rate / 2))s"
  same_pcm ours.wav ref_part.wav "$file --from 1 --seconds 0.5"
}

for rate in 44100 48000; do
  for channels in 1 2; do
    name="v${rate}c$channels"
    make_wav "$name" "$rate" "$channels" 16
    oggenc -Q "$name.wav" -o "$name.ogg"
    oggdec -Q "$name.ogg" -o "$name.ref.wav"
    check_file "$name.ogg" "$name.ref.wav" "$rate"
  done
done

for shape in 44100:1:16 44100:2:16 48000:1:16 48000:2:16 44100:2:8 44100:1:8 48000:2:24 44100:1:24; do
  IFS=: read -r rate channels bits <<<"$shape"
  name="f${rate}c${channels}b$bits"
  make_wav "$name" "$rate" "$channels" "$bits"
  flac -s -f "$name.wav" -o "$name.flac"
  flac -s -f -d "$name.flac" -o "$name.ref.wav"
  check_file "$name.flac" "$name.ref.wav" "$rate"
done

# Lengths that are no whole number of milliseconds (300.385 and 300.522 ms):
# the render ends at the last sample, not at the length in milliseconds.
for frames in 13247 13253; do
  sox -r 44100 -c 2 -n -b 16 "odd$frames.wav" synth "${frames}s" sine 440 vol 0.5
  flac -s -f "odd$frames.wav" -o "odd$frames.flac"
  flac -s -f -d "odd$frames.flac" -o "odd$frames.ref.wav"
  "$info" --pcm ours.wav "odd$frames.flac" >/dev/null
  same_pcm ours.wav "odd$frames.ref.wav" "odd$frames.flac whole"
  oggenc -Q "odd$frames.wav" -o "odd$frames.ogg"
  oggdec -Q "odd$frames.ogg" -o "odd$frames.ogg.ref.wav"
  "$info" --pcm ours.wav "odd$frames.ogg" >/dev/null
  same_pcm ours.wav "odd$frames.ogg.ref.wav" "odd$frames.ogg whole"
done

# A tracker module states no sample rate of its own: the render takes the
# rate the engine opens the device with.
module="$demo/qorve_demo.xm"
if "$info" --pcm module.wav --from 2 --seconds 3 "$module" >/dev/null 2>err.txt &&
  [ "$(soxi -s module.wav)" = 132300 ] && [ "$(sox module.wav -n stat 2>&1 | awk '/RMS +amplitude/ {print ($3 > 0.01)}')" = 1 ]; then
  :
else
  echo "FAIL --pcm of the demo module: $(cat err.txt)"
  failures=$((failures + 1))
fi

printf 'not sound\n' >text.txt
set +e
"$info" --pcm ours.wav text.txt >/dev/null 2>err.txt
code=$?
"$info" --from 1 text.txt >/dev/null 2>&1
usage=$?
set -e
if [ "$code" != 3 ] || ! grep -q "wave-out" err.txt; then
  echo "FAIL --pcm on a text file: exit $code, $(cat err.txt)"
  failures=$((failures + 1))
fi
if [ "$usage" != 2 ]; then
  echo "FAIL --from without --pcm: exit $usage"
  failures=$((failures + 1))
fi
[ "$failures" = 0 ] || { echo "$failures failed"; exit 1; }
echo "all PCM identical"
