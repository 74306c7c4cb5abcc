#!/usr/bin/env bash
# Cut sources over real pictures installed by Debian packages (PNG, GIF, BMP and JPEG files
# under /usr/share, at most COUNT of them, default 400), each cut at three seeded points: the
# conversion of a cut file must fail, or warn on standard error, or write the same bytes as
# the whole file. Prints the counts and every cut that passed for a whole file.
# Usage: bench/cut-real.sh [BUILD_DIR] [COUNT]
set -euo pipefail
build=${1:-build/release}
count=${2:-400}
exe="$(realpath "$build/src/cli/kapto-convert")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# head ends find early; the pipe's status is not this script's.
mapfile -t sources < <(find /usr/share -type f \( -name '*.png' -o -name '*.gif' -o -name '*.bmp' \
    -o -name '*.jpg' \) -size -300k 2>/dev/null | head -n "$count" || true)
RANDOM=28
failed=0 warned=0 whole=0 silent=0
for f in "${sources[@]}"; do
    extension=${f##*.}
    cp "$f" "whole.$extension"
    "$exe" -q --on-exists overwrite --out-dir out "whole.$extension" 2>/dev/null || continue
    size=$(stat -c %s "$f")
    for _ in 1 2 3; do
        cut=$(((RANDOM * 32768 + RANDOM) % size))
        head -c "$cut" "$f" >"cut.$extension"
        rm -f out/cut.png
        if ! "$exe" -q --on-exists overwrite --out-dir out "cut.$extension" 2>err.txt; then
            failed=$((failed + 1))
        elif [ -s err.txt ]; then
            warned=$((warned + 1))
        elif cmp -s out/cut.png out/whole.png; then
            whole=$((whole + 1))
        else
            silent=$((silent + 1))
            echo "  passed for whole: $f cut at $cut of $size"
        fi
    done
done
echo "${#sources[@]} pictures: $failed cuts failed, $warned warned, $whole gave the whole picture, $silent passed for whole"
