#!/usr/bin/env bash
# Takes the pictures of the help file and the README from the built program, so that they never go
# stale: the export and import dialogs, the folder picker, the progress window, closing messages,
# the problem report's message, Ferrule's menu in the stand-in Address Book window, Gimlet's toolbar
# and options in the stand-in mail client, and the help window. Each is cropped to its window.
#   scripts/screenshots.sh BUILD_DIR [OUT_DIR]      (OUT_DIR: help/images, where they are committed)
# It runs on a private Xvfb (no window manager: Wine draws the title bars itself) with a Wine prefix
# of its own in BUILD_DIR/shots, so the tests' prefix and the user's display are left alone.
set -euo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
out=$(realpath -m "${2:-$here/../help/images}")
mkdir -p "$out" "$build/shots"
for f in Quillon.exe Quillon.chm ShotDriver.exe WabHost.exe mailclient.exe Ferrule.DLL Gimlet.dll; do
  [ -e "$build/bin/$f" ] || { echo "missing $build/bin/$f: build first (make build-x86_64)" >&2; exit 1; }
done
# wine-session.sh keeps its prefix in <folder>/wineprefix: here BUILD_DIR/shots/wineprefix.
unset DISPLAY
exec "$here/wine-session.sh" "$build/shots" -- "$here/screenshots-inner.sh" "$build" "$out"
