#!/usr/bin/env bash
# What an import keeps of a folder of vCard files, in figures:
#   scripts/measure-import.sh BUILD_DIR SOURCE_FOLDER
# Every .vcf file under SOURCE_FOLDER (searched recursively) is copied into one scratch folder (its
# path below SOURCE_FOLDER, with "__" for "/", keeps the names apart) and imported by the built
# Quillon.exe, driven by QuillonDriver.exe as a user would, into a new folder of a fresh store in
# "Duplicate contacts" mode. Printed: the cards in each file (counted on their own: lines that begin
# with BEGIN:VCARD, so a nested AGENT card counts too), the contacts stored, the non-empty property
# values stored (the store dumped by wabstore.exe; a list counts once, the times the store sets
# itself are left out) and the run's closing message.
# Runs in a private Wine session of BUILD_DIR (scripts/wine-session.sh); the scratch folder is left in
# BUILD_DIR and named at the end. The store becomes the Wine prefix's default one, as with `make run`.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -ne 2 ] || [ ! -d "$1/bin" ] || [ ! -d "$2" ]; then
  echo "usage: $0 BUILD_DIR SOURCE_FOLDER (BUILD_DIR/bin holds the built programs)" >&2
  exit 1
fi
build=$(realpath "$1")
src=$(realpath "$2")
if [ -z "${QUILLON_MEASURE_SESSION:-}" ]; then
  export QUILLON_MEASURE_SESSION=1
  exec "$here/wine-session.sh" "$build" -- "$here/measure-import.sh" "$build" "$src"
fi

bin="$build/bin"
wine=/usr/lib/wine/wine64
winpath() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
scratch=$(mktemp -d "$build/measure-import.XXXXXX")
cards="$scratch/cards"
store="$scratch/store.wab"
mkdir -p "$cards"

# 1. The files, gathered into one folder.
files=0
while IFS= read -r -d '' f; do
  rel=${f#"$src"/}
  name=${rel//\//__}
  stem=${name%.*}; ext=${name##*.}
  n=1
  while [ -e "$cards/$name" ]; do name="$stem-$n.$ext"; n=$((n + 1)); done
  cp "$f" "$cards/$name"
  files=$((files + 1))
done < <(find "$src" -type f -iname '*.vcf' -print0 | sort -z)
if [ "$files" -eq 0 ]; then
  echo "no .vcf files under $src" >&2
  exit 1
fi

echo "Source: $src"
echo "Cards per file (lines that begin with BEGIN:VCARD):"
counted=0
for f in "$cards"/*; do
  c=$(grep -a -c -i '^BEGIN:VCARD' "$f" || true)
  counted=$((counted + c))
  printf '  %6d  %s\n' "$c" "$(basename "$f")"
done

# 2. A fresh store with an empty folder "Imported", made the default store, and the import's
# choices: that folder, the scratch folder, "Duplicate contacts" (mode 0).
printf 'folder Imported\n' > "$scratch/folder.txt"
"$wine" "$bin/wabstore.exe" load "$(winpath "$store")" "$(winpath "$scratch/folder.txt")"
target=$("$wine" "$bin/wabstore.exe" list "$(winpath "$store")" | tr -d '\r' |
  awk '$1 == "folder" && $3 == "Imported" { print $2 }')
if [ -z "$target" ]; then
  echo "the folder Imported could not be made in $store" >&2
  exit 2
fi
"$wine" reg add 'HKCU\Software\Microsoft\WAB\WAB4\Wab File Name' /ve /d "$(winpath "$store")" /f >/dev/null
key='HKCU\Software\Brisco\Quillon'
"$wine" reg add "$key" /v Import.WABFolderID /d "$target" /f >/dev/null
"$wine" reg add "$key" /v Import.WinFolder /d "$(winpath "$cards")" /f >/dev/null
"$wine" reg add "$key" /v Import.ConflictResolution /t REG_DWORD /d 0 /f >/dev/null

# 3. The import, as the user runs it; the lines it adds to Quillon's log are shown after it.
log=$(ls "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Brisco/Quillon/main.err 2>/dev/null | head -n 1 || true)
logged=0
[ -n "$log" ] && logged=$(wc -l < "$log")
(cd "$bin" && "$wine" QuillonDriver.exe import "$(winpath "$cards")") | tr -d '\r' > "$scratch/driver.txt" || true
sed 's/^/  driver: /' "$scratch/driver.txt"
closing=$(sed -n 's/^Closing message: //p' "$scratch/driver.txt")
[ -n "$log" ] || log=$(ls "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Brisco/Quillon/main.err 2>/dev/null | head -n 1 || true)
if [ -n "$log" ]; then
  tail -n +$((logged + 1)) "$log" | tr -d '\r' > "$scratch/log.txt"
  echo "Log lines of the run ($(wc -l < "$scratch/log.txt"), in $scratch/log.txt):"
  # The scratch folder's Windows path left out, so that each line names its file alone.
  CARDS="$(winpath "$cards")\\" awk '{ p = ENVIRON["CARDS"]; while ((i = index($0, p)) > 0) $0 = substr($0, 1, i - 1) substr($0, i + length(p)); print "  " substr($0, 1, 220) }' "$scratch/log.txt"
fi

# 4. What the folder holds.
"$wine" "$bin/wabstore.exe" dump "$(winpath "$store")" "$(winpath "$scratch/dump.txt")"
read -r contacts values < <(awk '
  /^(pab|folder) / { inside = ($0 == "folder Imported"); entry = ""; next }
  /^contact$/ || /^group$/ { entry = $0; if (inside && entry == "contact") contacts++; next }
  inside && entry == "contact" && / = / {
    name = substr($0, 1, index($0, " = ") - 1)
    value = substr($0, index($0, " = ") + 3)
    if (value != "" && name != "PR_CREATION_TIME" && name != "PR_LAST_MODIFICATION_TIME") values++
  }
  END { print contacts + 0, values + 0 }' "$scratch/dump.txt")

echo
echo "Files:            $files"
echo "Cards counted:    $counted"
echo "Contacts stored:  $contacts"
echo "Values stored:    $values"
echo "Closing message:  ${closing:-(none)}"
echo "(scratch folder: $scratch)"
