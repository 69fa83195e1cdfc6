// Row access, rounding and scratch helpers shared by the processing workers.
#include "imaging/proc/detail/proc_detail.h"

#include "imaging/core/daduvudez.h"
#include "imaging/core/detail/pixel_memory.h"
#include "imaging/core/mask.h"
#include "platform/core/exceptions.h"
#include "platform/core/rounding.h"

#include <cmath>
#include <cstring>

namespace Korvaneproc::detail {

int32_t RoundI(long double v)
{
    return Round(v);
}

int32_t TruncI(long double v)
{
    return Trunc(v);
}

int32_t FloorI(long double v)
{
    return Floor(v);
}

int32_t CeilI(long double v)
{
    return Ceil(v);
}

size_t ScratchSize(uint64_t count, uint64_t size)
{
    const uint64_t limit = static_cast<uint64_t>(Daduvudez::detail::MaxMemoryBlock());
    if (size != 0 && count > limit / size)
        throw EOutOfMemory();
    return static_cast<size_t>(count * size);
}

namespace {

Layout LayoutOf(TKVPixelFormat format)
{
    switch (format) {
    case kv1g:
        return Layout::Bit1;
    case kv8g:
    case kv8p:
        return Layout::Byte1;
    default:
        return Layout::Rgb3;
    }
}

} // namespace

Plane PlaneOf(TKVBaseBitmap* bitmap)
{
    Plane p;
    const TKVPixelFormat format = bitmap->GetPixelFormat();
    if (format != kv1g && format != kv8g && format != kv8p && format != kv24RGB)
        return p;
    p.width = bitmap->GetWidth();
    p.height = bitmap->GetHeight();
    p.rowLen = bitmap->GetRowLen();
    p.layout = LayoutOf(format);
    p.row = [bitmap](int32_t y) { return static_cast<uint8_t*>(bitmap->GetScanLine(y)); };
    return p;
}

Plane PlaneOf(TKVMask* mask)
{
    Plane p;
    const int32_t bits = mask->BitsPerPixel;
    if (bits != 1 && bits != 8)
        return p;
    p.width = mask->Width;
    p.height = mask->Height;
    p.rowLen = mask->RowLen;
    p.layout = bits == 1 ? Layout::Bit1 : Layout::Byte1;
    p.row = [mask](int32_t y) { return static_cast<uint8_t*>(mask->GetScanLine(y)); };
    return p;
}

Plane PlaneOfBottomUp(uint8_t* bits, int32_t width, int32_t height, int32_t rowLen, Layout layout)
{
    Plane p;
    p.width = width;
    p.height = height;
    p.rowLen = rowLen;
    p.layout = layout;
    p.row = [bits, height, rowLen](int32_t y) { return bits + static_cast<size_t>(height - 1 - y) * rowLen; };
    return p;
}

void ReadExpanded(Plane& plane, int32_t y, uint8_t* out)
{
    const uint8_t* row = plane.row(y);
    switch (plane.layout) {
    case Layout::Bit1:
        for (int32_t x = 0; x < plane.width; ++x)
            out[x] = BitAt(row, x) ? 255 : 0;
        break;
    case Layout::Byte1:
        std::memcpy(out, row, static_cast<size_t>(plane.width));
        break;
    case Layout::Rgb3:
        std::memcpy(out, row, static_cast<size_t>(plane.width) * 3);
        break;
    }
}

void WriteExpanded(Plane& plane, int32_t y, const uint8_t* in, int32_t inChannels)
{
    uint8_t* row = plane.row(y);
    const size_t width = static_cast<size_t>(plane.width);
    switch (plane.layout) {
    case Layout::Bit1:
        std::memset(row, 0, static_cast<size_t>(plane.rowLen));
        for (size_t x = 0; x < width; ++x)
            if (in[x * inChannels] != 0)
                SetBitAt(row, static_cast<int32_t>(x), true);
        break;
    case Layout::Byte1:
        if (inChannels == 1) {
            std::memcpy(row, in, width);
        } else {
            for (size_t x = 0; x < width; ++x)
                row[x] = static_cast<uint8_t>(Grey(in[x * 3 + 2], in[x * 3 + 1], in[x * 3]));
        }
        break;
    case Layout::Rgb3:
        if (inChannels == 3) {
            std::memcpy(row, in, width * 3);
        } else {
            for (size_t x = 0; x < width; ++x)
                row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = in[x];
        }
        break;
    }
}

PixelBlock ReadBlock(TKVBaseBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    PixelBlock block;
    block.x = x1;
    block.y = y1;
    block.width = x2 - x1;
    block.height = y2 - y1;
    block.bytesPerPixel = bitmap->GetBitCount() / 8;
    block.bytes = Scratch<uint8_t>(uint64_t(block.Stride()) * block.height);
    AccessScope scope(bitmap, kvdRead);
    const size_t offset = static_cast<size_t>(x1) * block.bytesPerPixel;
    for (int32_t r = 0; r < block.height; ++r)
        std::memcpy(block.Row(r), bitmap->GetScanLine(y1 + r) + offset, block.Stride());
    return block;
}

void WriteBlock(TKVBaseBitmap* bitmap, const PixelBlock& block)
{
    // Rows covered whole need not be read in first.
    const bool wholeRows = block.x == 0 && block.width == bitmap->GetWidth();
    AccessScope scope(bitmap, wholeRows ? TKVDataAccess(kvdWrite) : kvdReadWrite);
    const size_t offset = static_cast<size_t>(block.x) * block.bytesPerPixel;
    for (int32_t r = 0; r < block.height; ++r)
        std::memcpy(bitmap->GetScanLine(block.y + r) + offset, block.Row(r), block.Stride());
}

std::vector<uint8_t> ReadAll(Plane& plane)
{
    const size_t rowLen = static_cast<size_t>(plane.rowLen);
    std::vector<uint8_t> rows = Scratch<uint8_t>(uint64_t(rowLen) * plane.height);
    for (int32_t y = 0; y < plane.height; ++y)
        std::memcpy(rows.data() + rowLen * y, plane.row(y), rowLen);
    return rows;
}

void WriteAll(Plane& plane, const std::vector<uint8_t>& rows)
{
    const size_t rowLen = static_cast<size_t>(plane.rowLen);
    for (int32_t y = 0; y < plane.height; ++y)
        std::memcpy(plane.row(y), rows.data() + rowLen * y, rowLen);
}

void ReplacePixels(TKVBitmap* bitmap, int32_t width, int32_t height, const std::vector<uint8_t>& rows)
{
    const TKVPixelFormat format = bitmap->GetPixelFormat();
    TKVBitmap result;
    result.Allocate(width, height, format);
    if (format == kv8p)
        for (int32_t i = 0; i < 256; ++i)
            result.SetPalette(i, bitmap->GetPalette(i));
    Plane plane = PlaneOf(&result);
    WriteAll(plane, rows);
    bitmap->AssignImage(&result);
    if (bitmap->GetHasAlphaChannel()) {
        TKVBitmap* alpha = bitmap->GetAlphaChannel();
        if (alpha->GetWidth() != width || alpha->GetHeight() != height)
            alpha->Resize(width, height, 255, 255, kvhLeft, kvvTop);
    }
}

uint8_t FloatLevel(float v)
{
    if (!(v > 0))
        return 0;
    return Clamp255(TruncI(static_cast<long double>(v) * 255));
}

ColourReader::ColourReader(TKVBitmap* bitmap) : FBitmap(bitmap), FFormat(bitmap->GetPixelFormat())
{
    FValid = FFormat == kv1g || FFormat == kv8p || FFormat == kv8g || FFormat == kv16g ||
             FFormat == kv24RGB || FFormat == kv32f;
    if (FFormat == kv8p)
        for (int32_t i = 0; i < 256; ++i)
            FPalette[i] = bitmap->GetPalette(i);
    if (FValid)
        FRow = Scratch<uint8_t>(static_cast<uint64_t>(bitmap->GetRowLen()));
}

void ColourReader::Read(int32_t y, TRGB* out)
{
    const int32_t width = FBitmap->GetWidth();
    std::memcpy(FRow.data(), FBitmap->GetScanLine(y), FRow.size());
    const uint8_t* row = FRow.data();
    auto grey = [](uint8_t v) { return TRGB{v, v, v}; };
    switch (FFormat) {
    case kv1g:
        for (int32_t x = 0; x < width; ++x)
            out[x] = grey(BitAt(row, x) ? 255 : 0);
        break;
    case kv8p:
        for (int32_t x = 0; x < width; ++x)
            out[x] = FPalette[row[x]];
        break;
    case kv8g:
        for (int32_t x = 0; x < width; ++x)
            out[x] = grey(row[x]);
        break;
    case kv16g:
        for (int32_t x = 0; x < width; ++x) {
            uint16_t v;
            std::memcpy(&v, row + 2 * x, 2);
            out[x] = grey(static_cast<uint8_t>(v >> 8));
        }
        break;
    case kv24RGB:
        std::memcpy(out, row, static_cast<size_t>(width) * 3);
        break;
    case kv32f:
        for (int32_t x = 0; x < width; ++x) {
            float v;
            std::memcpy(&v, row + 4 * x, 4);
            out[x] = grey(FloatLevel(v));
        }
        break;
    default:
        std::fill(out, out + width, TRGB{});
        break;
    }
}

void ColourReader::ReadGrey(int32_t y, uint8_t* out)
{
    const int32_t width = FBitmap->GetWidth();
    FColours.resize(static_cast<size_t>(width));
    Read(y, FColours.data());
    // Grey formats give their level as it is; colours their grey.
    const bool colour = FFormat == kv24RGB || FFormat == kv8p;
    for (int32_t x = 0; x < width; ++x)
        out[x] =
            colour ? static_cast<uint8_t>(Grey(FColours[x].r, FColours[x].g, FColours[x].b)) : FColours[x].r;
}

PaletteMatcher::PaletteMatcher(TKVBitmap* bitmap)
{
    for (int32_t i = 0; i < 256; ++i)
        FPalette[i] = bitmap->GetPalette(i);
}

uint8_t PaletteMatcher::Index(const uint8_t* bgr)
{
    const uint32_t key = bgr[0] | (uint32_t(bgr[1]) << 8) | (uint32_t(bgr[2]) << 16);
    if (auto it = FCache.find(key); it != FCache.end())
        return it->second;
    int32_t best = 0;
    int64_t bestDistance = INT64_MAX;
    for (int32_t i = 0; i < 256; ++i) {
        const int32_t db = FPalette[i].b - bgr[0], dg = FPalette[i].g - bgr[1], dr = FPalette[i].r - bgr[2];
        const int64_t distance = int64_t(db) * db + int64_t(dg) * dg + int64_t(dr) * dr;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    FCache.emplace(key, static_cast<uint8_t>(best));
    return static_cast<uint8_t>(best);
}

int32_t NearestPaletteIndex(TKVBitmap* bitmap, const TRGB& colour)
{
    PaletteMatcher matcher(bitmap);
    const uint8_t bgr[3] = {colour.b, colour.g, colour.r};
    return matcher.Index(bgr);
}

void BoxReduce1bit(Plane& src, int32_t x1, int32_t y1, int32_t x2, int32_t y2, bool cutToRectangleRows,
                   Plane& dst)
{
    const int32_t sw = src.width, sh = src.height, dw = dst.width, dh = dst.height;
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1 || x2 < x1 || y2 < y1)
        return;
    const double sx = static_cast<double>(static_cast<long double>(x2 - x1 + 1) / dw);
    const double sy = static_cast<double>(static_cast<long double>(y2 - y1 + 1) / dh);

    std::vector<int32_t> left(static_cast<size_t>(dw)), right(static_cast<size_t>(dw));
    for (int32_t c = 0; c < dw; ++c) {
        const long double centre = static_cast<long double>(c) * sx;
        left[c] = std::clamp(TruncI(centre - static_cast<long double>(sx) / 2) + x1, 0, sw - 1);
        right[c] = std::clamp(TruncI(static_cast<long double>(sx) / 2 + centre) + x1, 0, sw - 1);
    }
    const int32_t firstColumn = left.front(), lastColumn = right.back();

    std::vector<int64_t> prefix(static_cast<size_t>(sw) + 1);
    std::vector<uint8_t> out = Scratch<uint8_t>(uint64_t(dw));
    const long double halfWhole = static_cast<long double>(TruncI(sy)) / 2;
    for (int32_t r = 0; r < dh; ++r) {
        const long double centre = static_cast<long double>(r) * sy;
        int32_t top = TruncI(centre - static_cast<long double>(sy) / 2);
        int32_t bottom = TruncI(halfWhole + centre);
        if (cutToRectangleRows) {
            top = std::clamp(y1 + top, y1, y2);
            bottom = std::clamp(y1 + bottom, y1, y2);
        } else {
            // Cut to the source first, then shifted by y1 and kept inside the source.
            top = std::min(std::clamp(top, 0, sh - 1) + y1, sh - 1);
            bottom = std::min(std::clamp(bottom, 0, sh - 1) + y1, sh - 1);
        }
        std::fill(prefix.begin(), prefix.end(), 0);
        for (int32_t y = top; y <= bottom; ++y) {
            const uint8_t* row = src.row(y);
            for (int32_t x = firstColumn; x <= lastColumn; ++x)
                prefix[x + 1] += BitAt(row, x) ? 1 : 0;
        }
        for (int32_t x = firstColumn; x <= lastColumn; ++x)
            prefix[x + 1] += prefix[x];
        const int32_t rows = bottom - top + 1;
        for (int32_t c = 0; c < dw; ++c) {
            const int64_t set = prefix[right[c] + 1] - prefix[left[c]];
            const int64_t count = int64_t(rows) * (right[c] - left[c] + 1);
            out[c] = count > 0 ? static_cast<uint8_t>(255 * set / count) : 0;
        }
        WriteExpanded(dst, r, out.data(), 1);
    }
}

} // namespace Korvaneproc::detail
