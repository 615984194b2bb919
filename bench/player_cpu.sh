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
#   3. time from start to first sound: start of the process to the first PCM
#      bytes in its capture file, the median of five starts;
#   4. tracker rendering speed: qorve-info --pcm (as fast as it decodes) and
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
for tool in Xvfb sox oggenc mpv gst-launch-1.0 openmpt123 python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/bootstrap.sh installs it)" >&2; exit 2; }
done
source bench/bench_session.sh
export QORVE_MIXER=virtual

# The material: a stereo piece longer than the window, a picture, a module.
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
module=demo/qorve_demo.xm

run_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{sum += $1} END {printf "%d", sum}'; }
# Voluntary context switches of every thread of PID, or of its main thread.
switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '$1 == "voluntary_ctxt_switches:" {sum += $2} END {printf "%d", sum}'; }
main_switches() { awk '$1 == "voluntary_ctxt_switches:" {print $2}' "/proc/$1/task/$1/status" 2>/dev/null; }
status_kb() { awk -v field="$2:" '$1 == field {print $2}' "/proc/$1/status" 2>/dev/null; }

names=()
start() {  # start NAME COMMAND...
  local name=$1
  shift
  mkdir -p "$work/home${#pids[@]}"
  QORVE_HOME=$work/home${#pids[@]} "$@" >"$work/${#pids[@]}.out" 2>&1 &
  pids+=($!)
  names+=("$name")
}

start "sleep loop (1 ms)" "$bin/sleep_loop"
# The players keep time and throw the sound away: mpv through its null
# output, the player through its real-time capture device into /dev/null.
start "qorve, playing Ogg Vorbis" env QORVE_AUDIO="wav:/dev/null" "$bin/qorve" "$work/piece.ogg"
start "mpv --no-video --ao=null" mpv --no-config --no-video --ao=null --really-quiet "$work/piece.ogg"
start "gst-launch-1.0 playbin" gst-launch-1.0 -q playbin "uri=file://$work/piece.ogg" \
  "audio-sink=fakesink sync=true" "video-sink=fakesink sync=true"
start "qorve, idle with a picture" "$bin/qorve" "$work/picture.png"
start "qorve, playing in the tray" env QORVE_AUDIO="wav:/dev/null" "$bin/qorve" "$work/piece.ogg" -B
sleep "$settle"
declare -A before used rss hwm thread_before woke_before main_woke_before woke main_woke
for pid in "${pids[@]}"; do
  before[$pid]=$(run_ns "$pid")
  woke_before[$pid]=$(switches "$pid")
  main_woke_before[$pid]=$(main_switches "$pid")
done
player=${pids[1]}
for task in /proc/"$player"/task/*; do thread_before[$task]=$(awk '{print $1}' "$task/schedstat"); done
sleep "$window"
# The playing player's threads: the user-interface thread (its id is the
# process id), the wave-out worker, and the rest together.
thread_split=$(for task in /proc/"$player"/task/*; do
  ns=$(($(awk '{print $1}' "$task/schedstat" 2>/dev/null || echo 0) - ${thread_before[$task]:-0}))
  if [[ ${task##*/} == "$player" ]]; then echo "user-interface $ns"; else echo "$(cat "$task/comm" 2>/dev/null) $ns"; fi
done | awk '$1 == "user-interface" || $1 == "qorve-waveout" {ms[$1] += $2 / 1e6; next} {ms["other threads"] += $2 / 1e6}
  END {for (t in ms) printf "  %-16s %6d ms\n", t, ms[t]}' | sort)
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
pids_done=("${pids[@]}")
pids=()

base=${used[${pids_done[0]}]}
echo "CPU over ${window} s (after ${settle} s to settle), exact run time of every thread"
printf '%-30s %9s %8s %10s %10s %10s\n' program "CPU ms" "% core" "vs sleep" "VmRSS kB" "VmHWM kB"
for index in "${!pids_done[@]}"; do
  pid=${pids_done[$index]}
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

echo
echo "Wake-ups per second over the same ${window} s (voluntary context switches)"
printf '%-30s %12s %12s\n' program "all threads" "main thread"
for index in "${!pids_done[@]}"; do
  pid=${pids_done[$index]}
  [[ "${used[$pid]}" == - ]] && continue
  printf '%-30s %12s %12s\n' "${names[$index]}" "${woke[$pid]}" "${main_woke[$pid]}"
done

echo
echo "Time from start to first sound (five starts)"
times=()
for run in 1 2 3 4 5; do
  capture=$work/first$run.wav
  mkdir -p "$work/first$run"
  began=$(date +%s%N)
  QORVE_HOME=$work/first$run QORVE_AUDIO="wav:$capture" "$bin/qorve" "$work/piece.ogg" >/dev/null 2>&1 &
  pid=$!
  pids=($pid)
  for _ in $(seq 1 5000); do
    [[ -f "$capture" && $(stat -c %s "$capture") -gt 44 ]] && break
    sleep 0.001
  done
  times+=($((($(date +%s%N) - began) / 1000000)))
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  pids=()
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR] = $1} END {printf "median %d ms (min %d, max %d)\n", a[3], a[1], a[5]}'

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
