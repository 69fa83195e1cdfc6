// TKVDibbitmap: a 1- or 24-bit image in a class-library raster with a canvas.
#include "imaging/core/dib_bitmap.h"

#include "imaging/core/bit_utils.h"
#include "platform/core/exceptions.h"

#include <cstring>

TKVDibbitmap::TKVDibbitmap() = default;

TKVDibbitmap::~TKVDibbitmap() = default;

void TKVDibbitmap::AllocateBits(uint32_t width, uint32_t height, uint32_t bitCount)
{
    if (width == 0 || height == 0)
        return;
    FreeBits();
    const TPixelFormat format = Daduvudez::_Bitcount2Pixelformat(int32_t(bitCount));
    const int64_t rowLen = Daduvudez::_BitmapRowLen(width, bitCount);
    if (width > INT32_MAX || height > INT32_MAX || format == pfCustom || rowLen * height > kMaxBitmapBytes)
        throw EOutOfMemory("Out of memory: the DIB section cannot be made");
    auto raster = std::make_unique<TBitmap>();
    raster->SetPixelFormat(format);
    raster->SetSize(int32_t(width), int32_t(height));
    if (format == pf1bit) {
        const PALETTEENTRY blackWhite[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        SetPaletteEntries(raster->Palette(), 0, 2, blackWhite);
    }
    FRaster = std::move(raster);
    FWidth = int32_t(width);
    FHeight = int32_t(height);
    FBitCount = int32_t(bitCount);
    FRowLen = int32_t(rowLen);
}

void TKVDibbitmap::FreeBits()
{
    FRaster.reset();
    FWidth = FHeight = FBitCount = FRowLen = 0;
}

uint8_t* TKVDibbitmap::GetScanLine(int32_t row)
{
    if (!FRaster || row < 0 || row >= FHeight)
        return nullptr;
    return FRaster->ScanLine(row);
}

TKVPixelFormat TKVDibbitmap::GetPixelFormat() const
{
    return FBitCount == 1 ? kv1g : (FBitCount == 24 ? kv24RGB : kvnull);
}

void TKVDibbitmap::Allocate(int32_t width, int32_t height, TKVPixelFormat format)
{
    if (width < 0 || height < 0)
        return;
    if (format == kv1g)
        AllocateBits(uint32_t(width), uint32_t(height), 1);
    else if (format == kv24RGB)
        AllocateBits(uint32_t(width), uint32_t(height), 24);
}

void TKVDibbitmap::Assign(TObject* source)
{
    auto* dib = dynamic_cast<TKVDibbitmap*>(source);
    if (dib == nullptr || dib == this)
        return;
    if (dib->FRaster == nullptr) {
        FreeBits();
        return;
    }
    AllocateBits(uint32_t(dib->FWidth), uint32_t(dib->FHeight), uint32_t(dib->FBitCount));
    for (int32_t y = 0; y < FHeight; ++y)
        std::memcpy(GetScanLine(y), dib->GetScanLine(y), size_t(FRowLen));
}

void TKVDibbitmap::CopyToTBitmap(TBitmap* destination)
{
    if (destination == nullptr || !FRaster || (FBitCount != 1 && FBitCount != 24))
        return;
    destination->SetSize(1, 1);
    destination->SetPixelFormat(FBitCount == 1 ? pf1bit : pf24bit);
    destination->SetSize(FWidth, FHeight);
    for (int32_t y = 0; y < FHeight; ++y)
        std::memcpy(destination->ScanLine(y), GetScanLine(y), size_t(FRowLen));
}

TCanvas* TKVDibbitmap::Canvas()
{
    return FRaster ? FRaster->Canvas() : nullptr;
}
