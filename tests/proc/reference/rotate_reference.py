#!/usr/bin/env python3
"""Independent reference of the free rotations, written from their descriptions, on one channel.

Images are lists of rows of levels. Run: python3 rotate_reference.py (prints the tables pasted
into rotate_test.cpp).
"""
import math
from decimal import Decimal, getcontext

getcontext().prec = 50
PI = Decimal('3.14159265358979323846264338327950288419716939937510')


def radians(degrees):
    """pi * degrees / 180 with the precise pi and rounded once to a double, as the library keeps it."""
    return float(PI * Decimal(degrees) / 180)


def trunc(v):
    return int(math.trunc(v))


def clamp(v, lo=0, hi=255):
    return max(lo, min(hi, v))


def quarter_ccw(img):
    h, w = len(img), len(img[0])
    # Dest(x, y) = Source(w - 1 - y, x): the result is h wide and w tall.
    return [[img[x][w - 1 - y] for x in range(h)] for y in range(w)]


def quarter_cw(img):
    h, w = len(img), len(img[0])
    # Dest(x, y) = Source(y, h - 1 - x).
    return [[img[h - 1 - x][y] for x in range(h)] for y in range(w)]


def shear_line(src, length, o, w, antialias, bg, carry_inside_only):
    dst = [bg] * length
    if not antialias:
        for i, q in enumerate(src):
            if 0 <= o + i < length:
                dst[o + i] = q
        return dst
    prev = bg
    for i, q in enumerate(src):
        pos = o + i
        inside = 0 <= pos < length
        if inside:
            dst[pos] = clamp(round((prev * w + q * (4096 - w) + 2048) / 4096))
        if inside or not carry_inside_only:
            prev = q
    pos = o + len(src)
    if w > 0 and 0 <= pos < length:
        dst[pos] = clamp(round((prev * w + bg * (4096 - w) + 2048) / 4096))
    return dst


def shear_rotate(img, angle, antialias, bg):
    a = math.fmod(trunc(angle * 1000), 360000) / 1000
    t = img
    if -45 <= a <= 45:
        t = img
    while a > 45:
        a -= 90
        t = quarter_ccw(img)
        if a > 45:
            img = t
    while a < -45:
        a += 90
        t = quarter_cw(img)
        if a < -45:
            img = t
    if a == 0:
        return t
    H, W = len(t), len(t[0])
    r = radians(a)
    tn = abs(math.sin(r / 2) / math.cos(r / 2))
    s = abs(math.sin(r))
    W1 = round(H * tn + W + 1)
    d1 = round((W1 - W) * s)
    H2 = round(W1 * s + H + 1)
    d2 = round((H2 - H - d1) * tn)
    H3 = H2 - 2 * d1
    W3 = round(H3 * tn + W1 + 1 - 2 * d2)
    pass1 = []
    for y in range(H):
        f = y * tn if a > 0 else (H - y) * tn
        o = round(f)
        pass1.append(shear_line(t[y], W1, o, trunc((f - o) * 4096), antialias, bg, False))
    cols = []
    for x in range(W1):
        f = (W1 - x) * s if a > 0 else x * s
        o = round(f)
        cols.append(shear_line([pass1[y][x] for y in range(H)], H3, o - d1, round((f - o) * 4096), antialias, bg, True))
    pass2 = [[cols[x][y] for x in range(W1)] for y in range(H3)]
    out = []
    for y in range(H3):
        f = y * tn if a > 0 else (H3 - y) * tn
        o = round(f)
        out.append(shear_line(pass2[y], W3, o - d2, round((f - o) * 4096), antialias, bg, True))
    return out


def nearest_rotate(img, angle, bg):
    H, W = len(img), len(img[0])
    r = -angle / 57.29577951308232
    c = trunc(math.cos(r) * 10000) / 10000
    s = trunc(math.sin(r) * 10000) / 10000
    W2 = trunc(abs(H * s) + abs(W * c))
    H2 = trunc(abs(H * c) + abs(W * s))
    cx2, cy2 = W2 / 2 - 0.5, H2 / 2 - 0.5
    cx, cy = W / 2 - 0.5, H / 2 - 0.5
    A = [trunc((x - cx2) * c) for x in range(W2)]
    B = [trunc(-(x - cx2) * s) for x in range(W2)]
    out = []
    for y in range(H2):
        v = y - cy2
        row = []
        for x in range(W2):
            sx = A[x] + trunc(v * s + cx)
            sy = B[x] + trunc(v * c + cy)
            row.append(img[sy][sx] if 0 <= sx < W and 0 <= sy < H else bg)
        out.append(row)
    return out


def quality_rotate(img, angle, bg, mode):
    h0, w0 = len(img), len(img[0])
    W, H = w0 + 6, h0 + 6
    src = [[bg] * W for _ in range(H)]
    for y in range(h0):
        for x in range(w0):
            src[y + 3][x + 3] = img[y][x]
    r = radians(angle)
    W2 = round(abs(math.cos(r) * (W - 1)) + abs(math.sin(r) * (H - 1)))
    H2 = round(abs(math.sin(r) * (W - 1)) + abs(math.cos(r) * (H - 1)))
    cx, cy = (W - 1) / 2, (H - 1) / 2
    cx2, cy2 = (W2 - 1) / 2, (H2 - 1) / 2

    def p(i, j):
        return src[j][i] if 0 <= i < W and 0 <= j < H else bg

    def weights(u):
        return [-u * (1 - u) ** 2, 1 - 2 * u * u + u ** 3, u * (1 + u - u * u), u * u * (u - 1)]

    out = [[bg] * W2 for _ in range(H2)]
    for y in range(H2):
        for x in range(W2):
            sx = (x - cx2) * math.cos(r) + cx - (y - cy2) * math.sin(r)
            sy = (x - cx2) * math.sin(r) + cy + (y - cy2) * math.cos(r)
            i, j = trunc(sx), trunc(sy)
            if mode == 'bilinear':
                fx, fy = sx - math.floor(sx), sy - math.floor(sy)
                top = p(i, j) + (p(i + 1, j) - p(i, j)) * fx
                bottom = p(i, j + 1) + (p(i + 1, j + 1) - p(i, j + 1)) * fx
                out[y][x] = trunc(top + (bottom - top) * fy)
            else:
                wx, wy = weights(sx - i), weights(sy - j)
                v = 0
                for k in range(4):
                    row = j - 1 + k
                    line = sum(p(i - 1 + m, row) * wx[m] for m in range(4))
                    v += line * wy[k]
                out[y][x] = min(abs(trunc(v)), 255)
    return [row[3:W2 - 3] for row in out[3:H2 - 3]]


def show(name, rows):
    print(f'// {name}: {len(rows[0])} x {len(rows)}')
    for row in rows:
        print('    {' + ', '.join(str(v) for v in row) + '},')


if __name__ == '__main__':
    img = [[10, 20, 30, 40, 50], [60, 70, 80, 90, 100], [110, 120, 130, 140, 150]]
    show('shear 30, no antialias, bg 0', shear_rotate(img, 30, False, 0))
    show('shear 30, antialias, bg 0', shear_rotate(img, 30, True, 0))
    show('shear -20, antialias, bg 255', shear_rotate(img, -20, True, 255))
    show('shear 120, no antialias, bg 0', shear_rotate(img, 120, False, 0))
    show('shear 90', shear_rotate(img, 90, True, 0))
    bits = [[1, 0, 0, 1], [1, 1, 0, 0], [0, 1, 1, 1]]
    show('nearest 45, bg 0', nearest_rotate(bits, 45, 0))
    show('nearest 30, bg 1', nearest_rotate(bits, 30, 1))
    show('nearest 45 of 10 x 10', [[len(nearest_rotate([[1] * 10] * 10, 45, 0)[0])]])
    show('nearest 45 of 4 x 2 zeros, bg 1', nearest_rotate([[0] * 4] * 2, 45, 1))
    show('quality bilinear 30, bg 0', quality_rotate(img, 30, 0, 'bilinear'))
    show('quality bicubic 30, bg 0', quality_rotate(img, 30, 0, 'bicubic'))
    show('quality bicubic -15, bg 200', quality_rotate(img, -15, 200, 'bicubic'))
