#!/usr/bin/env python3
"""An independent reader and writer of vector-layer blocks ("KVV"), for the tests.

It knows only the block's byte layout: header, picture store, and the zlib section of object
records whose fields depend on the version byte. It writes a sample layer of every object kind
at any version from 0x31 to 0x40 (BMP pictures up to 0x32, PNG after, separate alpha planes at
0x37-0x3C), corrupt blocks, and it reads blocks back into a text dump, one line per object, that
the C++ tests print the same way from a loaded layer.

  kvv_reference.py write VERSION OUT.kvv [--no-pictures] [--ordered]   block of the sample layer
  kvv_reference.py expect VERSION [--no-pictures]          dump of what loading it must give
  kvv_reference.py dump FILE [OFFSET]                      dump of a block
  kvv_reference.py hostile DIR                             corrupt blocks, one file each
"""
import struct
import sys
import zlib

# ---- byte helpers -------------------------------------------------------------------------

def i32(v):
    return struct.pack('<i', v)


def u8(v):
    return struct.pack('<B', v)


def f64(v):
    return struct.pack('<d', v)


def hexd(v):
    return struct.pack('<d', v).hex()


class Reader:
    def __init__(self, data, pos=0):
        self.data = data
        self.pos = pos

    def take(self, n):
        if n < 0 or self.pos + n > len(self.data):
            raise ValueError('block ends early')
        out = self.data[self.pos:self.pos + n]
        self.pos += n
        return out

    def i32(self):
        return struct.unpack('<i', self.take(4))[0]

    def u8(self):
        return self.take(1)[0]

    def f64(self):
        return struct.unpack('<d', self.take(8))[0]

    def string(self):
        n = self.i32()
        return self.take(n)

# ---- pictures --------------------------------------------------------------------------------

def picture_pixels(width, height, seed):
    """Rows top-down of blue, green, red bytes."""
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            row += bytes(((x * 7 + seed) & 255, (y * 11 + seed) & 255, ((x + y) * 5 + seed) & 255))
        rows.append(bytes(row))
    return rows


def picture_alpha(width, height, seed):
    return [bytes(((x * 13 + y * 3 + seed) & 255) for x in range(width)) for y in range(height)]


def png_chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)


def png_stream(width, height, rows, alpha=None):
    colour_type = 6 if alpha else 2
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            b, g, r = rows[y][3 * x:3 * x + 3]
            raw += bytes((r, g, b))
            if alpha:
                raw.append(alpha[y][x])
    return (b'\x89PNG\r\n\x1a\n' +
            png_chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, colour_type, 0, 0, 0)) +
            png_chunk(b'IDAT', zlib.compress(bytes(raw))) + png_chunk(b'IEND', b''))


def bmp_stream(width, height, rows):
    row_len = (width * 3 + 3) & ~3
    pixels = b''.join(rows[y] + bytes(row_len - width * 3) for y in reversed(range(height)))
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = b'BM' + struct.pack('<IHHI', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def picture_digest(width, height, rows, alpha):
    crc = zlib.crc32(b''.join(rows)) & 0xffffffff
    acrc = 'none' if alpha is None else '%08x' % (zlib.crc32(b''.join(alpha)) & 0xffffffff)
    return '%dx%d:%08x:%s' % (width, height, crc, acrc)

# ---- the sample layer ----------------------------------------------------------------------

KIND_NONE, LINE, BOX, ELLIPSE, ARC, BITMAP, TEXT, RULER, POLYLINE, ANGLE, MEMO, LINELABEL = range(12)


def logfont(height, escapement, weight, italic, face):
    name = face.encode() + bytes(32 - len(face))
    return struct.pack('<iiiiiBBBBBBBB', height, 0, escapement, escapement, weight, italic, 0, 0, 1, 0, 0, 4, 0) + name


def charinfo(refs, name, height, styles, colour, back, brush, align):
    record = i32(refs) + u8(len(name)) + name.encode() + bytes(255 - len(name))
    record += i32(height) + u8(styles) + bytes(3) + i32(colour) + i32(back) + u8(brush) + u8(align) + bytes(2)
    assert len(record) == 280
    return record


def base(kind, rect, **fields):
    obj = dict(kind=kind, rect=rect, shadow=(0, 3.0, 2, 2), name=b'', id=0, pen=(0, 0, 1), brush=(0xFFFFFF, 1),
               style=15, transp=255, hl=0)
    obj.update(fields)
    return obj


def sample_objects(version, pictures):
    objs = [
        base(LINE, (10, 20, 110, 60), shadow=(1, 4.5, 3, -2), name=b'arrow', id=7, pen=(0x0000FF, 0, 3),
             transp=200, shapes=(1, 2, 12, 24)),
        base(BOX, (200, 150, 100, 50), brush=(0x00FFFF, 0), hl=1, style=13),
        base(ELLIPSE, (5, 5, 45, 25), pen=(0x00FF00, 2, 1)),
        base(ARC, (60, 70, 120, 130), arc=(0.5, 4.0)),
        base(TEXT, (30, 200, 180, 230), name=b'caption', id=3, pen=(0x800000, 0, 1), align=2, autosize=1,
             text=b'Hello curve', font=logfont(-20, 150, 700, 1, 'Arial'),
             curve=[(0.0, 0.5), (0.5, 0.25), (1.0, 0.5)], charrot=-10),
        base(TEXT, (30, 240, 180, 260), text=b'no font', font=None, align=0, autosize=0, curve=[], charrot=-1),
        base(MEMO, (300, 10, 420, 90), pen=(0x202020, 0, 1), brush=(0xEEEEEE, 0), text=b'Hi\nthere',
             font=logfont(-14, 0, 400, 0, 'Arial'), formats=[0, 0, 1, 2, 2, 1, 1, 0],
             infos=[charinfo(3, 'Arial', -14, 0, 0x000000, 0xFFFFFF, 1, 0),
                    charinfo(3, 'Arial', -18, 1, 0x0000FF, 0xFFFFFF, 1, 2),
                    charinfo(2, 'Liberation Serif', -12, 6, 0x008000, 0x00FFFF, 0, 1)],
             locked=0, autosize=1, linespace=2, border=(0x808080, 2), align=1, fixed=0),
        base(LINELABEL, (400, 300, 300, 200), label=(0xCCFFCC, 0, 0), shapes=(0, 2, 10, 20), align=0, autosize=0,
             text=b'label', font=logfont(-12, 0, 400, 0, 'Arial'), curve=[], charrot=-1),
    ]
    if pictures:
        objs.insert(4, base(BITMAP, (0, 100, 63, 163), bitmap=0))
        objs.insert(5, base(BITMAP, (70, 100, 133, 163), bitmap=0, transp=128))
    if version >= 0x35:
        objs.append(base(RULER, (20, 300, 274, 300), pen=(0x000000, 0, 2), ruler=(4, 1)))
    if version >= 0x38:
        objs.append(base(POLYLINE, (500, 500, 520, 530), brush=(0xFF00FF, 0),
                         poly=([(0, 0), (10, 0), (10, 15), (0, 15)], (0, 0, 10, 15), 1)))
    if version >= 0x3A:
        objs.append(base(ANGLE, (90, 90, 110, 110), angle=[(80, 100), (100, 100), (100, 80)]))
    return objs


def sample_pictures(version):
    """Entry 0: a picture shared by two objects; entry 1: an empty entry (the template's)."""
    w, h = 7, 5
    rows = picture_pixels(w, h, 40)
    alpha = picture_alpha(w, h, 9) if version >= 0x37 else None
    return [(w, h, rows, alpha), None]

# ---- writing -------------------------------------------------------------------------------

def record(obj, version, handle):
    k = obj['kind']
    out = bytearray()
    if version >= 0x3C:
        out += i32(handle)
    out += b''.join(i32(v) for v in obj['rect'])
    out += u8(k)
    if version >= 0x3D:
        e, r, ox, oy = obj['shadow']
        out += u8(e) + f64(r) + i32(ox) + i32(oy)
    out += i32(len(obj['name'])) + obj['name']
    out += i32(obj['id'])
    out += i32(obj['pen'][0]) + u8(obj['pen'][1]) + i32(obj['pen'][2])
    out += i32(obj['brush'][0]) + u8(obj['brush'][1])
    out += u8(obj['style'])
    if version >= 0x3D:
        out += i32(obj['transp'])
    if version >= 0x40:
        out += u8(obj['hl'])
    if k == LINELABEL:
        out += i32(obj['label'][0]) + u8(obj['label'][1]) + u8(obj['label'][2])
    if k in (LINE, LINELABEL):
        b, e, w, h = obj['shapes']
        out += u8(b) + u8(e) + i32(w) + i32(h)
    if k == ARC:
        out += f64(obj['arc'][0]) + f64(obj['arc'][1])
    if k == BITMAP:
        out += i32(obj['bitmap'])
    if k in (TEXT, LINELABEL):
        if version >= 0x34:
            out += u8(obj['align'])
        if version >= 0x39:
            out += u8(obj['autosize'])
        out += i32(len(obj['text'])) + obj['text']
        out += u8(0) if obj['font'] is None else u8(1) + obj['font']
        if version >= 0x3F:
            out += i32(len(obj['curve']))
            if obj['curve']:
                out += b''.join(f64(x) + f64(y) for x, y in obj['curve']) + i32(obj['charrot'])
    if k == MEMO:
        out += i32(len(obj['text'])) + obj['text']
        out += u8(0) if obj['font'] is None else u8(1) + obj['font']
        out += b''.join(i32(v) for v in obj['formats'])
        out += i32(len(obj['infos'])) + b''.join(obj['infos'])
        out += u8(obj['locked']) + u8(obj['autosize']) + i32(obj['linespace'])
        out += i32(obj['border'][0]) + u8(obj['border'][1]) + u8(obj['align']) + i32(obj['fixed'])
    if k == RULER and version >= 0x35:
        out += u8(obj['ruler'][0]) + u8(obj['ruler'][1])
    if k == POLYLINE and version >= 0x38:
        points, bounds, closed = obj['poly']
        out += i32(len(points)) + b''.join(i32(x) + i32(y) for x, y in points) + b''.join(i32(v) for v in bounds)
        if version >= 0x3B:
            out += u8(closed)
    if k == ANGLE and version >= 0x3A:
        out += b''.join(i32(x) + i32(y) for x, y in obj['angle'])
    return bytes(out)


def block(version, scale, pictures, objects, records=None):
    out = bytearray(b'KVV' + u8(version) + i32(0))
    out += i32(int(scale)) if version == 0x31 else f64(scale)
    out += i32(len(pictures))
    for entry, refs in pictures:
        if entry is None:
            out += i32(0)
            continue
        w, h, rows, alpha = entry
        out += i32(refs)
        if version <= 0x32:
            out += bmp_stream(w, h, rows)
        elif version >= 0x3D:
            out += png_stream(w, h, rows, alpha)
        else:
            out += png_stream(w, h, rows)
            if 0x37 <= version <= 0x3C:
                plane_row = (w + 3) & ~3
                plane = b''.join(alpha[y] + bytes(plane_row - w) for y in reversed(range(h)))
                packed = zlib.compress(plane)
                out += i32(len(packed)) + packed
    if records is None:
        records = [record(o, version, i) for i, o in enumerate(objects)]
    out += zlib.compress(i32(len(records)) + b''.join(records))
    out[4:8] = i32(len(out))
    return bytes(out)


def sample_block(version, pictures=True, ordered=False):
    """ordered: rectangles of all but the line kinds in order, as a layer keeps them."""
    objs = sample_objects(version, pictures)
    if ordered:
        for o in objs:
            if o['kind'] not in (LINE, RULER, POLYLINE, LINELABEL):
                x1, y1, x2, y2 = o['rect']
                o['rect'] = (min(x1, x2), min(y1, y2), max(x1, x2), max(y1, y2))
    store = []
    if pictures:
        shared = sum(1 for o in objs if o['kind'] == BITMAP)
        store = [(entry, shared if entry else 0) for entry in sample_pictures(version)]
    return block(version, 3.0 if version == 0x31 else 2.5, store, objs)

# ---- reading -------------------------------------------------------------------------------

def read_picture(r, version):
    start = r.pos
    if version <= 0x32:
        if r.take(2) != b'BM':
            raise ValueError('no BMP')
        size = struct.unpack('<I', r.take(4))[0]
        r.pos = start
        data = r.take(size)
        offset = struct.unpack('<I', data[10:14])[0]
        _, w, h, _, bits = struct.unpack('<IiiHH', data[14:30])
        row_len = (w * 3 + 3) & ~3
        rows = [data[offset + (h - 1 - y) * row_len:offset + (h - 1 - y) * row_len + w * 3] for y in range(h)]
        return w, h, rows, None
    if r.take(8) != b'\x89PNG\r\n\x1a\n':
        raise ValueError('no PNG')
    idat = b''
    while True:
        n = struct.unpack('>I', r.take(4))[0]
        kind = r.take(4)
        data = r.take(n)
        r.take(4)
        if kind == b'IHDR':
            w, h, depth, colour_type = struct.unpack('>IIBB', data[:10])
        elif kind == b'IDAT':
            idat += data
        elif kind == b'IEND':
            break
    raw = zlib.decompress(idat)
    channels = 4 if colour_type == 6 else 3
    rows, alpha = [], ([] if channels == 4 else None)
    stride = w * channels + 1
    previous = bytes(w * channels)
    for y in range(h):
        line = bytearray(raw[y * stride + 1:(y + 1) * stride])
        kind = raw[y * stride]
        for i in range(len(line)):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            ul = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - ul
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - ul)
                pred = left if pa <= pb and pa <= pc else up if pb <= pc else ul
                line[i] = (line[i] + pred) & 255
        previous = bytes(line)
        rows.append(b''.join(bytes((line[x * channels + 2], line[x * channels + 1], line[x * channels]))
                             for x in range(w)))
        if alpha is not None:
            alpha.append(bytes(line[x * channels + 3] for x in range(w)))
    return w, h, rows, alpha


def parse_record(r, version, depth=0):
    if depth > 16:
        raise ValueError('nested too deep')
    o = {}
    if version >= 0x3C:
        o['handle'] = r.i32()
    o['rect'] = tuple(r.i32() for _ in range(4))
    k = o['kind'] = r.u8()
    o['shadow'] = (r.u8(), r.f64(), r.i32(), r.i32()) if version >= 0x3D else (0, 3.0, 2, 2)
    o['name'] = r.string()
    o['id'] = r.i32()
    o['pen'] = (r.i32(), r.u8(), r.i32())
    o['brush'] = (r.i32(), r.u8())
    o['style'] = r.u8()
    o['transp'] = r.i32() if version >= 0x3D else 255
    o['hl'] = r.u8() if version >= 0x40 else 0
    if k == LINELABEL:
        o['label'] = (r.i32(), r.u8(), r.u8())
    if k in (LINE, LINELABEL):
        o['shapes'] = (r.u8(), r.u8(), r.i32(), r.i32())
    if k == ARC:
        o['arc'] = (r.f64(), r.f64())
    if k == BITMAP:
        o['bitmap'] = r.i32()
    if k in (TEXT, LINELABEL):
        o['align'] = r.u8() if version >= 0x34 else 0
        o['autosize'] = r.u8() if version >= 0x39 else 0
        o['text'] = r.string()
        o['font'] = r.take(60) if r.u8() else None
        o['curve'], o['charrot'] = [], -1
        if version >= 0x3F:
            c = r.i32()
            if c > 0:
                o['curve'] = [(r.f64(), r.f64()) for _ in range(c)]
                o['charrot'] = r.i32()
    if k == MEMO:
        o['text'] = r.string()
        o['font'] = r.take(60) if r.u8() else None
        o['formats'] = [r.i32() for _ in range(len(o['text']))]
        o['infos'] = [r.take(280) for _ in range(r.i32())]
        o['locked'], o['autosize'], o['linespace'] = r.u8(), r.u8(), r.i32()
        o['border'] = (r.i32(), r.u8())
        o['align'], o['fixed'] = r.u8(), r.i32()
    if k == RULER and version >= 0x35:
        o['ruler'] = (r.u8(), r.u8())
    if k == POLYLINE and version >= 0x38:
        points = [(r.i32(), r.i32()) for _ in range(r.i32())]
        bounds = tuple(r.i32() for _ in range(4))
        o['poly'] = (points, bounds, r.u8() if version >= 0x3B else 0)
    if k == ANGLE and version >= 0x3A:
        o['angle'] = [(r.i32(), r.i32()) for _ in range(3)]
    if k == KIND_NONE:
        nested = [parse_record(r, version, depth + 1) for _ in range(r.i32())]
        return nested
    return [o]


def parse_block(data, offset=0):
    r = Reader(data, offset)
    if r.take(3) != b'KVV':
        raise ValueError('no KVV block')
    version = r.u8()
    length = r.i32()
    scale = float(r.i32()) if version == 0x31 else r.f64()
    store = []
    for _ in range(r.i32()):
        refs = r.i32()
        if refs <= 0:
            store.append(None)
            continue
        w, h, rows, alpha = read_picture(r, version)
        if 0x37 <= version <= 0x3C:
            plane = zlib.decompress(r.take(r.i32()))
            plane_row = (w + 3) & ~3
            alpha = [plane[(h - 1 - y) * plane_row:(h - 1 - y) * plane_row + w] for y in range(h)]
        store.append((w, h, rows, alpha))
    section = zlib.decompress(data[r.pos:offset + length])
    z = Reader(section)
    objects = []
    for _ in range(z.i32()):
        objects += parse_record(z, version)
    return version, scale, store, objects

# ---- the dump ------------------------------------------------------------------------------

def dump(version, scale, store, objects):
    """What a layer holds after loading: one line for the scale, one per object."""
    lines = ['scale=%s' % hexd(scale)]
    for o in objects:
        k = o['kind']
        rect = list(o['rect'])
        if k not in (LINE, RULER, POLYLINE, LINELABEL):
            rect = [min(rect[0], rect[2]), min(rect[1], rect[3]), max(rect[0], rect[2]), max(rect[1], rect[3])]
        e, rad, ox, oy = o['shadow']
        fields = ['kind=%d' % k, 'rect=%d,%d,%d,%d' % tuple(rect),
                  'shadow=%d,%s,%d,%d' % (1 if e else 0, hexd(rad), ox, oy),
                  'name=%s' % o['name'].split(b'\0')[0].hex(), 'id=%d' % o['id'],
                  'pen=%d,%d,%d' % o['pen'], 'brush=%d,%d' % o['brush'], 'style=%d' % o['style'],
                  'transp=%d' % o['transp'], 'hl=%d' % (1 if o['hl'] else 0)]
        if k == LINELABEL:
            fields.append('label=%d,%d,%d' % o['label'])
        if k in (LINE, LINELABEL):
            fields.append('shapes=%d,%d,%d,%d' % o['shapes'])
        if k == ARC:
            fields.append('arc=%s,%s' % (hexd(o['arc'][0]), hexd(o['arc'][1])))
        if k == BITMAP:
            index = o['bitmap']
            entry = store[index] if 0 <= index < len(store) else None
            fields.append('picture=%s' % (picture_digest(*entry) if entry else 'none'))
        if k in (TEXT, LINELABEL, MEMO):
            fields.append('text=%s' % o['text'].split(b'\0')[0].hex())
            fields.append('font=%s' % ('none' if o['font'] is None else o['font'].hex()))
            fields.append('align=%d' % o['align'])
            fields.append('autosize=%d' % (1 if o['autosize'] else 0))
        if k in (TEXT, LINELABEL):
            curve = ';'.join('%s,%s' % (hexd(x), hexd(y)) for x, y in o['curve'])
            fields.append('curve=%s:%d' % (curve, o['charrot']))
        if k == MEMO:
            n = len(o['text'].split(b'\0')[0])
            infos = o['infos']
            formats = [f if 0 <= f < len(infos) else 0 for f in o['formats'][:n]]
            fields.append('formats=%s' % ','.join(str(f) for f in formats))
            fields.append('infos=%s' % ','.join(info.hex() for info in infos))
            fields.append('memo=%d,%d,%d,%d,%d' % (1 if o['locked'] else 0, o['linespace'], o['border'][0],
                                                   o['border'][1], o['fixed']))
        if k == RULER:
            fields.append('ruler=%d,%d' % o.get('ruler', (0, 0)))
        if k == POLYLINE:
            points, bounds, closed = o.get('poly', ([], (0, 0, 0, 0), 0))
            fields.append('poly=%s:%d,%d,%d,%d:%d' % (';'.join('%d,%d' % p for p in points), *bounds,
                                                       1 if closed else 0))
        if k == ANGLE:
            fields.append('angle=%s' % ';'.join('%d,%d' % p for p in o.get('angle', [(0, 0), (50, 0), (50, 50)])))
        lines.append(' '.join(fields))
    return '\n'.join(lines) + '\n'

# ---- corrupt blocks ------------------------------------------------------------------------

def hostile_blocks():
    good = sample_block(0x40, pictures=False)
    head = good[:20]

    def with_section(section, version=0x40):
        out = bytearray(head)
        out[3] = version
        out += zlib.compress(section)
        out[4:8] = i32(len(out))
        return bytes(out)

    line = record(base(LINE, (0, 0, 9, 9), shapes=(0, 0, 10, 20)), 0x40, 0)
    nested = i32(0) + i32(0) * 4 + u8(KIND_NONE) + u8(0) + f64(3.0) + i32(2) + i32(2) + i32(0) + i32(0) + \
        i32(0) + u8(0) + i32(1) + i32(0) + u8(1) + u8(15) + i32(255) + u8(0)
    blocks = {
        'negative-picture-count': head[:16] + i32(-1) + good[20:],
        'negative-object-count': with_section(i32(-1)),
        'object-count-past-section': with_section(i32(1000000) + line),
        'string-length-2gb': with_section(i32(1) + line[:38] + i32(0x7fffffff) + line[42:]),
        'nested-none-a-million-deep': with_section(i32(1) + (nested + i32(1)) * 1000000 + line),
        'truncated-section': good[:-5],
        'truncated-header': good[:10],
        'bad-magic': b'KVW' + good[3:],
        'version-too-new': good[:3] + u8(0x41) + good[4:],
        'corrupt-zlib': good[:24] + bytes(16) + good[40:],
        'length-past-end': good[:4] + i32(len(good) + 1000) + good[8:],
        'picture-count-past-block': head[:16] + i32(100000000) + good[20:],
        'memo-formats-past-section': with_section(i32(1) + record(base(MEMO, (0, 0, 9, 9), text=b'abc', font=None,
                                                                      formats=[0, 0, 0], infos=[],
                                                                      locked=1, autosize=0, linespace=0,
                                                                      border=(0, 0), align=0, fixed=0),
                                                                 0x40, 0)[:-30]),
        'curve-count-huge': with_section(i32(1) + record(base(TEXT, (0, 0, 9, 9), text=b'x', font=None, align=0,
                                                             autosize=0, curve=[], charrot=-1), 0x40, 0)[:-4] +
                                         i32(0x10000000)),
        'polyline-count-huge': with_section(i32(1) + record(base(POLYLINE, (0, 0, 9, 9), poly=([], (0, 0, 0, 0), 0)),
                                                            0x40, 0)[:-21] + i32(0x20000000)),
    }
    # An alpha plane that inflates to the wrong size.
    w, h, rows, alpha = sample_pictures(0x3A)[0]
    out = bytearray(b'KVV' + u8(0x3A) + i32(0) + f64(1.0) + i32(1) + i32(1) + png_stream(w, h, rows))
    packed = zlib.compress(bytes(3))
    out += i32(len(packed)) + packed + zlib.compress(i32(0))
    out[4:8] = i32(len(out))
    blocks['alpha-plane-too-short'] = bytes(out)
    out = bytearray(out)
    out[-len(zlib.compress(i32(0))) - len(packed) - 4:-len(zlib.compress(i32(0))) - len(packed)] = i32(0x7ffffff0)
    blocks['alpha-length-past-block'] = bytes(out)
    return blocks


def main(argv):
    if len(argv) >= 3 and argv[0] == 'write':
        version = int(argv[1], 0)
        with open(argv[2], 'wb') as f:
            f.write(sample_block(version, '--no-pictures' not in argv, '--ordered' in argv))
    elif len(argv) >= 2 and argv[0] == 'expect':
        version = int(argv[1], 0)
        data = sample_block(version, '--no-pictures' not in argv)
        sys.stdout.write(dump(*parse_block(data)))
    elif len(argv) >= 2 and argv[0] == 'dump':
        with open(argv[1], 'rb') as f:
            data = f.read()
        sys.stdout.write(dump(*parse_block(data, int(argv[2]) if len(argv) > 2 else 0)))
    elif len(argv) >= 2 and argv[0] == 'hostile':
        for name, data in hostile_blocks().items():
            with open('%s/%s.kvv' % (argv[1], name), 'wb') as f:
                f.write(data)
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
