#!/usr/bin/env python3
"""Independent reference of the image view's zoom geometry on one axis: zoomed size, centring
offset, scroll maximum, first visible pixel, drawn extent, the client-to-bitmap and
bitmap-to-client conversions through the lookup tables, and the scroll-bar page and thumb.
Products that feed a rounding are taken in x87 extended precision (numpy.longdouble) from
double ratios. Run: /usr/bin/python3 geometry_reference.py > ../../data/view/geometry-reference.txt"""
import numpy as np

LD = np.longdouble
D = np.float64


def trunc(v):
    return int(np.trunc(v))


def rnd(v):
    return int(np.rint(v))  # ties to even


def axis(bmp, client, zoom, view, center):
    zd100 = D(zoom) / D(100)
    d100z = D(100) / D(zoom)
    zoomed = rnd(LD(bmp) * LD(zd100))
    visible = min(zoomed, client)
    offset = (client - visible) // 2 if center and client > visible else 0
    w = trunc(LD(bmp) * LD(zd100))
    if w > client + 10:
        w = trunc((LD(bmp) + LD(0.5)) * LD(zd100))
    mx = max(w - client, 0) if w >= 1 else 0
    if w <= client:
        mx = 0
    view = max(min(view, mx), 0)

    def tables(drawn):
        n_s = zoomed + drawn + 1
        n_b = trunc(LD(n_s) * LD(d100z)) + 1
        bmax = max(bmp - 1, 0)
        s2b = [bmax] * (n_s + 1)
        b2s = [0] * (n_b + 1)
        if zoom > 100:
            for s in range(n_s - 1, -1, -1):
                b = trunc(LD(s) * LD(d100z))
                b2s[b] = s
                s2b[s] = min(b, bmax)
        else:
            for b in range(n_b - 1, -1, -1):
                s = trunc(LD(b) * LD(zd100))
                b2s[b] = s
                if s < len(s2b):
                    s2b[s] = min(b, bmax)
        return s2b, b2s

    # The origin snaps back to the first client pixel of its bitmap pixel.
    s2b, b2s = tables(client)
    q = view if view >= zoomed else b2s[s2b[view]]
    r = D(bmp) / D(zoomed)
    first = rnd(LD(q) * LD(r))
    count = rnd(LD(visible) * LD(r))
    if first + count > bmp:
        count -= 1
    if zoom <= 100:
        drawn = visible
    else:
        drawn = trunc(LD(count) * LD(zd100))
        if drawn < visible and first + count + 1 <= bmp:
            count += 1
            drawn = trunc(LD(count) * LD(zd100))
    s2b, b2s = tables(drawn)
    screen_count = drawn
    bitmap_count = trunc(LD(drawn) * LD(d100z))
    bmp_base = s2b[q] - first

    def scr2bmp(x):
        d = x - offset
        if 0 <= d < screen_count:
            return s2b[q + d]
        return trunc(LD(d) * LD(d100z) + LD(first))

    def bmp2scr(x):
        d = x - first
        if 0 <= d < bitmap_count and 0 <= bmp_base + d < len(b2s):
            return b2s[bmp_base + d] + offset
        return rnd(LD(x + rnd(LD(-q) * LD(d100z))) * LD(zd100) + LD(offset))

    scale = (D(client) + D(mx)) / D(65536)
    page = trunc(LD(client) / LD(scale)) if mx >= 1 else 0
    thumb = trunc(LD(view) / LD(scale)) if mx >= 1 else 0
    head = [bmp, client, repr(float(zoom)), view, int(center), zoomed, offset, mx, first, count, drawn, page, thumb]
    s = [scr2bmp(x) for x in range(-2, client + 2)]
    b = [bmp2scr(x) for x in range(max(first - 2, 0), first + count + 2)]
    return head, s, b


CASES = [
    (451, 320, 100, 131, True),
    (451, 320, 150, 100, True),
    (451, 320, 200, 291, True),
    (1000, 200, 100, 400, True),
    (100, 300, 100, 0, True),
    (37, 64, 300, 5, False),
    (37, 64, 300, 7, True),
    (37, 64, 400, 9, False),
    (1000, 64, 50, 100, True),
    (1000, 64, 33, 77, True),
    (997, 61, 33.3, 13, True),
    (500, 60, 150, 67, True),
    (45, 60, 100 / 3, 0, True),
    (203, 50, 123.4, 71, False),
    (80, 50, 399.9, 33, True),
    (12, 50, 700, 17, True),
]

for case in CASES:
    head, s, b = axis(*case)
    print(" ".join(str(v) for v in head))
    print(" ".join(str(v) for v in s))
    print(" ".join(str(v) for v in b))
