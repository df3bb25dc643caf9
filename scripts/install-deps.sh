#!/usr/bin/env bash
# Installs what the build, the tests and the run command need on a fresh Debian machine, and
# hands 32-bit x86 programs to qemu so that the shipped i686 build and its installer run here.
# Safe to run again: it asks apt only for what is missing, and redoes the binfmt registration
# (which a reboot forgets) every time.
set -euo pipefail
need=()
need32=()
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
have_cmd makensis                     || need+=(nsis)
have_cmd chmcmd                       || need+=(fp-utils)
have_cmd enum_chmLib                  || need+=(libchm-bin)
# The fuzz targets: clang with libFuzzer and the sanitizer runtimes (a package of their own).
have_cmd clang++                      || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-dev)
# The 32-bit Wine loader; bookworm's own qemu (7.2) takes about 100 s a process start, the
# backports' qemu 10 about 1 s.
[ -x /usr/lib/wine/wine ] || [ -x /usr/lib/i386-linux-gnu/wine/wine ] || \
  dpkg -s wine32:i386 >/dev/null 2>&1   || need32+=(wine32:i386)
qemu_ok() { [ -x /usr/bin/qemu-i386 ] && /usr/bin/qemu-i386 --version | grep -Eq 'version (9|[1-9][0-9])\.'; }
qemu_ok || need32+=(qemu-user-static)

if [ ${#need[@]} -ne 0 ] || [ ${#need32[@]} -ne 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages: ${need[*]} ${need32[*]} (run as root to install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if [ ${#need32[@]} -ne 0 ]; then
    src=$(ls /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
    uri=$([ -n "$src" ] && awk '/^URIs:/{print $2; exit}' "$src" || true)
    [ -n "$uri" ] || uri=http://deb.debian.org/debian
    printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$uri" > /etc/apt/sources.list.d/bookworm-backports.sources
    dpkg --add-architecture i386
  fi
  echo "installing: ${need[*]} ${need32[*]}"
  apt-get update -qq
  [ ${#need[@]} -eq 0 ] || apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
  if printf '%s\n' "${need32[@]}" | grep -qx qemu-user-static; then
    apt-get install -y -qq -t bookworm-backports qemu-user-static >/dev/null
  fi
  if printf '%s\n' "${need32[@]}" | grep -qx 'wine32:i386'; then
    apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
  fi
fi

# The kernel hands 32-bit x86 programs to qemu. Not kept across a reboot, and the F flag opens
# qemu at registration time: redo it every run, so a newer qemu is the one used.
if [ "$(id -u)" = 0 ]; then
  mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386
  echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
    > /proc/sys/fs/binfmt_misc/register
elif [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  echo "32-bit programs are not handed to qemu (run as root to register it)" >&2
  exit 1
fi
