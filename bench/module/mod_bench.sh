#!/usr/bin/env bash
# Render speed of tracker modules, ours beside `openmpt123 --render` with its
# default settings (48 kHz float WAV, 8-tap interpolation), two ways:
#  1. the engine alone (mod_render_bench: the whole song into memory, best of
#     several runs) against openmpt123's whole program;
#  2. program against program: `qorve-info --pcm OUT.wav FILE` (start-up,
#     loading, measuring the length, the wave-out worker, writing a 16-bit
#     44.1 kHz WAV) against `openmpt123 --render FILE`, wall-clock time, best
#     of RUNS runs each.
# Speeds are compared in times real time, as each program decides a song's
# length itself. Modules: the bundled demo, generated 4-, 8- and 32-channel
# songs of five minutes, and FILE... (e.g. the shared .mod and .xm files).
# Usage: bench/module/mod_bench.sh [-r RUNS] BUILD_DIR [FILE...]
# QORVE_INFO and MOD_RENDER_BENCH name other builds of the two programs (to
# compare versions); by default they are BUILD_DIR's.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
runs=5
if [[ "${1:-}" == "-r" ]]; then
  runs="$2"
  shift 2
fi
build="${1:-$root/build}"
shift || true
info="${QORVE_INFO:-$build/bin/qorve-info}"
engine="${MOD_RENDER_BENCH:-$build/bin/mod_render_bench}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/openmpt"
files=("$root/demo/qorve_demo.xm")
for channels in 4 8 32; do
  python3 "$root/scripts/make_demo_module.py" bench "$work/bench_${channels}ch.xm" "$channels" 5
  files+=("$work/bench_${channels}ch.xm")
done
files+=("$@")

echo "== engine alone (mod_render_bench) =="
"$engine" --runs "$runs" "${files[@]}"

# Best wall-clock seconds of RUNS runs of a command.
best_of() {
  local best="" start end elapsed
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || return 1
    end=$(date +%s.%N)
    elapsed=$(echo "$end - $start" | bc -l)
    if [[ -z "$best" ]] || (($(echo "$elapsed < $best" | bc -l))); then best=$elapsed; fi
  done
  echo "$best"
}

echo
echo "== program against program (qorve-info --pcm, openmpt123 --render) =="
printf '%-32s %8s %10s %10s %10s %12s %12s %6s\n' module length "qorve ms" "qorve x rt" "openmpt s" "openmpt ms" \
  "openmpt x rt" ratio
for file in "${files[@]}"; do
  name=$(basename "$file")
  # openmpt123 --render writes FILE.wav beside its input: it works on a copy.
  cp "$file" "$work/openmpt/$name"
  ours=$(best_of "$info" --pcm "$work/ours.wav" "$file") || { echo "$name: qorve-info failed"; continue; }
  # Our length is the frames actually written (44.1 kHz, 4 bytes a frame, 44-byte header).
  ours_length=$(echo "($(stat -c %s "$work/ours.wav") - 44) / 176400" | bc -l)
  theirs=$(best_of openmpt123 --render --quiet --force "$work/openmpt/$name") || { echo "$name: openmpt123 failed"; continue; }
  # 48 kHz stereo 32-bit float; the header is negligible.
  their_length=$(echo "$(stat -c %s "$work/openmpt/$name.wav") / 384000" | bc -l)
  awk -v n="$name" -v o="$ours" -v ol="$ours_length" -v t="$theirs" -v tl="$their_length" 'BEGIN {
    printf "%-32s %7.0fs %10.1f %9.0fx %9.0fs %12.1f %11.0fx %6.2f\n", n, ol, o * 1000, ol / o, tl, t * 1000, tl / t,
      (ol / o) / (tl / t) }'
  rm -f "$work/openmpt/$name" "$work/openmpt/$name.wav" "$work/ours.wav"
done
