// Packed DIBs: header checks, pixel decoding and the exchange with TBitmap.
#include "platform/graphics/dib.h"

#include <bit>
#include <cstring>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/detail/pixels.h"

namespace {

constexpr uint32_t kMaxTableEntries = 256;

bool ValidHeaderSize(uint32_t size)
{
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// A field of a 16- or 32-bit pixel widened or narrowed to 8 bits: its top bit lands on bit 7.
uint8_t MaskedComponent(uint32_t pixel, uint32_t mask)
{
    if (mask == 0) {
        return 0;
    }
    const int32_t shift = std::countr_zero(mask);
    const int32_t width = std::popcount(mask);
    const uint32_t value = (pixel & mask) >> shift;
    return width >= 8 ? uint8_t(value >> (width - 8)) : uint8_t(value << (8 - width));
}

bool ValidMasks(const uint32_t masks[3], int32_t bitCount)
{
    const uint64_t limit = bitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    for (int32_t i = 0; i < 3; ++i) {
        const uint32_t m = masks[i];
        if (m == 0 || m > limit) {
            return false;
        }
        // One run of set bits per field.
        const uint32_t shifted = m >> std::countr_zero(m);
        if ((shifted & (shifted + 1)) != 0) {
            return false;
        }
    }
    return (masks[0] & masks[1]) == 0 && (masks[0] & masks[2]) == 0 && (masks[1] & masks[2]) == 0;
}

} // namespace

COLORREF TDIBLayout::PixelColor(const uint8_t* row, int32_t x) const
{
    switch (BitCount) {
    case 1:
    case 4:
    case 8: {
        const TPixelFormat format = BitCount == 1 ? pf1bit : (BitCount == 4 ? pf4bit : pf8bit);
        const uint32_t index = GraphicsDetail::ReadValue(format, row, x);
        if (index >= Colors.size()) {
            return 0;
        }
        const RGBQUAD& q = Colors[index];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    case 16: {
        const uint32_t v = uint32_t(row[2 * x]) | (uint32_t(row[2 * x + 1]) << 8);
        return RGB(MaskedComponent(v, Masks[0]), MaskedComponent(v, Masks[1]), MaskedComponent(v, Masks[2]));
    }
    case 24: {
        const uint8_t* p = row + 3 * x;
        return RGB(p[2], p[1], p[0]);
    }
    default: {
        const uint8_t* p = row + 4 * x;
        const uint32_t v =
            uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
        return RGB(MaskedComponent(v, Masks[0]), MaskedComponent(v, Masks[1]), MaskedComponent(v, Masks[2]));
    }
    }
}

int64_t DIBColorTableEntries(const BITMAPINFOHEADER& header)
{
    if (header.biBitCount > 8) {
        return 0;
    }
    return header.biClrUsed != 0 ? int64_t(header.biClrUsed) : (int64_t(1) << header.biBitCount);
}

int64_t DIBBitsOffset(const BITMAPINFOHEADER& header)
{
    if (!ValidHeaderSize(header.biSize)) {
        return -1;
    }
    const uint16_t bits = header.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return -1;
    }
    if (header.biCompression != BI_RGB &&
        !(header.biCompression == BI_BITFIELDS && (bits == 16 || bits == 32))) {
        return -1;
    }
    if (header.biClrUsed > kMaxTableEntries) {
        return -1;
    }
    // A deeper DIB may carry biClrUsed entries of palette advice; they are skipped.
    const int64_t entries = bits <= 8 ? DIBColorTableEntries(header) : int64_t(header.biClrUsed);
    int64_t offset = int64_t(header.biSize) + entries * int64_t(sizeof(RGBQUAD));
    if (header.biCompression == BI_BITFIELDS && header.biSize == 40) {
        offset += 3 * int64_t(sizeof(uint32_t)); // masks follow a plain header; longer headers hold them
    }
    return offset;
}

bool ParseDIBHeader(const void* info, size_t available, TDIBLayout& layout)
{
    if (!info || available < sizeof(BITMAPINFOHEADER)) {
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(info);
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof(header));
    const int64_t bitsOffset = DIBBitsOffset(header);
    if (bitsOffset < 0 || uint64_t(bitsOffset) > available) {
        return false;
    }
    const int64_t height = header.biHeight;
    if (header.biWidth <= 0 || header.biWidth > kMaxDIBSide || height == 0 || height > kMaxDIBSide ||
        height < -int64_t(kMaxDIBSide)) {
        return false;
    }
    TDIBLayout result;
    result.Header = header;
    result.Width = header.biWidth;
    result.Height = int32_t(height < 0 ? -height : height);
    result.TopDown = height < 0;
    result.BitCount = header.biBitCount;
    result.Compression = header.biCompression;
    result.RowLength = RowLengthFor(result.Width, result.BitCount);
    result.ImageSize = result.RowLength * result.Height;
    result.BitsOffset = size_t(bitsOffset);
    if (result.ImageSize > kMaxDIBImageBytes) {
        return false;
    }
    if (result.BitCount <= 8) {
        // Indexes past 2^bits cannot occur, so a longer table is read only that far.
        const int64_t entries =
            std::min<int64_t>(DIBColorTableEntries(header), int64_t(1) << result.BitCount);
        result.Colors.resize(size_t(entries));
        std::memcpy(result.Colors.data(), bytes + header.biSize, size_t(entries) * sizeof(RGBQUAD));
    } else if (result.Compression == BI_BITFIELDS) {
        // The masks sit right after the 40 bytes of the base header, inside or after the header.
        std::memcpy(result.Masks, bytes + sizeof(BITMAPINFOHEADER), sizeof(result.Masks));
        if (!ValidMasks(result.Masks, result.BitCount)) {
            return false;
        }
    } else if (result.BitCount == 16) {
        result.Masks[0] = 0x7C00;
        result.Masks[1] = 0x03E0;
        result.Masks[2] = 0x001F;
    } else if (result.BitCount == 32) {
        result.Masks[0] = 0xFF0000;
        result.Masks[1] = 0x00FF00;
        result.Masks[2] = 0x0000FF;
    }
    layout = std::move(result);
    return true;
}

bool ReadDIBHeader(HGLOBAL dib, BITMAPINFOHEADER& header)
{
    TGlobalLock lock(dib);
    if (!lock.Data() || lock.Size() < sizeof(BITMAPINFOHEADER)) {
        return false;
    }
    std::memcpy(&header, lock.Data(), sizeof(header));
    return true;
}

HGLOBAL BitmapToPackedDIB(TBitmap& bitmap)
{
    if (bitmap.Empty()) {
        return nullptr;
    }
    const TRasterView view = bitmap.RasterView();
    BITMAPINFOHEADER header;
    header.biWidth = view.Width;
    header.biHeight = view.Height;
    header.biBitCount = uint16_t(PixelFormatBits(view.Format));
    header.biCompression = view.Format == pf16bit ? BI_BITFIELDS : BI_RGB;
    header.biSizeImage = uint32_t(RowLengthFor(view.Width, header.biBitCount) * view.Height);
    header.biClrUsed = uint32_t(view.PaletteCount);
    const size_t tableBytes =
        size_t(view.PaletteCount) * sizeof(RGBQUAD) + (view.Format == pf16bit ? 3 * sizeof(uint32_t) : 0);
    const size_t rowBytes = size_t(bitmap.RowLength());
    HGLOBAL block = GlobalAlloc(GHND, sizeof(header) + tableBytes + rowBytes * size_t(view.Height));
    TGlobalLock lock(block);
    if (!lock.Data()) {
        GlobalFree(block);
        return nullptr;
    }
    uint8_t* out = lock.Data();
    std::memcpy(out, &header, sizeof(header));
    out += sizeof(header);
    for (int32_t i = 0; i < view.PaletteCount; ++i) {
        const PALETTEENTRY& e = view.Palette[i];
        const RGBQUAD q{e.peBlue, e.peGreen, e.peRed, 0};
        std::memcpy(out, &q, sizeof(q));
        out += sizeof(q);
    }
    if (view.Format == pf16bit) {
        const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
        std::memcpy(out, masks, sizeof(masks));
        out += sizeof(masks);
    }
    for (int32_t y = view.Height - 1; y >= 0; --y) {
        std::memcpy(out, view.Row(y), rowBytes);
        out += rowBytes;
    }
    return block;
}

bool PackedDIBToBitmap(const void* dib, size_t size, TBitmap& bitmap)
{
    TDIBLayout layout;
    if (!ParseDIBHeader(dib, size, layout) ||
        uint64_t(layout.BitsOffset) + uint64_t(layout.ImageSize) > size) {
        return false;
    }
    const uint8_t* bits = static_cast<const uint8_t*>(dib) + layout.BitsOffset;
    auto storedRow = [&](int32_t y) {
        const int32_t stored = layout.TopDown ? y : layout.Height - 1 - y;
        return bits + int64_t(stored) * layout.RowLength;
    };

    TPixelFormat format = pf32bit;
    bool rawRows = true;
    const uint32_t r = layout.Masks[0], g = layout.Masks[1], b = layout.Masks[2];
    switch (layout.BitCount) {
    case 1:
        format = pf1bit;
        break;
    case 4:
        format = pf4bit;
        break;
    case 8:
        format = pf8bit;
        break;
    case 16:
        if (r == 0x7C00 && g == 0x03E0 && b == 0x001F) {
            format = pf15bit;
        } else if (r == 0xF800 && g == 0x07E0 && b == 0x001F) {
            format = pf16bit;
        } else {
            rawRows = false;
        }
        break;
    case 24:
        format = pf24bit;
        break;
    default:
        rawRows = r == 0xFF0000 && g == 0x00FF00 && b == 0x0000FF;
        break;
    }

    TBitmap result;
    result.SetPixelFormat(format);
    result.SetSize(layout.Width, layout.Height);
    if (GraphicsDetail::IsIndexed(format)) {
        std::vector<PALETTEENTRY> entries(size_t(result.PaletteCount()));
        for (size_t i = 0; i < entries.size() && i < layout.Colors.size(); ++i) {
            const RGBQUAD& q = layout.Colors[i];
            entries[i] = {q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
        }
        SetPaletteEntries(result.Palette(), 0, uint32_t(entries.size()), entries.data());
    }
    for (int32_t y = 0; y < layout.Height; ++y) {
        uint8_t* out = result.ScanLine(y);
        const uint8_t* in = storedRow(y);
        if (rawRows) {
            std::memcpy(out, in, size_t(layout.RowLength));
            continue;
        }
        for (int32_t x = 0; x < layout.Width; ++x) {
            const COLORREF c = layout.PixelColor(in, x);
            GraphicsDetail::WriteValue(pf32bit, out, x,
                                       (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) |
                                           GetBValue(c));
        }
    }
    bitmap.Assign(&result);
    return true;
}

bool PackedDIBToBitmap(HGLOBAL dib, TBitmap& bitmap)
{
    TGlobalLock lock(dib);
    return lock.Data() && PackedDIBToBitmap(lock.Data(), lock.Size(), bitmap);
}
