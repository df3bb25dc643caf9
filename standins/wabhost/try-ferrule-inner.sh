#!/usr/bin/env bash
# Runs inside the Wine session of try-ferrule.sh.
set -euo pipefail
build=$1; shift
wine=/usr/lib/wine/wine64
cd "$build/bin"
# The sample address book, loaded afresh and made the default store, so that the host and Quillon
# read the same entries.
rm -f sample.wab
"$wine" wabstore.exe load sample.wab sample-book.txt
store=$("$wine" winepath -w "$build/bin/sample.wab" 2>/dev/null | tr -d '\r')
"$wine" reg add 'HKCU\Software\Microsoft\WAB\WAB4\Wab File Name' /ve /d "$store" /f >/dev/null
# The host finds Ferrule as the address book does: registered, and listed among its context-menu
# extensions, in the registry view of the host's own bitness.
view=/reg:64
grep -q 'toolchain-i686' "$build/CMakeCache.txt" 2>/dev/null && view=/reg:32
extcontext='HKLM\Software\Microsoft\WAB\WAB4\ExtContext'
clsid='{C0CEE871-6EDE-4B3F-9D49-487132A1193C}'
"$wine" regsvr32 /s Ferrule.DLL
"$wine" reg add "$extcontext" /v "$clsid" /d "" /f $view >/dev/null
unlist() {
  "$wine" reg delete "$extcontext" /v "$clsid" /f $view >/dev/null 2>&1 || true
  "$wine" regsvr32 /s /u Ferrule.DLL || true
}
trap unlist EXIT
if [ -n "${QUILLON_PRIVATE_DISPLAY:-}" ]; then
  "$wine" WabHost.exe -wait 8 "$@" || exit $?
  shot="$build/ferrule-try.png"
  xwd -root -silent | /usr/bin/convert xwd:- "$shot"
  echo "Quillon was shown on a private display; screenshot: $shot"
else
  "$wine" WabHost.exe -wait 0 "$@"
fi
