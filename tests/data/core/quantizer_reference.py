#!/usr/bin/env python3
"""Reference palettes for the quantizer tests, worked out independently of the C++ code.

NeuQuant, the median cut and the exact-colour pass are written here again from their
description, in plain Python, on the same generated images as tests/core/quantizer_test.cpp.
Run it to regenerate quantizer_expected.txt beside it:

    python3 tests/data/core/quantizer_reference.py > tests/data/core/quantizer_expected.txt
"""


def tdiv(a, b):
    """Integer division truncating toward zero, as the quantizers compute it."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


class Lcg:
    def __init__(self, seed):
        self.state = seed

    def byte(self):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return (self.state >> 16) & 0xFF


def noise_image(w, h, seed):
    rng = Lcg(seed)
    return w, h, [[(rng.byte(), rng.byte(), rng.byte()) for _ in range(w)] for _ in range(h)]


def gradient_image(w, h, seed):
    rng = Lcg(seed)
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            b = x * 255 // (w - 1)
            g = y * 255 // (h - 1)
            r = ((x + y) * 7 + (rng.byte() & 15)) & 255
            row.append((b, g, r))
        rows.append(row)
    return w, h, rows


def palette_image(w, h, seed, colours):
    rng = Lcg(seed)
    return w, h, [[colours[rng.byte() % len(colours)] for _ in range(w)] for _ in range(h)]


# --- NeuQuant -----------------------------------------------------------------------------------

def sample_factor(pixels):
    if pixels < 2000:
        return 1
    return max(1, min(30, round((pixels - 2000) * 13 / 148000 + 2)))


def neuquant(image, ncol):
    w, h, rows = image
    pixels = w * h
    lengthcount = pixels * 3
    samplefac = sample_factor(pixels)
    net = [[(i << 12) // ncol] * 3 + [i] for i in range(ncol)]  # b, g, r, index
    freq = [65536 // ncol] * ncol
    bias = [0] * ncol
    initrad = ncol >> 3
    radius = initrad * 64
    alpha = 1024
    alphadec = 30 + (samplefac - 1) // 3
    samplepixels = lengthcount // (3 * samplefac)
    delta = samplepixels // 100 or 1

    def radpowers(rad, alpha):
        return [alpha * (((rad * rad - j * j) * 256) // (rad * rad)) for j in range(rad)]

    rad = radius >> 6
    if rad <= 1:
        rad = 0
    radpower = radpowers(rad, alpha)
    step = next((p for p in (499, 491, 487) if lengthcount % p), 503)
    p = 0
    for i in range(1, samplepixels + 1):
        pb, pg, pr = rows[p // w][p % w]
        b, g, r = pb << 4, pg << 4, pr << 4
        bestd = bestbiasd = 1 << 62
        bestpos = bestbiaspos = -1
        for k, n in enumerate(net):
            dist = abs(n[0] - b) + abs(n[1] - g) + abs(n[2] - r)
            if dist < bestd:
                bestd, bestpos = dist, k
            biasdist = dist - (bias[k] >> 12)
            if biasdist < bestbiasd:
                bestbiasd, bestbiaspos = biasdist, k
            betafreq = freq[k] >> 10
            freq[k] -= betafreq
            bias[k] += betafreq << 10
        freq[bestpos] += 64
        bias[bestpos] -= 65536
        winner = bestbiaspos
        n = net[winner]
        for c, v in enumerate((b, g, r)):
            n[c] -= tdiv(alpha * (n[c] - v), 1024)
        if rad:
            lo = max(winner - rad, -1)
            hi = min(winner + rad, ncol)
            j, k, m = winner + 1, winner - 1, 1
            while j < hi or k > lo:
                a = radpower[m]
                m += 1
                for idx, ok in ((j, j < hi), (k, k > lo)):
                    if ok:
                        for c, v in enumerate((b, g, r)):
                            net[idx][c] -= tdiv(a * (net[idx][c] - v), 262144)
                j += 1
                k -= 1
        p = (p + step) % pixels
        if i % delta == 0:
            alpha -= alpha // alphadec
            radius -= radius // 30
            rad = radius >> 6
            if rad <= 1:
                rad = 0
            radpower = radpowers(rad, alpha)
    for i, n in enumerate(net):
        n[0] >>= 4
        n[1] >>= 4
        n[2] >>= 4
        n[3] = i
    palette = [(n[0], n[1], n[2]) for n in net]

    # Sort by green (selection sort, first smallest) and index the runs.
    order = [list(n) for n in net]
    netindex = [0] * 256
    previous, start = 0, 0
    for i in range(ncol):
        small = min(range(i, ncol), key=lambda j: (order[j][1], j))
        order[i], order[small] = order[small], order[i]
        value = order[i][1]
        if value != previous:
            netindex[previous] = (start + i) >> 1
            for j in range(previous + 1, value):
                netindex[j] = i
            previous, start = value, i
    netindex[previous] = (start + ncol - 1) >> 1
    for j in range(previous + 1, 256):
        netindex[j] = ncol - 1

    def search(colour):
        b, g, r = colour
        bestd, best = 1000, -1
        i = netindex[g]
        j = i - 1
        while i < ncol or j >= 0:
            for side in (0, 1):
                if side == 0 and i < ncol:
                    n = order[i]
                    dist = n[1] - g
                    if dist >= bestd:
                        i = ncol
                        continue
                    i += 1
                elif side == 1 and j >= 0:
                    n = order[j]
                    dist = g - n[1]
                    if dist >= bestd:
                        j = -1
                        continue
                    j -= 1
                else:
                    continue
                dist = abs(dist) + abs(n[0] - b)
                if dist < bestd:
                    dist += abs(n[2] - r)
                    if dist < bestd:
                        bestd, best = dist, n[3]
        return best

    return palette, search


# --- Median cut ---------------------------------------------------------------------------------

FAILED = 17523.6


class Box:
    def __init__(self):
        self.variance = 0.0
        self.mean = [0.0, 0.0, 0.0]  # r, g, b
        self.count = 0
        self.hist = [[0] * 32 for _ in range(3)]
        self.lower = [0, 0, 0]
        self.upper = [32, 32, 32]

    def copy(self):
        b = Box()
        b.variance, b.mean, b.count = self.variance, list(self.mean), self.count
        b.hist = [list(h) for h in self.hist]
        b.lower, b.upper = list(self.lower), list(self.upper)
        return b


def stats(box, pixels):
    box.variance = 0.0
    if box.count == 0:
        return
    for a in range(3):
        s1 = sum(i * box.hist[a][i] for i in range(box.lower[a], box.upper[a]))
        s2 = sum(i * i * box.hist[a][i] for i in range(box.lower[a], box.upper[a]))
        mean = s1 / box.count
        box.mean[a] = mean
        box.variance += s2 - mean * mean * box.count
    box.variance /= pixels


def median_cut(image, ncol):
    w, h, rows = image
    pixels = w * h
    cells = {}
    first = Box()
    for row in rows:
        for b, g, r in row:
            key = (r >> 3, g >> 3, b >> 3)
            cells[key] = cells.get(key, 0) + 1
            first.hist[0][r >> 3] += 1
            first.hist[1][g >> 3] += 1
            first.hist[2][b >> 3] += 1
    first.count = pixels
    stats(first, pixels)
    boxes = [first]

    def rebuild(box):
        box.hist = [[0] * 32 for _ in range(3)]
        for (r, g, b), n in cells.items():
            c = (r, g, b)
            if all(box.lower[a] <= c[a] < box.upper[a] for a in range(3)):
                for a in range(3):
                    box.hist[a][c[a]] += n

    def shrink(box):
        for a in range(3):
            used = [i for i in range(box.lower[a], box.upper[a]) if box.hist[a][i]]
            if used:
                box.lower[a], box.upper[a] = used[0], used[-1] + 1
            else:
                box.upper[a] = box.lower[a]

    def split_axis(box, a):
        lo, hi = box.lower[a], box.upper[a]
        if hi - lo <= 1:
            return None
        hist, mean = box.hist[a], box.mean[a]
        start = round((lo + mean) / 2)
        end = round((hi + mean) / 2)
        c = sum(hist[lo:start])
        s = 0.0
        best, split, lower_count = -1.0, -1, 0
        for i in range(start, end + 1):
            c += hist[i]
            if c == box.count:
                break
            s += i * hist[i] / box.count
            score = (mean - s) * (mean - s) * c / (box.count - c)
            if score > best:
                best, split, lower_count = score, i, c
        if split < 0 or lower_count in (0, box.count):
            return None
        low, up = box.copy(), box.copy()
        low.upper[a] = split + 1
        low.count = lower_count
        up.lower[a] = split + 1
        up.count = box.count - lower_count
        rebuild(low)
        up.hist = [[box.hist[k][i] - low.hist[k][i] for i in range(32)] for k in range(3)]
        shrink(low)
        shrink(up)
        stats(low, pixels)
        stats(up, pixels)
        return low, up

    while len(boxes) < ncol:
        widest, widest_var = 0, 0.0
        for i, box in enumerate(boxes):
            if box.variance > widest_var:
                widest, widest_var = i, box.variance
        if widest_var <= 0:
            break
        best_score, best_parts = FAILED, None
        for a in range(3):
            parts = split_axis(boxes[widest], a)
            score = parts[0].variance + parts[1].variance if parts else FAILED
            if score < best_score:
                best_score, best_parts = score, parts
        if best_parts is None:
            boxes[widest].variance = 0.0
        else:
            boxes[widest] = best_parts[0]
            boxes.append(best_parts[1])

    palette = [(round(b.mean[2]) << 3, round(b.mean[1]) << 3, round(b.mean[0]) << 3) for b in boxes]
    table = {}
    for i, box in enumerate(boxes):
        for r in range(box.lower[0], box.upper[0]):
            for g in range(box.lower[1], box.upper[1]):
                for b in range(box.lower[2], box.upper[2]):
                    table[(r, g, b)] = i

    def find(colour):
        b, g, r = colour
        return table.get((r >> 3, g >> 3, b >> 3), 0)

    return palette, find


# --- Cases --------------------------------------------------------------------------------------

def lookups(seed, count):
    rng = Lcg(seed)
    return [(rng.byte(), rng.byte(), rng.byte()) for _ in range(count)]


def emit(name, palette, index, probes):
    print("case", name)
    print("palette", len(palette))
    for b, g, r in palette:
        print(b, g, r)
    print("lookup", len(probes))
    for colour in probes:
        print(*colour, index(colour))


def main():
    few = [(10, 200, 30), (250, 250, 250), (0, 0, 0), (40, 80, 120), (200, 100, 0), (9, 201, 31)]
    cases = [
        ("neuquant-128", noise_image(40, 30, 1), 128, neuquant),
        ("median-cut-127", noise_image(40, 30, 1), 127, median_cut),
        ("median-cut-16", gradient_image(64, 48, 2), 16, median_cut),
        ("neuquant-256-factor-3", gradient_image(100, 100, 3), 256, neuquant),
        ("neuquant-256-factor-30", noise_image(600, 600, 4), 256, neuquant),
        ("median-cut-few-cells", palette_image(20, 10, 5, few), 16, median_cut),
        ("neuquant-300", noise_image(60, 40, 6), 300, neuquant),
        ("neuquant-1024", noise_image(48, 32, 7), 1024, neuquant),
    ]
    for name, image, ncol, method in cases:
        palette, index = method(image, ncol)
        emit(name, palette, index, lookups(99, 24) + [image[2][0][0], image[2][-1][-1]])


if __name__ == "__main__":
    main()
