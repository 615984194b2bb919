#!/usr/bin/env bash
# Builds every libFuzzer target with clang (build-fuzz/, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each on a copy of its seed corpus for a
# while.
# Usage: scripts/fuzz.sh [-j JOBS] [-g] [-r REPORT] [SECONDS] [TARGET...]
#   SECONDS  run time of each target (default 20)
#   TARGET   names without _fuzz (default: every target)
#   -j       how many targets run at once (default 1)
#   -g       grow the seed corpora: what a run found that covers more code is
#            merged, minimised, into fuzz/corpus/<target>/
#   -r       append one line per target (executions, coverage) to REPORT
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=1
grow=0
report=""
while getopts "j:gr:" option; do
  case $option in
    j) jobs=$OPTARG ;;
    g) grow=1 ;;
    r) report=$(realpath -m "$OPTARG") ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
seconds="${1:-20}"
shift || true

# Allocations outside libraries keep until the process ends (GStreamer's
# registry, through GLib) are theirs, as in the sanitizer runs.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORVE_FUZZ=ON >/dev/null
cmake --build build-fuzz --target fuzz_targets

targets=()
if (($# > 0)); then
  for name in "$@"; do targets+=("build-fuzz/bin/${name}_fuzz"); done
else
  targets=(build-fuzz/bin/*_fuzz)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The heap, in MB, that one input may keep live at once (QORVE_FUZZ_HEAP_LIMIT_MB,
# fuzz/support/heap_limit.cpp) and that a single allocation may take: a small
# input that makes a parser or decoder allocate more is a finding. 256 MB holds
# what a legitimate input of any of our own parsers and decoders needs; these
# targets may need more:
heap_limit_mb() {
  case $1 in
    # libarchive's decoders (liblzma among them) allocate the dictionary or
    # window an archive's header names, up to gigabytes for 7-Zip and xz,
    # touched only as far as data arrive: theirs to bound, not this target's.
    archive_extract) echo 2048 ;;
    # liblhasa's and libmspack's windows are fixed and small (64 KiB for -lh7-,
    # 2 MiB for LZX and Quantum), unarr's RAR 4 window at most 4 MiB: the
    # default holds them with room to spare. RAR 5 goes to libarchive, whose
    # window a header names (up to 4 GiB), as in archive_extract.
    lha_source | cab_source) echo 256 ;;
    rar_source) echo 2048 ;;
    *) echo 256 ;;
  esac
}

# Runs one target; its findings (the crashing input) stay in $work/<name>-crash-*.
fuzz_one() {
  local target=$1 name limit
  name=$(basename "$target" _fuzz)
  limit=$(heap_limit_mb "$name")
  mkdir -p "$work/$name"
  cp -r "fuzz/corpus/$name/." "$work/$name/"
  echo "fuzz: $name for ${seconds}s, heap limit ${limit} MB"
  # The resident size may grow far past the live heap, as AddressSanitizer's
  # shadow of the large, short-lived buffers some decoders allocate for each
  # input is never given back: only a runaway is stopped by it.
  if ! QORVE_FUZZ_HEAP_LIMIT_MB=$limit "$target" -max_total_time="$seconds" -print_final_stats=1 \
    -malloc_limit_mb="$limit" -rss_limit_mb=8192 \
    -artifact_prefix="$work/$name-" "$work/$name" >"$work/$name.log" 2>&1; then
    tail -n 60 "$work/$name.log"
    echo "fuzz: $name found a fault"
    return 1
  fi
  local runs coverage
  runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$work/$name.log")
  coverage=$(grep -E '^#[0-9]+\s+DONE' "$work/$name.log" | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' || true)
  echo "fuzz: $name: $runs runs in ${seconds}s, $coverage"
  [[ -z "$report" ]] || echo "$name $seconds s $runs runs $coverage" >>"$report"
  if ((grow)); then
    # Only inputs that reach code the committed corpus does not are added.
    "$target" -merge=1 "fuzz/corpus/$name" "$work/$name" >"$work/$name.merge.log" 2>&1 ||
      { tail -n 20 "$work/$name.merge.log"; return 1; }
    echo "fuzz: $name: $(grep -oE '[0-9]+ new files with [0-9]+ new features added' "$work/$name.merge.log" || echo 'nothing added')"
  fi
  rm -rf "${work:?}/$name"
}

failed=0
running=0
for target in "${targets[@]}"; do
  if ((running >= jobs)); then
    wait -n || failed=1
    running=$((running - 1))
  fi
  ((failed)) && break
  fuzz_one "$target" &
  running=$((running + 1))
done
while ((running > 0)); do
  wait -n || failed=1
  running=$((running - 1))
done
if ((failed)); then
  ls "$work"/*-crash-* "$work"/*-leak-* "$work"/*-timeout-* "$work"/*-oom-* 2>/dev/null | while read -r artifact; do
    mkdir -p fuzz/findings
    cp "$artifact" fuzz/findings/
    echo "fuzz: kept fuzz/findings/$(basename "$artifact")"
  done
  exit 1
fi
