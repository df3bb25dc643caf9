#!/usr/bin/env bash
# Tries Ferrule.DLL the way the address book window would use it: loads the sample address book
# afresh into sample.wab in the build's bin folder and makes it the default store, registers
# Ferrule.DLL with regsvr32 and lists it among the address book's context-menu extensions
# (HKLM\Software\Microsoft\WAB\WAB4\ExtContext), runs WabHost.exe with the given options and
# names, and afterwards takes both back; Quillon.exe starts on the selection. On the user's display
# the script waits until Quillon is closed; on a private Xvfb (no DISPLAY) it takes a screenshot
# after a few seconds instead.
#   standins/wabhost/try-ferrule.sh BUILD_DIR [WabHost options] [NAME...]
# for example
#   standins/wabhost/try-ferrule.sh build/x86_64 -folder "Family & Friends" -command export \
#       "Rachel Green" "Sam Taylor" "Book Club"
set -euo pipefail
build=$(realpath "$1"); shift
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exec "$root/scripts/wine-session.sh" "$build" --user-display -- "$here/try-ferrule-inner.sh" "$build" "$@"
