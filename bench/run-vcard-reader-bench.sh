#!/usr/bin/env bash
# The reader's throughput beside python-vobject's on the same generated file of 10,000 cards.
#   bench/run-vcard-reader-bench.sh BUILD_DIR [CARDS]    (inside scripts/wine-session.sh, as make bench does)
set -euo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
cards=${2:-10000}
file="$build/bench-vcards-$cards.vcf"
wine=/usr/lib/wine/wine64
"$wine" "$build/bin/vcard_reader_bench.exe" --generate "$(winepath -w "$file" 2>/dev/null || echo "Z:$file")" "$cards"
ours=$("$wine" "$build/bin/vcard_reader_bench.exe" "Z:$file" 5 | tr -d '\r')
theirs=$(/usr/bin/python3 "$here/vobject_bench.py" "$file" 1)
echo "$ours"
echo "$theirs"
python3 - "$ours" "$theirs" <<'PY'
import re, sys
rate = lambda s: float(re.search(r"= ([0-9.]+) MB/s", s).group(1))
print("ratio   : ours is %.1fx vobject (target: at least 20x)" % (rate(sys.argv[1]) / rate(sys.argv[2])))
PY
