#!/usr/bin/env bash
# The README's run command: starts Quillon under Wine on the sample address book. On the user's
# display the window stays until the user closes it; on a private Xvfb (no display) a screenshot
# is taken into the build folder and the program is closed again.
set -euo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/wine-session.sh" "$build" --user-display -- "$here/run-main-inner.sh" "$build"
