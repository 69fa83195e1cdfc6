// TKVBitmap pixel access, filling and the Full flag.
#include "imaging/core/kvbitmap.h"

#include "imaging/core/detail/pixel_access.h"
#include "imaging/core/pixel_helpers.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <cstring>

namespace {

template <typename T> void FillRow(uint8_t* row, int32_t first, int32_t count, T value)
{
    T* pixels = reinterpret_cast<T*>(row) + first;
    std::fill(pixels, pixels + count, value);
}

} // namespace

bool TKVBitmap::GetPixels_kv1g(int32_t x, int32_t y)
{
    return Korvaneproc::_GetPixelbw(GetScanLine(y), x) != 0;
}

void TKVBitmap::SetPixels_kv1g(int32_t x, int32_t y, bool value)
{
    Korvaneproc::_SetPixelbw(GetScanLine(y), x, value);
    if (!value)
        Full = false;
}

uint8_t TKVBitmap::GetPixels_kv8(int32_t x, int32_t y)
{
    return GetScanLine(y)[x];
}

void TKVBitmap::SetPixels_kv8(int32_t x, int32_t y, uint8_t value)
{
    GetScanLine(y)[x] = value;
    if (value < 255)
        Full = false;
}

uint16_t TKVBitmap::GetPixels_kv16g(int32_t x, int32_t y)
{
    return Daduvudez::detail::LoadPixel<uint16_t>(GetScanLine(y), x);
}

void TKVBitmap::SetPixels_kv16g(int32_t x, int32_t y, uint16_t value)
{
    Daduvudez::detail::StorePixel(GetScanLine(y), x, value);
    if (value < 65535)
        Full = false;
}

float TKVBitmap::GetPixels_kv32f(int32_t x, int32_t y)
{
    return Daduvudez::detail::LoadPixel<float>(GetScanLine(y), x);
}

void TKVBitmap::SetPixels_kv32f(int32_t x, int32_t y, float value)
{
    Daduvudez::detail::StorePixel(GetScanLine(y), x, value);
    if (!(value >= 1.0f))
        Full = false;
}

TRGB TKVBitmap::GetPixels_kv24RGB(int32_t x, int32_t y)
{
    return *GetPPixels_kv24RGB(x, y);
}

TRGB* TKVBitmap::GetPPixels_kv24RGB(int32_t x, int32_t y)
{
    return reinterpret_cast<TRGB*>(GetScanLine(y)) + x;
}

void TKVBitmap::SetPixels_kv24RGB(int32_t x, int32_t y, const TRGB& value)
{
    *GetPPixels_kv24RGB(x, y) = value;
    if (value.r != 255 || value.g != 255 || value.b != 255)
        Full = false;
}

TRGB TKVBitmap::GetPixels(int32_t x, int32_t y)
{
    auto grey = [](uint8_t v) { return TRGB{v, v, v}; };
    switch (FPixelFormat) {
    case kv1g:
        return GetPixels_kv1g(x, y) ? grey(255) : grey(0);
    case kv8p:
        return GetPalette(GetPixels_kv8(x, y));
    case kv8g:
        return grey(GetPixels_kv8(x, y));
    case kv16g:
        return grey(static_cast<uint8_t>(GetPixels_kv16g(x, y) >> 8));
    case kv24RGB:
        return GetPixels_kv24RGB(x, y);
    case kv32f:
        return grey(Daduvudez::detail::FloatToByte(GetPixels_kv32f(x, y)));
    default:
        return TRGB{};
    }
}

void TKVBitmap::Fill(double value)
{
    const int32_t v = Trunc(value);
    switch (FPixelFormat) {
    case kv1g:
        Full = v != 0;
        break;
    case kv8p:
    case kv8g:
        Full = v == 255;
        break;
    case kv16g:
        Full = v == 65535;
        break;
    case kv24RGB: {
        const TRGB c = Korvaneproc::TColor2TRGB(v);
        Full = c.r == 255 && c.g == 255 && c.b == 255;
        break;
    }
    case kv32f:
        Full = static_cast<float>(value) == 1.0f;
        break;
    default:
        return;
    }
    if (FPixelFormat == kv1g || FPixelFormat == kv8p || FPixelFormat == kv8g) {
        // Whole rows, padding included.
        const uint8_t byte = FPixelFormat == kv1g ? (v > 0 ? 0xFF : 0) : static_cast<uint8_t>(v);
        for (int32_t y = 0; y < FHeight; ++y)
            std::memset(GetScanLine(y), byte, size_t(FRowLen));
        return;
    }
    FillRect(0, 0, FWidth - 1, FHeight - 1, value);
}

void TKVBitmap::FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, double value)
{
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, FWidth - 1);
    y2 = std::min(y2, FHeight - 1);
    if (x1 > x2 || y1 > y2)
        return;
    const int32_t v = Trunc(value);
    const int32_t count = x2 - x1 + 1;
    for (int32_t y = y1; y <= y2; ++y) {
        uint8_t* row = GetScanLine(y);
        switch (FPixelFormat) {
        case kv1g:
            for (int32_t x = x1; x <= x2; ++x)
                Korvaneproc::_SetPixelbw(row, x, v != 0);
            break;
        case kv8p:
        case kv8g:
            std::memset(row + x1, static_cast<uint8_t>(v), size_t(count));
            break;
        case kv16g:
            FillRow<uint16_t>(row, x1, count, static_cast<uint16_t>(v));
            break;
        case kv24RGB:
            FillRow<TRGB>(row, x1, count, Korvaneproc::TColor2TRGB(v));
            break;
        case kv32f:
            FillRow<float>(row, x1, count, static_cast<float>(value));
            break;
        default:
            return;
        }
    }
}

void TKVBitmap::SyncFull()
{
    Full = FWidth > 0 && FHeight > 0 && FPixelFormat != kvnull;
    const TKVDataAccess access = Access;
    Access = kvdRead;
    // Pixel bytes only: padding is whatever the writer left there (codecs leave zeros).
    const int64_t bits = int64_t(FWidth) * FBitCount;
    const int64_t wholeBytes = bits / 8;
    const uint8_t lastMask = static_cast<uint8_t>(0xFF00 >> (bits % 8));
    for (int32_t y = 0; y < FHeight && Full; ++y) {
        const uint8_t* row = GetScanLine(y);
        Full = std::all_of(row, row + wholeBytes, [](uint8_t b) { return b == 255; }) &&
               (lastMask == 0 || (row[wholeBytes] & lastMask) == lastMask);
    }
    Access = access;
}
