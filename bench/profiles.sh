#!/usr/bin/env bash
# Wall time and output size of kapto-convert's deflate profiles, side by side in one run: the
# default, --deflate-threads 2 and --fast, on photo-like pictures of 1, 6 and 24 megapixels
# from JPEG and from BMP. Each time is the best of RUNS runs (default 3), which hides most of
# the noise of a shared machine. Prints a Markdown table.
# Then the size of each --fast file against the default's, file by file, over a set of small
# graphics (the PNG icons under GRAPHICS, default /usr/share/icons, at most 400 of them) and
# of small photos: the largest and the median ratio.
# Usage: bench/profiles.sh [BUILD_DIR]   (needs cjpeg from libjpeg-turbo-progs)
#        SKIP_TIMES=1 bench/profiles.sh    only the per-file ratios
set -euo pipefail
bench=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/release}
exe="$build/src/cli/kapto-convert"
runs=${RUNS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The photo-like pattern of batch.sh: gradients with grain.
make_ppm() {
    "$bench/photo-ppm.py" "$1" "$2" "$3" "$4"
}

# Wall and processor seconds of the run with the best wall time; the output stays for its size.
best_time() {
    local best="" t
    for _ in $(seq 1 "$runs"); do
        t=$( { /usr/bin/time -f "%e %U %S" "$exe" -q --on-exists overwrite "$@" >/dev/null; } 2>&1 |
            tail -n 1)
        best=$(python3 -c "a, b = '$t'.split(), '${best:-$t}'.split(); print(' '.join(min(a, b, key=lambda v: float(v[0]))))")
    done
    python3 -c "w, u, s = map(float, '$best'.split()); print(f'{w} {u + s:.2f}')"
}

load() { cut -d' ' -f1 /proc/loadavg; }

# The per-file ratios of --fast against the default over the pictures in folder $2, named $1.
ratios() {
    "$exe" -q --out-dir "$work/default" "$2"
    "$exe" -q --fast --out-dir "$work/fast" "$2"
    python3 - "$1" "$work/default" "$work/fast" <<'PY'
import os, statistics, sys
name, default, fast = sys.argv[1:]
r = sorted((os.path.getsize(os.path.join(fast, n)) / os.path.getsize(os.path.join(default, n)), n)
           for n in os.listdir(default))
over = sum(1 for v, _ in r if v > 1.05)
print(f"| {name} | {len(r)} | {r[-1][0]:.3f}x | {statistics.median(v for v, _ in r):.3f}x "
      f"| {r[0][0]:.3f}x | {over} |")
PY
    rm -rf "$work/default" "$work/fast"
}

per_file() {
    echo "| set | files | largest --fast / default | median | smallest | above 1.05x |"
    echo "| --- | --- | --- | --- | --- | --- |"
    mkdir -p "$work/graphics" "$work/photos"
    local i=0 f
    while IFS= read -r f; do
        i=$((i + 1))
        cp "$f" "$work/graphics/$i.png"
    done < <(find "${GRAPHICS:-/usr/share/icons}" -name '*.png' -size -64k 2>/dev/null | sort |
        awk 'NR % 12 == 0' | head -n 400)
    if [ "$i" -gt 0 ]; then
        ratios "small graphics (icons, up to 64 KiB)" "$work/graphics"
    fi
    for size in "64 48" "160 120" "300 200" "400 300" "640 480" "800 600" "1224 816"; do
        read -r w h <<<"$size"
        for seed in 1 2 3; do
            make_ppm "$work/p.ppm" "$w" "$h" "$seed"
            cjpeg -quality 90 "$work/p.ppm" >"$work/photos/photo${w}x${h}-$seed.jpg"
        done
    done
    rm -f "$work/p.ppm"
    ratios "photos (64 x 48 to 1224 x 816)" "$work/photos"
}

if [ -n "${SKIP_TIMES:-}" ]; then
    per_file
    exit 0
fi

echo "cores: $(nproc), best of $runs runs, load average $(load) at the start"
echo
echo "| picture | source | default | --deflate-threads 2 | --fast | --fast time | --fast size |"
echo "| --- | --- | --- | --- | --- | --- | --- |"
for size in "1 1224 816" "6 3000 2000" "24 6000 4000"; do
    read -r mp w h <<<"$size"
    make_ppm "$work/p.ppm" "$w" "$h" "$mp"
    cjpeg -quality 90 "$work/p.ppm" >"$work/photo$mp.jpg"
    rm -f "$work/p.ppm"
    "$exe" -q --to bmp "$work/photo$mp.jpg"
    for source in jpg bmp; do
        input="$work/photo$mp.$source"
        output="$work/photo$mp.png"
        declare -A seconds=() bytes=()
        for profile in default threads fast; do
            case $profile in
            default) options=() ;;
            threads) options=(--deflate-threads 2) ;;
            fast) options=(--fast) ;;
            esac
            seconds[$profile]=$(best_time "${options[@]}" "$input" | tr ' ' /)
            bytes[$profile]=$(stat -c %s "$output")
            if command -v pngcheck >/dev/null; then
                pngcheck -q "$output" >/dev/null
            fi
        done
        python3 - "$mp" "${source^^}" "${seconds[default]}" "${bytes[default]}" \
            "${seconds[threads]}" "${bytes[threads]}" "${seconds[fast]}" "${bytes[fast]}" <<'PY'
import sys
mp, source, *v = sys.argv[1:]
t = [[float(x) for x in pair.split("/")] for pair in v[0::2]]
b = [int(x) for x in v[1::2]]
cells = [f"{w:.2f} s ({c:.2f} s cpu), {n / 1e6:.2f} MB" for (w, c), n in zip(t, b)]
print(f"| {mp} MP | {source} | " + " | ".join(cells) +
      f" | {t[2][0] / t[0][0]:.2f}x ({t[2][1] / t[0][1]:.2f}x cpu) | {b[2] / b[0]:.3f}x |")
PY
    done
done
echo
per_file
echo
echo "load average $(load) at the end"
