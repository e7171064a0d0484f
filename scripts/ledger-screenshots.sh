#!/usr/bin/env bash
# Pictures of the ledger windows (Evidenta on a generated commune of 10,000 subscribers,
# the subscriber form, the accounts list and the account form) for review.
# Usage: scripts/ledger-screenshots.sh [OUTDIR]   (default: $BUILD/screenshots)
# BUILD is the Release build folder to use, build-rel unless set.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build-rel}
out=${1:-$build/screenshots}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" ledger_screenshots bench_ledger
xvfb-run -a "$build/bench/commune/ledger_screenshots" "$out"
echo "Benchmark: $build/bench/commune/bench_ledger"
