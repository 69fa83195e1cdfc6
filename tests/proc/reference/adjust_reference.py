#!/usr/bin/env python3
"""Independent reference of the 3 x 3 convolution and the point colour adjustments, written from
their descriptions. Run: python3 adjust_reference.py (writes tests/data/proc/adjust-*.ppm and
prints the hand cases used in adjust_test.cpp)."""
import math

import numpy as np

from refimage import COLOUR_CROP, GREY_CROP, go_crop, grey, tdiv, write

PRESETS = {
    "blur": ([1, 1, 1, 1, 1, 1, 1, 1, 1], 9),
    "edge": ([1, 1, 1, 1, -8, 1, 1, 1, 1], 1),
    "emboss": ([-1, 0, 1, -1, 1, 1, -1, 0, 1], 1),
    "highpass3": ([1, -2, 1, -2, 5, -2, 1, -2, 1], 1),
    "lowpass2": ([1, 2, 1, 2, 4, 2, 1, 2, 1], 16),
}


def convolve(img, k, div, rect=None):
    """img: rows x columns (x channels); rect (x1, y1, x2, y2) half-open; edges repeat the image."""
    h, w = img.shape[:2]
    x1, y1, x2, y2 = rect or (0, 0, w, h)
    div = div or 1
    out = img.copy()
    for y in range(y1, y2):
        for x in range(x1, x2):
            s = 0
            for j in range(3):
                for i in range(3):
                    yy = min(max(y + j - 1, 0), h - 1)
                    xx = min(max(x + i - 1, 0), w - 1)
                    s = s + k[3 * j + i] * img[yy, xx]
            out[y, x] = np.clip(tdiv(s, div), 0, 255)
    return out


def contrast_table(contrast, mean):
    if contrast < 0:
        k = 1 - np.sqrt(np.longdouble(-contrast)) / 10
    else:
        k = 1 + np.longdouble(contrast) / 10
    f = int(np.trunc(k * 65536))
    table = []
    for c in range(256):
        t = (c - mean) * f
        if t < 0:
            t += 65535
        table.append(min(max((t >> 16) + mean, 0), 255))
    return table


def image_mean(img):
    h, w = img.shape[:2]
    return [sum(int(img[y, :, ch].sum()) // w for y in range(h)) // h for ch in range(3)]


def rgb2hsl(r, g, b):
    r, g, b = r / 255, g / 255, b / 255
    mx, mn = max(r, g, b), min(r, g, b)
    l = (mx + mn) / 2
    if mx == mn:
        return 0.0, 0.0, l
    d = mx - mn
    s = d / (mx + mn) if l < 0.5 else d / (2 - mx - mn)
    if r == mx:
        h = (g - b) / d
    elif g == mx:
        h = 2 + (b - r) / d
    else:
        h = 4 + (r - g) / d
    h /= 6
    return (h + 1 if h < 0 else h), s, l


def hsl2rgb(h, s, l):
    if h < 0:
        h += 1
    elif h > 1:
        h -= 1
    s, l = min(max(s, 0), 1), min(max(l, 0), 1)
    if s == 0:
        v = min(max(round(l * 255), 0), 255)
        return v, v, v
    m2 = l * (1 + s) if l <= 0.5 else l + s - l * s
    m1 = 2 * l - m2

    def hue(x):
        if x < 0:
            x += 1
        if x > 1:
            x -= 1
        if 6 * x < 1:
            return m1 + (m2 - m1) * x * 6
        if 2 * x < 1:
            return m2
        if 3 * x < 2:
            return m1 + (m2 - m1) * (2 / 3 - x) * 6
        return m1

    return tuple(min(max(round(hue(x) * 255), 0), 255) for x in (h + 1 / 3, h, h - 1 / 3))


def idiv(a, b):
    return int(tdiv(a, b))


def rgb2hsv(r, g, b):
    r, g, b = (round(c / 255 * 99) for c in (r, g, b))
    mx, mn = max(r, g, b), min(r, g, b)
    v = mx
    s = idiv((mx - mn) * 99, mx) if mx else 0
    if s == 0:
        return 0, s, v
    d = mx - mn
    if r == mx:
        h = idiv((g - b) * 60, d)
    elif g == mx:
        h = idiv((b - r) * 60, d) + 120
    else:
        h = idiv((r - g) * 60, d) + 240
    return (h + 360 if h < 0 else h), s, v


def hsv2rgb(h, s, v):
    if h < 0:
        h += 360
    elif h > 359:
        h -= 360
    s, v = min(max(s, 0), 99), min(max(v, 0), 99)
    if s == 0:
        r = g = b = v
    else:
        f, i = h % 60, h // 60
        p = v - idiv(v * s, 99)
        q = v - idiv(v * s * f, 5940)
        t = v - idiv(v * s * (60 - f), 5940)
        r, g, b = {0: (v, t, p), 1: (q, v, p), 2: (p, v, t), 3: (p, q, v), 4: (t, p, v)}.get(i, (v, p, q))
    return tuple(min(max(round(c / 99 * 255), 0), 255) for c in (r, g, b))


def per_pixel(img, fn):
    out = img.copy()
    for y in range(img.shape[0]):
        for x in range(img.shape[1]):
            out[y, x] = fn(*(int(c) for c in img[y, x]))
    return out


def gamma_table(gamma):
    e = 1 / np.longdouble(gamma)
    return [min(max(int(np.rint((np.longdouble(i) / 255) ** e * 255)), 0), 255) for i in range(256)]


def main():
    colour = go_crop(COLOUR_CROP)
    grey_plane = go_crop(GREY_CROP, "L")
    for name, (k, div) in PRESETS.items():
        write("adjust-%s.ppm" % name, convolve(colour, k, div))
    write("adjust-lowpass2-grey.pgm", convolve(grey_plane, *PRESETS["lowpass2"]))
    write("adjust-emboss-rect.ppm", convolve(colour, *PRESETS["emboss"], rect=(5, 7, 30, 20)))

    mean = image_mean(colour)
    for c in (10, -30, 2000):
        tables = [contrast_table(c, m) for m in mean]
        write("adjust-contrast%d.ppm" % c, per_pixel(colour, lambda r, g, b: (tables[0][r], tables[1][g], tables[2][b])))
    write("adjust-hsl.ppm", per_pixel(colour, lambda r, g, b: hsl2rgb(*(v + d for v, d in zip(rgb2hsl(r, g, b), (40 / 360, -0.2, 0.1))))))
    write("adjust-hsv.ppm", per_pixel(colour, lambda r, g, b: hsv2rgb(*(v + d for v, d in zip(rgb2hsv(r, g, b), (200, 15, -10))))))
    table = gamma_table(2.2)
    write("adjust-gamma.ppm", per_pixel(colour, lambda r, g, b: (table[r], table[g], table[b])))
    write("adjust-grey.ppm", per_pixel(colour, lambda r, g, b: (grey(r, g, b),) * 3))

    print("mean of the colour crop (r, g, b):", mean)
    print("contrast(10) at mean 100:", contrast_table(10, 100)[99])
    print("gamma 2.0 of 128:", gamma_table(2.0)[128], " gamma 2.2 of 1, 128, 254:", [table[i] for i in (1, 128, 254)])
    print("lowpass2 of a lone 255:", convolve(np.array([[0, 0, 0], [0, 255, 0], [0, 0, 0]]), *PRESETS["lowpass2"])[1, 1])


if __name__ == "__main__":
    main()
