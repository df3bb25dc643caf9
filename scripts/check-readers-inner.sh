#!/usr/bin/env bash
# Runs inside the Wine session of check-readers.sh: the sample address book exported with every
# folder, once per set (format x encoding x one file or one per contact), each set in its own folder.
set -euo pipefail
build=$1 out=$2
bin="$build/bin"
wine=/usr/lib/wine/wine64
winpath() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
cd "$bin"
rm -f sample.wab
"$wine" wabstore.exe load sample.wab sample-book.txt >/dev/null
"$wine" wabstore.exe load sample.wab check-readers-probe.txt >/dev/null
"$wine" reg add 'HKCU\Software\Microsoft\WAB\WAB4\Wab File Name' /ve /d "$(winpath "$bin/sample.wab")" /f >/dev/null
key='HKCU\Software\Brisco\Quillon'
"$wine" reg add "$key" /v Export.WABAllFolders /t REG_DWORD /d 1 /f >/dev/null
for format in 0 1; do
  for encoding in "Unicode (UTF-8)" "Western European (Windows)"; do
    for onefile in 0 1; do
      set_name="v$([ $format = 0 ] && echo 21 || echo 30)-$([ "$encoding" = "Unicode (UTF-8)" ] && echo utf8 || echo 1252)-$([ $onefile = 1 ] && echo onefile || echo percontact)"
      dir="$out/$set_name"; rm -rf "$dir"; mkdir -p "$dir"
      "$wine" reg add "$key" /v Export.WinFolder /d "$(winpath "$dir")" /f >/dev/null
      "$wine" reg add "$key" /v Export.Format /t REG_DWORD /d $format /f >/dev/null
      "$wine" reg add "$key" /v Export.Encoding /d "$encoding" /f >/dev/null
      "$wine" reg add "$key" /v Export.SaveInOneFile /t REG_DWORD /d $onefile /f >/dev/null
      "$wine" QuillonDriver.exe export "$(winpath "$dir")" | tr -d '\r' | sed "s/^/[$set_name] /"
      echo "[$set_name] $(ls "$dir" | wc -l) file(s)"
    done
  done
done
