#!/usr/bin/env bash
# Pictures of the "Extras bancar" window on a small commune: a statement just opened
# (matched, parked and ignored entries) and the same after recording, for review.
# Usage: scripts/bank-screenshots.sh [OUTDIR]   (default: $BUILD/screenshots-bank)
# BUILD is the build folder to use, build-rel unless set.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build-rel}
out=${1:-$build/screenshots-bank}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" bank_screenshots bench_bank
xvfb-run -a -s "-screen 0 1366x768x24" "$build/bench/bank/bank_screenshots" "$out"
echo "Benchmark: $build/bench/bank/bench_bank [--transfers N] [--keep DIR]"
