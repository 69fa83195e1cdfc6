#!/usr/bin/env python3
"""Reference of the frequency-domain image with numpy.fft.fft2(norm="ortho") as the transform,
the padding, normalisation, sign pattern, spectrum and rebuilding written from their descriptions.
Run: /usr/bin/python3 fft_reference.py (writes tests/data/proc/fft-*.ppm)."""
import numpy as np

from refimage import GO, grey, write
from PIL import Image

CROP = ("video-001.png", 20, 20, 100, 60)


def planes(img, kind):
    h, w, _ = img.shape
    n = 1
    while n < max(w, h):
        n *= 2
    xo, yo = (n - w) // 2, (n - h) // 2
    square = np.zeros((n, n, 3), dtype=np.int64)
    square[yo:yo + h, xo:xo + w] = img
    sources = [square[:, :, c] for c in range(3)] if kind == "rgb" else \
        [grey(square[:, :, 0], square[:, :, 1], square[:, :, 2])]
    signs = np.fromfunction(lambda y, x: np.where((x + y) % 2 == 1, -1.0, 1.0), (n, n))
    out = []
    for s in sources:
        v = s.astype(float)
        v /= max(1.0, v.max())
        out.append(np.fft.fft2(v * signs, norm="ortho"))
    return out, n, xo, yo


def spectrum(fts, n):
    res = []
    for f in fts:
        m = np.abs(f)
        with np.errstate(divide="ignore"):
            d = np.where(m > 0, np.log(np.sqrt(m)), 0.0)
        mn, mx = min(1e20, d.min()), max(-1e20, d.max())
        if -1e-5 < mn < 1e-5:
            mn = 0.0
        scale = 0 if mx - mn == 0 else 255 / (mx - mn)
        res.append(np.clip(np.trunc((d - mn) * scale), 0, 255))
    return np.stack(res, axis=2) if len(res) == 3 else np.stack([res[0]] * 3, axis=2)


def rebuild(fts, w, h, xo, yo):
    res = []
    for f in fts:
        v = np.abs(np.fft.ifft2(f, norm="ortho").real)
        mn, mx = v.min(), v.max()
        v = np.zeros_like(v) if mx == mn else (v - mn) * 255 / (mx - mn)
        res.append(np.clip(np.trunc(v[yo:yo + h, xo:xo + w]), 0, 255))
    return np.stack(res, axis=2) if len(res) == 3 else np.stack([res[0]] * 3, axis=2)


def main():
    name, x, y, w, h = CROP
    img = np.array(Image.open(GO + name).convert("RGB").crop((x, y, x + w, y + h)), dtype=np.int64)
    for kind in ("rgb", "grey"):
        fts, n, xo, yo = planes(img, kind)
        print(kind, "N =", n, "offsets", xo, yo)
        write("fft-spectrum-%s.ppm" % kind, spectrum(fts, n))
        write("fft-rebuilt-%s.ppm" % kind, rebuild(fts, w, h, xo, yo))


if __name__ == "__main__":
    main()
