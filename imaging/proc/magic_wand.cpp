// The magic wand: the pixels close to a seed pixel's colour, as a connected region grown by a
// scanline fill (its outline traced on a four-times grid, or its pixels set in a mask), or as
// every close pixel of the image.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"
#include "platform/core/exceptions.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

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
        int32_t l = 0;
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

// The region grown by every pixel's 3 x 3 neighbourhood, kept inside the region's box.
Region Grown(const Region& region)
{
    Region grown = region;
    const int32_t bytes = region.rowBytes;
    std::vector<uint8_t> spread = Scratch<uint8_t>(uint64_t(bytes) * 3);
    auto row = [&](int32_t y) { return &region.visited[size_t(y) * bytes]; };
    // Row y widened by one pixel each way (bits are most significant first).
    auto widen = [&](int32_t y, uint8_t* out) {
        const uint8_t* v = row(y);
        for (int32_t k = 0; k < bytes; ++k) {
            const uint8_t before = k > 0 ? uint8_t(v[k - 1] << 7) : 0;
            const uint8_t after = k + 1 < bytes ? uint8_t(v[k + 1] >> 7) : 0;
            out[k] = uint8_t(v[k] | (v[k] >> 1) | (v[k] << 1) | before | after);
        }
        for (int32_t x : {region.xmin - 1, region.xmax + 1})
            if (x >= 0 && x < bytes * 8)
                _SetPixelbw(out, x, 0);
    };
    for (int32_t y = region.ymin; y <= region.ymax; ++y) {
        uint8_t* out = &grown.visited[size_t(y) * bytes];
        std::memset(out, 0, size_t(bytes));
        for (int32_t v = std::max(y - 1, region.ymin); v <= std::min(y + 1, region.ymax); ++v) {
            uint8_t* widened = &spread[size_t(v - y + 1) * bytes];
            widen(v, widened);
            for (int32_t k = 0; k < bytes; ++k)
                out[k] |= widened[k];
        }
    }
    return grown;
}

// The outline is traced on a grid four times finer than the region's box, with a margin of two
// cells: the pixel (i, j) of the box covers the cells 4i+2 .. 4i+5 and 4j+2 .. 4j+5. A cell is 1
// inside the region; 3 outside it but next to a 1 (left, right, above or below); 2 once the
// trace has passed it; else 0. Only the passed cells are stored, in tiles made on first use, so
// the work and the memory follow the outline, not the box.
class OutlineGrid
{
public:
    explicit OutlineGrid(const Region& region)
        : FRegion(region), FTilesX(TilesFor(region.xmax - region.xmin + 1)),
          FTiles(size_t(FTilesX * TilesFor(region.ymax - region.ymin + 1)))
    {
    }

    // Whether pixel (i, j) of the box is in the region; false outside the box.
    bool Inside(int64_t i, int64_t j) const
    {
        return i >= 0 && j >= 0 && i <= FRegion.xmax - FRegion.xmin && j <= FRegion.ymax - FRegion.ymin &&
               FRegion.Has(FRegion.xmin + int32_t(i), FRegion.ymin + int32_t(j));
    }
    uint8_t Cell(int64_t gx, int64_t gy) const
    {
        if (One(gx, gy))
            return 1;
        if (Passed(gx, gy))
            return 2;
        return One(gx - 1, gy) || One(gx + 1, gy) || One(gx, gy - 1) || One(gx, gy + 1) ? 3 : 0;
    }
    void Pass(int64_t gx, int64_t gy)
    {
        std::unique_ptr<uint64_t[]>& tile = FTiles[TileOf(gx, gy)];
        if (!tile)
            tile = std::make_unique<uint64_t[]>(TileSide * TileSide / 64);
        const int64_t bit = BitOf(gx, gy);
        tile[size_t(bit >> 6)] |= uint64_t(1) << (bit & 63);
    }

private:
    static constexpr int64_t TileSide = 256;

    // Tiles across the cells of a side of pixels.
    static int64_t TilesFor(int64_t pixels) { return (4 * pixels + 4 + TileSide - 1) / TileSide; }

    bool One(int64_t gx, int64_t gy) const
    {
        return gx >= 2 && gy >= 2 && Inside((gx - 2) >> 2, (gy - 2) >> 2);
    }
    bool Passed(int64_t gx, int64_t gy) const
    {
        const std::unique_ptr<uint64_t[]>& tile = FTiles[TileOf(gx, gy)];
        const int64_t bit = BitOf(gx, gy);
        return tile && (tile[size_t(bit >> 6)] >> (bit & 63) & 1) != 0;
    }
    size_t TileOf(int64_t gx, int64_t gy) const { return size_t(gy / TileSide * FTilesX + gx / TileSide); }
    static int64_t BitOf(int64_t gx, int64_t gy) { return gy % TileSide * TileSide + gx % TileSide; }

    const Region& FRegion;
    int64_t FTilesX;
    std::vector<std::unique_ptr<uint64_t[]>> FTiles;
};

// The 3-cell nearest to the corner (1, 1) of the grid, where the leftmost and the topmost 3-cells
// lie; on a tie the first in row order. Pixel (i, j) has its 3-cells no nearer than
// (4i)^2 + (4j)^2, which ends the search early. Distances of boxes billions of pixels wide pass
// 64 bits, hence the wider integer.
bool StartCell(const OutlineGrid& grid, const Region& region, int64_t& sx, int64_t& sy)
{
    using Distance = __int128;
    const auto square = [](int64_t v) { return Distance(v) * v; };
    const int64_t bw = region.xmax - region.xmin + 1, bh = region.ymax - region.ymin + 1;
    bool found = false;
    Distance best = 0;
    auto consider = [&](int64_t gx, int64_t gy) {
        const Distance d = square(gx - 1) + square(gy - 1);
        if (!found || d < best || (d == best && (gy < sy || (gy == sy && gx < sx))))
            found = true, best = d, sx = gx, sy = gy;
    };
    for (int64_t j = 0; j < bh && (!found || square(4 * j) <= best); ++j)
        for (int64_t i = 0; i < bw && (!found || square(4 * i) + square(4 * j) <= best); ++i) {
            if (!grid.Inside(i, j))
                continue;
            for (int64_t k = 2; k <= 5; ++k) {
                if (!grid.Inside(i, j - 1))
                    consider(4 * i + k, 4 * j + 1);
                if (!grid.Inside(i, j + 1))
                    consider(4 * i + k, 4 * j + 6);
                if (!grid.Inside(i - 1, j))
                    consider(4 * i + 1, 4 * j + k);
                if (!grid.Inside(i + 1, j))
                    consider(4 * i + 6, 4 * j + k);
            }
        }
    return found;
}

// The chain-code walk of the outline: table entries in the order they are tried, with their codes.
constexpr int32_t StepX[8] = {1, 0, -1, 0, 1, -1, -1, 1};
constexpr int32_t StepY[8] = {0, -1, 0, 1, -1, -1, 1, 1};
constexpr int32_t StepCode[8] = {0, 2, 4, 6, 1, 3, 5, 7};
// Steps of the codes 0..7.
constexpr int32_t CodeX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int32_t CodeY[8] = {0, -1, -1, -1, 0, 1, 1, 1};

// The vertices of a chain of codes: one where the code changes, at the running position.
class VertexChain
{
public:
    VertexChain(int64_t x, int64_t y) : FX(x), FY(y) { AddVertex(); }
    void Step(int32_t code)
    {
        if (FLast >= 0 && code != FLast)
            AddVertex();
        FLast = code;
        FX += CodeX[code];
        FY += CodeY[code];
    }
    std::unique_ptr<TPoint[]> Take(int32_t& count)
    {
        count = int32_t(FVertices.size());
        auto points = std::make_unique<TPoint[]>(FVertices.size());
        std::copy(FVertices.begin(), FVertices.end(), points.get());
        return points;
    }

private:
    void AddVertex() { FVertices.push_back(TPoint{int32_t(FX / 4), int32_t(FY / 4)}); }

    int64_t FX, FY;
    int32_t FLast = -1;
    std::vector<TPoint> FVertices;
};

std::unique_ptr<TPoint[]> Outline(const Region& ungrown, bool grow, int32_t& count)
{
    const Region grown = grow ? Grown(ungrown) : Region{};
    const Region& region = grow ? grown : ungrown;
    OutlineGrid grid(region);
    int64_t sx = -1, sy = -1;
    if (!StartCell(grid, region, sx, sy))
        return nullptr;
    grid.Pass(sx, sy);

    VertexChain chain(sx - 1 + 4 * int64_t(region.xmin), sy - 1 + 4 * int64_t(region.ymin));
    int64_t cx = sx, cy = sy;
    int32_t last = 4;
    auto move = [&](int32_t entry) {
        cx += StepX[entry], cy += StepY[entry];
        grid.Pass(cx, cy);
        chain.Step(StepCode[entry]);
    };
    for (;;) {
        if (grid.Cell(cx + StepX[last], cy + StepY[last]) == 3)
            move(last);
        int32_t found = -1;
        for (int32_t e = 0; e < 8 && found < 0; ++e)
            if (grid.Cell(cx + StepX[e], cy + StepY[e]) == 3)
                found = e;
        if (found < 0)
            break;
        move(found);
        last = found;
    }
    for (int32_t e = 0; e < 8; ++e)
        if (cx + StepX[e] == sx && cy + StepY[e] == sy) {
            chain.Step(StepCode[e]);
            break;
        }
    return chain.Take(count);
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
        // A picture whose colours or region cannot be held gives no outline.
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
