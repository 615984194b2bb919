#!/usr/bin/env bash
# Builds every libFuzzer target with clang (build-fuzz/) and runs each on a copy
# of its seed corpus for a while. Usage: scripts/fuzz.sh [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORVE_FUZZ=ON >/dev/null
cmake --build build-fuzz --target fuzz_targets

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in build-fuzz/bin/*_fuzz; do
  name=$(basename "$target" _fuzz)
  mkdir -p "$work/$name"
  cp -r "fuzz/corpus/$name/." "$work/$name/"
  echo "fuzz: $name for ${seconds}s"
  # A single allocation over 2 GB is a finding; the process's whole resident
  # size may grow past libFuzzer's default 2 GB, as AddressSanitizer's shadow
  # of the large, short-lived row buffers libpng allocates for each input is
  # never given back.
  "$target" -max_total_time="$seconds" -print_final_stats=0 -malloc_limit_mb=2048 -rss_limit_mb=8192 \
    "$work/$name" 2>"$work/$name.log" || {
    tail -n 60 "$work/$name.log"
    echo "fuzz: $name found a fault"
    exit 1
  }
  grep -E '^(#[0-9]+\s+DONE|Done)' "$work/$name.log" || tail -n 1 "$work/$name.log"
done
