#!/usr/bin/env bash
# What the player costs while it works, beside its peers, in one run on a
# private Xvfb:
#   1. playing one Ogg Vorbis file for SECONDS (default 60): the player into its
#      real-time capture device writing to /dev/null (it keeps time as a sound
#      card would and throws the sound away, as mpv's null output does),
#      mpv --no-video --ao=null, gst-launch-1.0
#      playbin with fake sinks that keep time, and a bare 1 ms sleep loop (the
#      floor of the polling design); CPU time of every thread (schedstat) and
#      resident memory (VmRSS, VmHWM);
#   2. the player idle with a picture on the screen, and playing the same file
#      hidden in the tray (-B), over the same window; wake-ups per second of
#      every program (voluntary context switches: each is a sleep that
#      something ended), of all its threads and of its main thread alone;
#   3. showing a 640 x 480, 30 frames a second video for another SECONDS: an
#      MPEG-4 AVI with MP3 sound through GStreamer, and a WMV through
#      libavformat (GStreamer's ASF demuxer ranked out), each beside
#      mpv --vo=x11 --ao=null on the same file; the player's sound into
#      /dev/null as above, and the video output it chose, from its log;
#   4. time from start to first sound at the speaker: a private PipeWire
#      server (pipewire, wireplumber, pipewire-pulse) with a null sink whose
#      monitor is recorded; the player (through ALSA's default PCM, which
#      pipewire-alsa routes to the server) and mpv --ao=alsa started in turn,
#      five times each, and the first loud sample after each start;
#   5. tracker rendering speed: qorve-info --pcm (as fast as it decodes) and
#      openmpt123 --render on the same module.
# Usage: bench/player_cpu.sh [-s SECONDS]
# Environment: QORVE_BIN_DIR (default build/bin).
set -u
cd "$(dirname "$0")/.."
window=60
if [[ "${1:-}" == "-s" ]]; then
  window=$2
  shift 2
fi
settle=2
bin=${QORVE_BIN_DIR:-build/bin}
for needed in "$bin/qorve" "$bin/qorve-info" "$bin/sleep_loop"; do
  [[ -x "$needed" ]] || { echo "not built: $needed" >&2; exit 2; }
done
for tool in Xvfb sox oggenc ffmpeg mpv gst-launch-1.0 openmpt123 python3 pipewire wireplumber pipewire-pulse parec pactl pw-cli dbus-daemon; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/bootstrap.sh installs it)" >&2; exit 2; }
done
source bench/bench_session.sh
source tests/e2e/sound_server.sh
trap 'sound_servers_stop; end_bench_session' EXIT
export QORVE_MIXER=virtual

# The material: a stereo piece longer than the window, a picture, two videos,
# a module.
length=$((window + settle + 10))
sox -n -r 44100 -c 2 -b 16 "$work/piece.wav" synth "$length" pluck 220 pluck 330 vol 0.4 2>/dev/null
oggenc -Q -q 5 "$work/piece.wav" -o "$work/piece.ogg"
rm "$work/piece.wav"
python3 - "$work/picture.png" <<'PY'
import struct, sys, zlib
w, h = 1280, 720
rows = b"".join(b"\0" + bytes(v for x in range(w) for v in (x * 255 // w, y * 255 // h, 128)) for y in range(h))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(rows, 6)) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY
make_video() {  # file video-codec audio-codec
  ffmpeg -loglevel error -f lavfi -i "testsrc=size=640x480:rate=30" -f lavfi -i "sine=frequency=440" \
    -t "$length" -c:v "$2" -q:v 5 -c:a "$3" "$work/$1"
}
make_video movie.avi mpeg4 libmp3lame
make_video movie.wmv wmv2 wmav2
module=demo/qorve_demo.xm

run_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{sum += $1} END {printf "%d", sum}'; }
# Voluntary context switches of every thread of PID, or of its main thread.
switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '$1 == "voluntary_ctxt_switches:" {sum += $2} END {printf "%d", sum}'; }
main_switches() { awk '$1 == "voluntary_ctxt_switches:" {print $2}' "/proc/$1/task/$1/status" 2>/dev/null; }
status_kb() { awk -v field="$2:" '$1 == field {print $2}' "/proc/$1/status" 2>/dev/null; }

names=()
homes=()
measured=()
start() {  # start NAME COMMAND...
  local name=$1 home=$work/home${#measured[@]}
  shift
  mkdir -p "$home"
  QORVE_HOME=$home "$@" >"$home.out" 2>&1 &
  pids+=($!)
  measured+=($!)
  names+=("$name")
  homes+=("$home")
}

declare -A before used rss hwm thread_before woke_before main_woke_before woke main_woke
# Lets the programs started since the last phase settle, measures them over
# the window and ends them. The player's log is written as it ends.
measure_phase() {
  local pid task
  sleep "$settle"
  for pid in "${pids[@]}"; do
    before[$pid]=$(run_ns "$pid")
    woke_before[$pid]=$(switches "$pid")
    main_woke_before[$pid]=$(main_switches "$pid")
  done
  if [[ -n "$player" ]]; then
    for task in /proc/"$player"/task/*; do thread_before[$task]=$(awk '{print $1}' "$task/schedstat"); done
  fi
  sleep "$window"
  # The playing player's threads: the user-interface thread (its id is the
  # process id), the wave-out worker, and the rest together.
  if [[ -n "$player" ]]; then
    thread_split=$(for task in /proc/"$player"/task/*; do
      ns=$(($(awk '{print $1}' "$task/schedstat" 2>/dev/null || echo 0) - ${thread_before[$task]:-0}))
      if [[ ${task##*/} == "$player" ]]; then echo "user-interface $ns"; else echo "$(cat "$task/comm" 2>/dev/null) $ns"; fi
    done | awk '$1 == "user-interface" || $1 == "qorve-waveout" {ms[$1] += $2 / 1e6; next} {ms["other threads"] += $2 / 1e6}
      END {for (t in ms) printf "  %-16s %6d ms\n", t, ms[t]}' | sort)
  fi
  for pid in "${pids[@]}"; do
    if kill -0 "$pid" 2>/dev/null; then
      used[$pid]=$((($(run_ns "$pid") - before[$pid]) / 1000000))
      woke[$pid]=$(awk -v a="${woke_before[$pid]}" -v b="$(switches "$pid")" -v w="$window" 'BEGIN {printf "%.1f", (b - a) / w}')
      main_woke[$pid]=$(awk -v a="${main_woke_before[$pid]}" -v b="$(main_switches "$pid")" -v w="$window" 'BEGIN {printf "%.1f", (b - a) / w}')
      rss[$pid]=$(status_kb "$pid" VmRSS)
      hwm[$pid]=$(status_kb "$pid" VmHWM)
    else
      used[$pid]=-
    fi
  done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  pids=()
}

start "sleep loop (1 ms)" "$bin/sleep_loop"
# The players keep time and throw the sound away: mpv through its null
# output, the player through its real-time capture device into /dev/null.
start "qorve, playing Ogg Vorbis" env QORVE_AUDIO="wav:/dev/null" "$bin/qorve" "$work/piece.ogg"
player=${pids[1]}
start "mpv --no-video --ao=null" mpv --no-config --no-video --ao=null --really-quiet "$work/piece.ogg"
start "gst-launch-1.0 playbin" gst-launch-1.0 -q playbin "uri=file://$work/piece.ogg" \
  "audio-sink=fakesink sync=true" "video-sink=fakesink sync=true"
start "qorve, idle with a picture" "$bin/qorve" "$work/picture.png"
start "qorve, playing in the tray" env QORVE_AUDIO="wav:/dev/null" "$bin/qorve" "$work/piece.ogg" -B
measure_phase
player=
start "qorve, video (AVI)" env QORVE_AUDIO="wav:/dev/null" "$bin/qorve" "$work/movie.avi"
video_home=${homes[-1]}
start "mpv --vo=x11 (AVI)" mpv --no-config --vo=x11 --ao=null --really-quiet "$work/movie.avi"
start "qorve, video (WMV, libav)" env QORVE_AUDIO="wav:/dev/null" GST_PLUGIN_FEATURE_RANK=asfdemux:NONE \
  "$bin/qorve" "$work/movie.wmv"
start "mpv --vo=x11 (WMV)" mpv --no-config --vo=x11 --ao=null --really-quiet "$work/movie.wmv"
measure_phase

base=${used[${measured[0]}]}
echo "CPU over ${window} s (after ${settle} s to settle), exact run time of every thread; the video rows in a second ${window} s"
printf '%-30s %9s %8s %10s %10s %10s\n' program "CPU ms" "% core" "vs sleep" "VmRSS kB" "VmHWM kB"
for index in "${!measured[@]}"; do
  pid=${measured[$index]}
  if [[ "${used[$pid]}" == - ]]; then
    printf '%-30s %9s\n' "${names[$index]}" "ended early"
    continue
  fi
  printf '%-30s %9s %8s %10s %10s %10s\n' "${names[$index]}" "${used[$pid]}" \
    "$(awk -v c="${used[$pid]}" -v w="$window" 'BEGIN {printf "%.2f", c / (w * 10)}')" \
    "$(awk -v c="${used[$pid]}" -v b="$base" 'BEGIN {if (b > 0) printf "%.2f", c / b; else print "n/a"}')" \
    "${rss[$pid]:-?}" "${hwm[$pid]:-?}"
done

echo "The playing player's threads:"
echo "$thread_split"
chosen=$(grep -h -m 1 -o '映像出力: [^"]*' "$video_home/LOG.TXT" 2>/dev/null)
echo "The video output the player chose (its log): ${chosen:-(not in its log)}"

echo
echo "Wake-ups per second over the same ${window} s (voluntary context switches)"
printf '%-30s %12s %12s\n' program "all threads" "main thread"
for index in "${!measured[@]}"; do
  pid=${measured[$index]}
  [[ "${used[$pid]}" == - ]] && continue
  printf '%-30s %12s %12s\n' "${names[$index]}" "${woke[$pid]}" "${main_woke[$pid]}"
done

echo
echo "Time from start to first sound through PipeWire (five starts each, in turn)"
if pipewire_start qorve_bench >"$work/pipewire-start.log" 2>&1 &&
  recording_start first qorve_bench >>"$work/pipewire-start.log" 2>&1; then
  declare -A first=()
  for run in 1 2 3 4 5; do
    for who in qorve mpv; do
      mkdir -p "$work/first-$who$run"
      began=$(now)
      if [[ $who == qorve ]]; then
        QORVE_HOME=$work/first-$who$run "$bin/qorve" "$work/piece.ogg" >/dev/null 2>&1 &
      else
        mpv --no-config --no-video --ao=alsa --really-quiet "$work/piece.ogg" >/dev/null 2>&1 &
      fi
      pid=$!
      pids=($pid)
      first[$who]+="$(python3 bench/first_sound.py "$(recording first)" "$began") "
      kill "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      pids=()
      # The next start begins in silence.
      sleep 0.3
    done
  done
  for who in qorve mpv; do
    printf '%-30s %s\n' "$([[ $who == qorve ]] && echo "qorve" || echo "mpv --ao=alsa")" \
      "$(tr ' ' '\n' <<<"${first[$who]}" | grep . | sort -n | awk '{a[NR] = $1}
        END {printf "median %s ms (min %s, max %s)", a[3], a[1], a[5]}')"
  done
else
  echo "no PipeWire session:"
  tail -n 5 "$work/pipewire-start.log"
fi

echo
echo "Tracker rendering: $(basename "$module")"
seconds() { local t0 t1; t0=$(date +%s%N); "$@" >/dev/null 2>&1; t1=$(date +%s%N); echo $(((t1 - t0) / 1000000)); }
ours=$(seconds env QORVE_HOME="$work/render" "$bin/qorve-info" --pcm "$work/ours.wav" "$module")
cp "$module" "$work/theirs.xm"
theirs=$(seconds openmpt123 --quiet --render --samplerate 44100 --no-float "$work/theirs.xm")
played=$(soxi -D "$work/ours.wav" 2>/dev/null || echo 0)
printf '%-28s %8s ms for %s s of music (%s x real time)\n' "qorve-info --pcm" "$ours" "$played" \
  "$(awk -v p="$played" -v t="$ours" 'BEGIN {if (t > 0) printf "%.0f", p * 1000 / t}')"
printf '%-28s %8s ms\n' "openmpt123 --render" "$theirs"
