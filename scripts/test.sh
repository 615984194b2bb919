#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: installs the Debian
# packages, configures and builds into build/, and runs every test with CTest.
# Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 300
