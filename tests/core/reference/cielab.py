#!/usr/bin/env python3
# Expected values of the CIE L*a*b* conversions in pixel_helpers_test.cpp, computed from the
# formulas alone (Python's round() rounds half to even, as the library does).
import math


def linear(byte):
    c = byte / 255
    c = ((c + 0.055) / 1.055) ** 2.4 if c > 0.03928 else c / 12.92
    return c * 100


def f(t):
    return t ** (1 / 3) if t > 0.008856 else 7.787 * t + 16 / 116


def rgb_to_lab(r, g, b):
    R, G, B = linear(r), linear(g), linear(b)
    X = 0.4124 * R + 0.3576 * G + 0.1805 * B
    Y = 0.2126 * R + 0.7152 * G + 0.0722 * B
    Z = 0.0193 * R + 0.1192 * G + 0.9505 * B
    fx, fy, fz = f(X), f(Y), f(Z)
    L = (116 * fy - 16) / 550 * 255
    a = (fx - fy) * 500 / 200 * 128
    bb = (fy - fz) * 200 / 500 * 128
    clamp = lambda v: -128 if v < -128 else (127 if v > 127 else round(v))
    return (0 if L < 0 else 255 if L > 255 else round(L), clamp(a), clamp(bb))


def lab_to_rgb(Lb, ab, bb):
    L = Lb / 255 * 100
    ab, bb = max(ab, -127), max(bb, -127)  # -128 is the bottom of the range
    a = (ab + 127) / 255 * 200 - 100
    b = (bb + 127) / 255 * 200 - 100
    fy = (L + 16) / 116
    if L < 7.9996:
        Y = L / 903.3
        X = a / 3893.5 + Y
        Z = Y - b / 1557.4
    else:
        X, Y, Z = (a / 500 + fy) ** 3, fy ** 3, (fy - b / 200) ** 3
    R = 2.69 * X - 1.276 * Y - 0.414 * Z
    G = -1.022 * X + 1.978 * Y + 0.044 * Z
    B = 0.061 * X - 0.224 * Y + 1.163 * Z
    channel = lambda v: 0 if v <= 0 else 255 if v >= 1 else min(255, round(math.sqrt(v) * 256))
    return channel(R), channel(G), channel(B)


for rgb in [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 0, 255), (10, 200, 30)]:
    print("lab", rgb, rgb_to_lab(*rgb))
for lab in [(255, 0, 0), (10, 0, 0), (10, -128, -128), (10, 127, 127), (3, 100, -50), (3, -128, 0)]:
    print("rgb", lab, lab_to_rgb(*lab))
