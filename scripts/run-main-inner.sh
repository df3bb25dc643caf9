#!/usr/bin/env bash
# Runs inside the Wine session of run-main.sh.
set -euo pipefail
build=$1
bin="$build/bin"
wine=/usr/lib/wine/wine64

screenshot() {
  xwd -root -silent | /usr/bin/convert xwd:- "$1"
}

cd "$bin"
"$wine" Quillon.exe -debug &
quillon=$!
if [ -n "${QUILLON_PRIVATE_DISPLAY:-}" ]; then
  sleep 6
  shot="$build/quillon-debug.png"
  screenshot "$shot"
  echo "Quillon's debug window was shown on a private display; screenshot: $shot"
  kill "$quillon" 2>/dev/null || true
else
  echo "Quillon's debug window is open on $DISPLAY; close it to end."
  wait "$quillon" || true
fi
