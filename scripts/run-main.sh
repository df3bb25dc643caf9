#!/usr/bin/env bash
# The README's run command: under Wine, Quillon exports the sample address book to vCard files and
# imports them again into a new folder, and the two folders are compared (run-main-inner.sh). On
# the user's display the user presses OK in each dialog; on a private Xvfb (no display)
# QuillonDriver.exe plays the user.
set -euo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/wine-session.sh" "$build" --user-display -- "$here/run-main-inner.sh" "$build"
