#!/usr/bin/env bash
# Pictures of the report pickers and of the first page of every report (the yearly
# balance's second page too, and a receipt and the cash book), rendered the way a user
# prints them: the report written by vestronia-cli on a small generated commune,
# converted to PDF by LibreOffice, its first page drawn by pdftoppm.
# Usage: scripts/reports-screenshots.sh [OUTDIR]   (default: $BUILD/screenshots/reports)
# BUILD is the build folder to use, build-rel (made as Release when missing) unless set.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build-rel}
out=$(realpath -m "${1:-$build/screenshots/reports}")
# An existing build folder is used as it is configured.
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" vestronia-cli commune_generate bench_reports_commune report_picker_shots >/dev/null
mkdir -p "$out"
xvfb-run -a -s "-screen 0 1366x768x24" "$build/bench/reports/report_picker_shots" "$out"

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export VESTRONIA_MACHINE_DIR="$home/Machine"
"$build/bench/commune/commune_generate" "$home" --subscribers 40 --years 5 >/dev/null 2>&1
# Collections of every year (the benchmark adds them once and times the reports).
"$build/bench/reports/bench_reports_commune" "$home" --collections 400 >/dev/null
cli=("$build/src/app/vestronia-cli" --home "$home" --today 29.11.2024)
# Follow-up acts of the last months for the two summaries.
"${cli[@]}" sql "INSERT INTO Urmarire (IDURM, IDAB, TIPACT, UNR, UDATA, NUME, LOC, STRADA, NR, ROL, CNP, TOTAL)
  SELECT IDAB, IDAB, CASE WHEN IDAB % 3 = 0 THEN 'Somatie/Titlu executoriu' ELSE 'Instiintare de plata' END,
  IDAB, 45550 + IDAB, NUME, LOC, STRADA, NR, ROL, CNP, 50 + IDAB FROM Abonat WHERE IDAB <= 30" 2>/dev/null

render() { # name, then the report arguments
  local name=$1
  shift
  "${cli[@]}" report "$@" "$out/$name.pdf"
  pdftoppm -f 1 -l 1 -r 70 -png -singlefile "$out/$name.pdf" "$out/$name"
  echo "wrote $out/$name.png"
}
page() { # name, page: another page of a PDF already written
  pdftoppm -f "$2" -l "$2" -r 70 -png -singlefile "$out/$1.pdf" "$out/$1-p$2"
  echo "wrote $out/$1-p$2.png"
}
render rap1 rap1
render bordinc bordinc --from 01.01.2024 --to 29.11.2024
# An empty list: headings and zero totals only.
render bordinc-gol bordinc --from 01.01.2001 --to 31.01.2001
render bilant bilant
render cenins cenins --from 01.01.2024 --to 29.11.2024
render censom censom --from 01.01.2024 --to 29.11.2024
render chitan chitan --year 2023
render fisa fisa 1 --from 01.01.2023
page bilant 2
# The newest receipt, and the cash book of its month (written as .xls, printed as PDF).
idchit=$("${cli[@]}" sql "SELECT MAX(IDCHIT) FROM Chitante WHERE DOCJUS='CHITANTA'" 2>/dev/null | tail -1 | tr -dc '0-9')
"${cli[@]}" receipt "$idchit" "$out/chitanta.pdf"
pdftoppm -f 1 -l 1 -r 70 -png -singlefile "$out/chitanta.pdf" "$out/chitanta"
echo "wrote $out/chitanta.png"
"${cli[@]}" cashbook 01.11.2024 29.11.2024 "$out/regcasa.xls"
soffice --headless --norestore "-env:UserInstallation=file://$home/lo" --convert-to pdf --outdir "$out" "$out/regcasa.xls" >/dev/null 2>&1
pdftoppm -f 1 -l 1 -r 70 -png -singlefile "$out/regcasa.pdf" "$out/regcasa"
echo "wrote $out/regcasa.png"
