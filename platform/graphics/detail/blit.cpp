// Block transfers: coordinate mapping with nearest or box sampling, conversion of source pixels to
// the destination's format, and the ternary raster operation, all in integer arithmetic.
#include "platform/graphics/detail/blit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/graphics/detail/pixels.h"
#include "platform/graphics/detail/row_ops.h"

namespace GraphicsDetail {

bool TPatternSpec::HatchAt(int32_t x, int32_t y) const
{
    const int32_t hx = x & 7, hy = y & 7;
    switch (Style) {
    case bsHorizontal:
        return hy == 0;
    case bsVertical:
        return hx == 0;
    case bsFDiagonal:
        return ((hx - hy) & 7) == 0;
    case bsBDiagonal:
        return ((hx + hy) & 7) == 7;
    case bsCross:
        return hx == 0 || hy == 0;
    case bsDiagCross:
        return ((hx - hy) & 7) == 0 || ((hx + hy) & 7) == 7;
    default:
        return true;
    }
}

TPatternSpec PatternOf(TCanvas& canvas)
{
    TPatternSpec spec;
    spec.Null = canvas.Brush()->Style() == bsClear;
    spec.Color = DeviceColor(COLORREF(ColorToRGB(canvas.Brush()->Color())));
    spec.Style = canvas.Brush()->Style();
    spec.BkColor = canvas.BkColor() & 0xFFFFFF;
    spec.OpaqueBk = canvas.BkMode() == OPAQUE;
    return spec;
}

bool RegionContains(const TRegionObject& region, int32_t x, int32_t y)
{
    auto first = std::lower_bound(region.Spans.begin(), region.Spans.end(), y,
                                  [](const TRegionObject::TSpan& s, int32_t row) { return s.Y < row; });
    for (auto it = first; it != region.Spans.end() && it->Y == y; ++it) {
        if (x >= it->X0 && x < it->X1) {
            return true;
        }
        if (x < it->X0) {
            break;
        }
    }
    return false;
}

namespace {

// One destination column (or row) and the source range it samples.
struct TAxisMap
{
    int32_t Dest;
    int32_t Nearest; // the source coordinate of nearest sampling
    int32_t Lo, Hi;  // the inclusive source range of box sampling
};

// Maps destination positions origin, origin +- 1, ... (count of them, toward the sign of extent)
// onto the source axis; drops positions outside [0, destLimit) and, when the source is read,
// positions whose source lies outside [0, srcLimit).
std::vector<TAxisMap> MapAxis(int32_t origin, int32_t extent, int32_t destLimit, int32_t srcOrigin,
                              int32_t srcExtent, int32_t srcLimit, bool readsSource)
{
    std::vector<TAxisMap> result;
    const int64_t n = extent < 0 ? -int64_t(extent) : extent;
    const int64_t m = srcExtent < 0 ? -int64_t(srcExtent) : srcExtent;
    const int32_t destStep = extent < 0 ? -1 : 1;
    const int32_t srcStep = srcExtent < 0 ? -1 : 1;
    // Only the positions inside the destination are visited, so a huge extent costs nothing.
    int64_t first = 0, last = n - 1;
    if (destStep > 0) {
        first = std::max<int64_t>(first, -int64_t(origin));
        last = std::min<int64_t>(last, int64_t(destLimit) - 1 - origin);
    } else {
        first = std::max<int64_t>(first, int64_t(origin) - (destLimit - 1));
        last = std::min<int64_t>(last, origin);
    }
    if (first > last) {
        return result;
    }
    result.reserve(size_t(last - first + 1));
    for (int64_t i = first; i <= last; ++i) {
        TAxisMap map;
        map.Dest = int32_t(origin + i * destStep);
        if (readsSource) {
            const int64_t j0 = i * m / n;
            int64_t j1 = (i + 1) * m / n;
            if (j1 <= j0) {
                j1 = j0 + 1;
            }
            const int64_t nearest = srcOrigin + j0 * srcStep;
            const int64_t other = srcOrigin + (j1 - 1) * srcStep;
            int64_t lo = std::min(nearest, other), hi = std::max(nearest, other);
            lo = std::max<int64_t>(lo, 0);
            hi = std::min<int64_t>(hi, int64_t(srcLimit) - 1);
            if (nearest < 0 || nearest >= srcLimit) {
                continue;
            }
            map.Nearest = int32_t(nearest);
            map.Lo = int32_t(lo);
            map.Hi = int32_t(hi);
        } else {
            map.Nearest = map.Lo = map.Hi = 0;
        }
        result.push_back(map);
    }
    return result;
}

enum class TConversion
{
    Raw,
    Lookup,
    Convert,
    MonoByBackground
};

bool SameFormat(TPixelFormat a, TPixelFormat b)
{
    auto norm = [](TPixelFormat f) { return f == pfDevice ? pf32bit : f; };
    return norm(a) == norm(b);
}

bool SamePalette(const TRasterView& a, const TRasterView& b)
{
    return a.PaletteCount == b.PaletteCount &&
           std::equal(a.Palette, a.Palette + a.PaletteCount, b.Palette,
                      [](const PALETTEENTRY& x, const PALETTEENTRY& y) {
                          return x.peRed == y.peRed && x.peGreen == y.peGreen && x.peBlue == y.peBlue;
                      });
}

// Converts source device values into destination device values.
class TSourceConverter
{
public:
    TSourceConverter(const TRasterView& src, COLORREF srcBk, const TRasterView& dst, TColorMatcher& matcher)
        : FSrc(src), FBk(srcBk & 0xFFFFFF), FMatcher(matcher)
    {
        if (src.Format == pf1bit && dst.Format == pf1bit) {
            FMode = TConversion::Raw;
        } else if (dst.Format == pf1bit) {
            FMode = TConversion::MonoByBackground;
        } else if (SameFormat(src.Format, dst.Format) && (!IsIndexed(dst.Format) || SamePalette(src, dst))) {
            FMode = TConversion::Raw;
        } else {
            FMode = TConversion::Convert;
        }
        if (FMode != TConversion::Raw && IsIndexed(src.Format)) {
            const int32_t entries = 1 << BitsOf(src.Format);
            FTable.resize(size_t(entries));
            for (int32_t v = 0; v < entries; ++v) {
                FTable[size_t(v)] = Slow(uint32_t(v));
            }
            FMode = TConversion::Lookup;
        }
    }

    TConversion Mode() const { return FMode; }

    uint32_t operator()(uint32_t v)
    {
        switch (FMode) {
        case TConversion::Raw:
            return v;
        case TConversion::Lookup:
            return FTable[v];
        default:
            return Slow(v);
        }
    }

    void ConvertRow(const uint32_t* raw, uint32_t* out, size_t n)
    {
        switch (FMode) {
        case TConversion::Raw:
            std::memcpy(out, raw, n * sizeof(uint32_t));
            break;
        case TConversion::Lookup:
            for (size_t i = 0; i < n; ++i) {
                out[i] = FTable[raw[i]];
            }
            break;
        default:
            for (size_t i = 0; i < n; ++i) {
                out[i] = Slow(raw[i]);
            }
            break;
        }
    }

    // The value of a colour computed by averaging source pixels.
    uint32_t FromColor(COLORREF color)
    {
        if (FMode == TConversion::MonoByBackground) {
            return (color & 0xFFFFFF) == FBk ? 1u : 0u;
        }
        return FMatcher.ToValue(color);
    }

private:
    uint32_t Slow(uint32_t v) { return FromColor(ValueToColor(FSrc, v)); }

    const TRasterView& FSrc;
    COLORREF FBk;
    TColorMatcher& FMatcher;
    TConversion FMode = TConversion::Convert;
    std::vector<uint32_t> FTable;
};

// A copy of the source rows lo..hi, so that a transfer within one raster reads the pixels as they
// were before it started.
TRasterView SnapshotRows(const TRasterView& view, int32_t lo, int32_t hi, std::vector<uint8_t>& store)
{
    const ptrdiff_t rowBytes = ptrdiff_t(RowLengthFor(view.Width, BitsOf(view.Format)));
    const int32_t rows = hi - lo + 1;
    store.resize(size_t(rowBytes) * size_t(rows));
    for (int32_t y = lo; y <= hi; ++y) {
        std::memcpy(store.data() + ptrdiff_t(y - lo) * rowBytes, view.Row(y), size_t(rowBytes));
    }
    TRasterView copy = view;
    copy.Stride = rowBytes;
    copy.Top = store.data() - ptrdiff_t(lo) * rowBytes; // row y of the copy is row y of the view
    return copy;
}

COLORREF AverageColor(const TRasterView& src, const TAxisMap& col, const TAxisMap& row)
{
    uint64_t r = 0, g = 0, b = 0, n = 0;
    for (int32_t sy = row.Lo; sy <= row.Hi; ++sy) {
        const uint8_t* line = src.Row(sy);
        for (int32_t sx = col.Lo; sx <= col.Hi; ++sx) {
            const COLORREF c = ValueToColor(src, ReadValue(src.Format, line, sx));
            r += GetRValue(c);
            g += GetGValue(c);
            b += GetBValue(c);
            ++n;
        }
    }
    if (n == 0) {
        return 0;
    }
    return RGB(uint8_t((r + n / 2) / n), uint8_t((g + n / 2) / n), uint8_t((b + n / 2) / n));
}

// Whether whole rows can be combined byte by byte: identical pixel layouts on both sides, columns
// one to one, and no per-pixel clip, pattern or sampling decisions.
bool ByteWise(const TRasterView& dst, const TBlitRequest& r, bool usesS, bool rawSource, bool usesP,
              bool hatched, bool halftone, const TRegionObject* region)
{
    const int32_t bits = BitsOf(dst.Format);
    return bits >= 8 && dst.Format != pf15bit && !halftone && !region && (!usesP || !hatched) &&
           r.Width > 0 && (!usesS || (rawSource && r.WSrc == r.Width));
}

} // namespace

bool Blit(TCanvas& dest, const TBlitSource* source, const TBlitRequest& r)
{
    TRasterView dst;
    if (!dest.Raster(dst)) {
        return false;
    }
    const bool usesS = RopUsesSource(r.Rop);
    const bool usesP = RopUsesPattern(r.Rop);
    const bool usesD = RopUsesDest(r.Rop);
    if (usesS && (!source || !source->View.IsValid() || r.WSrc == 0 || r.HSrc == 0)) {
        return false;
    }
    if (r.Width == 0 || r.Height == 0) {
        return true;
    }
    const TPatternSpec pattern = PatternOf(dest);
    if (usesP && pattern.Null) {
        return true;
    }

    TRasterView src = usesS ? source->View : TRasterView{};
    const std::vector<TAxisMap> cols =
        MapAxis(r.X, r.Width, dst.Width, r.XSrc, usesS ? r.WSrc : r.Width, usesS ? src.Width : 0, usesS);
    const std::vector<TAxisMap> rows =
        MapAxis(r.Y, r.Height, dst.Height, r.YSrc, usesS ? r.HSrc : r.Height, usesS ? src.Height : 0, usesS);
    if (cols.empty() || rows.empty()) {
        return true;
    }

    std::vector<uint8_t> snapshot;
    if (usesS && src.Top == dst.Top) {
        int32_t lo = INT32_MAX, hi = INT32_MIN;
        for (const TAxisMap& row : rows) {
            lo = std::min(lo, row.Lo);
            hi = std::max(hi, row.Hi);
        }
        src = SnapshotRows(src, lo, hi, snapshot);
    }

    TColorMatcher matcher(dst);
    const uint32_t mask = ValueMask(dst.Format);
    const uint8_t table = RopTable(r.Rop);
    const uint32_t patternValue = matcher.ToValue(pattern.Color);
    const uint32_t patternBkValue = matcher.ToValue(pattern.BkColor);
    const bool hatched = pattern.Style != bsSolid;
    const bool halftone = usesS && r.StretchMode == HALFTONE && dst.Format != pf1bit &&
                          (std::abs(int64_t(r.WSrc)) > std::abs(int64_t(r.Width)) ||
                           std::abs(int64_t(r.HSrc)) > std::abs(int64_t(r.Height)));
    const TRegionObject* region = dest.ClipRegion();

    std::optional<TSourceConverter> convert;
    if (usesS) {
        convert.emplace(src, source->BkColor, dst, matcher);
    }
    const size_t n = cols.size();
    const int32_t bytesPerPixel = BitsOf(dst.Format) / 8;

    if (ByteWise(dst, r, usesS, usesS && convert->Mode() == TConversion::Raw, usesP, hatched, halftone,
                 region)) {
        // Columns are consecutive on both sides here.
        const size_t count = n * size_t(bytesPerPixel);
        std::vector<uint8_t> patternBytes;
        if (usesP) {
            patternBytes.resize(count);
            for (size_t i = 0; i < count; ++i) {
                patternBytes[i] = uint8_t(patternValue >> (8 * (i % size_t(bytesPerPixel))));
            }
        }
        for (const TAxisMap& row : rows) {
            uint8_t* out = dst.Row(row.Dest) + ptrdiff_t(cols.front().Dest) * bytesPerPixel;
            const uint8_t* in =
                usesS ? src.Row(row.Nearest) + ptrdiff_t(cols.front().Nearest) * bytesPerPixel : nullptr;
            CombineBytes(table, usesP ? patternBytes.data() : nullptr, in, out, count);
        }
        return true;
    }

    std::vector<int32_t> destXs(n), sourceXs(n);
    for (size_t i = 0; i < n; ++i) {
        destXs[i] = cols[i].Dest;
        sourceXs[i] = cols[i].Nearest;
    }
    std::vector<uint32_t> p(usesP ? n : 0, patternValue), s(usesS ? n : 0), raw(usesS ? n : 0), d(n, 0);
    std::vector<uint8_t> skip(n, 0);
    for (const TAxisMap& row : rows) {
        const TRowClip clip = ClipOfRow(region, row.Dest);
        if (clip.Empty()) {
            continue;
        }
        bool skipping = false;
        if (region) {
            for (size_t i = 0; i < n; ++i) {
                skip[i] = !clip.Contains(destXs[i]);
                skipping |= skip[i] != 0;
            }
        }
        if (usesP && hatched) {
            for (size_t i = 0; i < n; ++i) {
                if (pattern.HatchAt(destXs[i], row.Dest)) {
                    p[i] = patternValue;
                } else if (pattern.OpaqueBk) {
                    p[i] = patternBkValue;
                } else {
                    skip[i] = 1;
                    skipping = true;
                }
            }
        }
        uint8_t* dstRow = dst.Row(row.Dest);
        if (usesS) {
            if (halftone) {
                for (size_t i = 0; i < n; ++i) {
                    s[i] = convert->FromColor(AverageColor(src, cols[i], row));
                }
            } else {
                GatherValues(src.Format, src.Row(row.Nearest), sourceXs.data(), n, raw.data());
                convert->ConvertRow(raw.data(), s.data(), n);
            }
        }
        if (usesD) {
            GatherValues(dst.Format, dstRow, destXs.data(), n, d.data());
        }
        CombineValues(table, usesP ? p.data() : nullptr, usesS ? s.data() : nullptr, d.data(), n, mask);
        ScatterValues(dst.Format, dstRow, destXs.data(), n, d.data(), skipping ? skip.data() : nullptr);
        if (skipping) {
            std::fill(skip.begin(), skip.end(), 0);
        }
    }
    return true;
}

} // namespace GraphicsDetail
