// TKVDibbitmap: a 1- or 24-bit image in a class-library raster that a canvas can draw into while
// the library reads its rows directly; it shares TKVBaseBitmap with TKVBitmap so that the stretch
// and copy workers take either.
#pragma once

#include "imaging/core/kvbitmap.h"

#include <memory>

class TKVDibbitmap : public TKVBaseBitmap
{
public:
    TKVDibbitmap();
    ~TKVDibbitmap() override;

    // Nothing when a side is 0. Raises EOutOfMemory when the raster cannot be made.
    void AllocateBits(uint32_t width, uint32_t height, uint32_t bitCount);
    void FreeBits();

    uint8_t* GetScanLine(int32_t row) override;
    int32_t GetBitCount() const override { return FBitCount; }
    int32_t GetHeight() const override { return FHeight; }
    int32_t GetWidth() const override { return FWidth; }
    // kv1g for 1 bit, kv24RGB for 24 bits, kvnull otherwise.
    TKVPixelFormat GetPixelFormat() const override;
    int32_t GetRowLen() const override { return FRowLen; }
    // kv1g and kv24RGB only; other formats leave the image as it is.
    void Allocate(int32_t width, int32_t height, TKVPixelFormat format) override;
    // Copies a TKVDibbitmap source; other sources are ignored.
    void Assign(TObject* source) override;

    void CopyToTBitmap(TBitmap* destination);
    // The canvas drawing into the image (nullptr while empty).
    TCanvas* Canvas();

private:
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FBitCount = 0;
    int32_t FRowLen = 0;
    std::unique_ptr<TBitmap> FRaster;
};
