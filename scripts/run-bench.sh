#!/usr/bin/env bash
# make bench: every benchmark program of the build, then the reader beside python-vobject.
# Runs inside scripts/wine-session.sh. Figures only; nothing here passes or fails a build.
set -uo pipefail
build=$(realpath "$1")
root=$(cd "$(dirname "$0")/.." && pwd)
wine=/usr/lib/wine/wine64
cd "$build/bin"
# BENCH_LARGE=1: the export, the import and the reader on 100,000 contacts too (the import of
# 100,000 cards takes minutes).
large=${BENCH_LARGE:-0}
for bench in wabstore_bench wablib_bench export_bench import_bench csv_bench; do
  if [ -f "$bench.exe" ]; then
    echo "== $bench"
    "$wine" "$bench.exe" | tr -d '\r'
  fi
done
if [ -f import_bench.exe ]; then
  echo "== import_bench groups 10000"
  "$wine" import_bench.exe groups 10000 | tr -d '\r'
fi
if [ "$large" = 1 ]; then
  # One file per contact is left out at this size: Wine looks for every new file name through the
  # whole folder, so that run alone would take about an hour (see export_bench.cpp).
  echo "== export_bench 100000 onefile"
  "$wine" export_bench.exe 100000 onefile | tr -d '\r'
  echo "== import_bench 1000 10000 100000"
  "$wine" import_bench.exe 1000 10000 100000 | tr -d '\r'
fi
echo "== vCard reader beside python-vobject"
"$root/bench/run-vcard-reader-bench.sh" "$build"
if [ "$large" = 1 ]; then
  "$root/bench/run-vcard-reader-bench.sh" "$build" 100000
fi
