#!/usr/bin/env bash
# Runs inside the Wine session of run-main.sh: the sample address book exported, imported into a
# new folder, and both folders' contacts compared; exits 1 when they differ.
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

key='HKCU\Software\Brisco\Quillon'
drive() {  # drive MODE FOLDER: the user's part, by QuillonDriver or by the person at the display
  if [ -n "${QUILLON_PRIVATE_DISPLAY:-}" ]; then
    "$wine" QuillonDriver.exe "$1" "$(winpath "$2")" | tr -d '\r'
  else
    echo "Quillon's $1 dialog is open on $DISPLAY; press OK."
    "$wine" Quillon.exe "-$1" || true
  fi
}
[ -n "${QUILLON_PRIVATE_DISPLAY:-}" ] && echo && echo "No display: a private one is used, and QuillonDriver.exe plays the user."

# 1. Export: all folders, into a folder of the build tree.
out="$build/exported-cards"
rm -rf "$out"; mkdir -p "$out"
"$wine" reg add "$key" /v Export.WABAllFolders /t REG_DWORD /d 1 /f >/dev/null
"$wine" reg add "$key" /v Export.WinFolder /d "$(winpath "$out")" /f >/dev/null
echo
echo "== Export of all folders to $out"
drive export "$out"
echo "Files written:"
ls "$out" | sed 's/^/  /'
first=$(ls "$out" | head -n 1)
echo "--- $first ---"
cat "$out/$first"

# 2. Import: the files into a new, empty folder "Imported".
printf 'folder Imported\n' > imported-folder.txt
"$wine" wabstore.exe load sample.wab imported-folder.txt
target=$("$wine" wabstore.exe list sample.wab | tr -d '\r' | awk '$1 == "folder" && $3 == "Imported" { print $2 }')
"$wine" reg add "$key" /v Import.WABFolderID /d "$target" /f >/dev/null
"$wine" reg add "$key" /v Import.WinFolder /d "$(winpath "$out")" /f >/dev/null
"$wine" reg add "$key" /v Import.ConflictResolution /t REG_DWORD /d 0 /f >/dev/null
echo
echo "== Import of $out into the new folder \"Imported\""
drive import "$out"

# 3. The contacts of all the sample's folders beside those of "Imported" (name and e-mail address).
"$wine" wabstore.exe list sample.wab | tr -d '\r' > "$build/sample-after.txt"
contacts() { awk -v want="$1" '$1 == "folder" { inside = (want == "Imported") == ($3 == "Imported") } inside && $1 == "contact" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }' "$build/sample-after.txt" | sort; }
contacts sample > "$build/contacts-exported.txt"
contacts Imported > "$build/contacts-imported.txt"
echo
if diff -u "$build/contacts-exported.txt" "$build/contacts-imported.txt" > "$build/contacts.diff"; then
  echo "The folder \"Imported\" holds the same $(wc -l < "$build/contacts-imported.txt") contacts as the sample's folders (name and e-mail address of each):"
  sed 's/^/  /' "$build/contacts-imported.txt"
else
  echo "The folders differ:"; cat "$build/contacts.diff"; exit 1
fi
