#!/usr/bin/env bash
# Installs what the build, the tests and the run command need on a fresh Debian machine.
# Safe to run again: it asks apt only for what is missing.
set -euo pipefail
need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_cmd cmake                        || need+=(cmake)
have_cmd make                         || need+=(make)
have_cmd x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have_cmd i686-w64-mingw32-g++-posix   || need+=(g++-mingw-w64-i686-posix)
have_cmd x86_64-w64-mingw32-windres   || need+=(binutils-mingw-w64)
have_cmd x86_64-w64-mingw32-widl      || need+=(mingw-w64-tools)
[ -x /usr/lib/wine/wine64 ]           || need+=(wine wine64)
have_cmd Xvfb                         || need+=(xvfb)
have_cmd xauth                        || need+=(xauth)
have_cmd xwd                          || need+=(x11-apps)
# /usr/local/bin/convert may be a stand-in of the workplace; the real one lives in /usr/bin.
[ -x /usr/bin/convert ]               || need+=(imagemagick)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
/usr/bin/python3 -c 'import vobject' >/dev/null 2>&1 || need+=(python3-vobject)
if [ ${#need[@]} -eq 0 ]; then exit 0; fi
if [ "$(id -u)" != 0 ]; then
  echo "missing packages: ${need[*]} (run as root to install them)" >&2
  exit 1
fi
echo "installing: ${need[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
