#!/usr/bin/env bash
# Peak memory and time of one 24-megapixel conversion to PNG through kapto-convert, against
# the size of the 24-bit image. Usage: bench/peak-memory.sh [BUILD_DIR] [OPTIONS...]
set -euo pipefail
build=${1:-build/release}
shift || true
exe="$build/src/cli/kapto-convert"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/photo.bmp" <<'PY'
import struct, sys, random
w, h = 6000, 4000
stride = (w * 3 + 3) & ~3
random.seed(1)
grain = bytes(random.randrange(0, 8) for _ in range(w * 3 + 4096))
with open(sys.argv[1], "wb") as f:
    f.write(b"BM" + struct.pack("<IHHI", 54 + stride * h, 0, 0, 54))
    f.write(struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, stride * h, 0, 0, 0, 0))
    base = bytes((x // 24) & 0xFF for x in range(w * 3))
    for y in range(h):
        off = (y * 7) % 4096
        row = bytes((b + g + (y >> 4)) & 0xFF for b, g in zip(base, grain[off:off + w * 3]))
        f.write(row + b"\0" * (stride - w * 3))
PY

image=$((6000 * 4000 * 3))
run() {
    local label=$1
    shift
    local out
    out=$( { /usr/bin/time -f "%e %M" "$exe" -q --on-exists overwrite "$@" "$work/photo.bmp" >/dev/null; } 2>&1 | tail -n 1)
    local seconds=${out% *}
    local kb=${out#* }
    echo "$label: ${seconds}s, peak $((kb / 1024)) MiB = $(python3 -c "print(f'{$kb*1024/$image:.2f}')") x the 24-bit image"
}
run "png" "$@"
run "png --opacity 80" --opacity 80 "$@"
run "bmp" --to bmp "$@"
