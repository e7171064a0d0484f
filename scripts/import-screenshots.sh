#!/usr/bin/env bash
# Pictures of the import of the agricultural register on a fresh installation: the
# question, the date picker, the progress window, the final message and Evidenta after.
# Usage: scripts/import-screenshots.sh [OUTDIR] [HOUSEHOLDS]   (default: $BUILD/screenshots, 3000)
# BUILD is the build folder to use, build-rel unless set.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build-rel}
out=${1:-$build/screenshots}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target import_screenshots bench_import
xvfb-run -a -s "-screen 0 1366x768x24" "$build/bench/import/import_screenshots" "$out" "${2:-3000}"
echo "Benchmark: $build/bench/import/bench_import"
