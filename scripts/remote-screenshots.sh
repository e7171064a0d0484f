#!/usr/bin/env bash
# Pictures of the remote backup window (each section), the password dialog, the
# suggestions form, taken from the real windows while their tests drive them against a
# vestronia-server on loopback, under a virtual X screen.
#   BUILD=build-remote scripts/remote-screenshots.sh [OUT-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
OUT=${1:-screenshots/remote}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
cmake --build "$BUILD" --target ui_tst_netf ui_tst_sugestii vestronia-server
for t in ui_tst_netf ui_tst_sugestii; do
  VESTRONIA_SCREENSHOT_DIR="$OUT" xvfb-run -a -s "-screen 0 1366x768x24" "$BUILD/tests/ui/$t" -platform xcb
done
ls -1 "$OUT"
