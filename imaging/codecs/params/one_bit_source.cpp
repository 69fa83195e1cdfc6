// The picture that a writer stores for a one-bit request, with the picture's own two colours.
#include "imaging/codecs/params/one_bit_source.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/proc/korvaneproc.h"

#include <cstring>
#include <optional>

namespace {

// The colour of a picture that holds only one, read as 24-bit rows.
std::optional<TRGB> SingleColour(TKVBitmap& bitmap)
{
    std::unique_ptr<TKVBitmap> converted;
    TKVBitmap* image = &bitmap;
    if (bitmap.GetPixelFormat() != kv24RGB) {
        converted = std::make_unique<TKVBitmap>();
        converted->Assign(&bitmap);
        converted->ConvertToPixelFormat(kv24RGB);
        image = converted.get();
    }
    const int32_t width = image->GetWidth(), height = image->GetHeight();
    if (width <= 0 || height <= 0 || image->GetPixelFormat() != kv24RGB)
        return std::nullopt;
    const TRGB first = *reinterpret_cast<const TRGB*>(image->GetScanLine(0));
    for (int32_t y = 0; y < height; y++) {
        const auto* row = reinterpret_cast<const TRGB*>(image->GetScanLine(y));
        for (int32_t x = 0; x < width; x++)
            if (!(row[x] == first))
                return std::nullopt;
    }
    return first;
}

} // namespace

TOneBitSource MakeOneBitSource(TKVBitmap& bitmap, bool thresholdOthers)
{
    TOneBitSource source;
    if (bitmap.GetPixelFormat() == kv1g) {
        source.Bitmap = &bitmap;
        return source;
    }
    TRGB dark, light;
    if ((source.Owned = Korvaneproc::_ConvertTo1bitEx(&bitmap, dark, light))) {
        source.Dark = dark;
        source.Light = light;
    } else if (const auto colour = SingleColour(bitmap);
               colour && !(*colour == TRGB{0, 0, 0}) && !(*colour == TRGB{255, 255, 255})) {
        source.Owned = std::make_unique<TKVBitmap>();
        source.Owned->Allocate(bitmap.GetWidth(), bitmap.GetHeight(), kv1g);
        for (int32_t y = 0; y < bitmap.GetHeight(); y++)
            std::memset(source.Owned->GetScanLine(y), 0, size_t(source.Owned->GetRowLen()));
        source.Dark = source.Light = *colour;
    } else if (thresholdOthers) {
        source.Owned = std::make_unique<TKVBitmap>();
        source.Owned->Assign(&bitmap);
        source.Owned->ConvertToPixelFormat(kv1g);
    }
    source.Bitmap = source.Owned.get();
    return source;
}

void ClearPadBits(uint8_t* row, int32_t width)
{
    if (width > 0 && width % 8 != 0)
        row[(width - 1) / 8] &= uint8_t(0xFF00 >> (width % 8));
}
