#!/usr/bin/env bash
# Runs inside the Wine session of run-main.sh: Quillon's export of the sample address book.
set -euo pipefail
build=$1
bin="$build/bin"
wine=/usr/lib/wine/wine64
winpath() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

cd "$bin"
# The sample address book, loaded afresh into a store file and made the default store (the stand-in
# address book, like the real one, reads its file name from the registry).
rm -f sample.wab
"$wine" wabstore.exe load sample.wab sample-book.txt
"$wine" reg add 'HKCU\Software\Microsoft\WAB\WAB4\Wab File Name' /ve /d "$(winpath "$bin/sample.wab")" /f >/dev/null
echo "Sample address book:"
"$wine" wabstore.exe list sample.wab | sed 's/^/  /'

# The export dialog opens on all folders and a target folder in the build tree.
out="$build/exported-cards"
rm -rf "$out"; mkdir -p "$out"
key='HKCU\Software\Brisco\Quillon'
"$wine" reg add "$key" /v Export.WABAllFolders /t REG_DWORD /d 1 /f >/dev/null
"$wine" reg add "$key" /v Export.WinFolder /d "$(winpath "$out")" /f >/dev/null

if [ -n "${QUILLON_PRIVATE_DISPLAY:-}" ]; then
  echo
  echo "No display: a private one is used, and QuillonDriver.exe plays the user."
  "$wine" QuillonDriver.exe export "$(winpath "$out")" | tr -d '\r'
else
  echo
  echo "Quillon's export dialog is open on $DISPLAY (all folders, into $out); press OK."
  "$wine" Quillon.exe -export || true
fi
echo
echo "Files written to $out:"
ls "$out" | sed 's/^/  /'
first=$(ls "$out" | head -n 1)
if [ -n "$first" ]; then
  echo
  echo "--- $first ---"
  cat "$out/$first"
fi
