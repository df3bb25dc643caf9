#!/usr/bin/env bash
# Builds QuillonSetup-<version>.exe from an i686 build: stages stripped copies of the shipped files
# (never the stand-ins) and runs makensis on installer/Quillon.nsi. Prints the setup's path last.
#   scripts/build-installer.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$(realpath "$1")
out=$(realpath -m "$2")
shift 2
help="$build/bin/Quillon.chm"
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$build/bin"
strip=i686-w64-mingw32-strip

if ! grep -q 'toolchain-i686' "$build/CMakeCache.txt" 2>/dev/null; then
  echo "error: $build is not an i686 build; the setup ships the 32-bit programs" >&2
  exit 1
fi
if [ ! -f "$help" ]; then
  echo "error: $help is missing: the setup ships the help file; build its target first" >&2
  exit 1
fi
binaries=(Quillon.exe LibBrisco.dll Ferrule.DLL Gimlet.dll launcher.exe)
for f in "${binaries[@]}" supportedEncodings.txt; do
  if [ ! -f "$bin/$f" ]; then
    echo "error: $bin/$f is missing: build $build first" >&2
    exit 1
  fi
done

stage="$out/stage"
rm -rf "$stage"
mkdir -p "$stage"
for f in "${binaries[@]}"; do
  "$strip" -o "$stage/$f" "$bin/$f"
done
cp "$bin/supportedEncodings.txt" "$stage/"
cp "$help" "$stage/Quillon.chm"
rm -f "$out"/QuillonSetup-*.exe
makensis -V2 -DSTAGE="$stage" -DSRCDIR="$root" -DOUTDIR="$out" "$root/installer/Quillon.nsi" >&2
setup=$(ls "$out"/QuillonSetup-*.exe)
echo "$setup"
