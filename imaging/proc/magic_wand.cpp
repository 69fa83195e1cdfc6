// The magic wand: the pixels close to a seed pixel's colour, as a connected region grown by a
// scanline fill (its outline traced on a four-times grid, or its pixels set in a mask), or as
// every close pixel of the image.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"
#include "platform/core/exceptions.h"

#include <cstring>
#include <new>

namespace Korvaneproc {

using namespace detail;

namespace {

// The image's pixels as colours, whatever its format.
struct Colours
{
    int32_t width = 0, height = 0;
    std::vector<TRGB> pixels;
    const TRGB& At(int32_t x, int32_t y) const { return pixels[size_t(y) * width + x]; }
};

Colours ReadColours(TKVBitmap* bitmap)
{
    Colours c;
    c.width = bitmap->GetWidth();
    c.height = bitmap->GetHeight();
    c.pixels = Scratch<TRGB>(uint64_t(c.width) * c.height);
    if (bitmap->GetPixelFormat() == kv32f) {
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.width; ++x)
                c.pixels[size_t(y) * c.width + x] = bitmap->GetPixels(x, y);
        return c;
    }
    ColourReader reader(bitmap);
    if (reader.Valid())
        for (int32_t y = 0; y < c.height; ++y)
            reader.Read(y, &c.pixels[size_t(y) * c.width]);
    return c;
}

bool Close(const TRGB& p, const TRGB& seed, int32_t tolerance)
{
    return std::abs(p.r - seed.r) < tolerance && std::abs(p.g - seed.g) < tolerance &&
           std::abs(p.b - seed.b) < tolerance;
}

struct Segment
{
    int32_t y, left, right, dy;
};

// The connected region around the seed: a map of one bit per pixel and its bounding box.
struct Region
{
    int32_t width = 0, rowBytes = 0;
    std::vector<uint8_t> visited;
    int32_t xmin = 0x7fffffff, ymin = 0x7fffffff, xmax = 0, ymax = 0;

    bool Has(int32_t x, int32_t y) const { return _GetPixelbw(&visited[size_t(y) * rowBytes], x) != 0; }
    bool Empty() const { return xmin > xmax; }
};

Region Fill(const Colours& image, int32_t x, int32_t y, int32_t tolerance)
{
    Region region;
    region.width = image.width;
    region.rowBytes = image.width / 8 + 1;
    region.visited = Scratch<uint8_t>(uint64_t(region.rowBytes) * image.height);
    const TRGB seed = image.At(x, y);
    auto fillable = [&](int32_t px, int32_t py) {
        return px >= 0 && px < image.width && !region.Has(px, py) && Close(image.At(px, py), seed, tolerance);
    };
    auto mark = [&](int32_t px, int32_t py) {
        _SetPixelbw(&region.visited[size_t(py) * region.rowBytes], px, 1);
        region.xmin = std::min(region.xmin, px);
        region.xmax = std::max(region.xmax, px);
        region.ymin = std::min(region.ymin, py);
        region.ymax = std::max(region.ymax, py);
    };
    TKVRecordList stack(sizeof(Segment));
    auto push = [&](int32_t sy, int32_t l, int32_t r, int32_t dy) {
        const Segment s{sy, l, r, dy};
        stack.Add(&s);
    };
    push(y, x, x, 1);
    push(y + 1, x, x, -1);
    while (stack.Count() > 0) {
        Segment s;
        std::memcpy(&s, stack.GetItem(stack.Count() - 1), sizeof s);
        stack.SetCount(stack.Count() - 1);
        const int32_t row = s.y + s.dy;
        if (row < 0)
            continue;
        if (row >= image.height)
            continue; // nothing can be filled below the image
        const int32_t x2 = std::min(s.right, image.width - 1);
        int32_t px = s.left;
        while (fillable(px, row)) {
            mark(px, row);
            --px;
        }
        int32_t l;
        bool skip = px >= s.left;
        if (!skip) {
            l = px + 1;
            if (l < s.left)
                push(row, l, s.left - 1, -s.dy);
            px = s.left + 1;
        }
        for (;;) {
            if (!skip) {
                while (fillable(px, row)) {
                    mark(px, row);
                    ++px;
                }
                push(row, l, px - 1, s.dy);
                if (px > s.right + 1)
                    push(row, s.right + 1, px - 1, -s.dy);
            }
            skip = false;
            ++px;
            while (px <= x2 && !fillable(px, row))
                ++px;
            l = px;
            if (px > x2)
                break;
        }
    }
    return region;
}

// The chain-code walk of the outline: table entries in the order they are tried, with their codes.
constexpr int32_t StepX[8] = {1, 0, -1, 0, 1, -1, -1, 1};
constexpr int32_t StepY[8] = {0, -1, 0, 1, -1, -1, 1, 1};
constexpr int32_t StepCode[8] = {0, 2, 4, 6, 1, 3, 5, 7};
// Steps of the codes 0..7.
constexpr int32_t CodeX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int32_t CodeY[8] = {0, -1, -1, -1, 0, 1, 1, 1};

std::unique_ptr<TPoint[]> Outline(const Region& region, bool grow, int32_t& count)
{
    const int32_t bw = region.xmax - region.xmin + 1, bh = region.ymax - region.ymin + 1;
    std::vector<uint8_t> local = Scratch<uint8_t>(uint64_t(bw) * bh);
    for (int32_t j = 0; j < bh; ++j)
        for (int32_t i = 0; i < bw; ++i) {
            if (!region.Has(region.xmin + i, region.ymin + j))
                continue;
            if (!grow) {
                local[size_t(j) * bw + i] = 1;
                continue;
            }
            for (int32_t v = std::max(j - 1, 0); v <= std::min(j + 1, bh - 1); ++v)
                for (int32_t u = std::max(i - 1, 0); u <= std::min(i + 1, bw - 1); ++u)
                    local[size_t(v) * bw + u] = 1;
        }
    // The four-times grid with a margin of two cells.
    const int64_t gw = 4 * int64_t(bw) + 4, gh = 4 * int64_t(bh) + 4;
    std::vector<uint8_t> grid = Scratch<uint8_t>(uint64_t(gw) * gh);
    auto cell = [&](int64_t gx, int64_t gy) -> uint8_t& { return grid[size_t(gy * gw + gx)]; };
    for (int32_t j = 0; j < bh; ++j)
        for (int32_t i = 0; i < bw; ++i)
            if (local[size_t(j) * bw + i])
                for (int64_t gy = 4 * j + 2; gy <= 4 * j + 5; ++gy)
                    std::memset(&cell(4 * i + 2, gy), 1, 4);

    // The cells just outside the region: scanning lines of cells in four directions, the cell
    // before the first 1 of each run becomes 3.
    auto scan = [&](int64_t lines, int64_t length, bool alongRows, bool forward, int64_t start) {
        for (int64_t line = 0; line < lines; ++line) {
            bool run = false;
            for (int64_t k = forward ? start : length - 1; forward ? k < length : k >= 0;
                 k += forward ? 1 : -1) {
                const int64_t gx = alongRows ? k : line, gy = alongRows ? line : k;
                if (cell(gx, gy) != 1) {
                    run = false;
                    continue;
                }
                if (!run) {
                    const int64_t back = forward ? -1 : 1;
                    cell(alongRows ? gx + back : gx, alongRows ? gy : gy + back) = 3;
                }
                run = true;
            }
        }
    };
    scan(gh, gw, true, true, 1);
    scan(gh, gw, true, false, 0);
    scan(gw, gh, false, true, 0);
    scan(gw, gh, false, false, 0);

    int64_t cornerX = INT64_MAX, cornerY = INT64_MAX;
    for (int64_t gy = 0; gy < gh; ++gy)
        for (int64_t gx = 1; gx < gw; ++gx)
            if (cell(gx, gy) == 3)
                cornerX = std::min(cornerX, gx), cornerY = std::min(cornerY, gy);
    int64_t sx = -1, sy = -1, best = INT64_MAX;
    for (int64_t gy = 0; gy < gh; ++gy)
        for (int64_t gx = 1; gx < gw; ++gx)
            if (cell(gx, gy) == 3) {
                const int64_t d = (gx - cornerX) * (gx - cornerX) + (gy - cornerY) * (gy - cornerY);
                if (d < best)
                    best = d, sx = gx, sy = gy;
            }
    if (sx < 0)
        return nullptr;
    cell(sx, sy) = 2;

    TKVByteArray codes;
    int64_t cx = sx, cy = sy;
    int32_t last = 4;
    for (;;) {
        if (cell(cx + StepX[last], cy + StepY[last]) == 3) {
            cx += StepX[last], cy += StepY[last];
            cell(cx, cy) = 2;
            codes.AddByte(static_cast<uint8_t>(StepCode[last]));
        }
        int32_t found = -1;
        for (int32_t e = 0; e < 8 && found < 0; ++e)
            if (cell(cx + StepX[e], cy + StepY[e]) == 3)
                found = e;
        if (found < 0)
            break;
        cx += StepX[found], cy += StepY[found];
        cell(cx, cy) = 2;
        codes.AddByte(static_cast<uint8_t>(StepCode[found]));
        last = found;
    }
    for (int32_t e = 0; e < 8; ++e)
        if (cx + StepX[e] == sx && cy + StepY[e] == sy) {
            codes.AddByte(static_cast<uint8_t>(StepCode[e]));
            break;
        }

    TKVRecordList vertices(sizeof(TPoint));
    int64_t px = sx - 1 + 4 * int64_t(region.xmin), py = sy - 1 + 4 * int64_t(region.ymin);
    auto addVertex = [&] {
        const TPoint p{int32_t(px / 4), int32_t(py / 4)};
        vertices.Add(&p);
    };
    addVertex();
    const uint8_t* code = codes.Data();
    for (int32_t k = 0; k < codes.Size(); ++k) {
        if (k >= 1 && code[k] != code[k - 1])
            addVertex();
        px += CodeX[code[k]];
        py += CodeY[code[k]];
    }
    count = vertices.Count();
    auto points = std::make_unique<TPoint[]>(size_t(count));
    std::memcpy(points.get(), vertices.GetItem(0), sizeof(TPoint) * size_t(count));
    return points;
}

bool Seeded(TKVBitmap* bitmap, int32_t x, int32_t y)
{
    return bitmap && bitmap->GetPixelFormat() != kvnull && x >= 0 && y >= 0 && x < bitmap->GetWidth() &&
           y < bitmap->GetHeight();
}

} // namespace

std::unique_ptr<TPoint[]> _MakeMagicWandPoints(TKVBitmap* Bitmap, int32_t x, int32_t y, bool Grow,
                                               int32_t Tolerance, int32_t& Count)
{
    Count = 0;
    if (!Seeded(Bitmap, x, y))
        return nullptr;
    try {
        const Region region = Fill(ReadColours(Bitmap), x, y, Tolerance);
        if (region.Empty())
            return nullptr;
        return Outline(region, Grow, Count);
    } catch (const EOutOfMemory&) {
        // A region whose outline grid cannot be had gives no outline.
    } catch (const std::bad_alloc&) {
    }
    Count = 0;
    return nullptr;
}

void _MakeMagicWandPointsEx(TKVBitmap* Bitmap, int32_t x, int32_t y, bool Grow, int32_t Tolerance,
                            TKVMask* Mask)
{
    if (!Mask || !Seeded(Bitmap, x, y))
        return;
    const Region region = Fill(ReadColours(Bitmap), x, y, Tolerance);
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    for (int32_t py = region.ymin; py <= region.ymax; ++py)
        for (int32_t px = region.xmin; px <= region.xmax; ++px) {
            if (!region.Has(px, py))
                continue;
            if (!Grow) {
                Mask->SetPixel(px, py, 1);
                continue;
            }
            for (int32_t v = std::max(0, py - 1); v <= std::min(height - 1, py + 1); ++v)
                for (int32_t u = std::max(0, px - 1); u <= std::min(width - 1, px + 1); ++u)
                    Mask->SetPixel(u, v, 1);
        }
}

void _MakeMagicWandPointsEx2(TKVBitmap* Bitmap, int32_t x, int32_t y, int32_t Tolerance, TKVMask* Mask)
{
    if (!Mask || !Seeded(Bitmap, x, y))
        return;
    const Colours image = ReadColours(Bitmap);
    const TRGB seed = image.At(x, y);
    for (int32_t py = 0; py < image.height; ++py)
        for (int32_t px = 0; px < image.width; ++px)
            if (Close(image.At(px, py), seed, Tolerance))
                Mask->SetPixel(px, py, 1);
}

} // namespace Korvaneproc
