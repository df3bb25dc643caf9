#!/usr/bin/env bash
# Makes the setup from an i686 build the way `make installer` does, then runs installer_tests.exe
# against it in a fresh Wine prefix (BUILD/installer-test/wineprefix) with a private display.
#   tests/installer/run-installer-tests.sh BUILD_DIR [gtest options]
set -euo pipefail
build=$(realpath "$1"); shift
root=$(cd "$(dirname "$0")/../.." && pwd)
work="$build/installer-test"
start=$(date +%s)

# A fresh prefix each run; a server left by an interrupted run of this prefix goes first.
if [ -d "$work/wineprefix" ]; then
  WINEPREFIX="$work/wineprefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$work/wineprefix" timeout 30 /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
fi
rm -rf "$work"
mkdir -p "$work"

setup=$("$root/scripts/build-installer.sh" "$build" "$work/setup")
echo "setup under test: $setup"

export QUILLON_SETUP="Z:${setup//\//\\}"
status=0
"$root/scripts/wine-session.sh" "$work" -- /usr/lib/wine/wine64 "$build/bin/installer_tests.exe" "$@" </dev/null ||
  status=$?
echo "installer tests took $(( $(date +%s) - start )) s (prefix included)"
exit $status
