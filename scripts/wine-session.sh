#!/usr/bin/env bash
# Runs one command inside a private Wine session: a WINEPREFIX in the build folder, a persistent
# wineserver (each later process start is then fast) and, unless told to use the caller's display,
# a private Xvfb. Stops exactly what it started, by process id and by prefix, whatever the command's
# outcome.
#   scripts/wine-session.sh BUILD_DIR [--user-display] -- command args...
set -uo pipefail
build=$(realpath "$1"); shift
use_user_display=0
if [ "${1:-}" = "--user-display" ]; then use_user_display=1; shift; fi
[ "${1:-}" = "--" ] && shift

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
# No Gecko or Mono installer dialogs in a fresh prefix, and no debugger holding a crashed test
# until its time-out.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)

xvfb_pid=""
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  # Wait until the server is gone, so that the next session never meets it half-dead.
  timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" >/dev/null 2>&1 || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ $use_user_display = 0 ] || [ -z "${DISPLAY:-}" ]; then
  n=91
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n+1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  export QUILLON_PRIVATE_DISPLAY=1
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi

mkdir -p "$WINEPREFIX"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "preparing a private Wine prefix in $WINEPREFIX (first time only)..."
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
fi
"$WINESERVER" -p600 >/dev/null 2>&1
# Start the prefix's services (services.exe, winedevice.exe...) now, with no pipe of ours open:
# they outlive the process that starts them, and when that is a test under CTest they would hold
# its output pipe open and CTest would wait for them until the test's time-out.
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1
# Without a window manager (the private Xvfb), Wine waits about two seconds on every hidden managed
# window for an acknowledgement that never comes; unmanaged windows close at once. On the user's
# display the window manager stays in charge.
managed=Y; [ -n "$xvfb_pid" ] && managed=N
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d $managed /f </dev/null >/dev/null 2>&1
"$@"
