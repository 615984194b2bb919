#!/usr/bin/env bash
# The player playing through a real PipeWire session (ALSA's "default" PCM)
# while the session is killed and started again, as a desktop's sound server
# crashes and comes back. While the server is gone the player stays light
# (under 5 % of a core, under 10 MB more memory over 10 s); once it is back the
# sound returns within 3 s and goes on from where it was last heard, at normal
# speed. With the server gone again a key still acts and SIGTERM ends the
# player within 2 s. Started with no server at all, the player neither spins
# nor hangs, and says which device it could not open.
# The piece is a sweep whose pitch tells the position (sweep_position.py),
# played as KIND: "ogg" through the wave-out engine, "wav" through the MCI
# device, "video" as the sound of a video, "midi" as one long ocarina
# note that the pitch wheel bends up four octaves, through the synthesizer.
# Prints its measurements as a table.
# Usage: sound_server_restart_e2e.sh BIN_FOLDER [KIND] (exit 77, skipped,
# without the sound servers; under CI=true they must be there)
set -euo pipefail
bin=$(cd "$1" && pwd)
kind=${2:-ogg}
sweep_options=()
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
source "$here/sound_server.sh"
need_tools sox oggenc ffmpeg python3
need_pipewire
begin_sound_e2e
start_x_session

# Rising from 300 Hz to 3300 Hz: 30 s of it outlasts the test.
mkdir -p "$work/music"
sox -n -r 44100 -c 2 -b 16 "$work/sweep.wav" synth 30 sine 300:3300 vol 0.5
case $kind in
  ogg) piece=$work/music/sweep.ogg && oggenc -Q "$work/sweep.wav" -o "$piece" ;;
  wav) piece=$work/music/sweep.wav && cp "$work/sweep.wav" "$piece" ;;
  video)
    piece=$work/music/sweep.avi
    ffmpeg -v error -y -f lavfi -i "testsrc=size=160x120:rate=15:duration=30" -i "$work/sweep.wav" \
      -c:v mpeg4 -c:a pcm_s16le -shortest "$piece" ;;
  midi)
    piece=$work/music/sweep.mid
    python3 - "$piece" <<'MIDI'
import struct, sys
# 120 beats a minute at 480 ticks a beat: 960 ticks a second.
def delta(ticks):
    out = [ticks & 0x7F]
    while ticks > 0x7F:
        ticks >>= 7
        out.insert(0, 0x80 | (ticks & 0x7F))
    return bytes(out)
def bend(value):
    return bytes([0xE0, value & 0x7F, value >> 7])
events = [(0, bytes([0xC0, 79]))]  # Ocarina: near enough a sine for its zero crossings to tell its pitch
# No reverb or chorus; the wheel bends 24 semitones each way.
for controller, value in ((91, 0), (93, 0), (7, 110), (101, 0), (100, 0), (6, 24), (38, 0), (101, 127), (100, 127)):
    events.append((0, bytes([0xB0, controller, value])))
events += [(0, bend(0)), (0, bytes([0x90, 72, 110]))]
for step in range(1, 601):  # every 50 ms for 30 s
    events.append((48, bend(min(16383, round(16383 * step / 600)))))
events += [(0, bytes([0x80, 72, 0])), (0, bytes([0xFF, 0x2F, 0x00]))]
track = b"".join(delta(d) + e for d, e in events)
with open(sys.argv[1], "wb") as f:
    f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480))
    f.write(b"MTrk" + struct.pack(">I", len(track)) + track)
MIDI
    # C5 bent two octaves down, rising to two octaves up over 30 s.
    sweep_options=(--f0 130.81 --octaves 0.13333) ;;
  *) echo "unknown kind $kind"; exit 2 ;;
esac
sweep() { python3 "$here/sweep_position.py" "${sweep_options[@]}" "$@"; }
declare -A measured=()

start_player() {  # settings-folder
  export QORVE_HOME="$work/$1"
  mkdir -p "$QORVE_HOME"
  printf '[KESTRAVOX]\r\nLOG=1\r\n' >"$QORVE_HOME/$(id -un).INI"
  unset QORVE_AUDIO QORVE_AUDIO_DEVICE
  "$bin/qorve" "$piece" 2>"$work/$1.err" &
  player=$!
  guard_memory "$player" 2048
}

# Seconds until TEXT stands in the log (a line after the first SKIP lines), or
# "never" within LIMIT seconds.
time_to_log() {  # text limit skip
  local start i
  start=$(now)
  for i in $(seq 1 $(($2 * 20))); do
    if [ "$(tail -n +$(($3 + 1)) "$QORVE_HOME/LOG.TXT" 2>/dev/null | grep -cF "$1")" -gt 0 ]; then
      elapsed "$start" "$(now)"
      return 0
    fi
    sleep 0.05
  done
  echo never
}

# Ends the player by WAY (TERM or INT: that signal; Escape: the quit key) and
# sets `ended` to the seconds it took, or "never" within 10 s (then it is
# shown and killed).
terminate_player() {  # [way]
  local start way=${1:-TERM}
  if ! running "$player" && memory_guard_killed; then
    ended="never (killed for its memory)"
    wait "$player" 2>/dev/null || true
    player=0
    return 0
  fi
  start=$(now)
  if [ "$way" = Escape ]; then hold_key Escape; else kill -"$way" "$player"; fi
  if wait_for_end "$player" 10; then
    ended=$(elapsed "$start" "$(now)")
    wait "$player" || true
  else
    ended=never
    echo "  the player did not end within 10 s of $way"
    show_threads "$player" | tail -n 60
    kill -KILL "$player" 2>/dev/null || true
    wait "$player" 2>/dev/null || true
  fi
  player=0
}

echo "- the server killed and started again while the player plays"
pipewire_start speakers
recording_start heard speakers
start_player restart
wait_for '[ "$(sink_inputs)" = speakers ]' 20 || fail_showing_log "the player's stream never reached the server"
wait_for 'at_least "$(sounding heard)" 3' 20 || fail_showing_log "no sound heard from the player"
killed=$(now)
pipewire_kill
recording_stop heard

watch_load "$player" 10
measured[cpu]=$load_cpu
measured[rss]="$load_rss_mb MB in $load_seconds s"
echo "  server gone: ${load_cpu} % of a core, ${load_rss_mb} MB more memory over ${load_seconds} s"
check "the player stays under $(cpu_limit 5) % of a core while the server is gone" below "$load_cpu" "$(cpu_limit 5)"
check "the player grows by less than 10 MB while the server is gone" below "$load_rss_mb" 10

pipewire_start speakers
back=$(now)
recording_start heard-again speakers
# The sound is given 10 s to come back, and 3 s more to show its speed.
deadline=$(($(date +%s) + 13))
until at_least "$(sounding heard-again)" 3 || [ "$(date +%s)" -ge "$deadline" ]; do sleep 0.2; done
analysis=$(sweep --event "$back" --origin "$killed" "$(recording heard)" "$(recording heard-again)" || true)
echo "$analysis" | sed 's/^/  /'
value() { sed -n "s/^$1=//p" <<<"$analysis"; }
measured[back]=$(value sound_back_after)
measured[resume]="$(value heard_before) -> $(value heard_after)"
measured[speed]=$(value speed_after)
check "the sound is heard again within 3 s of the server's return" below "${measured[back]:-never}" 3
check "the piece goes on from where it was last heard, at normal speed" [ "$(value continuity)" = ok ]

# The end asked for in each of the ways a user has, one kind each.
case $kind in
  wav) quit=INT what="SIGINT" ;;
  video) quit=Escape what="the quit key" ;;
  *) quit=TERM what="SIGTERM" ;;
esac
echo "- a key and $what with the server gone again"
pipewire_kill
recording_stop heard-again
lines=$(wc -l <"$QORVE_HOME/LOG.TXT")
hold_key Right
measured[key]=$(time_to_log "NEXT 準備" 5 "$lines")
measured[key_done]=$(time_to_log "NEXT 終了" 5 "$lines")
check "the next key is taken within 2 s" below "${measured[key]}" 2
check "the move to the next file ends within 3 s" below "${measured[key_done]}" 3
lines=$(wc -l <"$QORVE_HOME/LOG.TXT")
terminate_player "$quit"
measured[term]=$ended
check "$what ends the player within 2 s" below "$ended" 2
# The way out a user's request takes, which restores the volume and saves
# the window's place, not a cut-off.
check "the player ends through its message loop" grep -qF '"メッセージループ終了"' <(tail -n +$((lines + 1)) "$QORVE_HOME/LOG.TXT")

echo "- the player started with no server"
start_player no-server
wait_for "grep -qF 'ファイルオープン完了' '$QORVE_HOME/LOG.TXT'" 20 || echo "  (the player did not finish opening its file)"
watch_load "$player" 5
measured[cpu_none]=$load_cpu
echo "  no server: ${load_cpu} % of a core, ${load_rss_mb} MB more memory over ${load_seconds} s"
check "without a server the player stays under $(cpu_limit 5) % of a core" below "$load_cpu" "$(cpu_limit 5)"
terminate_player
measured[term_none]=$ended
check "without a server SIGTERM ends the player within 2 s" below "$ended" 2
# The file is fine, the device is not: the user is told so, and the log says
# which device and why.
check "the log names the device that could not be opened" grep -qF '"ALSA PCM "default": ' "$QORVE_HOME/LOG.TXT"
check "the user is told the device cannot play" grep -qF '"デバイスが使用中なので再生できません。" , "6"' "$QORVE_HOME/LOG.TXT"
grep -F -e 'ALSA PCM' -e 'デバイスが' "$QORVE_HOME/LOG.TXT" | head -n 3 | sed "s/^/  log: /" || true

cat <<EOF

  measurement                                      value
  CPU while the server is gone (% of a core)       ${measured[cpu]}
  memory growth while it is gone                   ${measured[rss]}
  sound back after the server's return (s)         ${measured[back]:-never}
  piece position: last heard -> heard again (s)    ${measured[resume]}
  piece seconds per second after the return        ${measured[speed]:--}
  next key taken / move done, server gone (s)      ${measured[key]} / ${measured[key_done]}
  $(printf '%-48s' "$what to end, server gone (s)") ${measured[term]}
  CPU with no server from the start (% of a core)  ${measured[cpu_none]}
  SIGTERM to end, no server from the start (s)     ${measured[term_none]}
EOF
if [ ${#failures[@]} -gt 0 ]; then
  echo "FAIL: ${#failures[@]} check(s): $(printf '%s; ' "${failures[@]}")"
  [ -f "$QORVE_HOME/LOG.TXT" ] && tail -n 8 "$QORVE_HOME/LOG.TXT"
  exit 1
fi
echo "sound server restart ($kind): ok"
