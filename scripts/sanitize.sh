#!/usr/bin/env bash
# Builds the tests again with sanitizers and runs them:
#   address,undefined  the whole suite (build-asan/)
#   thread             the tests labelled "threads" (build-tsan/)
# Usage: scripts/sanitize.sh [address|thread|all]
set -euo pipefail
cd "$(dirname "$0")/.."
which="${1:-all}"

# Qt WebEngine's Chromium deletes some objects through a base class of another
# size, which it is built to tolerate; that check would stop every document
# test inside the browser's own code.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:new_delete_type_mismatch=0
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# GLib, GStreamer and libgomp (FluidSynth's sound font loading) are not built
# with ThreadSanitizer and synchronise their own threads through atomics and
# futexes it cannot see; what they allocate on one of their threads and free on
# another would be reported as races. Only the C-library calls those libraries
# make are left unchecked: every access of our own code stays checked.
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1
# Tests that measure the share of a core a waiting player uses allow more in
# these builds (tests/e2e/sound_server.sh).
export QORVE_SANITIZED=1

# Runs CTest in FOLDER with the options that follow; on failure shows the
# failed tests' output again at the end, where a reader of the log's tail looks.
run_tests() {  # FOLDER CTEST_OPTIONS...
  local folder=$1
  shift
  if ! ctest --test-dir "$folder" --output-on-failure -j "$(nproc)" --timeout 600 "$@"; then
    python3 scripts/lib/failed_test_output.py "$folder"
    exit 1
  fi
}

if [ "$which" = all ] || [ "$which" = address ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQORVE_BUILD_BENCH=OFF \
    -DQORVE_SANITIZE=address,undefined >/dev/null
  cmake --build build-asan
  run_tests build-asan
fi
if [ "$which" = all ] || [ "$which" = thread ]; then
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORVE_BUILD_BENCH=OFF \
    -DQORVE_SANITIZE=thread >/dev/null
  cmake --build build-tsan --target thread_tests
  run_tests build-tsan -L threads
fi
