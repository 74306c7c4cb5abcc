#!/usr/bin/env bash
# Size and time of kapto-convert --optimize against optipng -o2 on the plain outputs of the
# same pictures: graphics of 2, 16, 200 and 300 colours and gray pictures, plain, keyed, at an
# opacity and with alpha from brightness; one pixel; photo-like JPEGs of 1 and 24 megapixels.
# optipng's time is its own work on the plain PNG; --optimize's time is the whole conversion
# from the source, loading included. Prints a Markdown table and the totals.
# Usage: bench/optimize.sh [BUILD_DIR]   (needs optipng, and cjpeg from libjpeg-turbo-progs)
set -euo pipefail
bench=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/release}
exe="$(realpath "$build/src/cli/kapto-convert")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A 24-bit BMP: graphic N (blocks of N colours on a black rim), gray N (N levels) or photo.
make_bmp() {
    python3 - "$@" <<'PY'
import struct, sys
name, kind, n, w, h = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
def spread(i):
    return (i % 256, (i // 256 * 100 + i * 53 % 97) & 0xFF, i * 29 % 251)
def pixel(x, y):
    if kind == "gray":
        v = (x // 3 + y) % n * 255 // (n - 1)
        return (v, v, v)
    if x < 4 or y < 4:
        return (0, 0, 0)
    b = ((x // 6) * 2654435761 ^ (y // 4) * 40503) & 0xFFFFFFFF
    b ^= b >> 15
    return spread(b % n)
pad = (4 - w * 3 % 4) % 4
rows = []
for y in range(h - 1, -1, -1):
    row = bytearray()
    for x in range(w):
        r, g, b = pixel(x, y)
        row += bytes((b, g, r))
    rows.append(bytes(row) + b"\0" * pad)
data = b"".join(rows)
with open(name, "wb") as f:
    f.write(b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54))
    f.write(struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0))
    f.write(data)
PY
}

# The photo-like pattern of profiles.sh: gradients with grain, through JPEG.
make_photo() {
    "$bench/photo-ppm.py" "$work/p.ppm" "$2" "$3" "$4"
    cjpeg -quality 90 "$work/p.ppm" >"$1"
    rm -f "$work/p.ppm"
}

seconds() { python3 -c "import sys; print(f'{float(sys.argv[1]):.2f}')" "$1"; }
timed() {
    /usr/bin/time -o "$work/time" -f "%e" "$@" >/dev/null 2>&1
    tail -n 1 "$work/time"
}

cd "$work"
for n in 2 16 200 300; do make_bmp "graphic$n.bmp" graphic "$n" 640 480; done
make_bmp gray4.bmp gray 4 640 480
make_bmp gray256.bmp gray 256 640 480
make_bmp pixel.bmp graphic 2 1 1
make_photo photo1.jpg 1224 816 1
[ -n "${SKIP_24MP:-}" ] || make_photo photo24.jpg 6000 4000 24

cases=()
for n in 2 16 200 300; do
    for o in "" "--key top-left" "--opacity 40" "--brightness-alpha darker"; do
        cases+=("graphic$n.bmp|$o")
    done
done
for g in gray4 gray256; do
    for o in "" "--key top-left" "--brightness-alpha darker"; do cases+=("$g.bmp|$o"); done
done
cases+=("pixel.bmp|" "pixel.bmp|--key top-left" "photo1.jpg|")
[ -n "${SKIP_24MP:-}" ] || cases+=("photo24.jpg|")

echo "| source | options | plain | optipng -o2 | optipng time | --optimize | --optimize time |"
echo "| --- | --- | ---: | ---: | ---: | ---: | ---: |"
total_plain=0 total_opti=0 total_ours=0 time_opti=0 time_ours=0
for c in "${cases[@]}"; do
    source=${c%%|*}
    read -r -a options <<<"${c#*|}"
    stem=${source%.*}
    "$exe" -q --on-exists overwrite "${options[@]}" "$source"
    mv "$stem.png" plain.png
    t_opti=$(timed optipng -o2 -quiet -clobber -out optipng.png plain.png)
    t_ours=$(timed "$exe" -q --on-exists overwrite --optimize "${options[@]}" "$source")
    plain=$(stat -c %s plain.png) opti=$(stat -c %s optipng.png) ours=$(stat -c %s "$stem.png")
    echo "| $source | ${options[*]:-} | $plain | $opti | $(seconds "$t_opti") | $ours | $(seconds "$t_ours") |"
    total_plain=$((total_plain + plain)) total_opti=$((total_opti + opti))
    total_ours=$((total_ours + ours))
    time_opti=$(python3 -c "print($time_opti + $t_opti)")
    time_ours=$(python3 -c "print($time_ours + $t_ours)")
done
echo "| **total** | | $total_plain | $total_opti | $(seconds "$time_opti") | $total_ours | $(seconds "$time_ours") |"
