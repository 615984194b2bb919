#!/usr/bin/env bash
# The player's sink removed under it, as a headset is unplugged: on a real
# sound server with two sinks, the default one goes while the player plays.
# The sound goes on, on the other sink, within 3 s and from where it was last
# heard; the player stays light (under 5 % of a core) and SIGTERM ends it
# within 2 s. SERVER is pipewire (ALSA's "default" PCM through pipewire-alsa)
# or pulseaudio (ALSA's "pulse" PCM, libasound2-plugins). The piece is a sweep
# whose pitch tells the position (sweep_position.py). Prints its measurements.
# Usage: sound_sink_removal_e2e.sh BIN_FOLDER SERVER (exit 77, skipped, without
# the server; under CI=true it must be there)
set -euo pipefail
bin=$(cd "$1" && pwd)
server=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
source "$here/sound_server.sh"
need_tools sox oggenc python3
case "$server" in
  pipewire) need_pipewire ;;
  pulseaudio) need_pulseaudio ;;
  *) echo "unknown sound server $server"; exit 2 ;;
esac
begin_sound_e2e
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY XDG_SESSION_TYPE

mkdir -p "$work/music"
sox -n -r 44100 -c 2 -b 16 "$work/sweep.wav" synth 30 sine 300:3300 vol 0.5
oggenc -Q "$work/sweep.wav" -o "$work/music/sweep.ogg"
sweep() { python3 "$here/sweep_position.py" "$@"; }

echo "- $server: the default sink removed while the player plays"
unset QORVE_AUDIO QORVE_AUDIO_DEVICE
if [ "$server" = pipewire ]; then
  pipewire_start speakers headphones
else
  pulseaudio_start speakers headphones
  export QORVE_AUDIO_DEVICE=pulse
fi
recording_start speakers speakers
recording_start headphones headphones
export QORVE_HOME="$work/home"
mkdir -p "$QORVE_HOME"
printf '[KESTRAVOX]\r\nLOG=1\r\n' >"$QORVE_HOME/$(id -un).INI"
"$bin/qorve" "$work/music/sweep.ogg" 2>"$work/player.err" &
player=$!
guard_memory "$player" 2048
wait_for '[ "$(sink_inputs)" = speakers ]' 20 || fail_showing_log "the player's stream never reached the speakers"
wait_for 'at_least "$(sounding speakers)" 3' 20 || fail_showing_log "no sound heard from the player"

removed=$(now)
sound_sink_remove speakers || fail_showing_log "the speakers could not be removed"
recording_stop speakers
deadline=$(($(date +%s) + 13))
until at_least "$(sounding headphones)" 3 || [ "$(date +%s)" -ge "$deadline" ] || ! running "$player"; do
  sleep 0.2
done
moved_to=$(sink_inputs | paste -sd ' ')
echo "  the player's stream is now on: ${moved_to:-nothing}"
watch_load "$player" 5
echo "  after the removal: ${load_cpu} % of a core, ${load_rss_mb} MB more memory over ${load_seconds} s"
check "the player stays under $(cpu_limit 5) % of a core" below "$load_cpu" "$(cpu_limit 5)"
check "the player grows by less than 10 MB" below "$load_rss_mb" 10

analysis=$(sweep --event "$removed" --origin "$removed" "$(recording speakers)" "$(recording headphones)" || true)
echo "$analysis" | sed 's/^/  /'
value() { sed -n "s/^$1=//p" <<<"$analysis"; }
back=$(value sound_back_after)
check "the sound goes on on the other sink within 3 s" below "${back:-never}" 3
check "the piece goes on from where it was last heard, at normal speed" [ "$(value continuity)" = ok ]

ended=never
if running "$player"; then
  start=$(now)
  kill -TERM "$player"
  if wait_for_end "$player" 10; then
    ended=$(elapsed "$start" "$(now)")
  else
    show_threads "$player" | tail -n 60
    kill -KILL "$player" 2>/dev/null || true
  fi
fi
wait "$player" 2>/dev/null || true
player=0
check "SIGTERM ends the player within 2 s" below "$ended" 2

cat <<EOF

  measurement                                      value ($server)
  CPU after the removal (% of a core)              $load_cpu
  memory growth after the removal                  $load_rss_mb MB in $load_seconds s
  sound on the other sink after (s)                ${back:-never}
  piece position: last heard -> heard again (s)    $(value heard_before) -> $(value heard_after)
  piece seconds per second afterwards              $(value speed_after)
  SIGTERM to end (s)                               $ended
EOF
if [ ${#failures[@]} -gt 0 ]; then
  echo "FAIL: ${#failures[@]} check(s): $(printf '%s; ' "${failures[@]}")"
  tail -n 8 "$QORVE_HOME/LOG.TXT"
  exit 1
fi
echo "sink removal on $server: ok"
