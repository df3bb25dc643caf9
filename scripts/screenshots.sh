#!/usr/bin/env bash
# Takes the pictures of the help file and the README from the built program, so that they never go
# stale: the export and import dialogs, the folder picker, the progress window, closing messages,
# the problem report's message, Ferrule's menu in the stand-in Address Book window, Gimlet's toolbar
# and options in the stand-in mail client, the help window and the import dialog at 144 DPI. Each is
# cropped to its window.
#   scripts/screenshots.sh BUILD_DIR [OUT_DIR]      (OUT_DIR: help/images, where they are committed)
# With SETUP=path/to/QuillonSetup-*.exe (`make installer`) it also takes the setup's pages, installing
# into the shots prefix and removing the install again with its uninstaller.
# It runs on a private Xvfb (no window manager: Wine draws the title bars itself) with a Wine prefix
# of its own in BUILD_DIR/shots, so the tests' prefix and the user's display are left alone.
# Wine draws the title-bar buttons with the Marlett font, which only Debian's fonts-wine carries:
# it goes into the shots prefix alone, so the tests run with the fonts they always had. Wine shows
# help pages through a browser engine Debian does not package, so the help window's page is drawn
# by Debian's chromium (headless) into the viewer's empty page pane.
set -euo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
out=$(realpath -m "${2:-$here/../help/images}")
mkdir -p "$out" "$build/shots"
for f in Quillon.exe LibBrisco.dll wab32.dll Quillon.chm ShotDriver.exe WabHost.exe mailclient.exe Ferrule.DLL Gimlet.dll; do
  [ -e "$build/bin/$f" ] || { echo "missing $build/bin/$f: build first (make build-x86_64)" >&2; exit 1; }
done
[ -z "${SETUP:-}" ] || SETUP=$(realpath "$SETUP")
export SETUP
for pkg in fonts-wine:/usr/share/wine/fonts/marlett.ttf chromium:/usr/bin/chromium; do
  [ -e "${pkg#*:}" ] && continue
  [ "$(id -u)" = 0 ] || { echo "missing ${pkg#*:}: apt-get install ${pkg%%:*}" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${pkg%%:*}" >/dev/null
done
# wine-session.sh keeps its prefix in <folder>/wineprefix: here BUILD_DIR/shots/wineprefix.
unset DISPLAY
exec "$here/wine-session.sh" "$build/shots" -- "$here/screenshots-inner.sh" "$build" "$out"
