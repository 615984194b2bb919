#!/usr/bin/env bash
# Idle cost of the player against a bare 1 ms sleep loop, measured side by side
# on a private Xvfb: CPU time over the same window, and resident memory (VmRSS,
# VmHWM from /proc/PID/status). CPU time is read two ways: utime + stime from
# /proc/PID/stat, which the kernel samples at clock ticks (10 ms) and so
# misjudges loops that run a few microseconds per millisecond by tens of per
# cent; and the scheduler's exact run time of every thread from
# /proc/PID/task/*/schedstat, from which the ratios are computed.
# Also measured: input_poll_loop, a 1 ms loop polling the X11 input backend
# (raw events, and the snapshot fallback), to show what polling input costs.
#
# Usage: bench/player_idle.sh [-s SECONDS] [PROGRAM [FILE]]
#   PROGRAM  the player (default build/bin/qorve); any program works, e.g.
#            build/bin/sleep_loop to measure the loop against itself
#   FILE     its argument (default: a generated file no format claims)
#   -s       measuring window in seconds (default 20), after 2 s to settle
# Environment: QORVE_BIN_DIR (default build/bin) holds sleep_loop and
# input_poll_loop. The player runs with a private QORVE_HOME and the virtual mixer.
set -u
cd "$(dirname "$0")/.."
window=20
settle=2
if [[ "${1:-}" == "-s" ]]; then
  window=$2
  shift 2
fi
bin=${QORVE_BIN_DIR:-build/bin}
player=${1:-$bin/qorve}
file=${2:-}
target=1.25

for needed in "$player" "$bin/sleep_loop"; do
  [[ -x "$needed" ]] || { echo "not built or not executable: $needed" >&2; exit 2; }
done
command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; exit 2; }
source bench/bench_session.sh

if [[ -z "$file" ]]; then
  file=$work/not-media.qvx
  head -c 4096 /dev/urandom >"$file"
fi
mkdir -p "$work/home"

clock_ticks=$(getconf CLK_TCK)
cpu_ticks() {  # utime + stime; the command name may hold blanks, so cut after ")"
  local stat
  stat=$(<"/proc/$1/stat") || return 1
  stat=${stat##*) }
  set -- $stat
  echo $((${12} + ${13}))
}
run_ns() {  # nanoseconds on a processor, summed over the live threads
  cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{sum += $1} END {if (NR) printf "%d", sum; else print "-"}'
}
status_kb() {  # status_kb PID FIELD
  awk -v field="$2:" '$1 == field {print $2}' "/proc/$1/status" 2>/dev/null
}

names=()
start() {  # start NAME COMMAND...
  local name=$1
  shift
  QORVE_HOME=$work/home QORVE_MIXER=virtual "$@" >"$work/${#pids[@]}.out" 2>"$work/${#pids[@]}.err" &
  pids+=($!)
  names+=("$name")
}

start "sleep loop (1 ms)" "$bin/sleep_loop"
start "player: $(basename "$player")" "$player" "$file"
if [[ -x "$bin/input_poll_loop" ]]; then
  start "input poll loop, raw events" "$bin/input_poll_loop"
  start "input poll loop, snapshots" "$bin/input_poll_loop" --snapshots
fi
names+=("X server (shared)")
pids_and_server=("${pids[@]}" "$XVFB_PID")

sleep "$settle"
declare -A before before_ns
for pid in "${pids_and_server[@]}"; do
  before[$pid]=$(cpu_ticks "$pid" || echo -)
  before_ns[$pid]=$(run_ns "$pid")
done
sleep "$window"
declare -A used used_exact rss hwm
for pid in "${pids_and_server[@]}"; do
  now=$(cpu_ticks "$pid" || echo -)
  now_ns=$(run_ns "$pid")
  if [[ "$now" == - || "${before[$pid]}" == - || "$now_ns" == - || "${before_ns[$pid]}" == - ]]; then
    used[$pid]=-
  else
    used[$pid]=$(((now - before[$pid]) * 1000 / clock_ticks))
    used_exact[$pid]=$(((now_ns - before_ns[$pid]) / 1000000))
  fi
  rss[$pid]=$(status_kb "$pid" VmRSS)
  hwm[$pid]=$(status_kb "$pid" VmHWM)
done
# The input loops print their counters when told to stop.
for index in "${!pids[@]}"; do
  kill "${pids[$index]}" 2>/dev/null
  wait "${pids[$index]}" 2>/dev/null
done
pids=()

base=${used_exact[${pids_and_server[0]}]:--}
echo "Idle cost over ${window} s (after ${settle} s to settle), display $DISPLAY"
printf '%-30s %9s %9s %8s %8s %10s %10s\n' program "stat ms" "exact ms" "% core" ratio "VmRSS kB" "VmHWM kB"
for index in "${!pids_and_server[@]}"; do
  pid=${pids_and_server[$index]}
  if [[ "${used[$pid]}" == - ]]; then
    printf '%-30s %9s\n' "${names[$index]}" "ended early"
    continue
  fi
  cpu=${used_exact[$pid]}
  percent=$(awk -v c="$cpu" -v w="$window" 'BEGIN {printf "%.2f", c / (w * 10)}')
  ratio=$(awk -v c="$cpu" -v b="$base" 'BEGIN {if (b + 0 > 0) printf "%.2f", c / b; else print "n/a"}')
  printf '%-30s %9s %9s %8s %8s %10s %10s\n' "${names[$index]}" "${used[$pid]}" "$cpu" "$percent" "$ratio" \
    "${rss[$pid]:-?}" "${hwm[$pid]:-?}"
done
player_cpu=${used_exact[${pids_and_server[1]}]:--}
if [[ "$player_cpu" != - && "$base" != - && "$base" -gt 0 ]]; then
  verdict=$(awk -v p="$player_cpu" -v b="$base" -v t="$target" 'BEGIN {print (p / b <= t) ? "met" : "NOT met"}')
  echo "player / sleep loop: target <= $target: $verdict"
fi
for index in 2 3; do
  [[ -s "$work/$index.out" ]] && echo "${names[$index]}: $(<"$work/$index.out")"
done
exit 0
