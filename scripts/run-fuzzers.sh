#!/usr/bin/env bash
# Runs every built fuzzer for a short budget: run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
build=$1
seconds=${2:-30}
root="$(cd "$(dirname "$0")/.." && pwd)"
status=0
for exe in "$build"/fuzz/fuzz_*; do
  [ -f "$exe" ] && [ -x "$exe" ] || continue
  name=$(basename "$exe")
  folder=$(dirname "$(ls "$root"/fuzz/*/"$name".cpp | head -1)")
  corpus="$folder/corpus_${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "fuzzing $name for ${seconds}s"
  if ! "$exe" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=1024 \
       -artifact_prefix="$build/fuzz/$name-" "$work" > "$build/fuzz/$name.log" 2>&1; then
    echo "$name found a problem:"; tail -40 "$build/fuzz/$name.log"; status=1
  fi
  rm -rf "$work"
done
exit $status
