#!/usr/bin/env bash
# --optimize against the plain output over real pictures installed by Debian packages (PNG,
# GIF, BMP and JPEG files under /usr/share, at most COUNT of them, default 400), in five modes:
# Pillow decodes both files, which must give the same red, green, blue and alpha, and the
# optimised file must be no larger. Prints one line per mode and every picture that fails.
# Usage: bench/optimize-real.sh [BUILD_DIR] [COUNT]   (needs python3-pil)
set -euo pipefail
build=${1:-build/release}
count=${2:-400}
exe="$(realpath "$build/src/cli/kapto-convert")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir src
# head ends find early; the pipe's status is not this script's.
mapfile -t sources < <(find /usr/share -type f \( -name '*.png' -o -name '*.gif' -o -name '*.bmp' \
    -o -name '*.jpg' \) -size -300k 2>/dev/null | head -n "$count" || true)
for f in "${sources[@]}"; do
    cp "$f" "src/$(echo "$f" | md5sum | cut -c1-10)_$(basename "$f")"
done
cat >compare.py <<'PY'
import os, sys
from PIL import Image

def rgba(path):
    image = Image.open(path)
    key = image.info.get("transparency")
    if image.mode == "1" and isinstance(key, int):
        # Pillow keeps a 1-bit gray key as the raw sample, but the pixels as 0 and 255.
        gray = image.convert("L")
        alpha = bytes(0 if v == (255 if key else 0) else 255 for v in gray.tobytes())
        return Image.merge("RGBA", (gray, gray, gray, Image.frombytes("L", image.size, alpha))).tobytes()
    return image.convert("RGBA").tobytes()

bad = n = 0
for name in sorted(os.listdir("plain")):
    n += 1
    if not os.path.exists("opt/" + name) or rgba("plain/" + name) != rgba("opt/" + name):
        bad += 1
        print("  other pixels:", name)
    elif os.path.getsize("opt/" + name) > os.path.getsize("plain/" + name):
        bad += 1
        print("  larger:", name)
print(f"[{sys.argv[1]}] {n} pictures, {bad} failing")
PY
python=/usr/bin/python3
for mode in "" "--key top-left" "--opacity 60 --key top-left --edge" \
    "--brightness-alpha darker --flatten" "--key top-left --key-tolerance 10 --key-soft"; do
    rm -rf plain opt
    read -r -a options <<<"$mode"
    "$exe" -q --keep-going --on-exists overwrite "${options[@]}" --out-dir plain src || true
    "$exe" -q --keep-going --on-exists overwrite --optimize "${options[@]}" --out-dir opt src || true
    "$python" compare.py "$mode"
done
