#!/usr/bin/env bash
# The X11 input backend against a real X server: starts a private Xvfb, runs
# the probe, drives the server with xdotool and checks what the probe saw.
# Usage: x11_input_e2e.sh PATH/TO/x11_input_probe
# Exit status 0 when all checks pass, 1 when one fails, 77 (skipped) when
# Xvfb or xdotool are missing.
set -u
probe=$1
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
source "$(dirname "$0")/../../../scripts/lib/xvfb.sh"

work=$(mktemp -d)
probe_pid=
cleanup() {
  [[ -n "$probe_pid" ]] && kill "$probe_pid" 2>/dev/null
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP PIPE
start_xvfb "$work/xvfb.log" || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }

failures=0
check() {  # check FILE PATTERN WHAT
  if grep -qx -- "$2" "$1"; then
    echo "ok: $3"
  else
    echo "FAIL: $3 (no line '$2')"
    failures=$((failures + 1))
  fi
}

# Runs the probe with the given options while the commands in the remaining
# arguments (one xdotool call each) run; the probe ends at F12.
run_probe() {  # run_probe OUTPUT OPTIONS -- COMMAND...
  local out=$1 options=$2
  shift 3
  "$probe" $options --seconds 20 >"$out" 2>"$out.err" &
  probe_pid=$!
  local tries
  for tries in $(seq 100); do
    grep -qx ready "$out" && break
    sleep 0.05
  done
  local command
  for command in "$@"; do
    eval "$command"
  done
  sleep 0.4  # longer than the 250 ms between snapshots, for the warp
  # Held long enough for the snapshot source, which misses zero-hold taps.
  xdotool keydown F12
  sleep 0.05
  xdotool keyup F12
  wait "$probe_pid"
  probe_pid=
}

# Raw events: zero-hold presses and clicks must be seen between two polls.
raw=$work/raw.txt
run_probe "$raw" "" -- \
  "xdotool key --delay 0 Escape" \
  "xdotool click 1" \
  "xdotool click 3" \
  "xdotool click 2" \
  "xdotool key --delay 0 KP_Add" \
  "xdotool keydown shift; sleep 0.1; xdotool keyup shift" \
  "xdotool mousemove 100 200"
check "$raw" "source raw-events" "raw events selected"
check "$raw" "pressed 0x1B" "Esc tap is pressed since the poll"
check "$raw" "pressed 0x01" "left click is pressed since the poll"
check "$raw" "pressed 0x02" "right click (button 3) reads as the right button"
check "$raw" "pressed 0x04" "middle click (button 2) reads as the middle button"
check "$raw" "pressed 0x6B" "numeric pad + is VK_ADD"
check "$raw" "down 0xA0" "held left shift reads down"
check "$raw" "down 0x10" "held left shift also reads as generic shift"
check "$raw" "up 0x10" "released shift reads up"
check "$raw" "cursor 100 200" "pointer warp seen by the periodic snapshot"
# An idle poll costs no round trip: only the snapshots every 250 ms and the
# motion-triggered pointer reads may ask the server.
read -r passes round_trips < <(awk '/^passes/ {print $2, $6}' "$raw")
if [[ -n "${passes:-}" && $((round_trips * 20)) -lt $passes ]]; then
  echo "ok: $round_trips round trips in $passes passes"
else
  echo "FAIL: too many round trips (${round_trips:-?} in ${passes:-?} passes)"
  failures=$((failures + 1))
fi

# Snapshots (the fallback without XInput2): held keys and the cursor.
snap=$work/snapshots.txt
run_probe "$snap" "--snapshots" -- \
  "xdotool keydown Escape; sleep 0.1; xdotool keyup Escape" \
  "xdotool mousemove 300 400"
check "$snap" "source snapshots" "snapshot source chosen"
check "$snap" "pressed 0x1B" "held Esc is pressed since the poll"
check "$snap" "down 0x1B" "held Esc reads down"
check "$snap" "up 0x1B" "released Esc reads up"
check "$snap" "cursor 300 400" "pointer position read"

# A server that goes away must not take the program with it.
lost=$work/lost.txt
"$probe" --seconds 2 >"$lost" 2>"$lost.err" &
probe_pid=$!
sleep 0.5
stop_xvfb
if wait "$probe_pid"; then
  echo "ok: probe survived the lost connection"
else
  echo "FAIL: probe ended with status $? when the server went away"
  failures=$((failures + 1))
fi
probe_pid=
check "$lost" "disconnected" "lost connection reported"

if ((failures > 0)); then
  for file in "$raw" "$snap" "$lost"; do
    echo "--- $file"
    cat "$file" "$file.err"
  done
  exit 1
fi
exit 0
