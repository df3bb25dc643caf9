#!/usr/bin/env bash
# make bench: every benchmark program of the build, then the reader beside python-vobject.
# Runs inside scripts/wine-session.sh. Figures only; nothing here passes or fails a build.
set -uo pipefail
build=$(realpath "$1")
root=$(cd "$(dirname "$0")/.." && pwd)
wine=/usr/lib/wine/wine64
cd "$build/bin"
for bench in wabstore_bench wablib_bench export_bench import_bench; do
  if [ -f "$bench.exe" ]; then
    echo "== $bench"
    "$wine" "$bench.exe" | tr -d '\r'
  fi
done
echo "== vCard reader beside python-vobject"
"$root/bench/run-vcard-reader-bench.sh" "$build"
