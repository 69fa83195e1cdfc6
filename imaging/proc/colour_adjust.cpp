// Per-pixel colour operations: contrast around a mean colour, HSL and HSV offsets, channel offsets,
// grey, negative, gamma, thresholds, colour ranges cast to one colour or made transparent, fills.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"
#include "platform/core/rounding.h"
#include "platform/graphics/bitmap.h"

#include <cmath>
#include <cstring>

namespace Korvaneproc {

using namespace detail;

namespace {

// Runs perPixel(b, g, r) on every pixel of the rectangle of a kv24RGB bitmap, row by row in place.
template <class PerPixel>
void EachPixel(TKVBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
               const TKVProgressEvent& onProgress, TObject* sender, PerPixel perPixel)
{
    if (!bitmap || bitmap->GetPixelFormat() != kv24RGB || !CutRect(bitmap, x1, y1, x2, y2))
        return;
    for (int32_t y = y1; y < y2; ++y) {
        uint8_t* p = bitmap->GetScanLine(y) + size_t(x1) * 3;
        for (int32_t x = x1; x < x2; ++x, p += 3)
            perPixel(p[0], p[1], p[2]);
        Report(onProgress, sender, RowPercent(y, y1, y2));
    }
}

// The same with a 256-entry table per channel (blue, green, red).
void MapChannels(TKVBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                 const uint8_t (&table)[3][256], const TKVProgressEvent& onProgress, TObject* sender)
{
    EachPixel(bitmap, x1, y1, x2, y2, onProgress, sender, [&](uint8_t& b, uint8_t& g, uint8_t& r) {
        b = table[0][b];
        g = table[1][g];
        r = table[2][r];
    });
}

bool InRange(const TRGB& c, const TRGB& low, const TRGB& high)
{
    return low.r <= c.r && c.r <= high.r && low.g <= c.g && c.g <= high.g && low.b <= c.b && c.b <= high.b;
}

} // namespace

void _ContrastRGB(TKVBitmap* Bitmap, int32_t Contrast, int32_t MeanR, int32_t MeanG, int32_t MeanB,
                  int32_t x1, int32_t y1, int32_t x2, int32_t y2, const TKVProgressEvent& OnProgress,
                  TObject* Sender)
{
    const long double k = Contrast < 0 ? 1 - std::sqrt(-static_cast<long double>(Contrast)) / 10
                                       : 1 + static_cast<long double>(Contrast) / 10;
    // 16.16 fixed point; the products are taken in 64 bits, which large contrasts need.
    const int64_t f = Trunc64(k * 65536);
    const int32_t means[3] = {MeanB, MeanG, MeanR};
    uint8_t table[3][256];
    for (int ch = 0; ch < 3; ++ch)
        for (int32_t c = 0; c < 256; ++c) {
            int64_t t = (int64_t(c) - means[ch]) * f;
            if (t < 0)
                t += 65535;
            const int64_t v = (t >> 16) + means[ch];
            table[ch][c] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    MapChannels(Bitmap, x1, y1, x2, y2, table, OnProgress, Sender);
}

void _HSLvar(TKVBitmap* Bitmap, int32_t oHue, int32_t oSat, int32_t oLum, int32_t x1, int32_t y1, int32_t x2,
             int32_t y2, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    const double dh = oHue / 360.0, ds = oSat / 100.0, dl = oLum / 100.0;
    EachPixel(Bitmap, x1, y1, x2, y2, OnProgress, Sender, [&](uint8_t& b, uint8_t& g, uint8_t& r) {
        TRGB c{b, g, r};
        double h, s, l;
        RGB2HSL(c, h, s, l);
        HSL2RGB(c, h + dh, s + ds, l + dl);
        b = c.b, g = c.g, r = c.r;
    });
}

void _HSVvar(TKVBitmap* Bitmap, int32_t oHue, int32_t oSat, int32_t oVal, int32_t x1, int32_t y1, int32_t x2,
             int32_t y2, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    // Saturation and value are clamped to 0..99 afterwards, so larger offsets act as these; the hue
    // sum saturates instead of wrapping.
    oSat = std::clamp(oSat, -1000, 1000);
    oVal = std::clamp(oVal, -1000, 1000);
    auto hueSum = [oHue](int32_t h) {
        return static_cast<int32_t>(std::clamp<int64_t>(int64_t(h) + oHue, INT32_MIN, INT32_MAX));
    };
    EachPixel(Bitmap, x1, y1, x2, y2, OnProgress, Sender, [&](uint8_t& b, uint8_t& g, uint8_t& r) {
        TRGB c{b, g, r};
        int32_t h, s, v;
        RGB2HSV(c, h, s, v);
        HSV2RGB(c, hueSum(h), s + oSat, v + oVal);
        b = c.b, g = c.g, r = c.r;
    });
}

void _IntensityRGBall(TKVBitmap* Bitmap, int32_t dR, int32_t dG, int32_t dB, int32_t x1, int32_t y1,
                      int32_t x2, int32_t y2, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    const int32_t offsets[3] = {dB, dG, dR};
    uint8_t table[3][256];
    for (int ch = 0; ch < 3; ++ch)
        for (int32_t c = 0; c < 256; ++c)
            table[ch][c] = blimit(c + std::clamp(offsets[ch], -256, 256));
    MapChannels(Bitmap, x1, y1, x2, y2, table, OnProgress, Sender);
}

void _ConvertToGray(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                    const TKVProgressEvent& OnProgress, TObject* Sender)
{
    EachPixel(Bitmap, x1, y1, x2, y2, OnProgress, Sender,
              [](uint8_t& b, uint8_t& g, uint8_t& r) { b = g = r = static_cast<uint8_t>(Grey(r, g, b)); });
}

void _Negative(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
               const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap)
        return;
    if (Bitmap->GetPixelFormat() == kv24RGB) {
        EachPixel(Bitmap, x1, y1, x2, y2, OnProgress, Sender, [](uint8_t& b, uint8_t& g, uint8_t& r) {
            b = static_cast<uint8_t>(255 - b);
            g = static_cast<uint8_t>(255 - g);
            r = static_cast<uint8_t>(255 - r);
        });
        return;
    }
    if (Bitmap->GetPixelFormat() != kv1g || !CutRect(Bitmap, x1, y1, x2, y2))
        return;
    for (int32_t y = y1; y < y2; ++y) {
        uint8_t* row = Bitmap->GetScanLine(y);
        for (int32_t x = x1; x < x2; ++x)
            row[x >> 3] ^= static_cast<uint8_t>(0x80 >> (x & 7));
        Report(OnProgress, Sender, RowPercent(y, y1, y2));
    }
}

void _KVGammaCorrect(TKVBitmap* Bitmap, double Gamma, TKVChannels Channels,
                     const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || !(Gamma > 0) || !std::isfinite(Gamma))
        return;
    uint8_t gamma[256], identity[256];
    for (int32_t i = 0; i < 256; ++i) {
        gamma[i] = blimit(RoundI(Daduvudez::KVPower(i / 255.0L, 1 / static_cast<long double>(Gamma)) * 255));
        identity[i] = static_cast<uint8_t>(i);
    }
    const uint8_t* blue = (Channels & KVChannel(kvcBlue)) ? gamma : identity;
    const uint8_t* green = (Channels & KVChannel(kvcGreen)) ? gamma : identity;
    const uint8_t* red = (Channels & KVChannel(kvcRed)) ? gamma : identity;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* p = Bitmap->GetScanLine(y);
        for (int32_t x = 0; x < width; ++x, p += 3) {
            p[0] = blue[p[0]];
            p[1] = green[p[1]];
            p[2] = red[p[2]];
        }
        Report(OnProgress, Sender, TruncI(static_cast<long double>(y) * 100 / height));
    }
}

void _Threshold(TKVBitmap* Bitmap, TRGB DownLimit, TRGB UpLimit, TRGB DownVal, TRGB UpVal, int32_t x1,
                int32_t y1, int32_t x2, int32_t y2, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (DownLimit == TRGB{0, 0, 0} && UpLimit == TRGB{255, 255, 255})
        return;
    const uint8_t down[3] = {DownLimit.b, DownLimit.g, DownLimit.r},
                  up[3] = {UpLimit.b, UpLimit.g, UpLimit.r};
    const uint8_t downVal[3] = {DownVal.b, DownVal.g, DownVal.r}, upVal[3] = {UpVal.b, UpVal.g, UpVal.r};
    uint8_t table[3][256];
    for (int ch = 0; ch < 3; ++ch)
        for (int32_t c = 0; c < 256; ++c) {
            uint8_t v = c <= down[ch] ? downVal[ch] : static_cast<uint8_t>(c);
            if (v > up[ch])
                v = upVal[ch];
            table[ch][c] = v;
        }
    MapChannels(Bitmap, x1, y1, x2, y2, table, OnProgress, Sender);
}

void _CastColorRange(TKVBitmap* Bitmap, TRGB BeginColor, TRGB EndColor, TRGB CastColor, int32_t x1,
                     int32_t y1, int32_t x2, int32_t y2, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    EachPixel(Bitmap, x1, y1, x2, y2, OnProgress, Sender, [&](uint8_t& b, uint8_t& g, uint8_t& r) {
        if (InRange(TRGB{b, g, r}, BeginColor, EndColor))
            b = CastColor.b, g = CastColor.g, r = CastColor.r;
    });
}

void _SetTransparentColors(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB MinColor,
                           TRGB MaxColor, int32_t Alpha, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap)
        return;
    const TKVPixelFormat format = Bitmap->GetPixelFormat();
    if ((format != kv24RGB && format != kv1g) || !CutRect(Bitmap, x1, y1, x2, y2))
        return;
    TKVBitmap* alpha = Bitmap->GetAlphaChannel();
    const auto value = static_cast<uint8_t>(Alpha);
    const bool setBitsMatch = MinColor.r != 0;
    std::vector<uint8_t> row(static_cast<size_t>(Bitmap->GetRowLen()));
    for (int32_t y = y1; y < y2; ++y) {
        std::memcpy(row.data(), Bitmap->GetScanLine(y), row.size());
        uint8_t* a = alpha->GetScanLine(y);
        for (int32_t x = x1; x < x2; ++x) {
            const bool match = format == kv24RGB ? InRange(TRGB{row[x * 3], row[x * 3 + 1], row[x * 3 + 2]},
                                                           MinColor, MaxColor)
                                                 : BitAt(row.data(), x) == setBitsMatch;
            if (match)
                a[x] = value;
        }
        Report(OnProgress, Sender, RowPercent(y, y1, y2));
    }
    alpha->SyncFull();
}

void _Fill(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB Colour,
           const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap)
        return;
    if (Bitmap->GetPixelFormat() == kv24RGB) {
        EachPixel(Bitmap, x1, y1, x2, y2, OnProgress, Sender,
                  [&](uint8_t& b, uint8_t& g, uint8_t& r) { b = Colour.b, g = Colour.g, r = Colour.r; });
        return;
    }
    if (Bitmap->GetPixelFormat() != kv1g || !CutRect(Bitmap, x1, y1, x2, y2))
        return;
    for (int32_t y = y1; y < y2; ++y) {
        uint8_t* row = Bitmap->GetScanLine(y);
        for (int32_t x = x1; x < x2; ++x)
            SetBitAt(row, x, Colour.r != 0);
    }
}

void _Negative1Bit(TBitmap* Bitmap)
{
    if (!Bitmap || Bitmap->PixelFormat() != pf1bit)
        return;
    for (int32_t y = 0; y < Bitmap->Height(); ++y)
        _NegativeBuffer(Bitmap->ScanLine(y), Bitmap->RowLength());
}

void _NegativeBuffer(uint8_t* Buffer, int32_t Count)
{
    for (int32_t i = 0; Buffer && i < Count; ++i)
        Buffer[i] = static_cast<uint8_t>(~Buffer[i]);
}

} // namespace Korvaneproc
