#!/usr/bin/env python3
"""Independent reference of the histogram-driven operations, written from their descriptions.

Run: python3 histogram_reference.py (prints the values pasted into histogram_test.cpp).
"""
import math


def grey(r, g, b):
    return (r * 21 + g * 71 + b * 8) // 100


def entropy_threshold(levels):
    n = len(levels)
    p = [levels.count(i) / n for i in range(256)]
    H = -sum(pi * math.log(pi) for pi in p if pi > 0)
    best, threshold, psi = 0, -2, 0
    for t in range(1, 256):
        P = sum(p[:t])
        Ht = -sum(pi * math.log(pi) for pi in p[:t] if pi > 0)
        if 0 < P < 1:
            psi = math.log(P * (1 - P)) + Ht / P + (H - Ht) / (1 - P)
        if psi > best:
            best, threshold = psi, t
    return threshold


def auto_equalize(img):
    """img: rows of (b, g, r); returns the equalised rows over the whole image."""
    h, w = len(img), len(img[0])
    counts = [0] * 256
    for row in img:
        for b, g, r in row:
            counts[grey(r, g, b)] += 1
    quota = w * h / 256
    left, right = [0] * 256, [0] * 256
    j, acc = 0, 0.0
    for i in range(256):
        left[i] = min(j, 255)
        acc += counts[i]
        while acc >= quota:
            acc -= quota
            j += 1
        right[i] = min(j, 255)
    out = []
    for y in range(h):
        line = []
        for x in range(w):
            mean = []
            for ch in range(3):
                s = sum(img[min(max(y + dy, 0), h - 1)][min(max(x + dx, 0), w - 1)][ch]
                        for dy in (-1, 0, 1) for dx in (-1, 0, 1))
                mean.append(s // 9)
            b, g, r = img[y][x]
            gm = grey(mean[2], mean[1], mean[0])
            gp = grey(r, g, b)
            if left[gp] == right[gp]:
                px = tuple(left[c] for c in (b, g, r))
            elif gm > right[gp]:
                px = tuple(right[c] for c in (b, g, r))
            elif gm >= left[gp]:
                px = tuple(mean)
            else:
                px = tuple(left[c] for c in (b, g, r))
            line.append(px)
        out.append(line)
    return out


def hist_equalize(v, lo, hi):
    hi = max(hi, 1)
    d = 255 - lo or 1
    a = min(max(round((v - lo) / d * 255), 0), 255)
    return min(max(round(a / hi * 255), 0), 255)


if __name__ == '__main__':
    levels = [10] * 6 + [40] * 3 + [200] * 5 + [230] * 2
    print('entropy threshold of 6 x 10, 3 x 40, 5 x 200, 2 x 230:', entropy_threshold(levels))
    print('entropy threshold of a uniform image:', entropy_threshold([77] * 16))
    print('entropy threshold of 1 x 0, 15 x 255:', entropy_threshold([0] + [255] * 15))
    img = [[(10, 10, 10), (200, 180, 160), (90, 90, 90), (30, 60, 90)],
           [(255, 255, 255), (0, 0, 0), (128, 64, 32), (16, 32, 64)],
           [(70, 70, 70), (140, 150, 160), (5, 250, 5), (100, 100, 100)]]
    for row in auto_equalize(img):
        print('    {' + ', '.join('{%d, %d, %d}' % px for px in row) + '},')
    print('HistEqualize lo 20 hi 200 of 0, 20, 21, 100, 127, 200, 255:',
          [hist_equalize(v, 20, 200) for v in (0, 20, 21, 100, 127, 200, 255)])
    print('HistEqualize lo 0 hi 0 of 0, 1, 2, 255:', [hist_equalize(v, 0, 0) for v in (0, 1, 2, 255)])
