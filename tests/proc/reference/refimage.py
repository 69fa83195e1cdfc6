"""Shared helpers of the processing references: crops of real pictures and the files the tests read.

The crops come from pictures that ship with golang-1.19-src and with ImageMagick; the references
write their expected results into tests/data/proc/ as binary PPM (colour) or PGM (grey) files.
"""
import os
import subprocess

import numpy as np
from PIL import Image

GO = "/usr/share/go-1.19/src/image/testdata/"
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "proc")

# The crops the tests cut from the real pictures: (file, x, y, width, height).
COLOUR_CROP = ("video-001.png", 40, 30, 48, 32)
GREY_CROP = ("video-005.gray.png", 40, 30, 48, 32)


def go_crop(crop, mode="RGB"):
    name, x, y, w, h = crop
    img = Image.open(GO + name).convert(mode)
    return np.array(img.crop((x, y, x + w, y + h)), dtype=np.int64)


def rose():
    """ImageMagick's built-in 70 x 46 rose as rows of (r, g, b)."""
    ppm = subprocess.run(["convert", "rose:", "-depth", "8", "ppm:-"], check=True, capture_output=True).stdout
    return np.array(Image.open(__import__("io").BytesIO(ppm)).convert("RGB"), dtype=np.int64)


def write(name, arr):
    """Writes rows of (r, g, b) as PPM, or rows of levels as PGM."""
    arr = np.asarray(arr)
    assert arr.min() >= 0 and arr.max() <= 255, name
    path = os.path.join(OUT, name)
    data = arr.astype(np.uint8)
    if data.ndim == 3:
        header = b"P6\n%d %d\n255\n" % (data.shape[1], data.shape[0])
    else:
        header = b"P5\n%d %d\n255\n" % (data.shape[1], data.shape[0])
    with open(path, "wb") as f:
        f.write(header + data.tobytes())


def tdiv(a, b):
    """Integer division truncating toward zero (works on numpy arrays)."""
    q = np.abs(a) // np.abs(b)
    return np.where((np.asarray(a) < 0) != (np.asarray(b) < 0), -q, q)


def grey(r, g, b):
    return (r * 21 + g * 71 + b * 8) // 100
