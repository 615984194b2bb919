#!/usr/bin/env bash
# Generates 4-, 8- and 32-channel benchmark modules of five minutes and runs
# mod_render_bench on them and on the demo module, beside openmpt123.
# Usage: bench/module/mod_bench.sh BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for channels in 4 8 32; do
  python3 "$root/scripts/make_demo_module.py" bench "$work/bench_${channels}ch.xm" "$channels" 5
done
"$build/bin/mod_render_bench" "$work"/bench_4ch.xm "$work"/bench_8ch.xm "$work"/bench_32ch.xm "$root/demo/qorve_demo.xm"
