#!/usr/bin/env python3
# A 24-bit BMP graphic for the end-to-end benchmarks: a white ground with rectangles and
# ellipses in N other colours (N = 1 gives two colours), placed by a fixed seed.
# Usage: bench/graphic-bmp.py NAME WIDTH HEIGHT N
import random
import struct
import sys

name, w, h, n = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
random.seed(n * 7919 + w)
pixels = [bytearray(b"\xff" * (w * 3)) for _ in range(h)]
shapes = max(n, 12)
for i in range(shapes):
    colour = (i % n) * 37 % 256, (i % n) * 91 % 256, 255 - (i % n) * 53 % 200
    x0, y0 = random.randrange(w), random.randrange(h)
    x1, y1 = min(w, x0 + random.randrange(8, w // 3)), min(h, y0 + random.randrange(6, h // 3))
    ellipse = i % 2 == 1
    cx, cy, rx, ry = (x0 + x1) / 2, (y0 + y1) / 2, max(1, (x1 - x0) / 2), max(1, (y1 - y0) / 2)
    bgr = bytes((colour[2], colour[1], colour[0]))
    for y in range(y0, y1):
        row = pixels[y]
        for x in range(x0, x1):
            if not ellipse or ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1:
                row[3 * x:3 * x + 3] = bgr
pad = b"\0" * ((4 - w * 3 % 4) % 4)
data = b"".join(bytes(pixels[y]) + pad for y in range(h - 1, -1, -1))
with open(name, "wb") as f:
    f.write(b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54))
    f.write(struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0))
    f.write(data)
