#!/usr/bin/env bash
# Builds the reader's byte layer for this host with AddressSanitizer and UndefinedBehaviorSanitizer
# and fuzzes it, seeded with the real vCards of the shared interop folder.
#   vcard/import/fuzz/run.sh [seconds]        (default 60)
# With clang it is a libFuzzer run (new inputs are kept in the work folder's corpus); with g++
# only, a simple mutation driver runs instead. The work folder is $FUZZ_WORK or /tmp/vcard-fuzz.
set -euo pipefail
seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
work=${FUZZ_WORK:-/tmp/vcard-fuzz}
seeds="$root/../shared/interop/vcards"
mkdir -p "$work/corpus"
if [ -d "$seeds" ]; then
  find "$seeds" -name '*.vcf' -exec cp {} "$work/corpus/" \;
fi

flags=(-std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined
       -fno-sanitize-recover=undefined -I "$root")
sources=("$here/fuzz_reader.cpp" "$root/vcard/import/vCardText.cpp")
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

if command -v clang++ >/dev/null 2>&1; then
  clang++ "${flags[@]}" -fsanitize=fuzzer "${sources[@]}" -o "$work/fuzz_reader"
  "$work/fuzz_reader" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
      -artifact_prefix="$work/" "$work/corpus"
else
  g++ "${flags[@]}" "${sources[@]}" "$here/standalone_main.cpp" -o "$work/fuzz_reader"
  "$work/fuzz_reader" -seconds="$seconds" "$work/corpus"/*
fi
