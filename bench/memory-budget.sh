#!/usr/bin/env bash
# Peak memory of two GIFs whose 9000 x 9000 screens decode to 243 MB each, converted side by
# side under a 300 MiB budget, against one alone and against no budget to speak of.
# Usage: bench/memory-budget.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build/release}
exe="$build/src/cli/kapto-convert"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A GIF of 40 bytes or so: a 9000 x 9000 logical screen around a single pixel.
python3 - "$work" <<'PY'
import struct, sys
def gif(name):
    with open(f"{sys.argv[1]}/{name}", "wb") as f:
        f.write(b"GIF89a" + struct.pack("<HHBBB", 9000, 9000, 0x80, 0, 0))
        f.write(bytes([0, 0, 0, 255, 255, 255]))
        f.write(b"," + struct.pack("<HHHHB", 0, 0, 1, 1, 0))
        f.write(bytes([2, 2, 0x44, 0x01, 0, 0x3B]))
gif("one.gif"); gif("two.gif")
PY

run() {
    local label=$1
    shift
    rm -f "$work"/*.png
    local out
    out=$( { /usr/bin/time -f "%e %M" "$exe" -q "$@" >/dev/null; } 2>&1 | tail -n 1)
    echo "$label: ${out% *}s, peak $(( ${out#* } / 1024 )) MiB"
}
run "one alone" --jobs 1 "$work/one.gif"
run "two, --jobs 2, --max-memory 300M" --jobs 2 --max-memory 300M "$work/one.gif" "$work/two.gif"
run "two, --jobs 2, --max-memory 4G" --jobs 2 --max-memory 4G "$work/one.gif" "$work/two.gif"
