// Enhanced metafiles: the header, and every record handed to the player once libuemf and our own
// checks agree that it lies within itself and within the file. EMF+ comments are passed over; a
// dual file draws from the records that follow them.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <uemf.h>
#include <uemf_safe.h>

#include "platform/graphics/detail/metafile_formats.h"
#include "platform/graphics/detail/metafile_player.h"
#include "platform/graphics/dib.h"

namespace GraphicsDetail {

namespace {

constexpr uint32_t EmfSignature = 0x464D4520; // " EMF"
constexpr uint32_t ETO_NO_RECT = 0x100;
constexpr uint32_t ETO_PDY = 0x2000;
constexpr uint32_t StockObject = 0x80000000;
constexpr uint32_t MaxRegionRects = 1 << 16;

// One record: its bytes, read field by field with every offset checked.
class TRecord
{
public:
    TRecord(const uint8_t* data, uint32_t size) : FData(data), FSize(size) {}

    uint32_t Size() const { return FSize; }
    bool Has(size_t offset, size_t bytes) const { return offset <= FSize && bytes <= FSize - offset; }
    template <class T> T Get(size_t offset) const
    {
        T value{};
        if (Has(offset, sizeof(T))) {
            std::memcpy(&value, FData + offset, sizeof(T));
        }
        return value;
    }
    int32_t I32(size_t offset) const { return Get<int32_t>(offset); }
    uint32_t U32(size_t offset) const { return Get<uint32_t>(offset); }
    float F32(size_t offset) const { return Get<float>(offset); }
    const uint8_t* At(size_t offset) const { return FData + offset; }

private:
    const uint8_t* FData;
    uint32_t FSize;
};

TXformD XformAt(const TRecord& r, size_t offset)
{
    TXformD x;
    x.M11 = r.F32(offset);
    x.M12 = r.F32(offset + 4);
    x.M21 = r.F32(offset + 8);
    x.M22 = r.F32(offset + 12);
    x.Dx = r.F32(offset + 16);
    x.Dy = r.F32(offset + 20);
    const double values[] = {x.M11, x.M12, x.M21, x.M22, x.Dx, x.Dy};
    for (double v : values) {
        if (!std::isfinite(v)) {
            return TXformD();
        }
    }
    return x;
}

// The points of a poly record: a count at countAt, then 32-bit or 16-bit point pairs.
bool PointsAt(const TRecord& r, size_t countAt, bool small, std::vector<TPointD>& points)
{
    const uint32_t count = r.U32(countAt);
    const size_t pointBytes = small ? 4 : 8;
    if (!r.Has(countAt + 4, size_t(count) * pointBytes)) {
        return false;
    }
    points.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = countAt + 4 + i * pointBytes;
        points[i] = small ? TPointD{double(r.Get<int16_t>(at)), double(r.Get<int16_t>(at + 2))}
                          : TPointD{double(r.I32(at)), double(r.I32(at + 4))};
    }
    return true;
}

// The figures of a polypoly record: figure count, point count, counts, then the points.
bool PolyPointsAt(const TRecord& r, bool small, std::vector<std::vector<TPointD>>& figures)
{
    const uint32_t polygons = r.U32(24);
    const uint32_t total = r.U32(28);
    const size_t pointBytes = small ? 4 : 8;
    if (!r.Has(32, size_t(polygons) * 4) || !r.Has(32 + size_t(polygons) * 4, size_t(total) * pointBytes)) {
        return false;
    }
    size_t next = 32 + size_t(polygons) * 4;
    uint64_t used = 0;
    figures.clear();
    for (uint32_t p = 0; p < polygons; ++p) {
        const uint32_t count = r.U32(32 + p * 4);
        used += count;
        if (used > total) {
            return false;
        }
        figures.emplace_back();
        for (uint32_t i = 0; i < count; ++i, next += pointBytes) {
            figures.back().push_back(
                small ? TPointD{double(r.Get<int16_t>(next)), double(r.Get<int16_t>(next + 2))}
                      : TPointD{double(r.I32(next)), double(r.I32(next + 4))});
        }
    }
    return true;
}

// Region data: a 32-byte header, then its rectangles.
bool RegionRects(const TRecord& r, size_t offset, uint32_t bytes, std::vector<TRect>& rects)
{
    if (!r.Has(offset, bytes) || bytes < 32) {
        return false;
    }
    // Real clip regions hold a few rectangles; a file that lists more is not followed.
    const uint32_t count = r.U32(offset + 8);
    if (size_t(count) * 16 > bytes - 32 || count > MaxRegionRects) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = offset + 32 + i * 16;
        rects.push_back(Rect(r.I32(at), r.I32(at + 4), r.I32(at + 8), r.I32(at + 12)));
    }
    return true;
}

// The block of header and colour table at offBmi, then the rows at offBits, copied together so
// that the player gets one packed DIB.
bool PackedDib(const TRecord& r, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits,
               std::vector<uint8_t>& dib)
{
    if (cbBmi < sizeof(BITMAPINFOHEADER) || !r.Has(offBmi, cbBmi) || !r.Has(offBits, cbBits)) {
        return false;
    }
    dib.assign(r.At(offBmi), r.At(offBmi) + cbBmi);
    dib.insert(dib.end(), r.At(offBits), r.At(offBits) + cbBits);
    return true;
}

// A pattern brush drawn as the mean colour of its pattern.
TBrushSpec PatternBrush(const std::vector<uint8_t>& dib)
{
    TBrushSpec brush{0, 0x808080, 0};
    TDIBLayout layout;
    if (!ParseDIBHeader(dib.data(), dib.size(), layout) ||
        uint64_t(layout.BitsOffset) + uint64_t(layout.ImageSize) > dib.size()) {
        return brush;
    }
    uint64_t sums[3] = {0, 0, 0};
    const int32_t width = std::min(layout.Width, 64), height = std::min(layout.Height, 64);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = dib.data() + layout.BitsOffset + size_t(y) * size_t(layout.RowLength);
        for (int32_t x = 0; x < width; ++x) {
            const COLORREF c = layout.PixelColor(row, x);
            sums[0] += GetRValue(c);
            sums[1] += GetGValue(c);
            sums[2] += GetBValue(c);
        }
    }
    const uint64_t n = uint64_t(std::max(1, width * height));
    brush.Color = RGB(uint8_t(sums[0] / n), uint8_t(sums[1] / n), uint8_t(sums[2] / n));
    return brush;
}

// CREATEMONOBRUSH and CREATEDIBPATTERNBRUSHPT: ihBrush, iUsage, offBmi, cbBmi, offBits, cbBits.
TBrushSpec PackDibBrush(const TRecord& r, std::vector<uint8_t>& dib)
{
    if (!PackedDib(r, r.U32(16), r.U32(20), r.U32(24), r.U32(28), dib)) {
        return TBrushSpec{0, 0x808080, 0};
    }
    return PatternBrush(dib);
}

TFontSpec FontOf(const TRecord& r, size_t at)
{
    TFontSpec font;
    font.Height = r.I32(at);
    font.Escapement = r.I32(at + 8);
    font.Weight = r.I32(at + 16);
    font.Italic = r.Get<uint8_t>(at + 20) != 0;
    font.Underline = r.Get<uint8_t>(at + 21) != 0;
    font.StrikeOut = r.Get<uint8_t>(at + 22) != 0;
    std::u32string face;
    for (size_t i = 0; i < 32 && r.Has(at + 28 + i * 2, 2); ++i) {
        const char16_t c = r.Get<char16_t>(at + 28 + i * 2);
        if (c == 0) {
            break;
        }
        face += char32_t(c);
    }
    for (char32_t c : face) {
        if (c < 0x80) {
            font.FaceName += char(c);
        } else if (c < 0x800) {
            font.FaceName += char(0xC0 | (c >> 6));
            font.FaceName += char(0x80 | (c & 0x3F));
        } else {
            font.FaceName += char(0xE0 | (c >> 12));
            font.FaceName += char(0x80 | ((c >> 6) & 0x3F));
            font.FaceName += char(0x80 | (c & 0x3F));
        }
    }
    return font;
}

void TextRecord(TMetafilePlayer& player, const TRecord& r, bool wide)
{
    // rclBounds, iGraphicsMode, exScale, eyScale, then the text object.
    const size_t text = 36;
    const double x = r.I32(text), y = r.I32(text + 4);
    const uint32_t count = r.U32(text + 8);
    const uint32_t offString = r.U32(text + 12);
    const uint32_t options = r.U32(text + 16);
    std::optional<std::array<double, 4>> rect;
    size_t next = text + 20;
    if (!(options & ETO_NO_RECT)) {
        rect = std::array<double, 4>{double(r.I32(next)), double(r.I32(next + 4)), double(r.I32(next + 8)),
                                     double(r.I32(next + 12))};
        next += 16;
    }
    const uint32_t offDx = r.U32(next);
    const size_t unit = wide ? 2 : 1;
    if (count > (1u << 20) || !r.Has(offString, size_t(count) * unit)) {
        return;
    }
    const size_t dxPer = (options & ETO_PDY) ? 2 : 1;
    const bool haveDx = offDx != 0 && r.Has(offDx, size_t(count) * 4 * dxPer);
    std::u32string chars;
    std::vector<double> advances;
    for (uint32_t i = 0; i < count; ++i) {
        const double advance = haveDx ? r.I32(offDx + i * 4 * dxPer) : 0;
        char32_t c = 0;
        if (wide) {
            c = r.Get<char16_t>(offString + i * 2);
            // A surrogate pair is one character with the advances of both halves.
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < count) {
                const char32_t low = r.Get<char16_t>(offString + (i + 1) * 2);
                if (low >= 0xDC00 && low < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                    chars += c;
                    advances.push_back(advance + (haveDx ? r.I32(offDx + i * 4 * dxPer) : 0));
                    continue;
                }
            }
        } else {
            c = CodePointOfAnsi(r.Get<uint8_t>(offString + i));
        }
        chars += c;
        advances.push_back(advance);
    }
    if (!haveDx) {
        advances.clear();
    }
    player.TextOut(x, y, chars, advances, options, rect);
}

void StretchDibRecord(TMetafilePlayer& player, const TRecord& r)
{
    // rclBounds, xDest, yDest, xSrc, ySrc, cxSrc, cySrc, offBmiSrc, cbBmiSrc, offBitsSrc, cbBitsSrc,
    // iUsageSrc, dwRop, cxDest, cyDest.
    std::vector<uint8_t> dib;
    if (!PackedDib(r, r.U32(48), r.U32(52), r.U32(56), r.U32(60), dib)) {
        return;
    }
    player.StretchDIB(r.I32(24), r.I32(28), r.I32(72), r.I32(76), r.I32(32), r.I32(36), r.I32(40), r.I32(44),
                      dib.data(), dib.size(), r.U32(64), r.U32(68), false);
}

void BitBltRecord(TMetafilePlayer& player, const TRecord& r, bool stretch)
{
    // rclBounds, xDest, yDest, cxDest, cyDest, dwRop, xSrc, ySrc, xformSrc, crBkColorSrc,
    // iUsageSrc, offBmiSrc, cbBmiSrc, offBitsSrc, cbBitsSrc[, cxSrc, cySrc].
    const double x = r.I32(24), y = r.I32(28), w = r.I32(32), h = r.I32(36);
    const uint32_t rop = r.U32(40);
    const uint32_t cbBmi = r.U32(88);
    if (cbBmi == 0) {
        player.PatBlt(x, y, w, h, rop);
        return;
    }
    std::vector<uint8_t> dib;
    if (!PackedDib(r, r.U32(84), cbBmi, r.U32(92), r.U32(96), dib)) {
        return;
    }
    const int32_t wSrc = stretch ? r.I32(100) : int32_t(w);
    const int32_t hSrc = stretch ? r.I32(104) : int32_t(h);
    player.StretchDIB(x, y, w, h, r.I32(44), r.I32(48), wSrc, hSrc, dib.data(), dib.size(), r.U32(80), rop,
                      true);
}

void SetDibToDeviceRecord(TMetafilePlayer& player, const TRecord& r)
{
    // rclBounds, xDest, yDest, xSrc, ySrc, cxSrc, cySrc, offBmiSrc, cbBmiSrc, offBitsSrc, cbBitsSrc,
    // iUsageSrc, iStartScan, cScans. Only the whole picture is drawn; bands of scans are rare.
    std::vector<uint8_t> dib;
    if (!PackedDib(r, r.U32(48), r.U32(52), r.U32(56), r.U32(60), dib) || r.U32(68) != 0) {
        return;
    }
    const double w = r.I32(40), h = r.I32(44);
    player.StretchDIB(r.I32(24), r.I32(28), w, h, r.I32(32), r.I32(36), int32_t(w), int32_t(h), dib.data(),
                      dib.size(), r.U32(64), SRCCOPY, false);
}

// The record types PlayRecord reads.
bool Played(uint32_t type)
{
    switch (type) {
    case U_EMR_HEADER:
    case U_EMR_EOF:
    case U_EMR_COMMENT:
    case U_EMR_SETBRUSHORGEX:
    case U_EMR_SETMAPPERFLAGS:
    case U_EMR_SETCOLORADJUSTMENT:
    case U_EMR_SETMETARGN:
    case U_EMR_REALIZEPALETTE:
    case U_EMR_EXTFLOODFILL:
    case U_EMR_SETMITERLIMIT:
    case U_EMR_FLATTENPATH:
    case U_EMR_WIDENPATH:
    case U_EMR_UNDEF69:
    case U_EMR_FRAMERGN:
    case U_EMR_INVERTRGN:
    case U_EMR_PLGBLT:
    case U_EMR_POLYTEXTOUTA:
    case U_EMR_POLYTEXTOUTW:
        return false;
    default:
        return type >= U_EMR_POLYBEZIER && type <= U_EMR_EXTCREATEPEN;
    }
}

void PlayRecord(TMetafilePlayer& player, const TRecord& r, uint32_t type)
{
    std::vector<TPointD> points;
    std::vector<std::vector<TPointD>> figures;
    switch (type) {
    case U_EMR_POLYBEZIER:
    case U_EMR_POLYBEZIER16:
        if (PointsAt(r, 24, type == U_EMR_POLYBEZIER16, points)) {
            player.PolyBezier(points);
        }
        break;
    case U_EMR_POLYGON:
    case U_EMR_POLYGON16:
        if (PointsAt(r, 24, type == U_EMR_POLYGON16, points)) {
            player.Polygon(points);
        }
        break;
    case U_EMR_POLYLINE:
    case U_EMR_POLYLINE16:
        if (PointsAt(r, 24, type == U_EMR_POLYLINE16, points)) {
            player.Polyline(points);
        }
        break;
    case U_EMR_POLYBEZIERTO:
    case U_EMR_POLYBEZIERTO16:
        if (PointsAt(r, 24, type == U_EMR_POLYBEZIERTO16, points)) {
            player.PolyBezierTo(points);
        }
        break;
    case U_EMR_POLYLINETO:
    case U_EMR_POLYLINETO16:
        if (PointsAt(r, 24, type == U_EMR_POLYLINETO16, points)) {
            player.PolylineTo(points);
        }
        break;
    case U_EMR_POLYPOLYLINE:
    case U_EMR_POLYPOLYLINE16:
        if (PolyPointsAt(r, type == U_EMR_POLYPOLYLINE16, figures)) {
            player.PolyPolyline(figures);
        }
        break;
    case U_EMR_POLYPOLYGON:
    case U_EMR_POLYPOLYGON16:
        if (PolyPointsAt(r, type == U_EMR_POLYPOLYGON16, figures)) {
            player.PolyPolygon(figures);
        }
        break;
    case U_EMR_POLYDRAW:
    case U_EMR_POLYDRAW16: {
        const bool small = type == U_EMR_POLYDRAW16;
        if (!PointsAt(r, 24, small, points) || !r.Has(28 + points.size() * (small ? 4 : 8), points.size())) {
            break;
        }
        const uint8_t* kinds = r.At(28 + points.size() * (small ? 4 : 8));
        for (size_t i = 0; i < points.size(); ++i) {
            const uint8_t kind = kinds[i] & 0x06;
            if (kind == 0x06) {
                player.MoveTo(points[i].X, points[i].Y);
            } else if (kind == 0x04 && i + 2 < points.size()) {
                player.PolyBezierTo({points[i], points[i + 1], points[i + 2]});
                i += 2;
            } else {
                player.LineTo(points[i].X, points[i].Y);
            }
            if (kinds[std::min(i, points.size() - 1)] & 0x01) {
                player.CloseFigure();
            }
        }
        break;
    }
    case U_EMR_SETWINDOWEXTEX:
        player.SetWindowExt(r.I32(8), r.I32(12));
        break;
    case U_EMR_SETWINDOWORGEX:
        player.SetWindowOrg(r.I32(8), r.I32(12));
        break;
    case U_EMR_SETVIEWPORTEXTEX:
        player.SetViewportExt(r.I32(8), r.I32(12));
        break;
    case U_EMR_SETVIEWPORTORGEX:
        player.SetViewportOrg(r.I32(8), r.I32(12));
        break;
    case U_EMR_SETPIXELV:
        player.SetPixel(r.I32(8), r.I32(12), r.U32(16));
        break;
    case U_EMR_SETMAPMODE:
        player.SetMapMode(r.I32(8));
        break;
    case U_EMR_SETBKMODE:
        player.SetBkMode(r.I32(8));
        break;
    case U_EMR_SETPOLYFILLMODE:
        player.SetPolyFillMode(r.I32(8));
        break;
    case U_EMR_SETROP2:
        player.SetROP2(r.I32(8));
        break;
    case U_EMR_SETSTRETCHBLTMODE:
        player.SetStretchBltMode(r.I32(8));
        break;
    case U_EMR_SETTEXTALIGN:
        player.SetTextAlign(r.U32(8));
        break;
    case U_EMR_SETTEXTCOLOR:
        player.SetTextColor(r.U32(8));
        break;
    case U_EMR_SETBKCOLOR:
        player.SetBkColor(r.U32(8));
        break;
    case U_EMR_OFFSETCLIPRGN:
        player.OffsetClipRegion(r.I32(8), r.I32(12));
        break;
    case U_EMR_MOVETOEX:
        player.MoveTo(r.I32(8), r.I32(12));
        break;
    case U_EMR_EXCLUDECLIPRECT:
        player.ExcludeClipRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
        break;
    case U_EMR_INTERSECTCLIPRECT:
        player.IntersectClipRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
        break;
    case U_EMR_SCALEVIEWPORTEXTEX:
        player.ScaleViewportExt(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
        break;
    case U_EMR_SCALEWINDOWEXTEX:
        player.ScaleWindowExt(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
        break;
    case U_EMR_SAVEDC:
        player.SaveDC();
        break;
    case U_EMR_RESTOREDC:
        player.RestoreDC(r.I32(8));
        break;
    case U_EMR_SETWORLDTRANSFORM:
        player.SetWorldTransform(XformAt(r, 8));
        break;
    case U_EMR_MODIFYWORLDTRANSFORM:
        player.ModifyWorldTransform(XformAt(r, 8), r.U32(32));
        break;
    case U_EMR_SELECTOBJECT: {
        const uint32_t handle = r.U32(8);
        if (handle & StockObject) {
            player.SelectStockObject(handle & ~StockObject);
        } else {
            player.SelectObject(handle);
        }
        break;
    }
    case U_EMR_CREATEPEN: {
        TMetaObject pen;
        pen.Kind = TMetaObject::Pen;
        pen.PenValue = {r.U32(12), double(r.I32(16)), r.U32(24)};
        player.SetObject(r.U32(8), pen);
        break;
    }
    case U_EMR_EXTCREATEPEN: {
        // ihPen, offBmi, cbBmi, offBits, cbBits, then the extended pen.
        TMetaObject pen;
        pen.Kind = TMetaObject::Pen;
        const uint32_t style = r.U32(28);
        pen.PenValue = {style, (style & PS_GEOMETRIC) ? double(r.U32(32)) : 0.0, r.U32(40)};
        if (r.U32(36) == 1) { // a hollow brush draws nothing
            pen.PenValue.Style = 5;
        }
        player.SetObject(r.U32(8), pen);
        break;
    }
    case U_EMR_CREATEBRUSHINDIRECT: {
        TMetaObject brush;
        brush.Kind = TMetaObject::Brush;
        brush.BrushValue = {r.U32(12), r.U32(16), r.U32(20)};
        player.SetObject(r.U32(8), brush);
        break;
    }
    case U_EMR_CREATEMONOBRUSH:
    case U_EMR_CREATEDIBPATTERNBRUSHPT: {
        std::vector<uint8_t> dib;
        TMetaObject brush;
        brush.Kind = TMetaObject::Brush;
        brush.BrushValue = PackDibBrush(r, dib);
        player.SetObject(r.U32(8), brush);
        break;
    }
    case U_EMR_DELETEOBJECT:
        player.DeleteObject(r.U32(8));
        break;
    case U_EMR_ANGLEARC:
        player.AngleArc(r.I32(8), r.I32(12), r.U32(16), r.F32(20), r.F32(24));
        break;
    case U_EMR_ELLIPSE:
        player.Ellipse(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
        break;
    case U_EMR_RECTANGLE:
        player.Rectangle(r.I32(8), r.I32(12), r.I32(16), r.I32(20));
        break;
    case U_EMR_ROUNDRECT:
        player.RoundRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20), r.I32(24), r.I32(28));
        break;
    case U_EMR_ARC:
    case U_EMR_ARCTO:
    case U_EMR_CHORD:
    case U_EMR_PIE: {
        const TMetafilePlayer::TArcKind kind = type == U_EMR_ARC     ? TMetafilePlayer::akArc
                                               : type == U_EMR_ARCTO ? TMetafilePlayer::akArcTo
                                               : type == U_EMR_PIE   ? TMetafilePlayer::akPie
                                                                     : TMetafilePlayer::akChord;
        player.ArcShape(kind, r.I32(8), r.I32(12), r.I32(16), r.I32(20),
                        {double(r.I32(24)), double(r.I32(28))}, {double(r.I32(32)), double(r.I32(36))});
        break;
    }
    case U_EMR_SELECTPALETTE: {
        const uint32_t handle = r.U32(8);
        if (handle & StockObject) {
            player.SelectStockPalette();
        } else {
            player.SelectPalette(handle);
        }
        break;
    }
    case U_EMR_CREATEPALETTE: {
        // ihPal, then a logical palette: version, entry count, entries of reserved, blue, green, red.
        const uint16_t count = r.Get<uint16_t>(14);
        if (!r.Has(16, size_t(count) * 4)) {
            break;
        }
        TMetaObject palette;
        palette.Kind = TMetaObject::Palette;
        palette.PaletteValue = std::make_shared<TPaletteObject>();
        for (uint16_t i = 0; i < count; ++i) {
            const uint8_t* e = r.At(16 + size_t(i) * 4);
            palette.PaletteValue->Entries.push_back({e[3], e[2], e[1], 0});
        }
        player.SetObject(r.U32(8), palette);
        break;
    }
    case U_EMR_SETPALETTEENTRIES: {
        TMetaObject* palette = player.ObjectAt(r.U32(8));
        const uint32_t start = r.U32(12), count = r.U32(16);
        if (!palette || palette->Kind != TMetaObject::Palette || !r.Has(20, size_t(count) * 4)) {
            break;
        }
        for (uint32_t i = 0; i < count && start + i < palette->PaletteValue->Entries.size(); ++i) {
            const uint8_t* e = r.At(20 + size_t(i) * 4);
            palette->PaletteValue->Entries[start + i] = {e[3], e[2], e[1], 0};
        }
        break;
    }
    case U_EMR_RESIZEPALETTE: {
        TMetaObject* palette = player.ObjectAt(r.U32(8));
        if (palette && palette->Kind == TMetaObject::Palette && r.U32(12) <= 1024) {
            palette->PaletteValue->Entries.resize(r.U32(12));
        }
        break;
    }
    case U_EMR_LINETO:
        player.LineTo(r.I32(8), r.I32(12));
        break;
    case U_EMR_SETARCDIRECTION:
        player.SetArcDirection(r.I32(8));
        break;
    case U_EMR_BEGINPATH:
        player.BeginPath();
        break;
    case U_EMR_ENDPATH:
        player.EndPath();
        break;
    case U_EMR_CLOSEFIGURE:
        player.CloseFigure();
        break;
    case U_EMR_FILLPATH:
        player.FillPath();
        break;
    case U_EMR_STROKEANDFILLPATH:
        player.StrokeAndFillPath();
        break;
    case U_EMR_STROKEPATH:
        player.StrokePath();
        break;
    case U_EMR_SELECTCLIPPATH:
        player.SelectClipPath(TRegionMode(std::clamp<uint32_t>(r.U32(8), 1, 5)));
        break;
    case U_EMR_ABORTPATH:
        player.AbortPath();
        break;
    case U_EMR_FILLRGN:
    case U_EMR_PAINTRGN: {
        // rclBounds, cbRgnData[, ihBrush], region data.
        const bool fill = type == U_EMR_FILLRGN;
        std::vector<TRect> rects;
        if (!RegionRects(r, fill ? 32 : 28, r.U32(24), rects)) {
            break;
        }
        const auto region = player.DeviceRegion(rects);
        const TMetaObject* brush = fill ? player.ObjectAt(r.U32(28)) : nullptr;
        player.FillRegion(region.get(),
                          brush && brush->Kind == TMetaObject::Brush ? &brush->BrushValue : nullptr);
        break;
    }
    case U_EMR_EXTSELECTCLIPRGN: {
        const uint32_t bytes = r.U32(8);
        const TRegionMode mode = TRegionMode(std::clamp<uint32_t>(r.U32(12), 1, 5));
        std::vector<TRect> rects;
        if (bytes == 0) {
            player.SelectClipRegion(nullptr, mode);
        } else if (RegionRects(r, 16, bytes, rects)) {
            player.SelectClipRegion(player.DeviceRegion(rects).get(), mode);
        }
        break;
    }
    case U_EMR_BITBLT:
    case U_EMR_MASKBLT:
        BitBltRecord(player, r, false);
        break;
    case U_EMR_STRETCHBLT:
        BitBltRecord(player, r, true);
        break;
    case U_EMR_SETDIBITSTODEVICE:
        SetDibToDeviceRecord(player, r);
        break;
    case U_EMR_STRETCHDIBITS:
        StretchDibRecord(player, r);
        break;
    case U_EMR_EXTCREATEFONTINDIRECTW: {
        TMetaObject font;
        font.Kind = TMetaObject::Font;
        font.FontValue = FontOf(r, 12);
        player.SetObject(r.U32(8), font);
        break;
    }
    case U_EMR_EXTTEXTOUTA:
    case U_EMR_EXTTEXTOUTW:
        TextRecord(player, r, type == U_EMR_EXTTEXTOUTW);
        break;
    default:
        // Comments (EMF+ among them), colour management, OpenGL, escapes and the rest draw
        // nothing here.
        break;
    }
}

} // namespace

bool ReadEmfHeader(const uint8_t* data, size_t size, TMetafileSize& frame)
{
    if (!data || size < 88) {
        return false;
    }
    const TRecord header(data, uint32_t(std::min<size_t>(size, UINT32_MAX)));
    const uint32_t headerSize = header.U32(4);
    if (header.U32(0) != U_EMR_HEADER || header.U32(40) != EmfSignature || headerSize < 88 ||
        headerSize > size || headerSize % 4 != 0) {
        return false;
    }
    // rclBounds (device pixels) at 8, then rclFrame (hundredths of a millimetre) at 24.
    const double width = double(header.I32(32)) - header.I32(24);
    const double height = double(header.I32(36)) - header.I32(28);
    if (!(width > 0) || !(height > 0)) {
        frame = {0, 0};
        return true; // an empty frame: the caller decides what a picture of no size is
    }
    frame.MMWidth = width;
    frame.MMHeight = height;
    return true;
}

void PlayEmf(TCanvas& canvas, const uint8_t* data, size_t size, const TRect& dest)
{
    TMetafileSize frame;
    if (!ReadEmfHeader(data, size, frame) || frame.MMWidth <= 0 || frame.MMHeight <= 0) {
        return;
    }
    const TRecord header(data, uint32_t(std::min<size_t>(size, UINT32_MAX)));
    // The frame in reference device pixels is placed on the destination.
    double deviceX = header.I32(72), deviceY = header.I32(76);
    double millimetresX = header.I32(80), millimetresY = header.I32(84);
    if (deviceX <= 0 || deviceY <= 0 || millimetresX <= 0 || millimetresY <= 0) {
        deviceX = deviceY = 96;
        millimetresX = millimetresY = 25.4;
    }
    const double perMmX = deviceX / millimetresX, perMmY = deviceY / millimetresY;
    const double left = header.I32(24) / 100.0 * perMmX, top = header.I32(28) / 100.0 * perMmY;
    const double width = frame.MMWidth / 100.0 * perMmX, height = frame.MMHeight / 100.0 * perMmY;
    TXformD placement;
    placement.M11 = dest.Width() / width;
    placement.M22 = dest.Height() / height;
    placement.Dx = dest.Left - left * placement.M11;
    placement.Dy = dest.Top - top * placement.M22;
    TMetafilePlayer player(canvas, true, placement, dest);
    player.SetReferenceResolution(perMmX, perMmY);

    size_t offset = 0;
    while (offset + 8 <= size) {
        uint32_t type = 0, recordSize = 0;
        std::memcpy(&type, data + offset, 4);
        std::memcpy(&recordSize, data + offset + 4, 4);
        if (recordSize < 8 || recordSize % 4 != 0 || recordSize > size - offset) {
            break;
        }
        const TRecord record(data + offset, recordSize);
        offset += recordSize;
        if (type == U_EMR_EOF) {
            break;
        }
        // Comments hold private data, EMF+ records among them: a dual file's GDI records follow.
        if (type == U_EMR_HEADER || type == U_EMR_COMMENT) {
            continue;
        }
        // libuemf checks the record's own offsets and counts against its size; records the player
        // does not read are not looked at.
        if (!Played(type) || !U_emf_record_safe(reinterpret_cast<const char*>(record.At(0)))) {
            continue;
        }
        PlayRecord(player, record, type);
    }
    player.Finish();
}

} // namespace GraphicsDetail
