#!/usr/bin/env bash
# End-to-end timing of kapto-convert, side by side in one run:
#  - a folder of 12 six-megapixel JPEGs to PNG, one file at a time (--jobs 1) and pipelined;
#  - one 24-megapixel picture with and without --deflate-threads 2.
# Reports wall time, peak memory, the speed-ups, and checks that the outputs agree.
# Usage: bench/batch.sh [BUILD_DIR]   (needs cjpeg from libjpeg-turbo-progs)
set -euo pipefail
bench=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/release}
exe="$build/src/cli/kapto-convert"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Photo-like PPM pictures: gradients with grain, a different pattern per file.
make_ppm() {
    "$bench/photo-ppm.py" "$1" "$2" "$3" "$4"
}

mkdir -p "$work/batch-serial" "$work/batch-pipelined" "$work/single"
for i in $(seq 1 12); do
    make_ppm "$work/p.ppm" 3000 2000 "$i"
    cjpeg -quality 90 "$work/p.ppm" > "$work/batch-serial/photo$i.jpg"
    cp "$work/batch-serial/photo$i.jpg" "$work/batch-pipelined/"
done
make_ppm "$work/p.ppm" 6000 4000 99
cjpeg -quality 90 "$work/p.ppm" > "$work/single/big.jpg"
rm -f "$work/p.ppm"

measure() { # label, then the command; prints "seconds peak-KiB"
    local label=$1
    shift
    local out
    out=$( { /usr/bin/time -f "%e %M" "$@" >/dev/null; } 2>&1 | tail -n 1)
    echo "$out" > "$work/$label.time"
    printf '%-34s %7ss  peak %5d MiB\n' "$label" "${out% *}" "$(( ${out#* } / 1024 ))"
}

echo "cores: $(nproc)"
measure batch-jobs1 "$exe" -q --jobs 1 "$work/batch-serial"
measure batch-default "$exe" -q "$work/batch-pipelined"
for i in $(seq 1 12); do
    cmp "$work/batch-serial/photo$i.png" "$work/batch-pipelined/photo$i.png"
done
echo "batch outputs identical"

measure single-plain "$exe" -q --on-exists overwrite "$work/single/big.jpg"
cp "$work/single/big.png" "$work/plain.png"
if "$exe" --help | grep -q -- --deflate-threads; then
    measure single-deflate2 "$exe" -q --on-exists overwrite --deflate-threads 2 \
        "$work/single/big.jpg"
    echo "sizes: $(stat -c %s "$work/plain.png") serial deflate," \
        "$(stat -c %s "$work/single/big.png") parallel deflate"
fi

speedup() { python3 -c "a=float(open('$work/$1.time').read().split()[0]); b=float(open('$work/$2.time').read().split()[0]); print(f'$3: {a/b:.2f}x')"; }
speedup batch-jobs1 batch-default "batch speed-up"
[ -f "$work/single-deflate2.time" ] && speedup single-plain single-deflate2 "single-file speed-up"
exit 0
