#!/usr/bin/env python3
"""Independent reference of bump mapping, lens, wave, merge and the difference measures, written
from their descriptions. Run: /usr/bin/python3 effects_reference.py (writes tests/data/proc/effects-*.ppm
and prints the measures used in effects_test.cpp)."""
import numpy as np

from refimage import COLOUR_CROP, go_crop, grey, rose, write

LD = np.longdouble
PI = np.arccos(LD(-1))


def bump(img, lx, ly, lw, lh, keep, colour):
    h, w, _ = img.shape
    light = np.zeros((256, 256), dtype=np.int64)
    for i in range(256):
        for j in range(256):
            nx, ny = (LD(i) - 128) / 128, (LD(j) - 128) / 128
            v = max(1 - np.sqrt(nx * nx + ny * ny), 0)
            light[i, j] = min(int(np.trunc(v * 256)), 255)
    g = grey(img[:, :, 0], img[:, :, 1], img[:, :, 2])
    at = lambda x, y: int(g[min(max(y, 0), h - 1), min(max(x, 0), w - 1)])
    out = img.copy()
    for y in range(h):
        for x in range(w):
            dx = min(max(at(x + 1, y) - at(x - 1, y) + 128 - int(np.trunc(LD(x - lx) / lw * 128)), 0), 255)
            dy = min(max(at(x, y + 1) - at(x, y - 1) + 128 - int(np.trunc(LD(y - ly) / lh * 128)), 0), 255)
            l = light[dx, dy]
            for c in range(3):
                v = LD(int(img[y, x, c])) * keep / 100 + LD(int(l)) * (100 - keep) / 100 * colour[c] / 255
                out[y, x, c] = min(max(int(np.rint(v)), 0), 255)
    return out


def lens(img, x, y, width, height, refraction):
    h, w, _ = img.shape
    refraction = max(LD(refraction), LD(1))
    cx = lambda v: min(max(v, 0), w - 1)
    cy = lambda v: min(max(v, 0), h - 1)
    left, top = cx(x - width // 2), cy(y - height // 2)
    right, bottom = cx(x + width // 2), cy(y + height // 2)
    bw, bh = right - left, bottom - top
    a, b = LD(bw) / 2, LD(bh) / 2
    out = img.copy()

    def bend(d, z):
        theta = np.arccos(d / np.sqrt(d * d + z * z))
        alpha = PI / 2 - theta
        beta = np.arcsin(np.sin(alpha) / refraction)
        return d - np.tan(alpha - beta) * z

    for i in range(bw):
        dx = i - a + LD(0.5)
        for j in range(bh):
            dy = b - j - LD(0.5)
            sx, sy = left + i, top + j
            if dy * dy < b * b - b * b * dx * dx / (a * a):
                z = np.sqrt((1 - dx * dx / (a * a) - dy * dy / (b * b)) * min(a, b) ** 2)
                sx = cx(int(np.trunc(bend(dx, z) + a)) + left)
                sy = cy(int(np.trunc(-bend(dy, z) + b)) + top)
            out[top + j, left + i] = img[sy, sx]
    return out


def wave(img, amplitude, wavelength, phase, reflective):
    h, w, _ = img.shape
    phase = LD(phase) * PI / 180
    cx, cy, hw, hh = LD(w - 1) / 2, LD(h - 1) / 2, LD(w) / 2, LD(h) / 2
    sx, sy = (hh / hw, LD(1)) if hw < hh else ((LD(1), hw / hh) if hw > hh else (LD(1), LD(1)))
    out = img.copy()
    for y in range(h):
        for x in range(w):
            dx, dy = (x - cx) * sx, (y - cy) * sy
            d = np.sqrt(dx * dx + dy * dy)
            s = np.sin(d / (2 * LD(wavelength)) * 2 * PI + phase)
            if reflective:
                a = amplitude * abs(s)
                nx, ny = a * dx / sx + cx, a * dy / sy + cy
            else:
                a = amplitude * s
                nx, ny = (a + dx) / sx + cx, (a + dy) / sy + cy
            ix = min(max(int(np.trunc(nx)), 0), w - 2)
            iy = min(max(int(np.trunc(ny)), 0), h - 2)
            fx, fy = nx - np.trunc(nx), ny - np.trunc(ny)
            fx, fy = fx + 1 if fx < 0 else fx, fy + 1 if fy < 0 else fy
            p = lambda i, j, c: LD(int(img[j, i, c]))
            for c in range(3):
                v = (1 - fy) * ((1 - fx) * p(ix, iy, c) + fx * p(ix + 1, iy, c)) + \
                    fy * ((1 - fx) * p(ix, iy + 1, c) + fx * p(ix + 1, iy + 1, c))
                out[y, x, c] = min(max(int(np.trunc(v)), 0), 255)
    return out


def stretch(img, w, h):
    sh, sw, _ = img.shape
    xs = [min(int(np.trunc(x * (LD(sw) / w))), sw - 1) for x in range(w)]
    ys = [min(int(np.trunc(y * (LD(sh) / h))), sh - 1) for y in range(h)]
    return img[ys][:, xs]


def merge(img, other, percent):
    o = stretch(other, img.shape[1], img.shape[0])
    out = img.copy()
    for idx in np.ndindex(img.shape):
        v = LD(int(img[idx])) * percent / 100 + LD(int(o[idx])) * (100 - percent) / 100
        out[idx] = min(max(int(np.rint(v)), 0), 255)
    return out


def measures(img, other):
    res = []
    for c in (2, 1, 0):  # blue, green, red
        d = other[:, :, c].astype(np.int64) - img[:, :, c]
        n = d.size
        mse = (d * d).sum() / n
        psnr = 0 if mse == 0 else 20 * np.log10(255 / np.sqrt(mse))
        res.append((psnr, mse, np.sqrt(mse), abs(d).max(), abs(d).sum() / n))
    return [(min(r[k] for r in res), max(r[k] for r in res)) for k in range(5)]


def main():
    colour = go_crop(COLOUR_CROP)
    write("effects-bump.ppm", bump(colour, 20, 12, 30, 20, 40, (255, 200, 100)))
    write("effects-lens.ppm", lens(colour, 24, 16, 30, 20, 1.8))
    write("effects-wave.ppm", wave(colour, 3, 10, 45, False))
    write("effects-wave-reflective.ppm", wave(colour, 2, 8, 0, True))
    write("effects-merge.ppm", merge(colour, rose(), 30))
    shifted = colour.copy()
    shifted[:, :, 0] = np.minimum(shifted[:, :, 0] + 3, 255)
    shifted[5, 7, 2] = 200
    print("measures (psnr, mse, rmse, peak, mean) min/max:", measures(colour, shifted))


if __name__ == "__main__":
    main()
