#!/usr/bin/env bash
# Pictures of the shell windows (main window locked and unlocked, the message dialog of
# each kind, balloon, progress window, password prompt, administration, backup and log
# windows) taken under a virtual X server.
#   scripts/screenshots.sh [BUILD_DIR] [OUTPUT_DIR]
# Defaults: build, screenshots. Needs xvfb-run (package xvfb).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
out="${2:-$here/screenshots}"
cmake --build "$build" --target ui_tst_shellscreenshots
mkdir -p "$out"
out="$(cd "$out" && pwd)"
VESTRONIA_SCREENSHOTS="$out" QT_QPA_PLATFORM=xcb VESTRONIA_OPENER=true \
  xvfb-run -a -s "-screen 0 1366x768x24" "$build/tests/ui/ui_tst_shellscreenshots"
echo "screenshots in $out"
