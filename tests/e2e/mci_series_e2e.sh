#!/usr/bin/env bash
# The player on a folder of WAV, MP3, MIDI, WMA, AIFF and AU files in series
# mode, sound into a capture file: every file opens, in turn, and the capture
# holds the sound of all of them. Runs headless (offscreen, no X display).
# Usage: mci_series_e2e.sh BIN_FOLDER
set -euo pipefail
bin=$(cd "$1" && pwd)
for tool in sox lame ffmpeg; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
source "$(dirname "$0")/x_session.sh"
begin_offscreen_e2e
music="$work/music"
mkdir -p "$music" "$work/settings"

sox -n -r 44100 -c 2 -b 16 "$music/a.wav" synth 1 sine 440 vol 0.5
lame --quiet -b 128 "$music/a.wav" "$music/b.mp3"
# One quarter note at 120 bpm: half a second of MIDI.
printf 'MThd\0\0\0\6\0\0\0\1\1\340MTrk\0\0\0\20\0\300\0\0\220\74\144\203\140\200\74\0\0\377\57\0' > "$music/c.mid"
ffmpeg -loglevel error -nostdin -y -i "$music/a.wav" -c:a wmav2 "$music/d.wma"
sox "$music/a.wav" "$music/e.aif"
sox "$music/a.wav" "$music/f.au"
printf '[KESTRAVOX]\nLOG=1\n[SOUNDSET]\nLOOP=2\n' > "$work/settings/$(id -un).INI"

export QORVE_HOME="$work/settings" QORVE_AUDIO="wav:$work/capture.wav"
log="$work/settings/LOG.TXT"
# Six files of 5.5 s in all. The round is done when a.wav, loaded again by
# the move after f.au, has opened; the end signal then lets the player close
# its capture.
round_done() {
  awk -v again="\"$music/a.wav\" , \"1\"" 'index($0, again) { seen = 1 }
    seen && /"RETURN" , "0"/ { done = 1 } END { exit !done }' "$log" 2>/dev/null
}
"$bin/qorve" "$music/a.wav" >/dev/null 2>&1 &
player=$!
wait_for "round_done || ! running $player" 90 ||
  fail_showing_log "the series did not come round to a.wav's second open within 90 s"
running "$player" || { player=0; fail_showing_log "the player ended during the series"; }
end_player
for name in a.wav b.mp3 c.mid d.wma e.aif f.au; do
  grep -aq "music/$name\"" "$log" || { echo "$name was never loaded"; exit 1; }
done
returns=$(grep -ac '"RETURN" , "0"' "$log")
errors=$(grep -ac '"ERR"' "$log" || true)
echo "opened $returns times, failed $errors times"
[ "$errors" -eq 0 ] || { echo "a file failed to open"; exit 1; }
[ "$returns" -ge 6 ] || { echo "not every file played"; exit 1; }

seconds=$(soxi -D "$work/capture.wav")
rms=$(sox "$work/capture.wav" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
echo "capture: $seconds s, RMS amplitude $rms"
awk -v s="$seconds" 'BEGIN { exit !(s >= 5.0) }' || { echo "the capture is too short"; exit 1; }
awk -v r="$rms" 'BEGIN { exit !(r > 0.05) }' || { echo "the capture is silent"; exit 1; }
echo "every file played into the capture"
