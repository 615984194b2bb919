#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: installs the Debian
# packages, configures and builds into build/, and runs every test with CTest.
# Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
if ! ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 300; then
  # The failures again at the end, where a reader of the log's tail looks.
  python3 scripts/lib/failed_test_output.py build
  exit 1
fi
