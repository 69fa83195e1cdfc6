// Pixel copies between class-library bitmaps, library bitmaps, 1-bit rows and packed DIBs.
#include "imaging/core/bitmap_copies.h"

#include "imaging/core/dib_bitmap.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/pixel_helpers.h"
#include "imaging/core/video_frames.h"
#include "platform/core/exceptions.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/dib.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <vector>

namespace Korvaneproc {
namespace {

inline bool GetBit(const uint8_t* row, int64_t x)
{
    return (row[x >> 3] & (0x80 >> (x & 7))) != 0;
}

inline void PutBit(uint8_t* row, int64_t x, bool value)
{
    const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
    if (value)
        row[x >> 3] |= bit;
    else
        row[x >> 3] &= static_cast<uint8_t>(~bit);
}

// Where a DIB import writes: the image is allocated once its size is known, then filled row by
// row (row 0 at the top).
struct TDibTarget
{
    std::function<void(int32_t width, int32_t height, bool oneBit)> allocate;
    std::function<uint8_t*(int32_t y)> row;
};

// The value of a bit-field pixel brought to 8 bits: the field's top bit lands on bit 7, whatever
// the field's width and place (a field wider than 8 bits loses its low bits).
uint8_t BitField(uint32_t pixel, uint32_t mask)
{
    if (mask == 0)
        return 0;
    const int top = 31 - std::countl_zero(mask);
    const uint32_t field = pixel & mask;
    return static_cast<uint8_t>(top >= 7 ? field >> (top - 7) : field << (7 - top));
}

TRGB Colour(const std::vector<RGBQUAD>& table, uint32_t index)
{
    if (index >= table.size())
        return {};
    return {table[index].rgbBlue, table[index].rgbGreen, table[index].rgbRed};
}

bool Brighter(const RGBQUAD& a, const RGBQUAD& b)
{
    return a.rgbRed + a.rgbGreen + a.rgbBlue > b.rgbRed + b.rgbGreen + b.rgbBlue;
}

// Converts one DIB row of the layout into a kv1g or kv24RGB row.
void ConvertDibRow(const TDIBLayout& layout, const uint8_t* source, uint8_t* dest)
{
    const int32_t width = layout.Width;
    TRGB* out = reinterpret_cast<TRGB*>(dest);
    switch (layout.BitCount) {
    case 1: {
        // kv1g holds 1 for white: a table whose first entry is the brighter one is inverted.
        const bool invert = layout.Colors.size() >= 2 && Brighter(layout.Colors[0], layout.Colors[1]);
        const int32_t bytes = (width + 7) / 8;
        for (int32_t i = 0; i < bytes; ++i)
            dest[i] = invert ? static_cast<uint8_t>(~source[i]) : source[i];
        break;
    }
    case 4:
        for (int32_t x = 0; x < width; ++x)
            out[x] = Colour(layout.Colors, (x & 1) ? source[x >> 1] & 0x0F : source[x >> 1] >> 4);
        break;
    case 8:
        for (int32_t x = 0; x < width; ++x)
            out[x] = Colour(layout.Colors, source[x]);
        break;
    case 16:
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t p = uint32_t(source[2 * x]) | uint32_t(source[2 * x + 1]) << 8;
            out[x] = {BitField(p, layout.Masks[2]), BitField(p, layout.Masks[1]),
                      BitField(p, layout.Masks[0])};
        }
        break;
    case 24:
        std::memcpy(dest, source, 3 * size_t(width));
        break;
    case 32:
        // Bit fields may place the channels anywhere in the pixel, not only in bytes 0, 1, 2.
        if (layout.Compression == BI_BITFIELDS) {
            for (int32_t x = 0; x < width; ++x) {
                uint32_t p;
                std::memcpy(&p, source + 4 * x, 4);
                out[x] = {BitField(p, layout.Masks[2]), BitField(p, layout.Masks[1]),
                          BitField(p, layout.Masks[0])};
            }
        } else {
            for (int32_t x = 0; x < width; ++x)
                out[x] = {source[4 * x], source[4 * x + 1], source[4 * x + 2]};
        }
        break;
    default:
        break;
    }
}

// A bit count and compression that the row converters read.
bool ReadableLayout(const BITMAPINFOHEADER& header)
{
    const uint16_t bits = header.biBitCount;
    if (header.biCompression == BI_RGB)
        return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    return header.biCompression == BI_BITFIELDS && (bits == 16 || bits == 32);
}

int32_t ImportDib(const void* dib, size_t dibSize, const void* bits, size_t bitsSize,
                  const TDibTarget& target)
{
    if (dib == nullptr || dibSize < sizeof(BITMAPINFOHEADER))
        return 0;
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof(header));
    const uint8_t* block = static_cast<const uint8_t*>(dib);

    if (IsYUVCompression(header.biCompression)) {
        if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > dibSize)
            return 0;
        const uint8_t* pixels = bits ? static_cast<const uint8_t*>(bits) : block + header.biSize;
        const size_t available = bits ? bitsSize : dibSize - header.biSize;
        const int64_t frameSize = YUVFrameSize(header.biCompression, header.biWidth, header.biHeight);
        if (frameSize < 0 || uint64_t(frameSize) > available)
            return 0;
        const int32_t height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
        target.allocate(header.biWidth, height, false);
        ConvertYUVFrame(header.biCompression, header.biWidth, header.biHeight, pixels, available, target.row);
        return header.biBitCount;
    }

    // A layout the converters do not read (compressed rows, other bit counts) tells nothing
    // that bounds its size: the bitmap is left as it was rather than allocated from the header.
    if (!ReadableLayout(header))
        return header.biSize >= sizeof(BITMAPINFOHEADER) ? header.biBitCount : 0;
    TDIBLayout layout;
    if (!ParseDIBHeader(dib, dibSize, layout))
        return 0;
    const uint8_t* pixels = bits ? static_cast<const uint8_t*>(bits) : block + layout.BitsOffset;
    const size_t available = bits ? bitsSize : dibSize - std::min(dibSize, layout.BitsOffset);
    if (uint64_t(layout.ImageSize) > available)
        return 0;
    const bool oneBit = layout.BitCount == 1;
    target.allocate(layout.Width, layout.Height, oneBit);
    for (int32_t k = 0; k < layout.Height; ++k) {
        const int32_t y = layout.TopDown ? k : layout.Height - 1 - k;
        ConvertDibRow(layout, pixels + int64_t(k) * layout.RowLength, target.row(y));
    }
    return layout.BitCount;
}

TDibTarget TargetOf(TKVBaseBitmap* bitmap)
{
    return {[bitmap](int32_t w, int32_t h, bool oneBit) { bitmap->Allocate(w, h, oneBit ? kv1g : kv24RGB); },
            [bitmap](int32_t y) { return bitmap->GetScanLine(y); }};
}

TDibTarget TargetOf(TKVDibbitmap* bitmap)
{
    return {[bitmap](int32_t w, int32_t h, bool oneBit) { bitmap->AllocateBits(w, h, oneBit ? 1 : 24); },
            [bitmap](int32_t y) { return bitmap->GetScanLine(y); }};
}

// Writes the header and rows of a packed DIB of a width x height area; row(k) gives DIB row k
// (bottom row first) to fill.
HGLOBAL ExportDib(int32_t width, int32_t height, int32_t bitCount,
                  const std::function<void(int32_t k, uint8_t* row)>& fillRow)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    const bool withRows = bitCount == 1 || bitCount == 24;
    const int64_t rowLength = withRows ? (int64_t(width) * bitCount + 31) / 32 * 4 : 0;
    const int64_t tableBytes = bitCount == 1 ? 2 * int64_t(sizeof(RGBQUAD)) : 0;
    const int64_t size = int64_t(sizeof(BITMAPINFOHEADER)) + tableBytes + rowLength * height;
    if (size > int64_t(kMaxGlobalBlockSize))
        throw EOutOfMemory();
    HGLOBAL handle = GlobalAlloc(GHND, size_t(size));
    if (handle == nullptr)
        throw EOutOfMemory();
    {
        TGlobalLock lock(handle);
        BITMAPINFOHEADER header;
        header.biWidth = width;
        header.biHeight = height;
        header.biBitCount = static_cast<uint16_t>(withRows ? bitCount : 0);
        header.biCompression = BI_RGB;
        header.biSizeImage = static_cast<uint32_t>(rowLength * height);
        std::memcpy(lock.Data(), &header, sizeof(header));
        uint8_t* rows = lock.Data() + sizeof(header) + tableBytes;
        if (bitCount == 1) {
            const RGBQUAD table[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
            std::memcpy(lock.Data() + sizeof(header), table, sizeof(table));
        }
        if (withRows)
            for (int32_t k = 0; k < height; ++k)
                fillRow(k, rows + int64_t(k) * rowLength);
    }
    return handle;
}

// The rectangle x1..x2-1, y1..y2-1 with 0 for x2 or y2 meaning the whole side, cut to the image.
bool ClipArea(int32_t width, int32_t height, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2)
{
    if (x2 == 0)
        x2 = width;
    if (y2 == 0)
        y2 = height;
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, width);
    y2 = std::min(y2, height);
    return x1 < x2 && y1 < y2;
}

// A DIB of the area of an image whose rows rowOf gives (top row 0): DIB row k is image row
// y2 - 1 - k from column x1.
HGLOBAL ExportArea(int32_t width, int32_t height, int32_t bitCount, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2, const std::function<const uint8_t*(int32_t)>& rowOf)
{
    if (!ClipArea(width, height, x1, y1, x2, y2))
        return nullptr;
    return ExportDib(x2 - x1, y2 - y1, bitCount, [&](int32_t k, uint8_t* row) {
        const uint8_t* source = rowOf(y2 - 1 - k);
        if (bitCount == 24)
            std::memcpy(row, source + 3 * int64_t(x1), 3 * size_t(x2 - x1));
        else
            _CopyBits(row, source, 0, x1, x2 - x1, 0);
    });
}

int32_t BitmapBitCount(TBitmap* bitmap)
{
    return bitmap->PixelFormat() == pf1bit ? 1 : bitmap->PixelFormat() == pf24bit ? 24 : 0;
}

template <typename TCallback> void ForEachFigure(const TPoint* points, int32_t count, TCallback callback)
{
    int32_t start = 0;
    for (int32_t i = 0; i <= count; ++i) {
        if (i == count || points[i].X == 0xFFFFF) {
            if (i > start)
                callback(points + start, i - start);
            start = i + 1;
        }
    }
}

TRect PolygonBounds(const TPoint* points, int32_t count)
{
    TRect box{0x7FFFFFFF, 0x7FFFFFFF, -0x7FFFFFFF, -0x7FFFFFFF};
    for (int32_t i = 0; i < count; ++i) {
        if (points[i].X == 0xFFFFF)
            continue;
        box.Left = std::min(box.Left, points[i].X);
        box.Top = std::min(box.Top, points[i].Y);
        box.Right = std::max(box.Right, points[i].X);
        box.Bottom = std::max(box.Bottom, points[i].Y);
    }
    return box;
}

void GrowTo(TBitmap* bitmap, int32_t width, int32_t height)
{
    if (bitmap->GetWidth() < width)
        bitmap->SetWidth(width);
    if (bitmap->GetHeight() < height)
        bitmap->SetHeight(height);
}

// Copies the source rectangle onto the destination rectangle through each figure in turn, the
// figure being the destination canvas's clip region meanwhile.
void CopyInsideFigures(TBitmap* destination, const TPoint* points, int32_t count, const TRect& destRect,
                       TBitmap* source, const TRect& sourceRect)
{
    TCanvas* canvas = destination->Canvas();
    ForEachFigure(points, count, [&](const TPoint* figure, int32_t n) {
        HRGN region = CreatePolygonRgn(figure, n, ALTERNATE);
        SelectClipRgn(canvas->Handle(), region);
        canvas->CopyRect(destRect, source->Canvas(), sourceRect);
        SelectClipRgn(canvas->Handle(), nullptr);
        DeleteObject(region);
    });
}

} // namespace

void _CopyBits(uint8_t* dest, const uint8_t* source, int32_t destBit, int32_t sourceBit, int32_t bitCount,
               int32_t rowLen)
{
    if (dest == nullptr || source == nullptr || bitCount <= 0 || destBit < 0 || sourceBit < 0)
        return;
    int64_t count = bitCount;
    if (rowLen > 0) {
        const int64_t rowBits = int64_t(rowLen) * 8;
        count = std::min({count, rowBits - destBit, rowBits - sourceBit});
    }
    int64_t d = destBit;
    int64_t s = sourceBit;
    // Head bits up to a destination byte boundary, then whole destination bytes assembled from
    // two source bytes, then the tail.
    while (count > 0 && (d & 7) != 0) {
        PutBit(dest, d++, GetBit(source, s++));
        --count;
    }
    const int shift = static_cast<int>(s & 7);
    while (count >= 8) {
        const int64_t sb = s >> 3;
        uint8_t value = source[sb];
        if (shift != 0)
            value = static_cast<uint8_t>((value << shift) | (source[sb + 1] >> (8 - shift)));
        dest[d >> 3] = value;
        d += 8;
        s += 8;
        count -= 8;
    }
    while (count > 0) {
        PutBit(dest, d++, GetBit(source, s++));
        --count;
    }
}

void _CopyBGR_RGB(TRGB* dest, const TRGB* source, int32_t count)
{
    if (count <= 0)
        return;
    std::memmove(dest, source, size_t(count) * sizeof(TRGB));
    _BGR2RGB(dest, count);
}

void _BGR2RGB(TRGB* pixels, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        std::swap(pixels[i].b, pixels[i].r);
}

std::unique_ptr<TBitmap> KVCloneBitmap(TBitmap* source)
{
    auto copy = std::make_unique<TBitmap>();
    KVCopyBitmap(source, copy.get());
    return copy;
}

void KVCopyBitmap(TBitmap* source, TBitmap* destination)
{
    if (source == nullptr || destination == nullptr || source == destination)
        return;
    destination->SetSize(1, 1);
    destination->SetPixelFormat(source->PixelFormat());
    if (source->PixelFormat() == pf1bit || source->PixelFormat() == pf4bit || source->PixelFormat() == pf8bit)
        destination->SetPalette(source->Palette());
    destination->SetSize(source->GetWidth(), source->GetHeight());
    if (source->GetEmpty())
        return;
    const size_t rowBytes = size_t(std::min(source->RowLength(), destination->RowLength()));
    for (int32_t y = 0; y < source->GetHeight(); ++y)
        std::memcpy(destination->ScanLine(y), source->ScanLine(y), rowBytes);
}

void _CopyBitmapRect(TBitmap* source, TBitmap* destination, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (source == nullptr || destination == nullptr || source == destination)
        return;
    if (!ClipArea(source->GetWidth(), source->GetHeight(), x1, y1, x2, y2))
        return;
    destination->SetPixelFormat(source->PixelFormat());
    destination->SetSize(x2 - x1, y2 - y1);
    for (int32_t y = y1; y < y2; ++y) {
        if (source->PixelFormat() == pf24bit)
            std::memcpy(destination->ScanLine(y - y1), source->ScanLine(y) + 3 * int64_t(x1),
                        3 * size_t(x2 - x1));
        else if (source->PixelFormat() == pf1bit)
            _CopyBits(destination->ScanLine(y - y1), source->ScanLine(y), 0, x1, x2 - x1, 0);
    }
}

HGLOBAL _CopyBitmaptoDIB(TBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (bitmap == nullptr)
        return nullptr;
    return ExportArea(bitmap->GetWidth(), bitmap->GetHeight(), BitmapBitCount(bitmap), x1, y1, x2, y2,
                      [bitmap](int32_t y) { return static_cast<const TBitmap*>(bitmap)->ScanLine(y); });
}

HGLOBAL _CopyBitmaptoDIBEx(TKVBaseBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (bitmap == nullptr)
        return nullptr;
    const TKVPixelFormat format = bitmap->GetPixelFormat();
    return ExportArea(bitmap->GetWidth(), bitmap->GetHeight(),
                      format == kv1g      ? 1
                      : format == kv24RGB ? 24
                                          : 0,
                      x1, y1, x2, y2, [bitmap](int32_t y) { return bitmap->GetScanLine(y); });
}

int32_t _CopyDIB2BitmapEx(const void* dib, size_t dibSize, TKVBaseBitmap* bitmap, const void* bits,
                          size_t bitsSize)
{
    if (bitmap == nullptr)
        return 0;
    return ImportDib(dib, dibSize, bits, bitsSize, TargetOf(bitmap));
}

int32_t _CopyDIB2BitmapEx(HGLOBAL dib, TKVBaseBitmap* bitmap, const void* bits, size_t bitsSize)
{
    TGlobalLock lock(dib);
    return _CopyDIB2BitmapEx(lock.Data(), lock.Size(), bitmap, bits, bitsSize);
}

int32_t _CopyDIB2Bitmap(const void* dib, size_t dibSize, TBitmap* bitmap, const void* bits, size_t bitsSize)
{
    if (bitmap == nullptr)
        return 0;
    TKVBitmap wrapper;
    wrapper.EncapsulateTBitmap(bitmap, true);
    return _CopyDIB2BitmapEx(dib, dibSize, &wrapper, bits, bitsSize);
}

int32_t _CopyDIB2Bitmap(HGLOBAL dib, TBitmap* bitmap, const void* bits, size_t bitsSize)
{
    TGlobalLock lock(dib);
    return _CopyDIB2Bitmap(lock.Data(), lock.Size(), bitmap, bits, bitsSize);
}

int32_t _KVCopyDIB2Bitmap2Ex(const void* dib, size_t dibSize, TKVDibbitmap* bitmap, const void* bits,
                             size_t bitsSize)
{
    if (bitmap == nullptr)
        return 0;
    return ImportDib(dib, dibSize, bits, bitsSize, TargetOf(bitmap));
}

int32_t _KVCopyDIB2Bitmap2Ex(HGLOBAL dib, TKVDibbitmap* bitmap, const void* bits, size_t bitsSize)
{
    TGlobalLock lock(dib);
    return _KVCopyDIB2Bitmap2Ex(lock.Data(), lock.Size(), bitmap, bits, bitsSize);
}

int32_t _CopyPolygonBitmap(TBitmap* destination, TBitmap* source, int32_t x, int32_t y, const TPoint* points,
                           int32_t count)
{
    if (destination == nullptr || source == nullptr || points == nullptr || count <= 0)
        return 0;
    int32_t afterSeparator = 0;
    for (int32_t i = 0; i < count; ++i)
        if (points[i].X == 0xFFFFF)
            afterSeparator = i + 1;
    TCanvas* canvas = destination->Canvas();
    ForEachFigure(points, count, [&](const TPoint* figure, int32_t n) {
        HRGN region = CreatePolygonRgn(figure, n, ALTERNATE);
        SelectClipRgn(canvas->Handle(), region);
        canvas->Draw(x, y, source);
        SelectClipRgn(canvas->Handle(), nullptr);
        DeleteObject(region);
    });
    return afterSeparator;
}

void _CopyPolygonToPoint(TBitmap* source, const TPoint* points, int32_t count, TBitmap* destination,
                         TPoint point)
{
    if (source == nullptr || destination == nullptr || points == nullptr || count < 3)
        return;
    const TRect box = PolygonBounds(points, count);
    std::vector<TPoint> moved(points, points + count);
    for (TPoint& p : moved)
        if (p.X != 0xFFFFF)
            p = {p.X - box.Left + point.X, p.Y - box.Top + point.Y};
    GrowTo(destination, point.X + box.Width(), point.Y + box.Height());
    CopyInsideFigures(destination, moved.data(), count, Bounds(point.X, point.Y, box.Width(), box.Height()),
                      source, box);
}

void _CopyPointToPolygon(TBitmap* source, const TPoint* points, int32_t count, TBitmap* destination,
                         TPoint point)
{
    if (source == nullptr || destination == nullptr || points == nullptr || count < 3)
        return;
    const TRect box = PolygonBounds(points, count);
    GrowTo(destination, box.Right, box.Bottom);
    CopyInsideFigures(destination, points, count, box, source,
                      Bounds(point.X, point.Y, box.Width(), box.Height()));
}

} // namespace Korvaneproc

namespace Daduvudez {
namespace {

// Moves rows between the buffer and an image whose rows are reached through rowOf.
void MapXCopy(uint8_t* buffer, int32_t bufferRowLen, int32_t bufferBitCount, int32_t imageBitCount,
              int32_t imageWidth, int32_t imageHeight, const std::function<uint8_t*(int32_t)>& rowOf,
              int32_t bx, int32_t by, int32_t x, int32_t y, int32_t width, int32_t height, int32_t direction)
{
    if (buffer == nullptr || bufferRowLen <= 0 || width <= 0 || height <= 0)
        return;
    // Cut the rectangle to the image; the buffer is the caller's and its rows are trusted.
    if (x < 0 || bx < 0) {
        const int32_t cut = std::max(-x, -bx);
        x += cut;
        bx += cut;
        width -= cut;
    }
    if (y < 0 || by < 0) {
        const int32_t cut = std::max(-y, -by);
        y += cut;
        by += cut;
        height -= cut;
    }
    width = std::min(width, imageWidth - x);
    height = std::min(height, imageHeight - y);
    if (width <= 0 || height <= 0)
        return;
    for (int32_t i = 0; i < height; ++i) {
        uint8_t* bufferRow = buffer + int64_t(by + i) * bufferRowLen;
        uint8_t* imageRow = rowOf(y + i);
        if (imageBitCount == 1 && bufferBitCount == 1) {
            if (direction == 0)
                Korvaneproc::_CopyBits(imageRow, bufferRow, x, bx, width, 0);
            else
                Korvaneproc::_CopyBits(bufferRow, imageRow, bx, x, width, 0);
        } else if (imageBitCount == 1 && bufferBitCount == 24 && direction == 1) {
            for (int32_t j = 0; j < width; ++j)
                std::memset(bufferRow + 3 * int64_t(bx + j),
                            Korvaneproc::_GetPixelbw(imageRow, x + j) ? 255 : 0, 3);
        } else if (imageBitCount == bufferBitCount && (imageBitCount == 8 || imageBitCount == 24)) {
            const int32_t bytes = imageBitCount / 8;
            uint8_t* imagePixels = imageRow + int64_t(x) * bytes;
            uint8_t* bufferPixels = bufferRow + int64_t(bx) * bytes;
            if (direction == 0)
                std::memcpy(imagePixels, bufferPixels, size_t(width) * bytes);
            else
                std::memcpy(bufferPixels, imagePixels, size_t(width) * bytes);
        }
    }
}

} // namespace

void KVBitmapMapXCopy(uint8_t* buffer, int32_t bufferRowLen, int32_t bufferBitCount, TBitmap* bitmap,
                      int32_t bx, int32_t by, int32_t x, int32_t y, int32_t width, int32_t height,
                      int32_t direction)
{
    if (bitmap == nullptr)
        return;
    const TPixelFormat format = bitmap->PixelFormat();
    const int32_t bits = format == pf1bit ? 1 : format == pf8bit ? 8 : format == pf24bit ? 24 : 0;
    MapXCopy(
        buffer, bufferRowLen, bufferBitCount, bits, bitmap->GetWidth(), bitmap->GetHeight(),
        [bitmap](int32_t row) { return bitmap->ScanLine(row); }, bx, by, x, y, width, height, direction);
}

void KVBaseBitmapMapXCopy(uint8_t* buffer, int32_t bufferRowLen, int32_t bufferBitCount,
                          TKVBaseBitmap* bitmap, int32_t bx, int32_t by, int32_t x, int32_t y, int32_t width,
                          int32_t height, int32_t direction)
{
    if (bitmap == nullptr)
        return;
    const TKVPixelFormat format = bitmap->GetPixelFormat();
    const int32_t bits = format == kv1g                       ? 1
                         : (format == kv8p || format == kv8g) ? 8
                         : format == kv24RGB                  ? 24
                                                              : 0;
    MapXCopy(
        buffer, bufferRowLen, bufferBitCount, bits, bitmap->GetWidth(), bitmap->GetHeight(),
        [bitmap](int32_t row) { return bitmap->GetScanLine(row); }, bx, by, x, y, width, height, direction);
}

} // namespace Daduvudez
