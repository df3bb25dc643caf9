#!/usr/bin/env bash
# Runs inside the Wine session of try-ferrule.sh.
set -euo pipefail
build=$1; shift
wine=/usr/lib/wine/wine64
cd "$build/bin"
if [ ! -f ferrule-sample.wab ]; then
  "$wine" wabstore.exe load ferrule-sample.wab sample-book.txt
fi
"$wine" regsvr32 /s Ferrule.DLL
if [ -n "${QUILLON_PRIVATE_DISPLAY:-}" ]; then
  "$wine" WabHost.exe -store ferrule-sample.wab -wait 8 "$@" || exit $?
  shot="$build/ferrule-try.png"
  xwd -root -silent | /usr/bin/convert xwd:- "$shot"
  echo "Quillon was shown on a private display; screenshot: $shot"
else
  "$wine" WabHost.exe -store ferrule-sample.wab -wait 0 "$@"
fi
