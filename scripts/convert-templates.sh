#!/usr/bin/env bash
# Converts the spreadsheet templates (resources/templates/*.fods, the reviewed sources)
# into the .xls files the program embeds, with LibreOffice headless. Run it after
# editing a .fods and commit both files: convert-templates.sh [NAME ...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$root/resources/templates"
soffice=$(command -v soffice || command -v libreoffice || true)
if [ -z "$soffice" ]; then
  echo "LibreOffice (soffice) is needed: apt-get install libreoffice-calc-nogui" >&2
  exit 1
fi
profile=$(mktemp -d)
out=$(mktemp -d)
trap 'rm -rf "$profile" "$out"' EXIT

if [ $# -gt 0 ]; then
  sources=()
  for name in "$@"; do sources+=("$dir/$name.fods"); done
else
  sources=("$dir"/*.fods)
fi

"$soffice" --headless --norestore "-env:UserInstallation=file://$profile" \
  --convert-to 'xls:MS Excel 97' --outdir "$out" "${sources[@]}" >/dev/null
for src in "${sources[@]}"; do
  name=$(basename "$src" .fods)
  if [ ! -s "$out/$name.xls" ]; then
    echo "conversion of $name.fods failed" >&2
    exit 1
  fi
  cp "$out/$name.xls" "$dir/$name.xls"
  echo "$name.xls"
done
