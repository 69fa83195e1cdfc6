#!/usr/bin/env python3
"""Independent reference of the Gaussian blur, soft shadow, sharpen, morphological, median and Wallis
filters, written from their descriptions. Run: /usr/bin/python3 window_reference.py (writes
tests/data/proc/window-*.p?m and prints the hand cases used in window_test.cpp)."""
import math

import numpy as np

from adjust_reference import hsl2rgb, rgb2hsl
from refimage import COLOUR_CROP, GREY_CROP, go_crop, grey, rose, write


def gauss_kernel(r):
    r = np.longdouble(r)
    w = [np.exp(-((np.longdouble(i) / r) ** 2) / 2) for i in range(-100, 101)]
    s = sum(w)
    k = [int(np.rint(x * 65536 / s)) for x in w]
    n = 100
    while n > 1 and k[100 + n] == 0 and k[100 - n] == 0:
        n -= 1
    return n, k


def blur_line(p, n, k):
    L = len(p)
    return [(32768 + sum(k[100 + i] * p[min(max(x + i, 0), L - 1)] for i in range(-n, n + 1))) >> 16
            for x in range(L)]


def blur(img, r):
    """img: rows x columns (x channels) of ints; rows first, then columns."""
    n, k = gauss_kernel(r)
    out = np.array(img, dtype=np.int64)
    flat = out.reshape(out.shape[0], out.shape[1], -1)
    for y in range(flat.shape[0]):
        for c in range(flat.shape[2]):
            flat[y, :, c] = blur_line(list(flat[y, :, c]), n, k)
    for x in range(flat.shape[1]):
        for c in range(flat.shape[2]):
            flat[:, x, c] = blur_line(list(flat[:, x, c]), n, k)
    return flat.reshape(out.shape)


def soft_shadow(img, alpha, radius, ox, oy, adapt, shadow):
    """img rows x columns x (r, g, b); returns the new image and alpha."""
    img, alpha = img.copy(), alpha.copy()
    if adapt:
        g = max(int(radius * 5) + max(abs(ox), abs(oy)) * 2, 1)
        h, w = alpha.shape
        big = np.zeros((h + g, w + g, 3), dtype=np.int64)
        bigalpha = np.zeros((h + g, w + g), dtype=np.int64)
        big[g // 2:g // 2 + h, g // 2:g // 2 + w] = img
        bigalpha[g // 2:g // 2 + h, g // 2:g // 2 + w] = alpha
        img, alpha = big, bigalpha
    saved = alpha.copy()
    new = blur(alpha, radius)
    moved = np.zeros_like(new)
    h, w = new.shape
    for y in range(h):
        for x in range(w):
            if 0 <= y - oy < h and 0 <= x - ox < w:
                moved[y, x] = new[y - oy, x - ox]
    for y in range(h):
        for x in range(w):
            if saved[y, x] == 0 and moved[y, x] != 0:
                img[y, x] = shadow
            else:
                moved[y, x] = saved[y, x]
    return img, moved


def sharpen(img, intensity, neighbourhood):
    h, w, _ = img.shape
    half = neighbourhood // 2
    k = np.longdouble(intensity) / 10
    out = img.copy()
    for y in range(h):
        for x in range(w):
            c0, c1 = max(0, x - half), min(w - 1, x + half)
            r0, r1 = max(0, y - half), min(h - 1, y + half)
            count = (c1 - c0) * (r1 - r0)
            if count == 0:
                continue
            for ch in range(3):
                s = sum(int(img[yy, xx, ch]) for yy in range(r0, r1 + 1) for xx in range(c0, c1 + 1)
                        if yy != y and xx != x)
                mean = s // count
                c = int(img[y, x, ch])
                out[y, x, ch] = min(max(int(np.trunc((c - mean) * k + c)), 0), 255)
    return out


def morph(img, ws, op):
    def one(src, maximum):
        h, w, _ = src.shape
        out = src.copy()
        for y in range(h):
            for x in range(w):
                best = 0 if maximum else 255
                colour = src[y, x]
                for j in range(y - ws, y + ws + 1):
                    for i in range(x - ws, x + ws + 1):
                        p = src[min(max(j, 0), h - 1), min(max(i, 0), w - 1)]
                        g = grey(*(int(c) for c in p))
                        if (g > best) if maximum else (g < best):
                            best, colour = g, p
                out[y, x] = colour
        return out

    passes = {0: [True], 1: [False], 2: [False, True], 3: [True, False]}[op]
    for maximum in passes:
        img = one(img, maximum)
    return img


def median(img, p1, p2, p3, p4, p5, p6, mode):
    """mode 0 median, 1 sharpen, 2 edge extraction; img rows x columns x (r, g, b)."""
    h, w, _ = img.shape
    n = p1 * p2
    hw, hh = p1 // 2, p2 // 2
    d = np.longdouble(5.1) * (p3 - 50)
    t = int(np.trunc(p6 * np.longdouble(2.56)))
    q1, m, q3 = n // 4, n // 2, 3 * (n // 4)
    if mode == 0:
        widen = int(np.trunc(p6 * np.longdouble(0.02) * (n // 4)))
        q1, q3 = q1 - widen, q3 + widen
    elif mode == 1:
        a = (n - 1) * (np.longdouble(6.36) - (np.longdouble(0.04) * p5 + 1)) + 1
        c = 1 / (a - n)
    else:
        c = p4 * np.longdouble(0.5) / (n - 1)
    lum = (img[:, :, 0] * 54 + img[:, :, 1] * 182 + img[:, :, 2] * 20) >> 8
    out = img.copy() if mode != 2 else np.full_like(img, 255)

    def level(hist, rank):
        total = 0
        for v in range(256):
            total += hist[v]
            if total > rank:
                return v
        return 255

    for y in range(hh, h - hh):
        for x in range(hw + 1, w - hw):
            rows = range(y - hh, y - hh + p2)
            cols = range(x - hw, x - hw + p1)
            hist = [0] * 256
            for j in rows:
                for i in cols:
                    hist[lum[j, i]] += 1
            lq1, lmed, lq3 = level(hist, q1), level(hist, m), level(hist, q3)
            others = [(j, i) for j in rows for i in cols if (j, i) != (y, x)]
            mean = [sum(int(img[j, i, ch]) for j, i in others) // (n - 1) for ch in range(3)]
            rep = None
            bestd = None
            for j, i in others:
                dist = sum(abs(int(img[j, i, ch]) - mean[ch]) for ch in range(3))
                if bestd is None or dist < bestd:
                    bestd, rep = dist, img[j, i]
                    if dist == 0:
                        break
            own = img[y, x]
            if mode == 0:
                spread = lq3 - lq1
                keep = t != 0 and all(abs(int(own[ch]) - lmed) < spread for ch in range(3))
                out[y, x] = own if keep else rep
            elif mode == 1:
                out[y, x] = [min(max(int(np.trunc((int(own[ch]) * a - int(rep[ch]) * n) * c + d)), 0), 255)
                             for ch in range(3)]
            else:
                v = min(max(int(np.trunc((int(own[1]) * n - lmed * n) * c + d)), 0), 255)
                out[y, x] = 0 if 255 - v < t else 255
    return out


def wallis(img, p1, p2, p3, p4, p5, p6, p7, binary):
    h, w, _ = img.shape
    bw, bh = w + 30, h + 30
    msize = min(w, h) + 29
    ww, wh = max(int(p1 / 100 * msize), 21), max(int(p2 / 100 * msize), 21)
    n = ww * wh
    hw, hh = (ww + 1) // 2, (wh + 1) // 2
    md, sd, a, b, smax = p3 / 100, p4 * 3 / 100, p5, p6 / 100, p7 * 6 / 100
    L = np.array([[rgb2hsl(*(int(c) for c in img[y, x]))[2] for x in range(w)] for y in range(h)])
    border = L[np.clip(np.arange(bh) - 15, 0, h - 1)][:, np.clip(np.arange(bw) - 15, 0, w - 1)]
    out = img.copy() if not binary else np.full_like(img, 255)
    # Every bordered position in order, each write landing on the clamped pixel.
    for Y in range(bh):
        for X in range(bw):
            y, x = min(max(Y - 15, 0), h - 1), min(max(X - 15, 0), w - 1)
            inside = hh <= Y <= bh - 1 - hh and hw <= X <= bw - 1 - hw
            if not inside:
                out[y, x] = 255 if binary else img[y, x]
                continue
            win = border[Y - hh:Y - hh + wh, X - hw:X - hw + ww]
            m = win.sum() / n
            s = min(math.sqrt((win * win).sum() / n - m * m + 1), smax)
            den = a * s + sd
            gain = 0 if den == 0 else a * sd / den
            lt = min(max((border[Y, X] - m) * gain + (1 - b) * m + b * md, 0), 1)
            if binary:
                out[y, x] = 0 if lt < 0.5 else 255
            else:
                hh_, ss, _ = rgb2hsl(*(int(c) for c in img[y, x]))
                out[y, x] = hsl2rgb(hh_, ss, lt)
    return out


def main():
    colour = go_crop(COLOUR_CROP)
    grey_plane = go_crop(GREY_CROP, "L")
    picture = rose()
    n, k = gauss_kernel(2.0)
    print("kernel r=2: n =", n, "K0 =", k[100], "sum =", sum(k))
    n, k = gauss_kernel(0.1)
    print("kernel r=0.1: n =", n, k[99:102])
    write("window-blur1.5.ppm", blur(colour, 1.5))
    write("window-blur3-grey.pgm", blur(grey_plane, 3.0))

    # A 12 x 10 picture, opaque 4 x 3 block in an otherwise transparent field.
    img = np.zeros((10, 12, 3), dtype=np.int64)
    img[:, :] = (200, 150, 100)
    alpha = np.zeros((10, 12), dtype=np.int64)
    alpha[3:6, 4:8] = 255
    shadowed, newalpha = soft_shadow(img, alpha, 1.0, 2, 1, True, (10, 20, 30))
    write("window-shadow.ppm", shadowed)
    write("window-shadow-alpha.pgm", newalpha)

    write("window-sharpen.ppm", sharpen(colour, 15, 5))
    for ws, op in ((2, 0), (1, 1), (1, 2), (2, 3)):
        write("window-morph%d-%d.ppm" % (op, ws), morph(picture, ws, op))
    write("window-median5x5.ppm", median(colour, 5, 5, 50, 0, 0, 0, 0))
    write("window-median4x3.ppm", median(colour, 4, 3, 50, 0, 0, 40, 0))
    write("window-median-sharpen.ppm", median(colour, 3, 3, 60, 0, 50, 0, 1))
    write("window-median-edges.ppm", median(colour, 3, 3, 50, 30, 0, 50, 2))
    write("window-wallis.ppm", wallis(colour, 30, 40, 50, 40, 3, 40, 30, False))
    write("window-wallis-binary.ppm", wallis(colour, 30, 40, 50, 40, 3, 40, 30, True))


if __name__ == "__main__":
    main()
