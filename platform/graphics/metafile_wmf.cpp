// Windows metafiles: the placeable and standard headers (read by libuemf), and every record handed
// to the player once libuemf and our own checks agree that it lies within the file. The window a
// file sets is mapped onto the destination; without one, the placeable header's box is.
#include <algorithm>
#include <cstring>

#include <uwmf.h>

#include "platform/graphics/detail/metafile_formats.h"
#include "platform/graphics/detail/metafile_player.h"
#include "platform/graphics/dib.h"

namespace GraphicsDetail {

char32_t CodePointOfAnsi(uint8_t c)
{
    // Windows-1252 differs from Latin-1 in 0x80..0x9F.
    static const char16_t high[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                      0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    return c >= 0x80 && c < 0xA0 ? char32_t(high[c - 0x80]) : char32_t(c);
}

namespace {

constexpr uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr uint16_t ETO_OPAQUE = 2;
constexpr uint16_t ETO_CLIPPED = 4;
// Real clip regions hold a few rectangles; more than this are not followed.
constexpr size_t MaxRegionRects = 1 << 16;

// One record: Size (in 16-bit words), Function, then the parameters as 16-bit words.
class TRecord
{
public:
    TRecord(const uint8_t* data, size_t size) : FData(data), FSize(size) {}

    size_t Size() const { return FSize; }
    uint16_t Function() const { return Word(4); }
    bool Has(size_t offset, size_t bytes) const { return offset <= FSize && bytes <= FSize - offset; }
    uint16_t Word(size_t offset) const
    {
        return Has(offset, 2) ? uint16_t(FData[offset] | (FData[offset + 1] << 8)) : 0;
    }
    // Parameter i (16-bit), counted from the first after Function.
    int16_t P(size_t i) const { return int16_t(Word(6 + 2 * i)); }
    uint16_t UP(size_t i) const { return Word(6 + 2 * i); }
    uint32_t P32(size_t i) const { return uint32_t(UP(i)) | (uint32_t(UP(i + 1)) << 16); }
    size_t Parameters() const { return (FSize - 6) / 2; }
    const uint8_t* At(size_t offset) const { return FData + offset; }

private:
    const uint8_t* FData;
    size_t FSize;
};

// The header's size in bytes (placeable header included) and its box, or 0 when it cannot be read.
size_t HeaderOf(const uint8_t* data, size_t size, U_WMRPLACEABLE& placeable, U_WMRHEADER& header)
{
    if (!data || size < 18) {
        return 0;
    }
    std::memset(&placeable, 0, sizeof(placeable));
    std::memset(&header, 0, sizeof(header));
    const char* contents = reinterpret_cast<const char*>(data);
    const int length = wmfheader_get(contents, contents + size, &placeable, &header);
    if (length <= 0 || size_t(length) > size || (header.iType != 1 && header.iType != 2) ||
        header.Size16w != 9) {
        return 0;
    }
    return size_t(length);
}

// Calls visit for each record after the header that lies within the data, up to META_EOF.
template <class TVisit> void ForEachRecord(const uint8_t* data, size_t size, size_t start, TVisit visit)
{
    size_t offset = start;
    while (offset + 6 <= size) {
        uint32_t words = 0;
        std::memcpy(&words, data + offset, 4);
        if (words < 3 || uint64_t(words) * 2 > size - offset) {
            break;
        }
        const TRecord record(data + offset, size_t(words) * 2);
        const char* contents = reinterpret_cast<const char*>(data + offset);
        if (record.Function() == 0 ||
            U_WMRRECSAFE_get(contents, reinterpret_cast<const char*>(data + size)) == 0) {
            break;
        }
        offset += size_t(words) * 2;
        if (!visit(record)) {
            break;
        }
    }
}

std::vector<TPointD> PointsOf(const TRecord& r, size_t first, size_t count)
{
    std::vector<TPointD> points;
    if (!r.Has(6 + 2 * first, count * 4)) {
        return points;
    }
    for (size_t i = 0; i < count; ++i) {
        points.push_back({double(r.P(first + 2 * i)), double(r.P(first + 2 * i + 1))});
    }
    return points;
}

// The rectangles of a region object: its header, then scans of a count, top, bottom, the left
// and right of each run, and the count again.
std::vector<TRect> RegionRects(const TRecord& r)
{
    std::vector<TRect> rects;
    const size_t scans = size_t(std::max<int16_t>(r.P(5), 0));
    size_t at = 11; // the first scan, after the 22-byte header
    for (size_t s = 0; s < scans; ++s) {
        const size_t count = r.UP(at);
        if (count % 2 != 0 || !r.Has(6 + 2 * at, (count + 4) * 2)) {
            break;
        }
        const int16_t top = r.P(at + 1), bottom = r.P(at + 2);
        for (size_t k = 0; k < count && rects.size() < MaxRegionRects; k += 2) {
            rects.push_back(Rect(r.P(at + 3 + k), top, r.P(at + 4 + k), bottom));
        }
        at += count + 4;
    }
    return rects;
}

// The text of TEXTOUT and EXTTEXTOUT, in the ANSI code page.
std::u32string TextOf(const TRecord& r, size_t offset, size_t length)
{
    std::u32string text;
    if (!r.Has(offset, length)) {
        return text;
    }
    for (size_t i = 0; i < length; ++i) {
        text += CodePointOfAnsi(r.At(offset)[i]);
    }
    return text;
}

TMetaObject BrushObject(uint32_t style, uint32_t color, uint32_t hatch)
{
    TMetaObject brush;
    brush.Kind = TMetaObject::Brush;
    brush.BrushValue = {style, color, hatch};
    // Pattern brushes are drawn with a mid grey.
    if (style != 0 && style != 1 && style != 2) {
        brush.BrushValue = {0, 0x808080, 0};
    }
    return brush;
}

void CreateObject(TMetafilePlayer& player, TMetaObject object)
{
    const int32_t slot = player.FreeSlot();
    if (slot >= 0) {
        player.SetObject(uint32_t(slot), std::move(object));
    }
}

// A DIB at the end of a record, from the given parameter on.
void DrawDib(TMetafilePlayer& player, const TRecord& r, size_t firstWord, double x, double y, double w,
             double h, int32_t xSrc, int32_t ySrc, int32_t wSrc, int32_t hSrc, uint32_t usage, uint32_t rop,
             bool fromTop)
{
    const size_t offset = 6 + 2 * firstWord;
    if (!r.Has(offset, sizeof(BITMAPINFOHEADER))) {
        player.PatBlt(x, y, w, h, rop);
        return;
    }
    player.StretchDIB(x, y, w, h, xSrc, ySrc, wSrc, hSrc, r.At(offset), r.Size() - offset, usage, rop,
                      fromTop);
}

void PlayRecord(TMetafilePlayer& player, const TRecord& r)
{
    const uint16_t function = r.Function();
    // A record carries a bitmap when it is longer than its fixed parameters.
    const bool withBitmap = r.Size() / 2 != size_t((function >> 8) + 3);
    switch (function) {
    case 0x0201: // SETBKCOLOR
        player.SetBkColor(r.P32(0));
        break;
    case 0x0102: // SETBKMODE
        player.SetBkMode(r.P(0));
        break;
    case 0x0103: // SETMAPMODE
        player.SetMapMode(r.P(0));
        break;
    case 0x0104: // SETROP2
        player.SetROP2(r.P(0));
        break;
    case 0x0106: // SETPOLYFILLMODE
        player.SetPolyFillMode(r.P(0));
        break;
    case 0x0107: // SETSTRETCHBLTMODE
        player.SetStretchBltMode(r.P(0));
        break;
    case 0x0209: // SETTEXTCOLOR
        player.SetTextColor(r.P32(0));
        break;
    case 0x012E: // SETTEXTALIGN
        player.SetTextAlign(r.UP(0));
        break;
    case 0x020B: // SETWINDOWORG
        player.SetWindowOrg(r.P(1), r.P(0));
        break;
    case 0x020C: // SETWINDOWEXT
        player.SetWindowExt(r.P(1), r.P(0));
        break;
    case 0x020F: // OFFSETWINDOWORG
        player.OffsetWindowOrg(r.P(1), r.P(0));
        break;
    case 0x0410: // SCALEWINDOWEXT
        player.ScaleWindowExt(r.P(3), r.P(2), r.P(1), r.P(0));
        break;
    case 0x0213: // LINETO
        player.LineTo(r.P(1), r.P(0));
        break;
    case 0x0214: // MOVETO
        player.MoveTo(r.P(1), r.P(0));
        break;
    case 0x0415: // EXCLUDECLIPRECT
        player.ExcludeClipRect(r.P(3), r.P(2), r.P(1), r.P(0));
        break;
    case 0x0416: // INTERSECTCLIPRECT
        player.IntersectClipRect(r.P(3), r.P(2), r.P(1), r.P(0));
        break;
    case 0x0220: // OFFSETCLIPRGN
        player.OffsetClipRegion(r.P(1), r.P(0));
        break;
    case 0x0418: // ELLIPSE
        player.Ellipse(r.P(3), r.P(2), r.P(1), r.P(0));
        break;
    case 0x041B: // RECTANGLE
        player.Rectangle(r.P(3), r.P(2), r.P(1), r.P(0));
        break;
    case 0x061C: // ROUNDRECT
        player.RoundRect(r.P(5), r.P(4), r.P(3), r.P(2), r.P(1), r.P(0));
        break;
    case 0x0817: // ARC
    case 0x081A: // PIE
    case 0x0830: // CHORD
    {
        const TMetafilePlayer::TArcKind kind = function == 0x0817   ? TMetafilePlayer::akArc
                                               : function == 0x081A ? TMetafilePlayer::akPie
                                                                    : TMetafilePlayer::akChord;
        player.ArcShape(kind, r.P(7), r.P(6), r.P(5), r.P(4), {double(r.P(3)), double(r.P(2))},
                        {double(r.P(1)), double(r.P(0))});
        break;
    }
    case 0x041F: // SETPIXEL
        player.SetPixel(r.P(3), r.P(2), r.P32(0));
        break;
    case 0x0324: // POLYGON
    case 0x0325: // POLYLINE
    {
        const size_t count = size_t(std::max<int16_t>(r.P(0), 0));
        const std::vector<TPointD> points = PointsOf(r, 1, count);
        if (points.size() == count && function == 0x0324) {
            player.Polygon(points);
        } else if (points.size() == count) {
            player.Polyline(points);
        }
        break;
    }
    case 0x0538: // POLYPOLYGON
    {
        const size_t polygons = size_t(std::max<int16_t>(r.P(0), 0));
        if (!r.Has(8, polygons * 2)) {
            break;
        }
        std::vector<std::vector<TPointD>> figures;
        size_t next = 1 + polygons;
        for (size_t p = 0; p < polygons; ++p) {
            const size_t count = r.UP(1 + p);
            figures.push_back(PointsOf(r, next, count));
            if (figures.back().size() != count) {
                return;
            }
            next += 2 * count;
        }
        player.PolyPolygon(figures);
        break;
    }
    case 0x001E: // SAVEDC
        player.SaveDC();
        break;
    case 0x0127: // RESTOREDC
        player.RestoreDC(r.P(0));
        break;
    case 0x0521: // TEXTOUT
    {
        const size_t length = size_t(std::max<int16_t>(r.P(0), 0));
        const size_t after = 1 + (length + 1) / 2;
        if (!r.Has(6 + 2 * after, 4)) {
            break;
        }
        player.TextOut(r.P(after + 1), r.P(after), TextOf(r, 8, length), {}, 0, std::nullopt);
        break;
    }
    case 0x0A32: // EXTTEXTOUT
    {
        const double y = r.P(0), x = r.P(1);
        const size_t length = size_t(std::max<int16_t>(r.P(2), 0));
        const uint16_t options = r.UP(3);
        size_t next = 4;
        std::optional<std::array<double, 4>> rect;
        if (options & (ETO_OPAQUE | ETO_CLIPPED)) {
            rect = std::array<double, 4>{double(r.P(4)), double(r.P(5)), double(r.P(6)), double(r.P(7))};
            next = 8;
        }
        const std::u32string text = TextOf(r, 6 + 2 * next, length);
        if (text.size() != length) {
            break;
        }
        std::vector<double> advances;
        const size_t dx = next + (length + 1) / 2;
        if (r.Has(6 + 2 * dx, length * 2)) {
            for (size_t i = 0; i < length; ++i) {
                advances.push_back(r.P(dx + i));
            }
        }
        player.TextOut(x, y, text, advances, options, rect);
        break;
    }
    case 0x012D: // SELECTOBJECT
        player.SelectObject(r.UP(0));
        break;
    case 0x01F0: // DELETEOBJECT
        player.DeleteObject(r.UP(0));
        break;
    case 0x02FA: // CREATEPENINDIRECT
    {
        TMetaObject pen;
        pen.Kind = TMetaObject::Pen;
        pen.PenValue = {r.UP(0), double(r.P(1)), r.P32(3)};
        CreateObject(player, pen);
        break;
    }
    case 0x02FC: // CREATEBRUSHINDIRECT
        CreateObject(player, BrushObject(r.UP(0), r.P32(1), r.UP(3)));
        break;
    case 0x0142: // DIBCREATEPATTERNBRUSH
    case 0x01F9: // CREATEPATTERNBRUSH
        CreateObject(player, BrushObject(5, 0, 0));
        break;
    case 0x02FB: // CREATEFONTINDIRECT
    {
        TMetaObject font;
        font.Kind = TMetaObject::Font;
        font.FontValue.Height = r.P(0);
        font.FontValue.Escapement = r.P(2);
        font.FontValue.Weight = r.P(4);
        const size_t base = 6 + 10;
        if (r.Has(base, 8)) {
            font.FontValue.Italic = r.At(base)[0] != 0;
            font.FontValue.Underline = r.At(base)[1] != 0;
            font.FontValue.StrikeOut = r.At(base)[2] != 0;
        }
        for (size_t i = 0; i < 32 && r.Has(base + 8 + i, 1) && r.At(base + 8)[i] != 0; ++i) {
            const char32_t c = CodePointOfAnsi(r.At(base + 8)[i]);
            if (c < 0x80) {
                font.FontValue.FaceName += char(c);
            } else {
                font.FontValue.FaceName += char(0xC0 | (c >> 6));
                font.FontValue.FaceName += char(0x80 | (c & 0x3F));
            }
        }
        CreateObject(player, font);
        break;
    }
    case 0x00F7: // CREATEPALETTE: start, count, then entries of flags, blue, green, red
    {
        const size_t count = r.UP(1);
        TMetaObject palette;
        palette.Kind = TMetaObject::Palette;
        palette.PaletteValue = std::make_shared<TPaletteObject>();
        if (r.Has(10, count * 4)) {
            for (size_t i = 0; i < count; ++i) {
                const uint8_t* e = r.At(10 + i * 4);
                palette.PaletteValue->Entries.push_back({e[3], e[2], e[1], 0});
            }
        }
        CreateObject(player, palette);
        break;
    }
    case 0x06FF: // CREATEREGION
    {
        TMetaObject region;
        region.Kind = TMetaObject::Region;
        region.RegionValue = player.LogicalRegion(RegionRects(r));
        CreateObject(player, region);
        break;
    }
    case 0x0234: // SELECTPALETTE
        player.SelectPalette(r.UP(0));
        break;
    case 0x012C: // SELECTCLIPREGION
        player.SelectClipRegionObject(r.UP(0));
        break;
    case 0x0228: // FILLREGION
    case 0x012B: // PAINTREGION
    {
        const TMetaObject* region = player.ObjectAt(r.UP(0));
        const TMetaObject* brush = function == 0x0228 ? player.ObjectAt(r.UP(1)) : nullptr;
        if (region && region->Kind == TMetaObject::Region) {
            player.FillRegion(region->RegionValue.get(),
                              brush && brush->Kind == TMetaObject::Brush ? &brush->BrushValue : nullptr);
        }
        break;
    }
    case 0x061D: // PATBLT
        player.PatBlt(r.P(5), r.P(4), r.P(3), r.P(2), r.P32(0));
        break;
    case 0x0940: // DIBBITBLT
        if (withBitmap) {
            DrawDib(player, r, 8, r.P(7), r.P(6), r.P(5), r.P(4), r.P(3), r.P(2), r.P(5), r.P(4),
                    DIB_RGB_COLORS, r.P32(0), true);
        } else {
            player.PatBlt(r.P(8), r.P(7), r.P(6), r.P(5), r.P32(0));
        }
        break;
    case 0x0B41: // DIBSTRETCHBLT
        if (withBitmap) {
            DrawDib(player, r, 10, r.P(9), r.P(8), r.P(7), r.P(6), r.P(5), r.P(4), r.P(3), r.P(2),
                    DIB_RGB_COLORS, r.P32(0), true);
        } else {
            player.PatBlt(r.P(10), r.P(9), r.P(8), r.P(7), r.P32(0));
        }
        break;
    case 0x0F43: // STRETCHDIB
        DrawDib(player, r, 11, r.P(10), r.P(9), r.P(8), r.P(7), r.P(6), r.P(5), r.P(4), r.P(3), r.UP(2),
                r.P32(0), false);
        break;
    case 0x0D33: // SETDIBTODEV: only the whole picture at once
        if (r.UP(2) == 0) {
            DrawDib(player, r, 9, r.P(8), r.P(7), r.P(6), r.P(5), r.P(4), r.P(3), r.P(6), r.P(5), r.UP(0),
                    SRCCOPY, false);
        }
        break;
    default:
        break;
    }
}

} // namespace

bool ReadWmfHeader(const uint8_t* data, size_t size, TMetafileSize& frame)
{
    U_WMRPLACEABLE placeable;
    U_WMRHEADER header;
    const size_t start = HeaderOf(data, size, placeable, header);
    if (start == 0) {
        return false;
    }
    if (placeable.Key == PlaceableKey) {
        if (placeable.Inch == 0) {
            return false;
        }
        frame.MMWidth = double(int32_t(placeable.Dst.right) - placeable.Dst.left) * 2540.0 / placeable.Inch;
        frame.MMHeight = double(int32_t(placeable.Dst.bottom) - placeable.Dst.top) * 2540.0 / placeable.Inch;
        frame.MMWidth = std::max(frame.MMWidth, 0.0);
        frame.MMHeight = std::max(frame.MMHeight, 0.0);
        return true;
    }
    // Without the placeable header the window the file sets is its size, at 96 pixels per inch.
    bool found = false;
    ForEachRecord(data, size, start, [&](const TRecord& r) {
        if (r.Function() == 0x020C) {
            frame.MMWidth = std::abs(double(r.P(1))) * 2540.0 / 96;
            frame.MMHeight = std::abs(double(r.P(0))) * 2540.0 / 96;
            found = true;
            return false;
        }
        return true;
    });
    return found;
}

void PlayWmf(TCanvas& canvas, const uint8_t* data, size_t size, const TRect& dest)
{
    U_WMRPLACEABLE placeable;
    U_WMRHEADER header;
    const size_t start = HeaderOf(data, size, placeable, header);
    if (start == 0) {
        return;
    }
    TMetafilePlayer player(canvas, false, TXformD(), dest);
    if (placeable.Key == PlaceableKey) {
        player.SetDefaultWindow(placeable.Dst.left, placeable.Dst.top,
                                double(int32_t(placeable.Dst.right) - placeable.Dst.left),
                                double(int32_t(placeable.Dst.bottom) - placeable.Dst.top));
    } else {
        TMetafileSize frame;
        if (ReadWmfHeader(data, size, frame)) {
            player.SetDefaultWindow(0, 0, frame.MMWidth * 96 / 2540, frame.MMHeight * 96 / 2540);
        }
    }
    ForEachRecord(data, size, start, [&](const TRecord& r) {
        PlayRecord(player, r);
        return true;
    });
    player.Finish();
}

} // namespace GraphicsDetail
