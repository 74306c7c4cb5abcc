#!/usr/bin/env bash
# Wall time and output size of kapto-convert's deflate profiles, side by side in one run: the
# default, --deflate-threads 2 and --fast, on photo-like pictures of 1, 6 and 24 megapixels
# from JPEG and from BMP. Each time is the best of RUNS runs (default 3), which hides most of
# the noise of a shared machine. Prints a Markdown table.
# Usage: bench/profiles.sh [BUILD_DIR]   (needs cjpeg from libjpeg-turbo-progs)
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
echo "load average $(load) at the end"
