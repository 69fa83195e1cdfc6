#!/usr/bin/env python3
"""Independent reference of the magic wand (region by breadth-first search, outline traced as
described), of the isolated-pixel filter and of kFill (with its black and white labels), written
from their descriptions. Run: /usr/bin/python3 wand_noise_reference.py (writes tests/data/proc/wand-*
and noise-* files)."""
import os
from collections import deque

import numpy as np

from refimage import OUT, rose, write


def region(img, sx, sy, tol):
    h, w, _ = img.shape
    seed = img[sy, sx].astype(int)
    close = lambda x, y: all(abs(int(img[y, x, c]) - seed[c]) < tol for c in range(3))
    seen = np.zeros((h, w), dtype=bool)
    if not close(sx, sy):
        return seen
    q = deque([(sx, sy)])
    seen[sy, sx] = True
    while q:
        x, y = q.popleft()
        for nx, ny in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
            if 0 <= nx < w and 0 <= ny < h and not seen[ny, nx] and close(nx, ny):
                seen[ny, nx] = True
                q.append((nx, ny))
    return seen


def outline(reg, grow):
    ys, xs = np.nonzero(reg)
    if len(xs) == 0:
        return []
    xmin, ymin, xmax, ymax = xs.min(), ys.min(), xs.max(), ys.max()
    bw, bh = xmax - xmin + 1, ymax - ymin + 1
    local = reg[ymin:ymax + 1, xmin:xmax + 1].copy()
    if grow:
        g = np.zeros_like(local)
        for j, i in zip(*np.nonzero(local)):
            g[max(j - 1, 0):min(j + 2, bh), max(i - 1, 0):min(i + 2, bw)] = True
        local = g
    gw, gh = 4 * bw + 4, 4 * bh + 4
    grid = np.zeros((gh, gw), dtype=np.int64)
    for j, i in zip(*np.nonzero(local)):
        grid[4 * j + 2:4 * j + 6, 4 * i + 2:4 * i + 6] = 1

    def scan(cells, back):
        run = False
        for gx, gy in cells:
            if grid[gy, gx] == 1:
                if not run:
                    grid[gy + back[1], gx + back[0]] = 3
                run = True
            else:
                run = False

    for gy in range(gh):
        scan([(gx, gy) for gx in range(1, gw)], (-1, 0))
    for gy in range(gh):
        scan([(gx, gy) for gx in range(gw - 1, -1, -1)], (1, 0))
    for gx in range(gw):
        scan([(gx, gy) for gy in range(gh)], (0, -1))
    for gx in range(gw):
        scan([(gx, gy) for gy in range(gh - 1, -1, -1)], (0, 1))
    threes = [(gx, gy) for gy in range(gh) for gx in range(1, gw) if grid[gy, gx] == 3]
    cx, cy = min(t[0] for t in threes), min(t[1] for t in threes)
    best = None
    for gx, gy in threes:
        d = (gx - cx) ** 2 + (gy - cy) ** 2
        if best is None or d < best[0]:
            best = (d, gx, gy)
    _, sx, sy = best
    grid[sy, sx] = 2
    table = [(1, 0), (0, -1), (-1, 0), (0, 1), (1, -1), (-1, -1), (-1, 1), (1, 1)]
    code_of = [0, 2, 4, 6, 1, 3, 5, 7]
    step = {0: (1, 0), 1: (1, -1), 2: (0, -1), 3: (-1, -1), 4: (-1, 0), 5: (-1, 1), 6: (0, 1), 7: (1, 1)}
    codes, x, y, last = [], sx, sy, 4
    while True:
        dx, dy = table[last]
        if grid[y + dy, x + dx] == 3:
            x, y = x + dx, y + dy
            grid[y, x] = 2
            codes.append(code_of[last])
        for e, (dx, dy) in enumerate(table):
            if grid[y + dy, x + dx] == 3:
                x, y = x + dx, y + dy
                grid[y, x] = 2
                codes.append(code_of[e])
                last = e
                break
        else:
            break
    for e, (dx, dy) in enumerate(table):
        if (x + dx, y + dy) == (sx, sy):
            codes.append(code_of[e])
            break
    px, py = sx - 1 + 4 * xmin, sy - 1 + 4 * ymin
    verts = [(px // 4, py // 4)]
    for k, c in enumerate(codes):
        if k >= 1 and c != codes[k - 1]:
            verts.append((px // 4, py // 4))
        px, py = px + step[c][0], py + step[c][1]
    return verts


def isolated(bits, colour, maxcount):
    h, w = bits.shape
    cnt = np.zeros((h + 2, w + 2), dtype=int)
    for y in range(h):
        for x in range(w):
            if bits[y, x] == (1 if colour else 0):
                cnt[y:y + 3, x:x + 3] += 1
    out = bits.copy()
    for y in range(h):
        for x in range(w):
            if 1 <= cnt[y + 1, x + 1] <= maxcount:
                out[y, x] = 0 if colour else 1
    return out


def kfill(bits, iterations, inverse, strict=True, connectivity=True):
    """bits: 1 white, 0 black. Labels as described: 0 black, 255 white, changed pixels labelled."""
    h, w = bits.shape
    img = 1 - bits if inverse else bits.copy()
    work = np.where(img == 1, 255, 0)
    work[0, :] = work[-1, :] = work[:, 0] = work[:, -1] = 0
    black_label, white_label = 1, 254
    ring_at = [(-1, -1), (0, -1), (1, -1), (1, 0), (1, 1), (0, 1), (-1, 1), (-1, 0)]

    def decide(ring, black):
        n = sum(ring)
        corners = sum(ring[i] for i in (0, 2, 4, 6))
        groups = 1 if n == 8 else sum(1 for i in range(8) if ring[i] and not ring[i - 1])
        if connectivity and groups > 1:
            return False
        if black and strict:
            return n == 8 or (n == 5 and corners == 2)
        return n > 5 or (n == 5 and corners == 2)

    for it in range(iterations):
        black = it % 2 == 0
        # During a black-filling sub-iteration only values at or below the black label read black;
        # during a white-filling one only values at or above the white label read white.
        reads_white = (lambda v: v > black_label) if black else (lambda v: v >= white_label)
        for y in range(1, h - 1):
            for x in range(1, w - 1):
                core_white = reads_white(work[y, x])
                if core_white != black:
                    continue
                ring = [reads_white(work[y + dy, x + dx]) != black for dx, dy in ring_at]
                if decide(ring, black):
                    work[y, x] = black_label + 1 if black else white_label - 1
        if black:
            black_label += 1
        else:
            white_label -= 1
    final = np.where(work <= black_label, 0, np.where(work >= white_label, 1, -1))
    assert (final >= 0).all()
    if inverse:
        final = 1 - final
    out = bits.copy()
    out[1:-1, 1:-1] = final[1:-1, 1:-1]
    return out


def main():
    picture = rose()
    for name, (sx, sy, tol, grow) in {"petal": (30, 20, 48, False), "leaf": (8, 40, 30, True)}.items():
        reg = region(picture, sx, sy, tol)
        write("wand-%s.pgm" % name, np.where(reg, 255, 0))
        with open(os.path.join(OUT, "wand-%s.txt" % name), "w") as f:
            f.write(" ".join("%d,%d" % v for v in outline(reg, grow)) + "\n")
    print("uniform 10x10:", outline(np.ones((10, 10), dtype=bool), False))
    single = np.zeros((12, 12), dtype=bool)
    single[5, 5] = True
    print("single pixel:", outline(single, False))

    rng = np.random.default_rng(18)
    bits = (rng.random((30, 40)) < 0.7).astype(int)
    write("noise-input.pgm", bits * 255)
    write("noise-isolated.pgm", isolated(bits, 0, 3) * 255)
    write("noise-kfill.pgm", kfill(bits, 5, False) * 255)
    write("noise-kfill-inverse.pgm", kfill(bits, 4, True) * 255)


if __name__ == "__main__":
    main()
