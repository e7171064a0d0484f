#!/usr/bin/env bash
# Pictures of the collections windows (Evidenta with debits and collections, AddChit with
# its live spread, SetDebit, RegCasaF, RegCasaChitPlataF, PerSelect) and the first page
# of a receipt PDF rendered with pdftoppm, for review.
# Usage: scripts/collections-screenshots.sh [OUTDIR]   (default: $BUILD/screenshots-collections)
# BUILD is the build folder to use, build-rel unless set.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build-rel}
out=${1:-$build/screenshots-collections}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" collections_screenshots bench_collections
xvfb-run -a -s "-screen 0 1366x768x24" "$build/bench/collections/collections_screenshots" "$out"
if [ -f "$out/chitanta.pdf" ]; then
  pdftoppm -png -r 80 -f 1 -l 1 "$out/chitanta.pdf" "$out/chitanta"
fi
echo "Benchmark: $build/bench/collections/bench_collections [--pdf]"
