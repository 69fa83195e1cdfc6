// TKVBitmap copies: Assign, rectangles, class-library bitmaps, masks and DIB-section images.
#include "imaging/core/kvbitmap.h"

#include "imaging/core/bitmap_copies.h"
#include "imaging/core/detail/access_scope.h"
#include "imaging/core/detail/pixel_access.h"
#include "imaging/core/dib_bitmap.h"
#include "imaging/core/pixel_helpers.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

int32_t BytesPerPixel(TKVPixelFormat format)
{
    return KVPixelFormatBits(format) / 8;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Assign

void TKVBitmap::Assign(TObject* source)
{
    if (auto* bitmap = dynamic_cast<TKVBitmap*>(source)) {
        AssignKVBitmap(bitmap, true);
        return;
    }
    if (auto* vcl = dynamic_cast<TBitmap*>(source))
        CopyFromTBitmap(vcl);
}

void TKVBitmap::AssignImage(TKVBitmap* source)
{
    AssignKVBitmap(source, false);
}

void TKVBitmap::AssignKVBitmap(TKVBitmap* source, bool whole)
{
    if (source == nullptr || source == this)
        return;
    const bool sourceHasPixels = source->FWidth > 0 && source->FHeight > 0 && source->FPixelFormat != kvnull;
    std::unique_ptr<TKVBitmap> keptAlpha;
    if (FLocation == kvTBitmap) {
        FPalette.reset();
        FPaletteCount = 0;
        FWidth = source->FWidth;
        FHeight = source->FHeight;
        // A float image has no class-library format: it comes across as grey bytes.
        FPixelFormat = source->FPixelFormat == kv32f ? kv8g : source->FPixelFormat;
        if (sourceHasPixels) {
            AllocateImage();
        } else {
            if (FVclBitmap != nullptr)
                FVclBitmap->SetSize(0, 0);
            FWidth = FHeight = 0;
            SetFormatFields(FPixelFormat);
            BuildBitmapScanlines();
        }
    } else if (CanReuseStorageFor(*source)) {
        // A new block of the same size would hold undefined bytes too: keep this one.
        if (whole)
            FAlphaChannel.reset();
    } else {
        if (!whole)
            keptAlpha = std::move(FAlphaChannel);
        FreeImage();
        FWidth = source->FWidth;
        FHeight = source->FHeight;
        FPixelFormat = source->FPixelFormat;
        AllocateImage();
        if (!whole)
            FAlphaChannel = std::move(keptAlpha);
    }
    if (sourceHasPixels)
        CopyRowsFrom(*source);
    Full = whole && source->Full;
    if (whole && !FIsAlpha) {
        if (source->FAlphaChannel)
            GetAlphaChannel()->AssignKVBitmap(source->FAlphaChannel.get(), true);
        else
            RemoveAlphaChannel();
    }
    for (int32_t i = 0; i < std::min(FPaletteCount, source->FPaletteCount); ++i)
        FPalette[i] = source->FPalette[i];
    UpdateTBitmapPalette();
    if (whole)
        DitherMethod = source->DitherMethod;
}

bool TKVBitmap::CanReuseStorageFor(const TKVBitmap& source) const
{
    if (FMemoryEncapsulated || FBitmapEncapsulated || source.FWidth != FWidth || source.FHeight != FHeight ||
        source.FPixelFormat != FPixelFormat || FWidth <= 0 || FHeight <= 0 || FPixelFormat == kvnull)
        return false;
    const bool allocated =
        FLocation == kvMemory ? FMemory != nullptr : FLocation == kvFile && FFileBuffer->IsAllocated();
    return allocated && LocationForSize(int64_t(FRowLen) * FHeight) == FLocation;
}

// Rows of a source of the same size; a different pixel format is converted.
void TKVBitmap::CopyRowsFrom(TKVBitmap& source)
{
    if (source.FPixelFormat != FPixelFormat) {
        ConvertRows(source);
        return;
    }
    TKVAccessScope sourceAccess(source, kvdRead);
    TKVAccessScope ownAccess(*this, kvdWrite);
    const int64_t size = int64_t(FRowLen) * FHeight;
    if (FLocation == kvFile && source.FLocation == kvFile && FFileBuffer->IsAllocated() &&
        source.FFileBuffer->IsAllocated()) {
        FreeAllMaps();
        source.FreeAllMaps();
        source.FFileBuffer->CopyTo(FFileBuffer.get(), 0, size);
        return;
    }
    if (FLocation == kvMemory && source.FLocation == kvMemory && FMemory != nullptr &&
        source.FMemory != nullptr && FRowLen == source.FRowLen) {
        std::memcpy(FMemory, source.FMemory, size_t(size));
        return;
    }
    const size_t rowBytes = size_t(std::min(FRowLen, source.FRowLen));
    for (int32_t y = 0; y < FHeight; ++y)
        std::memcpy(GetScanLine(y), source.GetScanLine(y), rowBytes);
}

// ---------------------------------------------------------------------------------------------
// Rectangles

void TKVBitmap::CopyRectTo(TKVBitmap* destination, int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t w,
                           int32_t h)
{
    if (destination == nullptr)
        return;
    // Clip in 64 bits: each edge moved in moves the other corner with it.
    int64_t sx64 = sx, sy64 = sy, dx64 = dx, dy64 = dy, w64 = w, h64 = h;
    auto clipLow = [](int64_t& a, int64_t& b, int64_t& size) {
        if (a < 0) {
            b -= a;
            size += a;
            a = 0;
        }
    };
    clipLow(dx64, sx64, w64);
    clipLow(dy64, sy64, h64);
    clipLow(sx64, dx64, w64);
    clipLow(sy64, dy64, h64);
    w64 = std::min({w64, FWidth - sx64, destination->FWidth - dx64});
    h64 = std::min({h64, FHeight - sy64, destination->FHeight - dy64});
    if (w64 <= 0 || h64 <= 0)
        return;
    sx = int32_t(sx64), sy = int32_t(sy64), dx = int32_t(dx64), dy = int32_t(dy64);
    w = int32_t(w64), h = int32_t(h64);

    const TKVPixelFormat from = FPixelFormat;
    const TKVPixelFormat to = destination->FPixelFormat;
    const bool bits = from == kv1g && to == kv1g;
    const bool blackWhite = from == kv1g && to == kv24RGB;
    const bool bytes = from == to && from != kvnull && from != kv1g;
    if (!bits && !blackWhite && !bytes)
        return;

    const bool self = destination == this;
    std::vector<uint8_t> scratch;
    std::unique_ptr<TKVAccessScope> sourceAccess;
    if (!self)
        sourceAccess = std::make_unique<TKVAccessScope>(*this, kvdRead);
    // Within one image rows are taken through a scratch copy, in the order that never reads a row
    // already overwritten.
    const bool downwards = self && dy > sy;
    for (int32_t i = 0; i < h; ++i) {
        const int32_t k = downwards ? h - 1 - i : i;
        const uint8_t* src = GetScanLine(sy + k);
        if (self) {
            scratch.assign(src, src + FRowLen);
            src = scratch.data();
        }
        uint8_t* dst = destination->GetScanLine(dy + k);
        if (bits) {
            Korvaneproc::_CopyBits(dst, src, dx, sx, w, destination->FRowLen);
        } else if (blackWhite) {
            TRGB* out = reinterpret_cast<TRGB*>(dst) + dx;
            for (int32_t x = 0; x < w; ++x)
                out[x] = Korvaneproc::_GetPixelbw(src, sx + x) ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
        } else {
            const int32_t bpp = BytesPerPixel(from);
            std::memmove(dst + int64_t(dx) * bpp, src + int64_t(sx) * bpp, size_t(w) * bpp);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Class-library bitmaps

void TKVBitmap::CopyToTBitmap(TBitmap* destination)
{
    if (destination == nullptr || FPixelFormat == kvnull)
        return;
    destination->SetSize(1, 1);
    switch (FPixelFormat) {
    case kv1g: {
        destination->SetPixelFormat(pf1bit);
        const PALETTEENTRY blackWhite[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        SetPaletteEntries(destination->Palette(), 0, 2, blackWhite);
        break;
    }
    case kv8p: {
        destination->SetPixelFormat(pf8bit);
        std::vector<PALETTEENTRY> entries(256);
        for (int32_t i = 0; i < 256; ++i) {
            const TRGB c = GetPalette(i);
            entries[i] = PALETTEENTRY{c.r, c.g, c.b, 0};
        }
        SetPaletteEntries(destination->Palette(), 0, 256, entries.data());
        break;
    }
    case kv24RGB:
        destination->SetPixelFormat(pf24bit);
        break;
    default: {
        destination->SetPixelFormat(pf8bit);
        const std::vector<PALETTEENTRY> ramp = Daduvudez::detail::GreyRamp();
        SetPaletteEntries(destination->Palette(), 0, 256, ramp.data());
        break;
    }
    }
    destination->SetSize(FWidth, FHeight);
    TKVAccessScope access(*this, kvdRead);
    for (int32_t y = 0; y < FHeight; ++y) {
        const uint8_t* src = GetScanLine(y);
        uint8_t* dst = destination->ScanLine(y);
        if (FPixelFormat == kv16g) {
            for (int32_t x = 0; x < FWidth; ++x)
                dst[x] = src[2 * int64_t(x) + 1];
        } else if (FPixelFormat == kv32f) {
            for (int32_t x = 0; x < FWidth; ++x) {
                dst[x] = Daduvudez::detail::FloatToByte(Daduvudez::detail::LoadPixel<float>(src, x));
            }
        } else {
            std::memcpy(dst, src, size_t(std::min(FRowLen, destination->RowLength())));
        }
    }
}

void TKVBitmap::CopyFromTBitmap(TBitmap* source)
{
    if (source == nullptr)
        return;
    if (FLocation == kvTBitmap) {
        EnsureVclBitmap();
        if (FVclBitmap != source)
            FVclBitmap->Assign(source);
        AdoptVclBitmap();
        Full = false;
        return;
    }

    const TPixelFormat format = source->PixelFormat();
    const int32_t width = source->Width();
    const int32_t height = source->Height();
    PALETTEENTRY entries[256] = {};
    const uint32_t entryCount = GetPaletteEntries(source->Palette(), 0, 256, entries);
    auto takePalette = [&](uint32_t count) {
        for (uint32_t i = 0; i < std::min(count, entryCount); ++i)
            FPalette[i] = TRGB{entries[i].peBlue, entries[i].peGreen, entries[i].peRed};
    };
    switch (format) {
    case pf1bit:
        Allocate(width, height, source->Monochrome() ? kv1g : kv8p);
        break;
    case pf4bit:
    case pf8bit:
        Allocate(width, height, kv8p);
        break;
    case pf15bit:
    case pf16bit:
    case pf24bit:
    case pf32bit:
        Allocate(width, height, kv24RGB);
        break;
    default:
        return;
    }
    if (FPixelFormat == kv8p) {
        std::fill(FPalette.get(), FPalette.get() + 256, TRGB{});
        takePalette(format == pf1bit ? 2 : (format == pf4bit ? 16 : 256));
    }
    TKVAccessScope access(*this, kvdWrite);
    for (int32_t y = 0; y < FHeight; ++y) {
        const uint8_t* src = source->ScanLine(y);
        uint8_t* dst = GetScanLine(y);
        switch (format) {
        case pf1bit:
            if (FPixelFormat == kv1g)
                std::memcpy(dst, src, size_t(std::min(FRowLen, source->RowLength())));
            else
                for (int32_t x = 0; x < width; ++x)
                    dst[x] = Korvaneproc::_GetPixelbw(src, x) ? 1 : 0;
            break;
        case pf4bit:
            for (int32_t x = 0; x < width; ++x)
                dst[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
            break;
        case pf8bit:
            std::memcpy(dst, src, size_t(width));
            break;
        case pf15bit:
        case pf16bit: {
            TRGB* out = reinterpret_cast<TRGB*>(dst);
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t p = src[2 * x] | (src[2 * x + 1] << 8);
                if (format == pf15bit)
                    out[x] = TRGB{uint8_t((p & 31) << 3), uint8_t(((p >> 5) & 31) << 3),
                                  uint8_t(((p >> 10) & 31) << 3)};
                else
                    out[x] =
                        TRGB{uint8_t((p & 31) << 3), uint8_t(((p >> 5) & 63) << 2), uint8_t((p >> 8) & 0xF8)};
            }
            break;
        }
        case pf24bit:
            std::memcpy(dst, src, size_t(width) * 3);
            break;
        case pf32bit: {
            TRGB* out = reinterpret_cast<TRGB*>(dst);
            for (int32_t x = 0; x < width; ++x)
                out[x] = TRGB{src[4 * x], src[4 * x + 1], src[4 * x + 2]};
            break;
        }
        default:
            break;
        }
    }
    Full = false;
}

// ---------------------------------------------------------------------------------------------
// DIB-section images

void TKVBitmap::CopyFromTDibBitmap(TKVDibbitmap* dib)
{
    if (dib == nullptr)
        return;
    TKVPixelFormat format;
    switch (dib->GetBitCount()) {
    case 1:
        format = kv1g;
        break;
    case 8:
        format = kv8g;
        break;
    case 24:
        format = kv24RGB;
        break;
    default:
        return;
    }
    Allocate(dib->GetWidth(), dib->GetHeight(), format);
    TKVAccessScope access(*this, kvdWrite);
    const size_t rowBytes = size_t(std::min(FRowLen, dib->GetRowLen()));
    for (int32_t y = 0; y < FHeight; ++y)
        std::memcpy(GetScanLine(y), dib->GetScanLine(y), rowBytes);
}

void TKVBitmap::MergeFromTDibBitmap(TKVDibbitmap* dib, int32_t x, int32_t y)
{
    if (dib == nullptr || x < 0 || y < 0)
        return;
    const int32_t bits = dib->GetBitCount();
    if ((bits != 1 || FPixelFormat != kv1g) && (bits != 24 || FPixelFormat != kv24RGB))
        return;
    const int32_t w = std::min(dib->GetWidth(), FWidth - x);
    const int32_t h = std::min(dib->GetHeight(), FHeight - y);
    for (int32_t i = 0; i < h && w > 0; ++i) {
        uint8_t* dst = GetScanLine(y + i);
        const uint8_t* src = dib->GetScanLine(i);
        if (bits == 1)
            Korvaneproc::_CopyBits(dst, src, x, 0, w, FRowLen);
        else
            std::memcpy(dst + int64_t(x) * 3, src, size_t(w) * 3);
    }
}

void TKVBitmap::CopyToTDibBitmap(TKVDibbitmap* dib, int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (dib == nullptr || x < 0 || y < 0)
        return;
    const int32_t bits = dib->GetBitCount();
    if ((bits != 1 || FPixelFormat != kv1g) && (bits != 24 || FPixelFormat != kv24RGB))
        return;
    w = std::min({w, dib->GetWidth(), FWidth - x});
    h = std::min({h, dib->GetHeight(), FHeight - y});
    TKVAccessScope access(*this, kvdRead);
    for (int32_t i = 0; i < h && w > 0; ++i) {
        const uint8_t* src = GetScanLine(y + i);
        uint8_t* dst = dib->GetScanLine(i);
        if (bits == 1)
            Korvaneproc::_CopyBits(dst, src, 0, x, w, dib->GetRowLen());
        else
            std::memcpy(dst, src + int64_t(x) * 3, size_t(w) * 3);
    }
}
