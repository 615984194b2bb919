#!/usr/bin/env bash
# TwinVQ and MIO end to end: qorve-info reports the two real VQF copies and
# the two real MIO files; its --pcm output equals the MIO reference output over
# each file's frames and ffmpeg's decoding of the VQF file (ffmpeg drops the
# first two frames; ±1, both held at the ±32700 limit); and the player plays a
# folder of an MIO, a VQF and an MIO in series into the capture file.
# Usage: vqf_mio_e2e.sh BIN_FOLDER (exit 77, skipped, without the tools or media)
set -euo pipefail
bin=$(cd "$1" && pwd)
for tool in sox ffmpeg python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
source "$here/shared_media.sh"
need_shared_media vqf/atl_vqf.vqf vqf/atl_empty_notags.vqf mio/SE_017.mio mio/SE_017-out.wav mio/explosion.mio mio/explosion-out.wav
source "$here/x_session.sh"
begin_offscreen_e2e

export QORVE_HOME="$work/home"
fail() { echo "FAIL: $*"; exit 1; }

expect_json() {  # file fragment...
  local file=$1 json
  shift
  json=$("$bin/qorve-info" "$file")
  for fragment in "$@"; do
    [[ "$json" == *"$fragment"* ]] || fail "$file: no $fragment in $json"
  done
  echo "ok   qorve-info $(basename "$file")"
}
expect_json "$shared/vqf/atl_vqf.vqf" '"result":0' '"format":"VQF"' '"title":"Test !!"' '"artist":"Artist"' \
  '"length":120.1328' '"sampleRate":22050' '"channels":1' '"bitrate":20'
expect_json "$shared/vqf/atl_empty_notags.vqf" '"result":0' '"title":""' '"artist":""' '"length":120.1328'
expect_json "$shared/mio/SE_017.mio" '"result":0' '"format":"MIO"' '"length":5.027' '"sampleRate":22050' '"channels":1'
expect_json "$shared/mio/explosion.mio" '"result":0' '"length":0.903' '"channels":2'

raw() { sox "$1" -t raw -e signed -b 16 -; }
for pair in SE_017:110836:1 explosion:19912:2; do
  IFS=: read -r name frames channels <<<"$pair"
  "$bin/qorve-info" --pcm "$work/$name.wav" --seconds 10 "$shared/mio/$name.mio" >/dev/null
  bytes=$((frames * channels * 2))
  cmp -s <(raw "$work/$name.wav" | head -c "$bytes") <(raw "$shared/mio/$name-out.wav" | head -c "$bytes") ||
    fail "$name.mio: PCM differs from the reference"
  echo "ok   --pcm $name.mio equals the reference over $frames frames"
done

"$bin/qorve-info" --pcm "$work/vqf.wav" "$shared/vqf/atl_vqf.vqf" >/dev/null
ffmpeg -v quiet -y -i "$shared/vqf/atl_vqf.vqf" -f s16le "$work/vqf.ref.raw" || true  # it reports the short last frame
raw "$work/vqf.wav" >"$work/vqf.raw"
python3 - "$work/vqf.raw" "$work/vqf.ref.raw" <<'PY' || fail "atl_vqf.vqf: PCM differs from ffmpeg's"
import array, sys
ours, ref = array.array('h'), array.array('h')
ours.frombytes(open(sys.argv[1], 'rb').read()); ref.frombytes(open(sys.argv[2], 'rb').read())
ours = ours[2 * 1024:]
n = min(len(ours), len(ref))
bad = sum(1 for a, b in zip(ours[:n], ref[:n]) if abs(a - b) > 1 and not (abs(a) == 32700 and abs(b) >= 32700))
print(f"     {n} samples compared, {bad} beyond ±1")
sys.exit(1 if bad or n < 2_600_000 else 0)
PY
echo "ok   --pcm atl_vqf.vqf equals ffmpeg's decoding"

echo "- series: an MIO, a VQF and an MIO into the capture file"
mkdir -p "$work/music" "$work/series"
# One capture file takes one format: all three are 22,050 Hz mono.
cp "$shared/mio/SE_017.mio" "$work/music/a.mio"
head -c 5182 "$shared/vqf/atl_vqf.vqf" >"$work/music/b.vqf"  # 5,000 bytes of frames: 2 s
cp "$shared/mio/SE_017.mio" "$work/music/c.mio"
printf '[KESTRAVOX]\r\nLOG=1\r\n[SOUNDSET]\r\nLOOP=0\r\nEND=1\r\n' >"$work/series/$(id -un).INI"
export QORVE_HOME="$work/series" QORVE_AUDIO="wav:$work/series.wav"
play_series_round "$work/music" "$work/music/a.mio" 60
log="$QORVE_HOME/LOG.TXT"
loads=$(loaded_files "$work/music")
[[ "$loads" == "a.mio,0 b.vqf,1 c.mio,1 a.mio,1"* ]] || fail "series order: $loads"
! grep -qF "ERRORFILE" "$log" || fail "a file did not play"
seconds=$(soxi -D "$work/series.wav")
awk -v s="$seconds" 'BEGIN { exit !(s >= 11.5) }' || fail "capture holds only $seconds s"
# The series moves on once a.mio has played to its last sample frame (110,836
# frames of 2 bytes): the capture begins with all of its sound.
cmp -s <(raw "$work/series.wav" | head -c 221672) <(raw "$shared/mio/SE_017-out.wav" | head -c 221672) ||
  fail "the capture does not begin with all of a.mio's sound"
echo "ok   series a.mio, b.vqf, c.mio, a.mio; capture $seconds s, beginning with a.mio's sound"
echo "all VQF and MIO checks passed"
