#!/usr/bin/python3
"""The objects a drawing import must give, from ezdxf's reading of the drawing.

ezdxf reads the file (its recover mode when the structure is damaged); the lines, circles and
arcs of the ENTITIES section (model space and the active paper space) are mapped to a picture of
W x H pixels with 80-bit arithmetic: the extents ($EXTMIN, $EXTMAX) give the scale s and the
vertical offset yo unless they are missing, not finite, of magnitude 1E+18 or more, reversed or
empty; then s = 1, yo = 0 and the origin is (0, 0). A file that ezdxf cannot read, or whose numbers are not written with '.', is "false".

  dxf_reference.py objects W H FILE        one line per object, sorted
  dxf_reference.py digests W H FILE...     per file: name, "ok" or "false", count, CRC of the lines
"""
import re
import struct
import sys
import zlib

import numpy as np
import ezdxf
from ezdxf import recover

LD = np.longdouble
PI = LD('3.14159265358979323846264338327950288')
INT_MIN, INT_MAX = -2**31, 2**31 - 1


def trunc(v):
    if v != v:
        return 0
    if v >= LD(INT_MAX):
        return INT_MAX
    if v <= LD(INT_MIN):
        return INT_MIN
    return int(np.trunc(v))


def usable(*values):
    return all(np.isfinite(v) and abs(v) < 1e18 for v in values)


def read(path):
    try:
        return ezdxf.readfile(path)
    except ezdxf.DXFStructureError:
        doc, _ = recover.readfile(path)
        return doc


NUMBER = re.compile(r'^[+-]?(\d+(\.\d*)?|\.\d+)([eE][+-]?\d+)?$')


def strict_numbers(path):
    """Every coordinate, radius and angle value is a number with '.' (a comma is an error)."""
    with open(path, 'rb') as f:
        lines = f.read().split(b'\n')
    for i in range(0, len(lines) - 1, 2):
        try:
            code = int(lines[i].strip())
        except ValueError:
            continue
        if 10 <= code <= 59 and not NUMBER.match(lines[i + 1].strip().decode('latin-1')):
            return False
    return True


def objects(path, W, H):
    try:
        if not strict_numbers(path):
            return None
        doc = read(path)
    except Exception:
        return None
    s, yo, min_x, min_y = LD(1), 0, 0.0, 0.0
    head = doc.header
    if '$EXTMIN' in head:
        v = head['$EXTMIN']
        if usable(v[0], v[1]):
            min_x, min_y = float(v[0]), float(v[1])
    if '$EXTMAX' in head:
        lo = head['$EXTMIN'] if '$EXTMIN' in head else (0.0, 0.0)
        hi = head['$EXTMAX']
        if (usable(lo[0], lo[1], hi[0], hi[1]) and hi[0] >= min_x and hi[1] >= min_y and
                not (hi[0] == min_x and hi[1] == min_y)):
            s = min(LD(H) / (LD(hi[1]) - LD(min_y) + 1), LD(W) / (LD(hi[0]) - LD(min_x) + 1))
            yo = H - trunc((LD(hi[1]) - LD(min_y)) * s)
        else:
            s, yo, min_x, min_y = LD(1), 0, 0.0, 0.0

    def X(x):
        return trunc((LD(x) - LD(min_x)) * s)

    def Y(y):
        return max(INT_MIN, min(INT_MAX, H - trunc((LD(y) - LD(min_y)) * s) - yo))

    entities = list(doc.modelspace())
    paper = doc.layouts.active_layout()
    entities += list(paper)
    out = []
    for e in entities:
        kind = e.dxftype()
        if kind == 'LINE':
            a, b = e.dxf.start, e.dxf.end
            out.append('1 %d %d %d %d' % (X(a[0]), Y(a[1]), X(b[0]), Y(b[1])))
        elif kind in ('CIRCLE', 'ARC'):
            c, r = e.dxf.center, e.dxf.radius
            xs = (X(c[0] - r), X(c[0] + r))
            ys = (Y(c[1] - r), Y(c[1] + r))
            rect = '%d %d %d %d' % (min(xs), min(ys), max(xs), max(ys))
            if kind == 'CIRCLE':
                out.append('3 ' + rect)
            else:
                start = float(2 * PI - PI * LD(e.dxf.start_angle) / 180)
                end = float(2 * PI - PI * LD(e.dxf.end_angle) / 180)
                out.append('4 %s %s %s' % (rect, struct.pack('<d', start).hex(), struct.pack('<d', end).hex()))
    return sorted(out)


def main(argv):
    if len(argv) >= 4 and argv[0] == 'objects':
        result = objects(argv[3], int(argv[1]), int(argv[2]))
        sys.stdout.write('false\n' if result is None else ''.join(line + '\n' for line in result))
    elif len(argv) >= 3 and argv[0] == 'digests':
        W, H = int(argv[1]), int(argv[2])
        for path in argv[3:]:
            result = objects(path, W, H)
            if result is None:
                print('%s false 0 0' % path)
            else:
                text = ''.join(line + '\n' for line in result).encode()
                print('%s ok %d %08x' % (path, len(result), zlib.crc32(text) & 0xffffffff))
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
