// Colour reduction to a palette, for the workers and the processing component, and the row
// converter between bit depths of the file writers; they find palette indexes through the colour
// quantizer. The component's conversions always work on the whole image.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/core/quantizer.h"
#include "imaging/proc/detail/proc_detail.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/strings.h"

#include <cstring>
#include <vector>

namespace Korvaneproc {

using namespace detail;

namespace {

const TRGB kBlack{0, 0, 0};

inline const TRGB& PaletteEntry(std::span<const TRGB> palette, uint32_t index)
{
    return index < palette.size() ? palette[index] : kBlack;
}

int32_t DestinationLength(int32_t dstBits, int32_t count)
{
    switch (dstBits) {
    case 1:
        return (count + 7) / 8;
    case 4:
        return (count + 1) / 2;
    case 8:
        return count;
    case 24:
        return count * 3;
    default:
        return 0;
    }
}

inline uint8_t Nibble(const uint8_t* row, int32_t x)
{
    return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
}

inline void OrNibble(uint8_t* row, int32_t x, uint32_t value)
{
    value &= 0x0F;
    row[x >> 1] |= static_cast<uint8_t>((x & 1) ? value : value << 4);
}

uint32_t QuantizedIndex(TKVQuantizer* quantizer, const uint8_t* pixel)
{
    TRGB colour;
    std::memcpy(&colour, pixel, 3);
    const int32_t index = quantizer->GetRGBIndex(colour);
    return index < 0 ? 0 : static_cast<uint32_t>(index);
}

} // namespace

int32_t _ConvertXBitsToYBits(const uint8_t* Src, uint8_t* Dst, int32_t SrcBits, int32_t DstBits,
                             int32_t Count, std::span<const TRGB> Palette, TKVQuantizer* Quantizer)
{
    const int32_t length = DestinationLength(DstBits, Count);
    if (Count < 1 || !Src || !Dst)
        return length;
    auto put24 = [&](int32_t x, const TRGB& c) { std::memcpy(Dst + static_cast<size_t>(x) * 3, &c, 3); };
    switch (SrcBits * 100 + DstBits) {
    case 101:
        std::memcpy(Dst, Src, static_cast<size_t>(length));
        break;
    case 104:
        for (int32_t x = 0; x < Count; ++x)
            OrNibble(Dst, x, BitAt(Src, x) ? 1 : 0);
        break;
    case 108:
        for (int32_t x = 0; x < Count; ++x)
            Dst[x] = BitAt(Src, x) ? 1 : 0;
        break;
    case 124:
        for (int32_t x = 0; x < Count; ++x)
            put24(x, PaletteEntry(Palette, BitAt(Src, x) ? 1 : 0));
        break;
    case 404:
        std::memcpy(Dst, Src, static_cast<size_t>(length));
        break;
    case 408:
        for (int32_t x = 0; x < Count; ++x)
            Dst[x] = Nibble(Src, x);
        break;
    case 424:
        for (int32_t x = 0; x < Count; ++x)
            put24(x, PaletteEntry(Palette, Nibble(Src, x)));
        break;
    case 801:
        std::memset(Dst, 0, static_cast<size_t>(length));
        for (int32_t x = 0; x < Count; ++x)
            if (Src[x] & 1)
                SetBitAt(Dst, x, true);
        break;
    case 808:
        std::memcpy(Dst, Src, static_cast<size_t>(Count));
        break;
    case 824:
        for (int32_t x = 0; x < Count; ++x)
            put24(x, PaletteEntry(Palette, Src[x]));
        break;
    case 2404:
        if (Quantizer)
            for (int32_t x = 0; x < Count; ++x)
                OrNibble(Dst, x, QuantizedIndex(Quantizer, Src + static_cast<size_t>(x) * 3));
        break;
    case 2408:
        if (Quantizer)
            for (int32_t x = 0; x < Count; ++x)
                Dst[x] = static_cast<uint8_t>(QuantizedIndex(Quantizer, Src + static_cast<size_t>(x) * 3));
        break;
    case 2424:
        std::memcpy(Dst, Src, static_cast<size_t>(Count) * 3);
        break;
    case 3224:
        for (int32_t x = 0; x < Count; ++x)
            std::memcpy(Dst + static_cast<size_t>(x) * 3, Src + static_cast<size_t>(x) * 4, 3);
        break;
    default:
        break;
    }
    return length;
}

void _ConvertToEx(TKVBitmap* Bitmap, int32_t NumColors, TRGB* Palette, const TKVProgressEvent& OnProgress,
                  TObject* Sender)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || NumColors < 1)
        return;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if (width < 1 || height < 1)
        return;
    std::vector<TRGB> ownPalette;
    if (!Palette) {
        ownPalette.resize(static_cast<size_t>(NumColors));
        Palette = ownPalette.data();
    }
    const long double step = 100.0L / (height + 0.5L);
    TKVQuantizer quantizer(Bitmap, std::span<TRGB>(Palette, static_cast<size_t>(NumColors)), NumColors, -1,
                           0);
    std::vector<TRGB> row(static_cast<size_t>(width));
    for (int32_t y = 0; y < height; ++y) {
        auto* line = static_cast<uint8_t*>(Bitmap->GetScanLine(y));
        std::memcpy(row.data(), line, row.size() * 3);
        for (TRGB& pixel : row) {
            const int32_t index = quantizer.GetRGBIndex(pixel);
            if (index >= 0 && index < NumColors)
                pixel = Palette[index];
        }
        std::memcpy(line, row.data(), row.size() * 3);
        Report(OnProgress, Sender, TruncI((y + 1) * step));
    }
}

} // namespace Korvaneproc

using namespace Korvaneproc;

namespace {

bool IsRGBImage(TKVBitmap* bitmap)
{
    return bitmap->GetPixelFormat() == kv24RGB && bitmap->GetWidth() > 0 && bitmap->GetHeight() > 0;
}

// Fewer than 3 colours make black and white (threshold at the mean grey, or ordered dither);
// 3 .. 1024 a palette of that many colours, the image staying 24-bit; more than 1024 nothing.
void Reduce(TKVBitmap* bitmap, int32_t numColors, TRGB* palette, TKVDitherMethod dither,
            const TKVProgressEvent& onProgress, TObject* sender)
{
    if (numColors < 3) {
        TProgressRec progress;
        progress.OnProgress = onProgress;
        progress.Sender = sender;
        if (dither == kvThreshold)
            _ConvertToBWThreshold(bitmap, -1, progress);
        else
            _ConvertToBWOrdered(bitmap, progress);
    } else if (numColors <= 1024) {
        _ConvertToEx(bitmap, numColors, palette, onProgress, sender);
    }
}

} // namespace

void TKorvaneProc::ConvertTo(int32_t NumColors, TKVDitherMethod DitherMethod)
{
    if (!Prepare() || !IsRGBImage(FKVBitmap))
        return;
    if (AutoUndo)
        SaveUndoCaptioned("ConvertTo " + IntToStr(NumColors), kvuImage);
    Reduce(FKVBitmap, NumColors, nullptr, DitherMethod, OnProgress, this);
    Update();
}

void TKorvaneProc::ConvertToPalette(int32_t NumColors, std::span<TRGB> Palette, TKVDitherMethod DitherMethod)
{
    if (NumColors == 0 || !Prepare() || !IsRGBImage(FKVBitmap))
        return;
    // The palette receives 2 entries for black and white, else NumColors.
    const size_t needed = NumColors < 3 ? 2 : static_cast<size_t>(NumColors);
    if (NumColors <= 1024 && Palette.size() < needed)
        return;
    if (AutoUndo)
        SaveUndoCaptioned("ConvertToPalette", kvuImage);
    Reduce(FKVBitmap, NumColors, Palette.data(), DitherMethod, OnProgress, this);
    if (NumColors < 3) {
        Palette[0] = TRGB{0, 0, 0};
        Palette[1] = TRGB{255, 255, 255};
    }
    Update();
}

void TKorvaneProc::CalcImagePalette(std::span<TRGB> Palette, int32_t MaxCol)
{
    if (!Prepare() || !IsRGBImage(FKVBitmap) || MaxCol < 1 || Palette.size() < static_cast<size_t>(MaxCol))
        return;
    TKVQuantizer quantizer(FKVBitmap, Palette.first(static_cast<size_t>(MaxCol)), MaxCol, -1, 0);
}
