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
# The sample address book, loaded afresh into a store file and made the default store (the stand-in
# address book, like the real one, reads its file name from the registry).
rm -f sample.wab
"$wine" wabstore.exe load sample.wab sample-book.txt
store=$("$wine" winepath -w "$bin/sample.wab" 2>/dev/null | tr -d '\r')
"$wine" reg add 'HKCU\Software\Microsoft\WAB\WAB4\Wab File Name' /ve /d "$store" /f >/dev/null
echo "Sample address book:"
"$wine" wabstore.exe list sample.wab | sed 's/^/  /'

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
