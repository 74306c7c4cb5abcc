#!/usr/bin/env python3
# A photo-like PPM picture for the end-to-end benchmarks: gradients with grain, a different
# pattern per seed. Usage: bench/photo-ppm.py NAME WIDTH HEIGHT SEED
import random
import sys

name, w, h, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
random.seed(seed)
grain = bytes(random.randrange(0, 12) for _ in range(w * 3 + 8192))
base = bytes(((x // 3) // (8 + seed) + (x % 3) * 40) & 0xFF for x in range(w * 3))
with open(name, "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (w, h))
    for y in range(h):
        off = (y * 13) % 8192
        f.write(bytes((b + g + (y >> 3)) & 0xFF for b, g in zip(base, grain[off:off + w * 3])))
