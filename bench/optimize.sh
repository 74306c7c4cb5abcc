#!/usr/bin/env bash
# Size and time of kapto-convert --optimize against optipng -o2 on the plain outputs of the
# same pictures, file by file. Two sets: small graphics (twenty 480 x 360 pictures of 2 to
# 200 colours on a white ground, plain, keyed, at an opacity and with alpha from brightness)
# and photos (photo-like JPEGs of 1 and 24 megapixels; SKIP_24MP=1 leaves the large one out).
# optipng's time is its own work on the plain PNG; --optimize's time is the whole conversion
# from the source, loading included; both in CPU seconds (user and system), which stay fair
# on a machine busy with other work, as both run on one thread. Prints a Markdown table per
# set, its totals and the median and largest per-file time ratio.
# Usage: bench/optimize.sh [BUILD_DIR]   (needs optipng, and cjpeg from libjpeg-turbo-progs)
set -euo pipefail
bench=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/release}
exe="$(realpath "$build/src/cli/kapto-convert")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The photo-like pattern of profiles.sh: gradients with grain, through JPEG.
make_photo() {
    "$bench/photo-ppm.py" p.ppm "$2" "$3" "$4"
    cjpeg -quality 90 p.ppm >"$1"
    rm -f p.ppm
}

# CPU seconds (user and system) a command takes, to the millisecond: both tools run on one
# thread, and CPU time stays fair on a machine that is busy with other work.
timed() {
    local TIMEFORMAT='%3U %3S' cpu
    cpu=$( { time "$@" >/dev/null 2>&1; } 2>&1)
    python3 -c "import sys; print(f'{float(sys.argv[1]) + float(sys.argv[2]):.3f}')" $cpu
}

graphics=()
for n in 1 2 15 63 199; do
    "$bench/graphic-bmp.py" "graphic$((n + 1)).bmp" 480 360 "$n"
    for o in "" "--key top-left" "--opacity 40" "--brightness-alpha darker"; do
        graphics+=("graphic$((n + 1)).bmp|$o")
    done
done
photos=()
make_photo photo1.jpg 1224 816 1
photos+=("photo1.jpg|" "photo1.jpg|--key top-left")
if [ -z "${SKIP_24MP:-}" ]; then
    make_photo photo24.jpg 6000 4000 24
    photos+=("photo24.jpg|")
fi

run_set() {
    local title=$1
    shift
    echo
    echo "### $title"
    echo
    echo "| source | options | plain | optipng -o2 | optipng s | --optimize | --optimize s |"
    echo "| --- | --- | ---: | ---: | ---: | ---: | ---: |"
    : >ratios
    local total_plain=0 total_opti=0 total_ours=0 time_opti=0 time_ours=0
    for c in "$@"; do
        local source=${c%%|*} options
        read -r -a options <<<"${c#*|}"
        local stem=${source%.*}
        "$exe" -q --on-exists overwrite "${options[@]}" "$source"
        mv "$stem.png" plain.png
        local t_opti t_ours
        t_opti=$(timed optipng -o2 -quiet -clobber -out optipng.png plain.png)
        t_ours=$(timed "$exe" -q --jobs 1 --on-exists overwrite --optimize "${options[@]}" "$source")
        local plain opti ours
        plain=$(stat -c %s plain.png) opti=$(stat -c %s optipng.png) ours=$(stat -c %s "$stem.png")
        echo "| $source | ${options[*]:-} | $plain | $opti | $t_opti | $ours | $t_ours |"
        echo "$t_ours $t_opti" >>ratios
        total_plain=$((total_plain + plain)) total_opti=$((total_opti + opti))
        total_ours=$((total_ours + ours))
        time_opti=$(python3 -c "print(f'{$time_opti + $t_opti:.3f}')")
        time_ours=$(python3 -c "print(f'{$time_ours + $t_ours:.3f}')")
    done
    echo "| **total** | | $total_plain | $total_opti | $time_opti | $total_ours | $time_ours |"
    python3 - <<'PY'
import statistics
pairs = [tuple(map(float, line.split())) for line in open("ratios")]
ratios = sorted(ours / max(opti, 1e-3) for ours, opti in pairs)
print(f"\nTime of --optimize over optipng -o2, per file: median {statistics.median(ratios):.2f}, "
      f"largest {ratios[-1]:.2f}")
PY
}

run_set "Small graphics (480 x 360)" "${graphics[@]}"
run_set "Photos" "${photos[@]}"
