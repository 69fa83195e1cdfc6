// TKVWorkBitmap: a plain bottom-up pixel buffer of any bits per pixel with typed element
// addresses, the scratch space of the processing workers.
#pragma once

#include "imaging/core/types.h"
#include "platform/core/classes.h"

#include <cstdint>
#include <memory>

class TKVWorkBitmap : public TObject
{
public:
    // Allocates only when both sizes are at least 1.
    TKVWorkBitmap(int32_t width, int32_t height, int32_t bitsPerPixel);
    ~TKVWorkBitmap() override;

    // Keeps the block and its contents when the three values are the current ones. Raises
    // EOutOfMemory when the block cannot be had.
    void AllocateBits(int32_t width, int32_t height, int32_t bitsPerPixel);
    void FreeBits();

    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    int32_t BitsPerPixel() const { return FBitsPerPixel; }
    int32_t RowLen() const { return FRowLen; }

    // Row 0 is the top row.
    uint8_t* GetScanline(int32_t row) { return FBits.get() + int64_t(FHeight - row - 1) * FRowLen; }
    uint8_t* GetPByte(int32_t row, int32_t column) { return GetScanline(row) + column; }
    TRGB* GetPRGB(int32_t row, int32_t column)
    {
        return reinterpret_cast<TRGB*>(GetScanline(row) + int64_t(column) * 3);
    }
    double* GetPDouble(int32_t row, int32_t column)
    {
        return reinterpret_cast<double*>(GetScanline(row) + int64_t(column) * 8);
    }
    float* GetPSingle(int32_t row, int32_t column)
    {
        return reinterpret_cast<float*>(GetScanline(row) + int64_t(column) * 4);
    }
    int32_t* GetPInteger(int32_t row, int32_t column)
    {
        return reinterpret_cast<int32_t*>(GetScanline(row) + int64_t(column) * 4);
    }
    // Sets (value != 0) or clears bit column of the row, most significant bit first.
    void SetBit(int32_t row, int32_t column, int32_t value);

private:
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FBitsPerPixel = 0;
    int32_t FRowLen = 0;
    std::unique_ptr<uint8_t[]> FBits;
};
