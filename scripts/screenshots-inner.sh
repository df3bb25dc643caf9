#!/usr/bin/env bash
# Runs inside the Wine session of screenshots.sh: drives the real windows with ShotDriver.exe and
# crops a picture of the X display to each window's rectangle.
set -euo pipefail
build=$1; out=$2
here=$(cd "$(dirname "$0")" && pwd)
bin="$build/bin"; work="$build/shots"
wine=/usr/lib/wine/wine64
winpath() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
drv() { "$wine" ShotDriver.exe "$@" | tr -d '\r'; }
# shot NAME "HWND LEFT TOP RIGHT BOTTOM" [more rectangles...]: the union of the rectangles.
shot() {
  local name=$1; shift
  local l=100000 t=100000 r=0 b=0 x
  for rect in "$@"; do
    read -r _ a c d e <<< "$rect"
    [ "$a" -lt "$l" ] && l=$a; [ "$c" -lt "$t" ] && t=$c
    [ "$d" -gt "$r" ] && r=$d; [ "$e" -gt "$b" ] && b=$e
  done
  [ "$l" -lt 0 ] && l=0; [ "$t" -lt 0 ] && t=0
  sleep 0.7  # let the window finish painting
  xwd -root -silent | /usr/bin/convert xwd:- -crop "$((r - l))x$((b - t))+$l+$t" +repage -strip "$out/$name.png"
  echo "  $name.png ($((r - l))x$((b - t)))"
}
hwnd() { echo "${1%% *}"; }

cd "$bin"
echo "Pictures into $out"
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# The sample address book as the default store; the files of the runs in the shots folder.
# The card files in C:\Contacts of the prefix, as a user would keep them.
cards="$WINEPREFIX/drive_c/Contacts"
rm -rf "$cards" "$work/sample.wab"
mkdir -p "$cards"
"$wine" wabstore.exe load "$(winpath "$work/sample.wab")" sample-book.txt >/dev/null
printf 'folder Imported\n' > "$work/imported-folder.txt"
"$wine" wabstore.exe load "$(winpath "$work/sample.wab")" "$(winpath "$work/imported-folder.txt")" >/dev/null
"$wine" reg add 'HKCU\Software\Microsoft\WAB\WAB4\Wab File Name' /ve /d "$(winpath "$work/sample.wab")" /f >/dev/null
listing=$("$wine" wabstore.exe list "$(winpath "$work/sample.wab")" | tr -d '\r')
folder_id() {  # the listing shows "folder ID NAME (COUNT)"
  awk -v name="$1" '$1 == "folder" { id = $2; $1 = ""; $2 = ""; sub(/^ +/, ""); sub(/ \([0-9]+\)$/, ""); if ($0 == name) print id }' <<< "$listing"
}
friends=$(folder_id "Family & Friends"); imported=$(folder_id "Imported")
[ -n "$friends" ] && [ -n "$imported" ] || { echo "sample folders not found:"; echo "$listing"; exit 1; }
key='HKCU\Software\Brisco\Quillon'
"$wine" reg delete "$key" /f >/dev/null 2>&1 || true
"$wine" reg add "$key" /v Export.WABFolderID /d "$friends" /f >/dev/null
"$wine" reg add "$key" /v Export.WinFolder /d 'C:\Contacts' /f >/dev/null
"$wine" reg add "$key" /v Export.Encoding /d "Unicode (UTF-8)" /f >/dev/null
"$wine" reg add "$key" /v Import.WABFolderID /d "$imported" /f >/dev/null
"$wine" reg add "$key" /v Import.WinFolder /d 'C:\Contacts' /f >/dev/null

# 1. Export: the dialog, the folder picker, the closing message.
"$wine" Quillon.exe -export & quillon=$!
dialog=$(drv find '#32770' '=Export'); shot export_dialog "$dialog"
drv click "$(hwnd "$dialog")" 1009
picker=$(drv find '#32770' '=Select Folder'); shot folder_picker "$picker"
drv click "$(hwnd "$picker")" 2; drv gone "$(hwnd "$picker")"
drv click "$(hwnd "$dialog")" 1
box=$(drv find '#32770' '?Export completed successfully.'); shot msg_export_ok "$box"
drv click "$(hwnd "$box")" 1; wait $quillon || true

# 2. Import of the cards just written: the dialog; a folder named like a card file cannot be
# opened, and its message holds the run with the progress window on the screen.
mkdir -p "$cards/Old cards.vcf"
"$wine" Quillon.exe -import & quillon=$!
dialog=$(drv find '#32770' '=Import'); shot import_dialog "$dialog"
drv click "$(hwnd "$dialog")" 1
box=$(drv find '#32770' '?file cannot be opened')
drv move "$(hwnd "$box")" 10 10
progress=$(drv find '#32770' '?Importing...'); shot progress "$progress"
shot msg_file_cannot_open "$(drv rect "$(hwnd "$box")")"
drv click "$(hwnd "$box")" 1
box=$(drv find '#32770' '?Some items were not imported.'); shot msg_import_partial "$box"
drv click "$(hwnd "$box")" 1; wait $quillon || true

# 3. The problem report's message.
"$wine" Quillon.exe -bugreport & quillon=$!
box=$(drv find '#32770' '=Brisco Support'); shot msg_problem_report "$box"
drv click "$(hwnd "$box")" 1; wait $quillon || true

# 4. Ferrule's submenu, opened from the context menu of the stand-in Address Book window.
# Registered with regsvr32, and listed where the Address Book looks for its extensions. Wine leaves
# the host's own first-level popup unpainted (black) on this display, so the picture is of the
# submenu, the popup furthest right.
"$wine" regsvr32 /s Ferrule.DLL
"$wine" reg add 'HKLM\Software\Microsoft\WAB\WAB4\ExtContext' /v '{C0CEE871-6EDE-4B3F-9D49-487132A1193C}' /d '' /f >/dev/null
drv cursor 150 120
"$wine" WabHost.exe -folder "Family & Friends" -show "Rachel Green" "Sam Taylor" >/dev/null & host=$!
window=$(drv find '*' '=Address Book (stand-in host)')
menu=$(drv find '#32768' '*')
sleep 1
drv key "$(hwnd "$menu")" 40 39   # down to "Quillon", right into its submenu
sleep 1
drv redraw
shot ferrule_menu "$(drv menus | sort -k2,2n | grep -v '^0 ' | tail -n 1)"
drv key "$(hwnd "$menu")" 27 27 27; wait $host || true

# 5. Gimlet's toolbar in the stand-in mail client (built on the first folder selection), and its
# options form.
"$wine" regsvr32 /s Tanager.dll; "$wine" regsvr32 /s Gimlet.dll
"$wine" mailclient.exe & client=$!
main=$(drv find 'TanagerMail.Main' '=Tanager Mail')
drv select "$(hwnd "$main")" 100 0
sleep 2
shot gimlet_toolbar "$(drv rect "$(hwnd "$main")")"
drv command "$(hwnd "$main")" 30300   # the mail client's id of the first add-in item of menu 3 (Tools)
options=$(drv find '#32770' '=Quillon - Options'); shot gimlet_options "$options"
drv click "$(hwnd "$options")" 2; drv gone "$(hwnd "$options")"
drv close "$(hwnd "$main")"; wait $client || true
"$wine" regsvr32 /s /u Gimlet.dll; "$wine" regsvr32 /s /u Tanager.dll

# 6. The help window. Wine's viewer leaves its page pane empty (no browser engine), so the default
# topic, as chromium renders it at the pane's size, is laid into the pane: the largest child.
"$wine" hh.exe "$(winpath "$bin/Quillon.chm")" & viewer=$!
help=$(drv find 'HH Parent' '*'); drv redraw "$(hwnd "$help")"; shot help_window "$help"
read -r _ hl ht _ <<< "$help"
read -r _ pl pt pr pb _ <<< "$(drv children "$(hwnd "$help")" | awk '{ print ($4 - $2) * ($5 - $3), $0 }' | sort -n | tail -n 1 | cut -d' ' -f2-)"
drv close "$(hwnd "$help")"; wait $viewer || true
profile=$(mktemp -d)
timeout 60 chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --hide-scrollbars --user-data-dir="$profile" \
  --window-size="$((pr - pl - 4)),$((pb - pt - 4))" --screenshot="$profile/page.png" \
  "file://$(realpath "$here/../help/index.htm")" >/dev/null 2>&1
/usr/bin/convert "$out/help_window.png" "$profile/page.png" -geometry "+$((pl - hl + 2))+$((pt - ht + 2))" \
  -composite -strip "$out/help_window.png"
rm -rf "$profile"

# 7. The import dialog at 144 DPI (Wine reads the setting when a program starts), then back to 96.
desktop='HKCU\Control Panel\Desktop'
"$wine" reg add "$desktop" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
"$wine" Quillon.exe -import & quillon=$!
dialog=$(drv find '#32770' '=Import'); shot import_dialog_144dpi "$dialog"
drv click "$(hwnd "$dialog")" 2; wait $quillon || true
"$wine" reg add "$desktop" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null

# 8. The setup's pages (button 1 is Next/Install/Finish), then its uninstaller's, which removes the
# install again. The uninstaller runs a copy of itself and returns at once: its window is awaited.
if [ -n "${SETUP:-}" ]; then
  "$wine" "$SETUP" & setup=$!
  page() {  # page NAME TEXT: waits for the page that shows TEXT, takes it if NAME, goes on
    local w; w=$(drv find '#32770' "?$2")
    [ "$1" = - ] || shot "$1" "$w"
    drv click "$(hwnd "$w")" 1
    sleep 0.5
  }
  page setup_welcome 'Welcome to'; page setup_folder 'Choose Install Location'
  page - 'Installation Complete'; page setup_finish 'Completing'; wait $setup || true
  "$wine" 'C:\Program Files (x86)\Brisco\Quillon\Uninstall.exe' || true
  page - 'Uninstall Quillon'; page uninstall_components 'Choose Components'
  page - 'Uninstallation Complete'; w=$(drv find '#32770' '?Completing'); drv click "$(hwnd "$w")" 1
  drv gone "$(hwnd "$w")"
fi
echo "Done."
