#!/usr/bin/env python3
"""Independent reference of the resamplers, written from their descriptions, one channel at a time.

Images are lists of rows of integer levels. The scales of the cases printed below are exact in
binary, so plain double arithmetic gives the same results as the extended precision of the
library; the area-coverage resampler is worked out in exact fractions, as the library's whole-number
weights give the truncated exact value. Run: python3 resample_reference.py (prints the tables
pasted into resample_test.cpp).
"""
import math
from fractions import Fraction


def trunc(v):
    return int(math.trunc(v))


def clamp(v, lo=0, hi=255):
    return max(lo, min(hi, v))


# ---- Kernel resampler -----------------------------------------------------------------------

def sinc(u):
    if u == 0:
        return 1.0
    a = math.pi * u
    return math.sin(a) / a


KERNELS = {
    'triangle': (lambda x: 1 - abs(x) if abs(x) < 1 else 0.0, 1.0),
    'hermite': (lambda x: (2 * abs(x) - 3) * abs(x) ** 2 + 1 if abs(x) < 1 else 0.0, 1.0),
    'bell': (lambda x: 0.75 - x * x if abs(x) < 0.5 else (0.5 * (abs(x) - 1.5) ** 2 if abs(x) < 1.5 else 0.0), 1.5),
    'bspline': (lambda x: (0.5 * abs(x) ** 3 - x * x + 2 / 3) if abs(x) < 1 else
                ((2 - abs(x)) ** 3 / 6 if abs(x) < 2 else 0.0), 2.0),
    'lanczos3': (lambda x: sinc(abs(x)) * sinc(abs(x) / 3) if abs(x) < 3 else 0.0, 3.0),
    'mitchell': (lambda x: (7 * abs(x) ** 3 - 12 * x * x + 16 / 3) / 6 if abs(x) < 1 else
                 ((-7 / 3 * abs(x) ** 3 + 12 * x * x - 20 * abs(x) + 32 / 3) / 6 if abs(x) < 2 else 0.0), 2.0),
    'nearest': (lambda x: 1.0 if -0.5 < x <= 0.5 else 0.0, 1.0),
    'linear': (lambda x: 1 + x if -1 <= x < 0 else (1 - x if 0 <= x < 1 else 0.0), 1.0),
}


def contributors(n_src, n_dst, f, support):
    if n_dst != 1 and n_src != 1:
        scale = (n_dst - 1) / (n_src - 1)
    else:
        scale = n_dst / n_src
    lists = []
    for i in range(n_dst):
        center = i / scale
        recs = []
        if scale >= 1:
            w = support
            for j in range(math.floor(center - w), math.ceil(center + w) + 1):
                recs.append((j, round(f(center - j) * 256)))
        else:
            w = support / scale
            fscale = 1 / scale
            for j in range(math.floor(center - w), math.ceil(center + w) + 1):
                recs.append((j, round(f((center - j) / fscale) * 256 / fscale)))
        kept = []
        for j, weight in recs:
            if weight == 0:
                continue
            if j < 0:
                j = -j
            elif j >= n_src:
                j = 2 * n_src - j - 1
            j = clamp(j, 0, n_src - 1)
            kept.append((j, weight))
        lists.append(kept)
    return lists


def apply(lists, line):
    out = []
    for recs in lists:
        s = sum(line[j] * w for j, w in recs)
        total = sum(w for _, w in recs)
        if total != 0:
            out.append(clamp(trunc(s / total)))  # integer division toward zero
        else:
            out.append(clamp(s // 256))
    return out


def kernel_resample(img, dw, dh, name):
    f, support = KERNELS[name]
    sh, sw = len(img), len(img[0])
    if sw < 2 and sh < 2:
        return None
    hl = contributors(sw, dw, f, support)
    work = [apply(hl, row) for row in img]
    vl = contributors(sh, dh, f, support)
    cols = [apply(vl, [work[k][x] for k in range(sh)]) for x in range(dw)]
    return [[cols[x][y] for x in range(dw)] for y in range(dh)]


# ---- Area-coverage resampler ----------------------------------------------------------------

def walk(n_src, n_dst, scale):
    """Steps (width, fraction, source index, source_ends) of the boundary walk of a shrunk axis."""
    steps = []
    s, pos, boundary, ended = 0, Fraction(0), Fraction(0), 0
    while ended < n_dst:
        if s + 1 + Fraction(1, 10000) >= pos + scale or s >= n_src - 1:
            pos = pos + scale
            steps.append((pos - boundary, pos - s, s, False))
            boundary = pos
            ended += 1
        else:
            steps.append((s + 1 - boundary, 1, s, True))
            boundary = s + 1
            s += 1
    return steps


def centre(i, n_src, n_dst):
    """Where destination pixel i of an enlarged axis samples the source: its centre, held between
    the first and last source centres."""
    return clamp(Fraction((2 * i + 1) * n_src - n_dst, 2 * n_dst), 0, n_src - 1)


def centres(n_src, n_dst):
    """One step of width 1 per destination pixel of an enlarged axis, sampled at its centre."""
    steps = []
    for i in range(n_dst):
        c = centre(i, n_src, n_dst)
        s = min(trunc(c), n_src - 1)
        steps.append((1, c - s, s, False))
    return steps


def k1(u):
    a = abs(u)
    return a ** 3 - 2 * a * a + 1


def k2(u):
    a = abs(u)
    return -a ** 3 + 5 * a * a - 8 * a + 4


def cubic(a, b, c, d, t):
    v = a * k2(t + 1) + b * k1(t) + c * k1(t - 1) + d * k2(t - 2)
    return min(max(v, 0), 255)


def area_resample(img, dw, dh, mode):
    sh, sw = len(img), len(img[0])
    sx, sy = Fraction(sw, dw), Fraction(sh, dh)
    ex, ey = sx < 1, sy < 1

    def p(x, y):
        return img[clamp(y, 0, sh - 1)][clamp(x, 0, sw - 1)]

    def sample(x, y, fx, fy):
        if mode == 0:
            if ex and ey:
                return (1 - fy) * ((1 - fx) * p(x, y) + fx * p(x + 1, y)) + fy * ((1 - fx) * p(x, y + 1) + fx * p(x + 1, y + 1))
            if ex:
                return (1 - fx) * p(x, y) + fx * p(x + 1, y)
            if ey:
                return (1 - fy) * p(x, y) + fy * p(x, y + 1)
            return p(x, y)
        if ex and ey:
            rows = [trunc(cubic(p(x - 1, r), p(x, r), p(x + 1, r), p(x + 2, r), fx)) for r in range(y - 1, y + 3)]
            return cubic(rows[0], rows[1], rows[2], rows[3], fy)
        if ex:
            return cubic(p(x - 1, y), p(x, y), p(x + 1, y), p(x + 2, y), fx)
        if ey:
            return cubic(p(x, y - 1), p(x, y), p(x, y + 1), p(x, y + 2), fy)
        return p(x, y)

    cols = centres(sw, dw) if ex else walk(sw, dw, sx)
    rows = centres(sh, dh) if ey else walk(sh, dh, sy)
    norm = 1 / ((1 if ex else sx) * (1 if ey else sy))
    out = []
    acc = [0] * dw
    for height, fy, y, src_row_ends in rows:
        d = 0
        for width, fx, x, src_col_ends in cols:
            acc[d] += sample(x, y, fx, fy) * (width * height)
            if not src_col_ends:
                d += 1
        if not src_row_ends:
            out.append([clamp(trunc(a * norm)) for a in acc])
            acc = [0] * dw
            if len(out) == dh:
                break
    return out


# ---- Fast linear resampler ------------------------------------------------------------------

def linear_resample(img, dw, dh, one_bit=False):
    sh, sw = len(img), len(img[0])
    xs, ys = dw / sw, dh / sh
    def position(i, n_src, n_dst, scale):
        return centre(i, n_src, n_dst) if scale > 1 else i / scale

    ix, frac, ixend = [], [], []
    for x in range(dw):
        pos = position(x, sw, dw, xs)
        ix.append(trunc(pos))
        frac.append(trunc((pos - trunc(pos)) * 131072))
        ixend.append(trunc(min(x + 1, dw - 1) / xs + 1e-10))
    work = []
    for row in img:
        line = []
        for x in range(dw):
            if one_bit or xs > 1:
                a, b = row[ix[x]], row[min(ix[x] + 1, sw - 1)]
                line.append(a + math.floor((b - a) * frac[x] / 131072))
            else:
                vals = row[ix[x]:ixend[x] + 1]
                line.append(sum(vals) // len(vals))
        work.append(line)
    out = []
    for y in range(dh):
        if one_bit or ys > 1:
            pos = position(y, sh, dh, ys)
            i = trunc(pos)
            f = trunc((pos - i) * 131072)
            a, b = work[i], work[i + 1 if i + 1 < sh else i]
            out.append([a[x] + math.floor((b[x] - a[x]) * f / 131072) for x in range(dw)])
        else:
            r0, r1 = trunc(y / ys), trunc(min(y + 1, dh - 1) / ys)
            out.append([sum(work[r][x] for r in range(r0, r1 + 1)) // (r1 - r0 + 1) for x in range(dw)])
    return out


# ---- 1-bit box reducer ----------------------------------------------------------------------

def sub_resample_1bit(bits, x1, y1, x2, y2, dw, dh):
    h, w = len(bits), len(bits[0])
    sx, sy = (x2 - x1 + 1) / dw, (y2 - y1 + 1) / dh
    out = []
    for r in range(dh):
        top = clamp(trunc(r * sy - sy / 2), 0, h - 1)
        bottom = clamp(trunc(trunc(sy) / 2 + r * sy), 0, h - 1)
        rows = range(min(y1 + top, h - 1), min(y1 + bottom, h - 1) + 1)
        line = []
        for c in range(dw):
            left = clamp(trunc(c * sx - sx / 2) + x1, 0, w - 1)
            right = clamp(trunc(sx / 2 + c * sx) + x1, 0, w - 1)
            cells = [bits[y][x] for y in rows for x in range(left, right + 1)]
            line.append(255 * sum(cells) // len(cells))
        out.append(line)
    return out


def show(name, rows):
    print(f'// {name}')
    for row in rows:
        print('    {' + ', '.join(str(v) for v in row) + '},')


if __name__ == '__main__':
    ramp = [[0, 100]]
    show('bilinear [0,100] -> 4x1', area_resample(ramp, 4, 1, 0))
    grid = [[10, 50, 90, 130], [30, 70, 110, 150], [200, 180, 160, 140], [0, 255, 0, 255]]
    show('bilinear 4x4 -> 2x2', area_resample(grid, 2, 2, 0))
    show('bilinear 4x4 -> 3x3 (a broken scale, 4/3)', area_resample(grid, 3, 3, 0))
    small = [[10, 200], [90, 30]]
    show('bilinear 2x2 -> 4x4', area_resample(small, 4, 4, 0))
    show('bilinear 2x2 -> 8x2', area_resample(small, 8, 2, 0))
    show('bicubic 2x2 -> 4x4', area_resample(small, 4, 4, 1))
    small_g, small_r = [[200, 10], [30, 90]], [[0, 0], [255, 255]]
    show('bilinear colour 2x2 -> 8x4, green', area_resample(small_g, 8, 4, 0))
    show('bilinear colour 2x2 -> 8x4, red', area_resample(small_r, 8, 4, 0))
    show('bilinear colour 2x2 -> 8x4, blue', area_resample(small, 8, 4, 0))
    wide = [[0, 60, 120, 180, 240, 30], [255, 128, 64, 32, 16, 8]]
    show('bilinear 6x2 -> 4x1', area_resample(wide, 4, 1, 0))
    show('bicubic 6x2 -> 12x4', area_resample(wide, 12, 4, 1))
    five = [[0, 60, 120, 180, 240], [255, 128, 64, 32, 16], [30, 90, 150, 210, 250]]
    for name in ['triangle', 'hermite', 'bell', 'bspline', 'lanczos3', 'mitchell', 'nearest', 'linear']:
        show(f'kernel {name} 5x3 -> 3x2', kernel_resample(five, 3, 2, name))
        show(f'kernel {name} 5x3 -> 9x5', kernel_resample(five, 9, 5, name))
        show(f'kernel {name} 2x2 -> 5x3', kernel_resample(small, 5, 3, name))
    show('fast linear 6x2 -> 3x1', linear_resample(wide, 3, 1))
    show('fast linear 6x2 -> 9x5', linear_resample(wide, 9, 5))
    show('fast linear 4x4 -> 4x2', linear_resample(grid, 4, 2))
    bits = [[1, 0, 1, 1, 0, 0, 1, 0, 1, 1], [0, 0, 1, 1, 1, 0, 0, 0, 1, 0], [1, 1, 1, 0, 0, 1, 0, 1, 0, 0],
            [0, 1, 0, 1, 0, 1, 1, 1, 1, 1]]
    show('1-bit box 10x4 -> 4x2', sub_resample_1bit(bits, 0, 0, 9, 3, 4, 2))
    show('1-bit box rect (1,1)-(9,3) -> 3x2', sub_resample_1bit(bits, 1, 1, 9, 3, 3, 2))
    show('1-bit linear 10x4 -> 15x3', linear_resample([[b * 255 for b in r] for r in bits], 15, 3, True))
    show('1-bit kernel triangle 10x4 -> 5x2', kernel_resample([[b * 255 for b in r] for r in bits], 5, 2, 'triangle'))


# ---- Checksums of larger pictures -----------------------------------------------------------

def noise(width, height, seed):
    """The seeded noise over ramps of proc_test_util's Noise."""
    grid = []
    for y in range(height):
        row = []
        for x in range(width):
            seed = (seed * 1664525 + 1013904223) & 0xFFFFFFFF
            row.append((x * 255 // width + y * 97 // height + (seed >> 24) % 64) % 256)
        grid.append(row)
    return grid


def pixel_hash(channels):
    """FNV-1a over the blue, green and red bytes of every pixel, row by row from the top."""
    h = 14695981039346656037
    blue, green, red = channels
    for y in range(len(blue)):
        for x in range(len(blue[0])):
            for c in (blue, green, red):
                h = ((h ^ c[y][x]) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return h


def enlarged_hashes():
    """The area resampler's checksums of the 61 x 47 noise picture enlarged on one or both axes."""
    planes = [noise(61, 47, seed) for seed in (1, 2, 3)]
    for mode, name in ((0, 'bilinear'), (1, 'bicubic')):
        for w, h in ((130, 101), (130, 20), (25, 99)):
            print(f'// {name} 61x47 -> {w}x{h}: {pixel_hash([area_resample(p, w, h, mode) for p in planes])}')
