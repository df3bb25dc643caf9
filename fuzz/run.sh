#!/usr/bin/env bash
# Runs the fuzz targets built in <build> (fuzz/fuzz.mk), each on its committed corpus.
#   fuzz/run.sh check <build> <seconds>   one after another, seconds each; new inputs are thrown
#                                          away; fails when any target finds a fault (make test)
#   fuzz/run.sh long <build> <seconds>    all at once under nice, seconds each; new inputs go to
#                                          $FUZZ_WORK/corpus/<target>, faults to $FUZZ_WORK (make fuzz)
# The reader also starts from the real-world cards of the shared interop folder when it is there.
# A fault's input is saved as crash-*, leak-*, timeout-* (the message names the file): replay it
# with <build>/fuzz_<target> <file>.
set -uo pipefail
mode=$1 build=$2 seconds=$3
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
work=${FUZZ_WORK:-/tmp/quillon-fuzz}
interop="$root/../shared/interop/vcards"
targets=(reader roundtrip commandline encodings store csv_reader ldif_reader csv_roundtrip)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The arguments of one target: dictionary, limits, then its input folders (new inputs go to the first).
args() {
  local t=$1 a=(-timeout=10 -rss_limit_mb=2048)
  [ -f "$here/dict/$t.dict" ] && a+=(-dict="$here/dict/$t.dict")
  case $t in
    reader|csv_reader|ldif_reader) a+=(-max_len=65536) ;;
    store) a+=(-max_len=16384) ;;
    *) a+=(-max_len=4096) ;;
  esac
  printf '%s\n' "${a[@]}"
}
inputs() {
  printf '%s\n' "$here/corpus/$1"
  if [ "$1" = reader ] && [ -d "$interop" ]; then printf '%s\n' "$interop"; fi
}

rc=0
mkdir -p "$work"
case $mode in
check)
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  for t in "${targets[@]}"; do
    mkdir -p "$scratch/$t"
    mapfile -t a < <(args "$t")
    mapfile -t s < <(inputs "$t")
    start=$(date +%s)
    if "$build/fuzz_$t" "${a[@]}" -max_total_time="$seconds" -artifact_prefix="$work/" \
        "$scratch/$t" "${s[@]}" > "$scratch/$t.log" 2>&1; then
      echo "fuzz_$t: $(grep -Eo 'Done [0-9]+ runs' "$scratch/$t.log" | tail -1) in $(( $(date +%s) - start )) s"
    else
      cat "$scratch/$t.log" >&2
      echo "fuzz_$t: FAILED (input saved in $work)" >&2
      rc=1
    fi
  done
  ;;
long)
  pids=()
  for t in "${targets[@]}"; do
    mkdir -p "$work/corpus/$t"
    mapfile -t a < <(args "$t")
    mapfile -t s < <(inputs "$t")
    nice -n 10 "$build/fuzz_$t" "${a[@]}" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$work/" "$work/corpus/$t" "${s[@]}" > "$work/$t.log" 2>&1 &
    pids+=($!)
  done
  for i in "${!targets[@]}"; do
    t=${targets[$i]}
    if wait "${pids[$i]}"; then status=passed; else status=FAILED; rc=1; fi
    echo "fuzz_$t: $status; $(grep -E '^#[0-9]+.*(DONE|cov)' "$work/$t.log" | tail -1)"
    grep -E 'stat::number_of_executed_units' "$work/$t.log" | sed 's/^/  /'
  done
  echo "logs, new inputs and faults: $work"
  ;;
*)
  echo "usage: $0 check|long <build> <seconds>" >&2
  exit 2
  ;;
esac
exit $rc
