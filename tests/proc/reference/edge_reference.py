#!/usr/bin/env python3
"""Independent reference of the Shen-Castan edge detector (single-precision planes as described)
and of the Hough transform of a black-and-white picture, written from their descriptions.
Run: /usr/bin/python3 edge_reference.py (writes tests/data/proc/edges-*.pgm and prints the Hough
hand cases used in edge_test.cpp)."""
import math

import numpy as np

from refimage import COLOUR_CROP, go_crop, grey, write

F = np.float32


def isef(x, b, b1, b2, axis):
    x = np.moveaxis(x.copy(), axis, 0)
    n = x.shape[0]
    a = np.zeros_like(x)
    bb = np.zeros_like(x)
    a[0] = b1 * x[0]
    bb[n - 1] = b2 * x[n - 1]
    for r in range(1, n):
        a[r] = b1 * x[r] + b * a[r - 1]
    for r in range(n - 2, -1, -1):
        bb[r] = b2 * x[r] + b * bb[r + 1]
    y = np.empty_like(x)
    y[n - 1] = a[n - 1]
    y[:n - 1] = a[:n - 1] + bb[1:]
    return np.moveaxis(y, 0, axis)


def edges(img, ratio, smoothing, window, thin, hysteresis):
    h0, w0, _ = img.shape
    g0 = grey(img[:, :, 0], img[:, :, 1], img[:, :, 2])
    E = 27
    h, w = h0 + 2 * E, w0 + 2 * E
    rows = [(r - E) % h0 for r in range(h)]
    cols = [(c - E) % w0 for c in range(w)]
    G = g0[rows][:, cols].astype(F)
    bd = smoothing
    b1d = (1 - bd) / (1 + bd)
    b2d = bd * b1d
    b, b1, b2 = F(bd), F(b1d), F(b2d)
    S = isef(isef(G, b, b1, b2, 0), b, b1, b2, 1)
    O = 25
    bli = np.zeros((h, w), dtype=int)
    bli[O:h - O, O:w - O] = (S - G)[O:h - O, O:w - O] > 0
    grad = np.zeros((h, w), dtype=F)
    half = window // 2
    for r in range(O, h - O):
        for c in range(O, w - O):
            if not bli[r, c]:
                continue
            dr, dc = G[r + 1, c] - G[r - 1, c], G[r, c + 1] - G[r, c - 1]
            if not bli[r + 1, c]:
                cand = dr > 0
            elif not bli[r, c + 1]:
                cand = dc > 0
            elif not bli[r - 1, c]:
                cand = dr < 0
            elif not bli[r, c - 1]:
                cand = dc < 0
            else:
                cand = False
            if not cand:
                continue
            sums, counts = [0.0, 0.0], [0, 0]
            for i in range(max(r - half, 0), min(r + half, h - 1) + 1):
                for j in range(max(c - half, 0), min(c + half, w - 1) + 1):
                    sums[bli[i, j]] += float(G[i, j])
                    counts[bli[i, j]] += 1
            m0 = 0 if counts[0] == 0 or sums[0] == 0 else sums[0] / counts[0]
            m1 = 0 if counts[1] == 0 or sums[1] == 0 else sums[1] / counts[1]
            grad[r, c] = F(m0 - m1)
    inner = grad[O:h - O, O:w - O].astype(float)
    mn = min(abs(float(grad[20, 20])), inner.min())
    mx = max(abs(float(grad[20, 20])), inner.max())
    scale = 256 / (mx - mn + 1)
    hist = np.zeros(256, dtype=int)
    for v in inner.ravel():
        hist[min(max(int((v - mn) * scale), 0), 255)] += 1
    target = int(np.trunc(np.longdouble(h) * ratio * w))
    k = 255
    count = hist[k]
    while count < target and k > 0:
        k -= 1
        count += hist[k]
    high = k / scale + mn
    low = high / 2 if hysteresis else high
    marks = np.zeros((h, w), dtype=int)
    order = [(0, 1), (0, -1), (1, 1), (1, 0), (1, -1), (-1, -1), (-1, 0), (-1, 1)]

    def follow(r, c, depth):
        """The recursion as described, on an explicit stack of (r, c, depth, next neighbour)."""
        def accept(r, c):
            if r < 0 or c < 0 or r >= h or c >= w or marks[r, c] != 0 or grad[r, c] == 0:
                return False
            marks[r, c] = 1 if grad[r, c] > low else 255
            return True

        if not accept(r, c):
            return
        stack = [[r, c, depth, 0]]
        while stack:
            top = stack[-1]
            pr, pc, d, i = top
            if i < 8:
                top[3] = i + 1
                nr, nc = pr + order[i][0], pc + order[i][1]
                if accept(nr, nc):
                    top[3] = 9  # a neighbour was accepted: no further tries
                    stack.append([nr, nc, d + 1, 0])
                continue
            stack.pop()
            if i == 9 and d > 0 and thin > 0 and d % thin != 0:
                marks[pr, pc] = 255

    for r in range(O, h - O):
        for c in range(O, w - O):
            if grad[r, c] > high:
                follow(r, c, 0)
    marks[marks == 255] = 0
    inv = np.where(marks != 0, 0, 255)
    out = np.full((h0, w0), 255)
    out[:h0 - 1, 1:] = inv[E:E + h0 - 1, E + 1:E + w0]
    return out


def hough(bits, angle_range, precision):
    """bits: rows of 1 (white) and 0 (black)."""
    precision = int(np.trunc(np.longdouble(precision) * 10)) / np.longdouble(10)
    if precision < 0.1 - 1e-12 or precision > 1 or not 0 <= angle_range <= 180:
        return 0
    k = int(np.rint(1 / precision))
    step = (np.longdouble(1) / k) * np.longdouble(0.0174532925194444)
    sins = [int(np.trunc(np.sin(i * step) * 131072)) for i in range(180 * k)]
    coss = [int(np.trunc(np.cos(i * step) * 131072)) for i in range(180 * k)]
    h, w = bits.shape
    cx, cy = w // 2, h // 2
    R = int(math.sqrt(w * w + h * h) / 2)
    half, mid = angle_range * k // 2, 180 * k // 2
    votes = {}
    rnd = lambda n: -((-n + 65536) >> 17) if n < 0 else (n + 65536) >> 17
    for y in range(h):
        for x in range(w):
            if bits[y, x]:
                continue
            for a in range(mid - half, mid + half - 1):
                d = rnd(sins[a] * (y - cy)) + rnd(coss[a] * (x - cx)) + R
                if 0 <= d <= 2 * R:
                    votes[(a, d)] = votes.get((a, d), 0) + 1
    best, best_a = 0, 0
    for a in range(mid - half, mid + half - 1):
        for d in range(2 * R + 1):
            if votes.get((a, d), 0) > best:
                best, best_a = votes[(a, d)], a
    return best_a / k - 90.0


def main():
    colour = go_crop(COLOUR_CROP)
    write("edges-hysteresis.pgm", edges(colour, 0.99, 0.9, 7, 0, True))
    write("edges-thin.pgm", edges(colour, 0.7, 0.6, 5, 2, False))
    lines = np.ones((40, 300), dtype=int)
    lines[10, 5:295] = 0
    lines[30, 5:295] = 0
    print("two 290-px lines, precision 0.5 and 0.1:", hough(lines, 20, 0.5), hough(lines, 20, 0.1))


if __name__ == "__main__":
    main()
