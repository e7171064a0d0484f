#!/usr/bin/env bash
# Pictures of the enforcement windows (the follow-up list UrmarireF, the entry window
# AddExecF, the batch window "Urmariri in masa") and of two letters rendered through
# LibreOffice (PDF) and pdftoppm, for review.
# Usage: scripts/enforcement-screenshots.sh [OUTDIR]   (default: $BUILD/screenshots)
# BUILD is the Release build folder to use, build-rel unless set.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build-rel}
out=${1:-$build/screenshots}
mkdir -p "$out"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" enforcement_screenshots bench_enforcement
xvfb-run -a -s "-screen 0 1366x768x24" "$build/bench/enforcement/enforcement_screenshots" "$out"
profile=$(mktemp -d)
for letter in notice summons; do
  soffice --headless --norestore "-env:UserInstallation=file://$profile" \
    --convert-to pdf --outdir "$out" "$out/$letter.rtf" >/dev/null
  pdftoppm -png -r 60 "$out/$letter.pdf" "$out/letter-$letter"
done
rm -rf "$profile"
ls "$out"/letter-*.png
echo "Benchmark: $build/bench/enforcement/bench_enforcement"
