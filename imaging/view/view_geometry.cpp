// The image view's zoom, scroll limits and client/bitmap coordinate tables.
#include "imaging/view/view_geometry.h"

#include "platform/core/rounding.h"

#include <algorithm>
#include <cmath>

using ld = long double;

void TKVViewGeometry::SetZoomRatios(double z)
{
    FZoom = z;
    FZoomD100 = z / 100.0;
    FD100Zoom = 100.0 / z;
}

bool TKVViewGeometry::AcceptsZoom(double z) const
{
    if (!std::isfinite(z) || z <= 0)
        return false;
    const ld ratio = static_cast<ld>(z / 100.0);
    return Round64(BitmapWidth * ratio) <= kMaxZoomedExtent &&
           Round64(BitmapHeight * ratio) <= kMaxZoomedExtent;
}

void TKVViewGeometry::UpdateLimits(bool designing)
{
    ZoomedWidth = Round(BitmapWidth * static_cast<ld>(FZoomD100));
    ZoomedHeight = Round(BitmapHeight * static_cast<ld>(FZoomD100));
    OffsetX = 0;
    OffsetY = 0;
    if (designing) {
        VisibleWidth = std::min(ZoomedWidth, OuterWidth);
        VisibleHeight = std::min(ZoomedHeight, OuterHeight);
        return;
    }
    VisibleWidth = std::max(std::min(ZoomedWidth, ClientWidth), 0);
    VisibleHeight = std::max(std::min(ZoomedHeight, ClientHeight), 0);
    if (Center && ClientWidth > VisibleWidth)
        OffsetX = (ClientWidth - VisibleWidth) / 2;
    if (Center && ClientHeight > VisibleHeight)
        OffsetY = (ClientHeight - VisibleHeight) / 2;
}

namespace {

// First visible bitmap pixel and the count of visible ones on one axis.
void VisibleSpan(int32_t bitmapExtent, int32_t zoomed, int32_t quantizedView, int32_t visibleExtent,
                 int32_t& first, int32_t& count)
{
    first = 0;
    count = 0;
    if (zoomed == 0)
        return;
    const double r = static_cast<double>(bitmapExtent) / zoomed;
    first = Round(quantizedView * static_cast<ld>(r));
    count = Round(visibleExtent * static_cast<ld>(r));
    if (first + int64_t(count) > bitmapExtent)
        --count;
    first = std::clamp(first, 0, bitmapExtent);
    count = std::clamp(count, 0, bitmapExtent - first);
}

// Client pixels covered by the visible bitmap part; above 100 a partly visible last pixel is
// drawn too.
void DrawnSpan(double zoom, double zoomD100, int32_t bitmapExtent, int32_t visibleExtent, int32_t first,
               int32_t& count, int32_t& drawn)
{
    if (zoom <= 100) {
        drawn = visibleExtent;
        return;
    }
    drawn = Trunc(count * static_cast<ld>(zoomD100));
    if (drawn < visibleExtent && first + int64_t(count) + 1 <= bitmapExtent) {
        ++count;
        drawn = Trunc(count * static_cast<ld>(zoomD100));
    }
}

} // namespace

void TKVViewGeometry::CalcPaintCoef()
{
    // The origin is quantised with the tables of the current zoom; when they had to be built in
    // the first pass, the second pass sees them.
    for (int pass = 0; pass < 2; ++pass) {
        const int32_t builds = FTableBuilds;
        VisibleSpan(BitmapWidth, ZoomedWidth, QuantizeViewX(ViewX), VisibleWidth, FirstColumn,
                    VisibleColumns);
        VisibleSpan(BitmapHeight, ZoomedHeight, QuantizeViewY(ViewY), VisibleHeight, FirstRow, VisibleRows);
        DrawnSpan(FZoom, FZoomD100, BitmapWidth, VisibleWidth, FirstColumn, VisibleColumns, DrawnWidth);
        DrawnSpan(FZoom, FZoomD100, BitmapHeight, VisibleHeight, FirstRow, VisibleRows, DrawnHeight);
        CreateCoordConvLUT();
        if (builds == FTableBuilds)
            break;
    }
}

void TKVViewGeometry::FreeTables()
{
    FX = TAxisTables{};
    FY = TAxisTables{};
    FLutZoom = -1.0;
    FLutDrawnWidth = FLutDrawnHeight = FLutBitmapWidth = FLutBitmapHeight = -1;
}

void TKVViewGeometry::CreateCoordConvLUT()
{
    const bool cached = FLutZoom == FZoom && FLutDrawnWidth == DrawnWidth && FLutDrawnHeight == DrawnHeight &&
                        FLutBitmapWidth == BitmapWidth && FLutBitmapHeight == BitmapHeight;
    if (!cached) {
        FX = TAxisTables{};
        FY = TAxisTables{};
        if (DrawnWidth <= 0 || DrawnHeight <= 0 || BitmapWidth <= 0 || BitmapHeight <= 0 ||
            ZoomedWidth > kMaxZoomedExtent || ZoomedHeight > kMaxZoomedExtent)
            return;
        BuildAxis(FX, DrawnWidth, ZoomedWidth, BitmapWidth);
        BuildAxis(FY, DrawnHeight, ZoomedHeight, BitmapHeight);
        FLutZoom = FZoom;
        FLutDrawnWidth = DrawnWidth;
        FLutDrawnHeight = DrawnHeight;
        FLutBitmapWidth = BitmapWidth;
        FLutBitmapHeight = BitmapHeight;
        ++FTableBuilds;
    }
    if (FX.ScreenCount > 0) {
        SetBases(FX, QuantizeViewX(ViewX), FirstColumn);
        SetBases(FY, QuantizeViewY(ViewY), FirstRow);
    }
}

void TKVViewGeometry::BuildAxis(TAxisTables& t, int32_t drawn, int32_t zoomed, int32_t bitmapExtent)
{
    const ld d100z = FD100Zoom;
    const ld zd100 = FZoomD100;
    t.ScreenCount = drawn;
    t.BitmapCount = Trunc(drawn * d100z);
    const int64_t nS = int64_t(zoomed) + drawn + 1;
    int64_t nB = Trunc64(nS * d100z) + 1;
    // Below 100 the bitmap side would grow with 1/zoom; entries past the bitmap all give its last
    // pixel, which the screen side already holds.
    if (FZoom <= 100)
        nB = std::min<int64_t>(nB, int64_t(bitmapExtent) + 2);
    const int32_t bmax = std::max(bitmapExtent - 1, 0);
    t.ScreenToBitmap.assign(static_cast<size_t>(nS + 1), bmax);
    t.BitmapToScreen.assign(static_cast<size_t>(nB + 1), 0);
    // Walking downward leaves the first client pixel of each bitmap pixel (above 100), or the
    // first bitmap pixel of each client pixel (at 100 and below).
    if (FZoom > 100) {
        for (int64_t s = nS - 1; s >= 0; --s) {
            const int64_t b = Trunc64(s * d100z);
            if (b >= 0 && b < int64_t(t.BitmapToScreen.size()))
                t.BitmapToScreen[size_t(b)] = int32_t(s);
            t.ScreenToBitmap[size_t(s)] = int32_t(std::min<int64_t>(b, bmax));
        }
    } else {
        for (int64_t b = nB - 1; b >= 0; --b) {
            const int64_t s = Trunc64(b * zd100);
            t.BitmapToScreen[size_t(b)] = int32_t(s);
            if (s >= 0 && s < int64_t(t.ScreenToBitmap.size()))
                t.ScreenToBitmap[size_t(s)] = int32_t(std::min<int64_t>(b, bmax));
        }
    }
}

void TKVViewGeometry::SetBases(TAxisTables& t, int32_t q, int32_t first)
{
    t.ScreenBase = q;
    int64_t b;
    if (q >= 0 && q < int64_t(t.ScreenToBitmap.size()))
        b = t.ScreenToBitmap[size_t(q)];
    else
        b = Trunc64(q * static_cast<ld>(FD100Zoom));
    t.BitmapBase = b - first;
}

bool TKVViewGeometry::TablesCurrent() const
{
    return FLutZoom == FZoom && FLutBitmapWidth == BitmapWidth && FLutBitmapHeight == BitmapHeight;
}

int32_t TKVViewGeometry::Quantize(const TAxisTables& t, int32_t zoomed, int32_t v) const
{
    v = std::max(v, 0);
    if (v >= zoomed || !TablesCurrent() || !t.Present() || t.ScreenCount < 1 ||
        v >= int64_t(t.ScreenToBitmap.size()))
        return v;
    const int32_t b = t.ScreenToBitmap[size_t(v)];
    if (b < 0 || b >= int64_t(t.BitmapToScreen.size()))
        return v;
    return t.BitmapToScreen[size_t(b)];
}

int32_t TKVViewGeometry::QuantizeViewX(int32_t v) const
{
    return Quantize(FX, ZoomedWidth, v);
}

int32_t TKVViewGeometry::QuantizeViewY(int32_t v) const
{
    return Quantize(FY, ZoomedHeight, v);
}

int32_t TKVViewGeometry::Scr2Bmp(const TAxisTables& t, int32_t offset, int32_t first, int32_t v) const
{
    const int64_t d = int64_t(v) - offset;
    if (TablesCurrent() && t.Present() && d >= 0 && d < t.ScreenCount) {
        const int64_t i = t.ScreenBase + d;
        if (i >= 0 && i < int64_t(t.ScreenToBitmap.size()))
            return t.ScreenToBitmap[size_t(i)];
    }
    return Trunc(d * static_cast<ld>(FD100Zoom) + first);
}

int32_t TKVViewGeometry::Bmp2Scr(const TAxisTables& t, int32_t offset, int32_t first, int32_t quantized,
                                 int32_t v) const
{
    const int64_t d = int64_t(v) - first;
    if (TablesCurrent() && t.Present() && d >= 0 && d < t.BitmapCount) {
        // At inexact ratios the base can lie one entry before the table; such an index takes the
        // arithmetic form below.
        const int64_t i = t.BitmapBase + d;
        if (i >= 0 && i < int64_t(t.BitmapToScreen.size()))
            return int32_t(t.BitmapToScreen[size_t(i)] + int64_t(offset));
    }
    const int64_t origin = Round64(-quantized * static_cast<ld>(FD100Zoom));
    return Round((v + origin) * static_cast<ld>(FZoomD100) + offset);
}

int32_t TKVViewGeometry::XScr2Bmp(int32_t x) const
{
    return Scr2Bmp(FX, OffsetX, FirstColumn, x);
}

int32_t TKVViewGeometry::YScr2Bmp(int32_t y) const
{
    return Scr2Bmp(FY, OffsetY, FirstRow, y);
}

int32_t TKVViewGeometry::XBmp2Scr(int32_t x) const
{
    return Bmp2Scr(FX, OffsetX, FirstColumn, QuantizeViewX(ViewX), x);
}

int32_t TKVViewGeometry::YBmp2Scr(int32_t y) const
{
    return Bmp2Scr(FY, OffsetY, FirstRow, QuantizeViewY(ViewY), y);
}

void TKVViewGeometry::GetMaxViewXY(int32_t& mx, int32_t& my)
{
    const ld ratio = FZoomD100;
    int64_t w = Trunc64(BitmapWidth * ratio);
    int64_t h = Trunc64(BitmapHeight * ratio);
    if (w > ClientWidth + 10 || h > ClientHeight + 10) {
        // The fit margin: half a bitmap pixel more, so that the last pixel can be reached.
        w = Trunc64((BitmapWidth + 0.5L) * ratio);
        h = Trunc64((BitmapHeight + 0.5L) * ratio);
    }
    mx = 0;
    my = 0;
    if (w < 1 || h < 1)
        return;
    mx = int32_t(std::clamp<int64_t>(w - ClientWidth, 0, INT32_MAX));
    my = int32_t(std::clamp<int64_t>(h - ClientHeight, 0, INT32_MAX));
    if (XScr2Bmp(mx) == 0)
        mx = 0;
    if (YScr2Bmp(my) == 0)
        my = 0;
    if (w <= OuterWidth && h <= OuterHeight) {
        mx = 0;
        my = 0;
    }
}

void TKVViewGeometry::ZoomKeepingCentre(double z, int32_t& newViewX, int32_t& newViewY)
{
    const int32_t cx = ClientWidth / 2;
    const int32_t cy = ClientHeight / 2;
    const int64_t bx = Round64((int64_t(ViewX) + cx - OffsetX) * static_cast<ld>(FD100Zoom));
    const int64_t by = Round64((int64_t(ViewY) + cy - OffsetY) * static_cast<ld>(FD100Zoom));
    const ld ratio = static_cast<ld>(z / 100.0);
    newViewX = Trunc(bx * ratio - cx);
    newViewY = Trunc(by * ratio - cy);
    // The maxima of the new zoom, so that zooming in on a scrolled picture keeps its centre.
    const double oldZoom = FZoom;
    SetZoomRatios(z);
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    SetZoomRatios(oldZoom);
    newViewX = std::clamp(newViewX, 0, mx);
    newViewY = std::clamp(newViewY, 0, my);
}
