// The GDI-style functions over canvases: transfers, DIB drawing, device state, pixels, line
// stepping, clipping regions, device capabilities and 3D edges.
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "platform/graphics/detail/blit.h"
#include "platform/graphics/detail/coverage.h"
#include "platform/graphics/detail/pixels.h"
#include "platform/graphics/dib.h"

using namespace GraphicsDetail;

namespace {

bool SourceOf(HDC source, TBlitSource& blitSource)
{
    if (!source || !source->Raster(blitSource.View)) {
        return false;
    }
    blitSource.BkColor = source->BkColor();
    return true;
}

// A copy of the header of a DIB_PAL_COLORS DIB with its table of 16-bit palette indexes turned
// into colours of the palette selected into the canvas.
bool ResolvePaletteIndexes(TCanvas& canvas, const BITMAPINFO* info, std::vector<uint8_t>& resolved)
{
    BITMAPINFOHEADER header;
    const auto* bytes = reinterpret_cast<const uint8_t*>(info);
    std::memcpy(&header, bytes, sizeof(header));
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > 124) {
        return false;
    }
    const int64_t entries = header.biBitCount <= 8 ? DIBColorTableEntries(header) : 0;
    if (entries < 0 || entries > 256) {
        return false;
    }
    const std::vector<PALETTEENTRY>& palette =
        canvas.SelectedPalette() ? canvas.SelectedPalette()->Entries : DefaultPaletteEntries();
    resolved.assign(header.biSize + size_t(entries) * sizeof(RGBQUAD), 0);
    std::memcpy(resolved.data(), bytes, header.biSize);
    const uint8_t* indexes = bytes + header.biSize;
    for (int64_t i = 0; i < entries; ++i) {
        const uint16_t index = uint16_t(indexes[2 * i] | (indexes[2 * i + 1] << 8));
        const PALETTEENTRY entry =
            index < palette.size() ? palette[index] : (palette.empty() ? PALETTEENTRY{} : palette[0]);
        const RGBQUAD colour{entry.peBlue, entry.peGreen, entry.peRed, 0};
        std::memcpy(resolved.data() + header.biSize + size_t(i) * sizeof(RGBQUAD), &colour, sizeof(colour));
    }
    return true;
}

bool Transfer(HDC dest, HDC source, const TBlitRequest& request)
{
    if (!dest) {
        return false;
    }
    TBlitSource blitSource;
    const bool haveSource = SourceOf(source, blitSource);
    dest->Changing();
    const bool done = Blit(*dest, haveSource ? &blitSource : nullptr, request);
    dest->Changed();
    return done;
}

} // namespace

bool BitBlt(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t xSrc,
            int32_t ySrc, uint32_t rop)
{
    TBlitRequest request{x, y, width, height, xSrc, ySrc, width, height, rop, COLORONCOLOR};
    return Transfer(dest, source, request);
}

bool StretchBlt(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t xSrc,
                int32_t ySrc, int32_t wSrc, int32_t hSrc, uint32_t rop)
{
    if (!dest) {
        return false;
    }
    TBlitRequest request{x, y, width, height, xSrc, ySrc, wSrc, hSrc, rop, dest->StretchBltMode()};
    return Transfer(dest, source, request);
}

int32_t StretchDIBits(HDC dest, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                      int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight, const void* bits,
                      const BITMAPINFO* info, uint32_t usage, uint32_t rop)
{
    TDIBLayout layout;
    // The colour table that follows the header is part of the caller's BITMAPINFO; its size is
    // what the header says, which ParseDIBHeader checks against the table limits.
    constexpr size_t largestInfo = 124 + 3 * sizeof(uint32_t) + 256 * sizeof(RGBQUAD);
    if (!dest || !info) {
        return 0;
    }
    if (usage == DIB_PAL_COLORS) {
        std::vector<uint8_t> resolved;
        if (!ResolvePaletteIndexes(*dest, info, resolved) ||
            !ParseDIBHeader(resolved.data(), resolved.size(), layout)) {
            return 0;
        }
    } else if (usage != DIB_RGB_COLORS || !ParseDIBHeader(info, largestInfo, layout)) {
        return 0;
    }
    const bool readsSource = RopUsesSource(rop);
    if (readsSource && !bits) {
        return 0;
    }

    // The DIB as a source raster: its rows keep their place, read through a signed stride.
    TBlitSource source;
    std::vector<PALETTEENTRY> palette;
    std::vector<uint8_t> converted;
    TRasterView& view = source.View;
    view.Width = layout.Width;
    view.Height = layout.Height;
    const auto* rows = static_cast<const uint8_t*>(bits);
    uint8_t* top = const_cast<uint8_t*>(rows) + (layout.TopDown ? 0 : (layout.Height - 1) * layout.RowLength);
    view.Top = top;
    view.Stride = layout.TopDown ? ptrdiff_t(layout.RowLength) : -ptrdiff_t(layout.RowLength);
    const uint32_t red = layout.Masks[0], green = layout.Masks[1], blue = layout.Masks[2];
    switch (layout.BitCount) {
    case 1:
    case 4:
    case 8:
        view.Format = layout.BitCount == 1 ? pf1bit : (layout.BitCount == 4 ? pf4bit : pf8bit);
        for (const RGBQUAD& q : layout.Colors) {
            palette.push_back({q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
        }
        view.Palette = palette.data();
        view.PaletteCount = int32_t(palette.size());
        break;
    case 16:
        if (red == 0x7C00 && green == 0x03E0 && blue == 0x001F) {
            view.Format = pf15bit;
        } else if (red == 0xF800 && green == 0x07E0 && blue == 0x001F) {
            view.Format = pf16bit;
        } else {
            view.Format = pf32bit; // converted below
        }
        break;
    case 24:
        view.Format = pf24bit;
        break;
    default:
        view.Format = pf32bit;
        break;
    }
    const bool plainMasks =
        layout.BitCount == 32 ? (red == 0xFF0000 && green == 0xFF00 && blue == 0xFF) : true;
    if (readsSource && ((layout.BitCount == 16 && view.Format == pf32bit) || !plainMasks)) {
        // Unusual bit fields: the source rectangle's rows are widened to 32-bit colours first.
        const int64_t rowBytes = int64_t(layout.Width) * 4;
        converted.resize(size_t(rowBytes * layout.Height));
        for (int32_t yy = 0; yy < layout.Height; ++yy) {
            const uint8_t* in = view.Row(yy);
            uint8_t* out = converted.data() + yy * rowBytes;
            for (int32_t xx = 0; xx < layout.Width; ++xx) {
                const COLORREF c = layout.PixelColor(in, xx);
                WriteValue(pf32bit, out, xx,
                           (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c));
            }
        }
        view.Format = pf32bit;
        view.Top = converted.data();
        view.Stride = ptrdiff_t(rowBytes);
    }

    // A bottom-up DIB's source y counts from its bottom row.
    int32_t yTop = ySrc;
    if (!layout.TopDown) {
        yTop = srcHeight >= 0 ? layout.Height - ySrc - srcHeight : layout.Height - ySrc - srcHeight - 2;
    }
    source.BkColor = dest->BkColor();
    TBlitRequest request{xDest, yDest,    destWidth, destHeight, xSrc,
                         yTop,  srcWidth, srcHeight, rop,        dest->StretchBltMode()};
    dest->Changing();
    const bool done = Blit(*dest, readsSource ? &source : nullptr, request);
    dest->Changed();
    if (!done) {
        return 0;
    }
    return std::min(std::abs(srcHeight), layout.Height);
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground)
{
    (void)forceBackground;
    if (!dc) {
        return nullptr;
    }
    HPALETTE old = dc->FSelectedPalette;
    dc->FSelectedPalette = palette;
    return old;
}

uint32_t RealizePalette(HDC dc)
{
    if (!dc) {
        return 0;
    }
    return dc->SelectedPalette() ? uint32_t(dc->SelectedPalette()->Entries.size())
                                 : uint32_t(DefaultPaletteEntries().size());
}

const std::vector<PALETTEENTRY>& DefaultPaletteEntries()
{
    static const std::vector<PALETTEENTRY> entries = {
        {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
        {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
        {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
        {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0}};
    return entries;
}

bool PatBlt(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rop)
{
    if (RopUsesSource(rop)) {
        return false;
    }
    TBlitRequest request{x, y, width, height, 0, 0, width, height, rop, COLORONCOLOR};
    return Transfer(dest, nullptr, request);
}

int32_t SetStretchBltMode(HDC dc, int32_t mode)
{
    if (!dc || mode < BLACKONWHITE || mode > HALFTONE) {
        return 0;
    }
    const int32_t old = dc->FStretchBltMode;
    dc->FStretchBltMode = mode;
    return old;
}

int32_t GetStretchBltMode(HDC dc)
{
    return dc ? dc->StretchBltMode() : 0;
}

COLORREF SetBkColor(HDC dc, COLORREF color)
{
    if (!dc) {
        return CLR_INVALID;
    }
    const COLORREF old = dc->FBkColor;
    dc->FBkColor = color & 0xFFFFFF;
    return old;
}

COLORREF GetBkColor(HDC dc)
{
    return dc ? dc->BkColor() : CLR_INVALID;
}

int32_t SetBkMode(HDC dc, int32_t mode)
{
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) {
        return 0;
    }
    const int32_t old = dc->FBkMode;
    dc->FBkMode = mode;
    return old;
}

int32_t GetBkMode(HDC dc)
{
    return dc ? dc->BkMode() : 0;
}

COLORREF SetTextColor(HDC dc, COLORREF color)
{
    if (!dc) {
        return CLR_INVALID;
    }
    const COLORREF old = dc->FTextColor;
    dc->FTextColor = color & 0xFFFFFF;
    return old;
}

COLORREF GetTextColor(HDC dc)
{
    return dc ? dc->TextColor() : CLR_INVALID;
}

namespace {

constexpr int32_t kModeToRop2[] = {R2_BLACK,       R2_WHITE,      R2_NOP,         R2_NOT,
                                   R2_COPYPEN,     R2_NOTCOPYPEN, R2_MERGEPENNOT, R2_MASKPENNOT,
                                   R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN,    R2_NOTMERGEPEN,
                                   R2_MASKPEN,     R2_NOTMASKPEN, R2_XORPEN,      R2_NOTXORPEN};

} // namespace

int32_t SetROP2(HDC dc, int32_t rop2)
{
    if (!dc || rop2 < R2_BLACK || rop2 > R2_WHITE) {
        return 0;
    }
    const int32_t old = GetROP2(dc);
    for (int32_t mode = 0; mode < 16; ++mode) {
        if (kModeToRop2[mode] == rop2) {
            dc->Pen()->SetMode(TPenMode(mode));
        }
    }
    return old;
}

int32_t GetROP2(HDC dc)
{
    return dc ? kModeToRop2[dc->Pen()->Mode()] : 0;
}

int32_t SetPolyFillMode(HDC dc, int32_t mode)
{
    if (!dc || (mode != ALTERNATE && mode != WINDING)) {
        return 0;
    }
    const int32_t old = dc->FPolyFillMode;
    dc->FPolyFillMode = mode;
    return old;
}

int32_t GetPolyFillMode(HDC dc)
{
    return dc ? dc->PolyFillMode() : 0;
}

uint32_t SetTextAlign(HDC dc, uint32_t align)
{
    if (!dc) {
        return 0;
    }
    const uint32_t old = dc->FTextAlign;
    dc->FTextAlign = align & (TA_CENTER | TA_BASELINE);
    return old;
}

uint32_t GetTextAlign(HDC dc)
{
    return dc ? dc->TextAlign() : 0;
}

bool GetTextMetrics(HDC dc, TEXTMETRIC& metrics)
{
    if (!dc) {
        return false;
    }
    const GraphicsDetail::TTextMetrics measured = GraphicsDetail::MeasureText(*dc->Font(), "x");
    metrics.tmAscent = measured.Ascent;
    metrics.tmDescent = measured.Descent;
    metrics.tmHeight = measured.Height();
    metrics.tmAveCharWidth = measured.Width;
    return true;
}

COLORREF SetPixel(HDC dc, int32_t x, int32_t y, COLORREF color)
{
    TRasterView view;
    if (!dc || !dc->Raster(view) || x < 0 || y < 0 || x >= view.Width || y >= view.Height ||
        (dc->ClipRegion() && !RegionContains(*dc->ClipRegion(), x, y))) {
        return CLR_INVALID;
    }
    dc->Changing();
    TColorMatcher matcher(view);
    const uint32_t value = matcher.ToValue(DeviceColor(color));
    WriteValue(view.Format, view.Row(y), x, value);
    dc->Changed();
    return ValueToColor(view, value);
}

COLORREF GetPixel(HDC dc, int32_t x, int32_t y)
{
    TRasterView view;
    if (!dc || !dc->Raster(view) || x < 0 || y < 0 || x >= view.Width || y >= view.Height ||
        (dc->ClipRegion() && !RegionContains(*dc->ClipRegion(), x, y))) {
        return CLR_INVALID;
    }
    return ValueToColor(view, ReadValue(view.Format, view.Row(y), x));
}

void LineDDA(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
             const std::function<void(int32_t, int32_t)>& proc)
{
    // Bresenham's stepping along the major axis. A tie steps the minor axis only when the major
    // axis runs backward, so a line and its reverse cover the same pixels apart from their ends.
    const int64_t dx = std::abs(int64_t(x2) - x1), dy = std::abs(int64_t(y2) - y1);
    const int32_t sx = x2 >= x1 ? 1 : -1, sy = y2 >= y1 ? 1 : -1;
    int64_t x = x1, y = y1;
    if (dx >= dy) {
        int64_t err = 2 * dy - dx;
        for (int64_t i = 0; i < dx; ++i) {
            proc(int32_t(x), int32_t(y));
            if (err > 0 || (err == 0 && sx < 0)) {
                y += sy;
                err -= 2 * dx;
            }
            err += 2 * dy;
            x += sx;
        }
    } else {
        int64_t err = 2 * dx - dy;
        for (int64_t i = 0; i < dy; ++i) {
            proc(int32_t(x), int32_t(y));
            if (err > 0 || (err == 0 && sy < 0)) {
                x += sx;
                err -= 2 * dy;
            }
            err += 2 * dx;
            y += sy;
        }
    }
}

namespace {

void UpdateBounds(TRegionObject& region)
{
    region.Bounds = {};
    bool first = true;
    for (const auto& s : region.Spans) {
        if (first) {
            region.Bounds = {s.X0, s.Y, s.X1, s.Y + 1};
            first = false;
        } else {
            region.Bounds.Left = std::min(region.Bounds.Left, s.X0);
            region.Bounds.Right = std::max(region.Bounds.Right, s.X1);
            region.Bounds.Top = std::min(region.Bounds.Top, s.Y);
            region.Bounds.Bottom = std::max(region.Bounds.Bottom, s.Y + 1);
        }
    }
}

int32_t RegionKind(const TRegionObject& region)
{
    if (region.Spans.empty()) {
        return NULLREGION;
    }
    const int64_t area = int64_t(region.Bounds.Width()) * region.Bounds.Height();
    int64_t covered = 0;
    for (const auto& s : region.Spans) {
        covered += s.X1 - s.X0;
    }
    return covered == area ? SIMPLEREGION : COMPLEXREGION;
}

// Regions larger than this many rows are refused: a clip region is at most a raster's height.
constexpr int64_t kMaxRegionRows = 1 << 20;

} // namespace

HRGN CreateRectRgn(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    auto* region = new TRegionObject;
    if (left > right) {
        std::swap(left, right);
    }
    if (top > bottom) {
        std::swap(top, bottom);
    }
    if (left < right && top < bottom && int64_t(bottom) - top <= kMaxRegionRows) {
        region->Spans.reserve(size_t(bottom - top));
        for (int32_t y = top; y < bottom; ++y) {
            region->Spans.push_back({y, left, right});
        }
    }
    UpdateBounds(*region);
    return region;
}

HRGN CreatePolygonRgn(const TPoint* points, int32_t count, int32_t fillMode)
{
    auto* region = new TRegionObject;
    if (!points || count < 3) {
        return region;
    }
    int32_t minY = INT32_MAX, maxY = INT32_MIN;
    for (int32_t i = 0; i < count; ++i) {
        minY = std::min(minY, points[i].Y);
        maxY = std::max(maxY, points[i].Y);
    }
    if (int64_t(maxY) - minY > kMaxRegionRows) {
        return region;
    }
    // Scan conversion at pixel centres: pixel (x, y) is inside when (x + 0.5, y + 0.5) is.
    struct TCrossing
    {
        double X;
        int32_t Winding;
    };
    std::vector<TCrossing> crossings;
    for (int32_t y = minY; y < maxY; ++y) {
        const double cy = y + 0.5;
        crossings.clear();
        for (int32_t i = 0; i < count; ++i) {
            const TPoint& a = points[i];
            const TPoint& b = points[(i + 1) % count];
            if (a.Y == b.Y) {
                continue;
            }
            const bool down = b.Y > a.Y;
            const double y0 = down ? a.Y : b.Y, y1 = down ? b.Y : a.Y;
            if (cy < y0 || cy >= y1) {
                continue;
            }
            const double t = (cy - a.Y) / double(b.Y - a.Y);
            crossings.push_back({a.X + t * (b.X - a.X), down ? 1 : -1});
        }
        std::sort(crossings.begin(), crossings.end(),
                  [](const TCrossing& p, const TCrossing& q) { return p.X < q.X; });
        int32_t winding = 0;
        for (size_t k = 0; k + 1 < crossings.size(); ++k) {
            winding += crossings[k].Winding;
            const bool inside = fillMode == WINDING ? winding != 0 : (k % 2) == 0;
            if (!inside) {
                continue;
            }
            // Columns whose centre x + 0.5 lies in [left, right).
            const double left = crossings[k].X, right = crossings[k + 1].X;
            const int64_t x0 = int64_t(std::ceil(left - 0.5));
            const int64_t x1 = int64_t(std::ceil(right - 0.5));
            if (x1 > x0) {
                region->Spans.push_back({y, int32_t(x0), int32_t(x1)});
            }
        }
    }
    // Merge touching runs of one row (winding fills may produce them).
    std::sort(region->Spans.begin(), region->Spans.end(),
              [](const auto& p, const auto& q) { return p.Y != q.Y ? p.Y < q.Y : p.X0 < q.X0; });
    std::vector<TRegionObject::TSpan> merged;
    for (const auto& s : region->Spans) {
        if (!merged.empty() && merged.back().Y == s.Y && s.X0 <= merged.back().X1) {
            merged.back().X1 = std::max(merged.back().X1, s.X1);
        } else {
            merged.push_back(s);
        }
    }
    region->Spans = std::move(merged);
    UpdateBounds(*region);
    return region;
}

bool PtInRegion(HRGN region, int32_t x, int32_t y)
{
    return region && RegionContains(*region, x, y);
}

bool DeleteObject(HRGN region)
{
    if (!region) {
        return false;
    }
    delete region;
    return true;
}

int32_t SelectClipRgn(HDC dc, const TRegionObject* region)
{
    if (!dc) {
        return RGN_ERROR;
    }
    if (!region) {
        dc->FClipRegion.reset();
        return SIMPLEREGION;
    }
    dc->FClipRegion = std::make_unique<TRegionObject>(*region);
    return RegionKind(*dc->FClipRegion);
}

int32_t IntersectClipRect(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (!dc) {
        return RGN_ERROR;
    }
    TRect clip = dc->ClipRect();
    TRect narrowed;
    IntersectRect(narrowed, clip, Rect(left, top, right, bottom));
    auto region = std::make_unique<TRegionObject>();
    if (dc->FClipRegion) {
        for (const auto& s : dc->FClipRegion->Spans) {
            if (s.Y < narrowed.Top || s.Y >= narrowed.Bottom) {
                continue;
            }
            const int32_t x0 = std::max(s.X0, narrowed.Left), x1 = std::min(s.X1, narrowed.Right);
            if (x1 > x0) {
                region->Spans.push_back({s.Y, x0, x1});
            }
        }
    } else {
        for (int32_t y = narrowed.Top; y < narrowed.Bottom; ++y) {
            region->Spans.push_back({y, narrowed.Left, narrowed.Right});
        }
    }
    UpdateBounds(*region);
    dc->FClipRegion = std::move(region);
    return RegionKind(*dc->FClipRegion);
}

int32_t GetClipBox(HDC dc, TRect* rect)
{
    if (!dc || !rect) {
        return RGN_ERROR;
    }
    *rect = dc->ClipRect();
    if (rect->IsEmpty()) {
        return NULLREGION;
    }
    return dc->ClipRegion() ? RegionKind(*dc->ClipRegion()) : SIMPLEREGION;
}

int32_t GetDeviceCaps(HDC dc, int32_t index)
{
    TRasterView view;
    const bool haveRaster = dc && dc->Raster(view);
    const int32_t dpiX = dc ? dc->PixelsPerInchX() : kScreenPixelsPerInch;
    const int32_t dpiY = dc ? dc->PixelsPerInchY() : kScreenPixelsPerInch;
    const int32_t width = haveRaster ? view.Width : 0;
    const int32_t height = haveRaster ? view.Height : 0;
    const int32_t bits = dc ? (haveRaster ? PixelFormatBits(view.Format) : 0) : 32;
    switch (index) {
    case HORZRES:
    case PHYSICALWIDTH:
        return width;
    case VERTRES:
    case PHYSICALHEIGHT:
        return height;
    case HORZSIZE:
        return dpiX > 0 ? int32_t(int64_t(width) * 254 / (int64_t(dpiX) * 10)) : 0;
    case VERTSIZE:
        return dpiY > 0 ? int32_t(int64_t(height) * 254 / (int64_t(dpiY) * 10)) : 0;
    case BITSPIXEL:
        return bits;
    case PLANES:
        return 1;
    case NUMCOLORS:
        return bits <= 8 && bits > 0 ? (1 << bits) : -1;
    case SIZEPALETTE:
        return bits <= 8 && bits > 0 ? (1 << bits) : 0;
    case LOGPIXELSX:
        return dpiX;
    case LOGPIXELSY:
        return dpiY;
    case PHYSICALOFFSETX:
    case PHYSICALOFFSETY:
        return 0;
    case RASTERCAPS:
        return 0x0001 | 0x0008 | 0x0800; // RC_BITBLT | RC_BITMAP64 | RC_STRETCHBLT
    default:
        return 0;
    }
}

bool DrawEdge(HDC dc, TRect* rect, uint32_t edge, uint32_t flags)
{
    if (!dc || !rect) {
        return false;
    }
    // Outer then inner line: a raised edge is light at top-left and dark at bottom-right.
    struct TLine
    {
        bool Present;
        TColor TopLeft;
        TColor BottomRight;
    };
    const TLine outer = (edge & BDR_RAISEDOUTER)   ? TLine{true, cl3DLight, cl3DDkShadow}
                        : (edge & BDR_SUNKENOUTER) ? TLine{true, clBtnShadow, clBtnHighlight}
                                                   : TLine{false, 0, 0};
    const TLine inner = (edge & BDR_RAISEDINNER)   ? TLine{true, clBtnHighlight, clBtnShadow}
                        : (edge & BDR_SUNKENINNER) ? TLine{true, cl3DDkShadow, cl3DLight}
                                                   : TLine{false, 0, 0};
    TRect r = *rect;
    TBrush* brush = dc->Brush();
    const TColor oldColor = brush->Color();
    const TBrushStyle oldStyle = brush->Style();
    for (const TLine& line : {outer, inner}) {
        if (!line.Present || r.IsEmpty()) {
            continue;
        }
        brush->SetColor(line.TopLeft);
        if (flags & BF_LEFT) {
            dc->FillRect(Rect(r.Left, r.Top, r.Left + 1, r.Bottom));
        }
        if (flags & BF_TOP) {
            dc->FillRect(Rect(r.Left, r.Top, r.Right, r.Top + 1));
        }
        brush->SetColor(line.BottomRight);
        if (flags & BF_RIGHT) {
            dc->FillRect(Rect(r.Right - 1, r.Top, r.Right, r.Bottom));
        }
        if (flags & BF_BOTTOM) {
            dc->FillRect(Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom));
        }
        if (flags & BF_LEFT) {
            ++r.Left;
        }
        if (flags & BF_TOP) {
            ++r.Top;
        }
        if (flags & BF_RIGHT) {
            --r.Right;
        }
        if (flags & BF_BOTTOM) {
            --r.Bottom;
        }
    }
    if ((flags & BF_MIDDLE) && !r.IsEmpty()) {
        brush->SetColor(clBtnFace);
        dc->FillRect(r);
    }
    brush->SetColor(oldColor);
    brush->SetStyle(oldStyle);
    if (flags & BF_ADJUST) {
        *rect = r;
    }
    return true;
}
