// The Gaussian blur in 16.16 fixed point, by rows and then by columns, and the soft drop shadows it
// makes from alpha channels.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/core/detail/row_kernel.h"
#include "imaging/proc/detail/proc_detail.h"
#include "platform/core/exceptions.h"

#include <cmath>
#include <cstring>

namespace Korvaneproc {

using namespace detail;

TKVGaussKernel _KVGaussKernel(double Radius)
{
    TKVGaussKernel kernel;
    long double total = 0;
    for (int32_t i = -100; i <= 100; ++i) {
        const long double t = i / static_cast<long double>(Radius);
        kernel.Weights[i + 100] = static_cast<double>(std::exp(-(t * t) / 2));
        total += std::exp(-(t * t) / 2);
    }
    for (int32_t i = 0; i < 201; ++i)
        kernel.Fixed[i] = RoundI(static_cast<long double>(kernel.Weights[i]) * 65536 / total);
    kernel.Size = 100;
    while (kernel.Size > 1 && kernel.Fixed[100 + kernel.Size] == 0 && kernel.Fixed[100 - kernel.Size] == 0)
        --kernel.Size;
    return kernel;
}

namespace {

// sums[j] += k * p[j], and the sums shifted down into bytes.
KV_ROW_KERNEL void Accumulate(int32_t* __restrict sums, const uint8_t* __restrict p, size_t count, int32_t k)
{
    for (size_t j = 0; j < count; ++j)
        sums[j] += k * p[j];
}

KV_ROW_KERNEL void Shift16(const int32_t* __restrict sums, uint8_t* __restrict out, size_t count)
{
    for (size_t j = 0; j < count; ++j)
        out[j] = static_cast<uint8_t>(sums[j] >> 16);
}

// Blurs count samples that lie step bytes apart (one channel of a row) into out, from a copy of
// them padded by n repeated samples on both sides.
class RowBlur
{
public:
    RowBlur(const TKVGaussKernel& kernel, int32_t channels) : FKernel(kernel), FChannels(channels) {}

    // Blurs a row of length pixels in place.
    void Run(uint8_t* row, int32_t length)
    {
        const int32_t n = FKernel.Size, c = FChannels;
        FPadded.resize(size_t(length + 2 * n) * c);
        for (int32_t x = -n; x < length + n; ++x)
            std::memcpy(&FPadded[size_t(x + n) * c], row + size_t(std::clamp(x, 0, length - 1)) * c,
                        size_t(c));
        const size_t count = size_t(length) * c;
        FSums.assign(count, 32768);
        for (int32_t i = -n; i <= n; ++i)
            Accumulate(FSums.data(), &FPadded[size_t(i + n) * c], count, FKernel.Fixed[100 + i]);
        Shift16(FSums.data(), row, count);
    }

private:
    const TKVGaussKernel& FKernel;
    int32_t FChannels;
    std::vector<uint8_t> FPadded;
    std::vector<int32_t> FSums;
};

// Blurs the columns of a block of rows in place, in strips of columns so that the rows a strip
// reads stay in the cache. report(column) follows each column done.
template <class Report> void BlurColumns(PixelBlock& block, const TKVGaussKernel& kernel, Report report)
{
    const int32_t n = kernel.Size, height = block.height;
    const size_t stride = block.Stride();
    constexpr size_t strip = 1024;
    std::vector<uint8_t> source(size_t(height) * std::min(strip, stride));
    std::vector<int32_t> sums(std::min(strip, stride));
    for (size_t x0 = 0; x0 < stride; x0 += strip) {
        const size_t width = std::min(strip, stride - x0);
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(&source[size_t(y) * width], block.Row(y) + x0, width);
        for (int32_t y = 0; y < height; ++y) {
            std::fill(sums.begin(), sums.begin() + width, 32768);
            for (int32_t i = -n; i <= n; ++i)
                Accumulate(sums.data(), &source[size_t(std::clamp(y + i, 0, height - 1)) * width], width,
                           kernel.Fixed[100 + i]);
            Shift16(sums.data(), block.Row(y) + x0, width);
        }
        const int32_t bpp = block.bytesPerPixel;
        for (size_t x = x0 / bpp; x < (x0 + width) / bpp; ++x)
            report(static_cast<int32_t>(x));
    }
}

void BlurBlock(PixelBlock& block, double radius, const TKVProgressEvent& onProgress, TObject* sender)
{
    const TKVGaussKernel kernel = _KVGaussKernel(radius);
    const int64_t total = int64_t(block.width) + block.height;
    RowBlur rows(kernel, block.bytesPerPixel);
    for (int32_t y = 0; y < block.height; ++y) {
        rows.Run(block.Row(y), block.width);
        Report(onProgress, sender, TruncI(static_cast<long double>(y) * 100 / total));
    }
    BlurColumns(block, kernel, [&](int32_t x) {
        Report(onProgress, sender, TruncI(static_cast<long double>(block.height + int64_t(x)) * 100 / total));
    });
}

bool BlurFormat(TKVBitmap* bitmap)
{
    return bitmap && (bitmap->GetPixelFormat() == kv24RGB || bitmap->GetPixelFormat() == kv8g);
}

} // namespace

void _KVGBlur(TKVBitmap* Bitmap, double Radius, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    // Not a positive number (NaN included): every weight would round to 0.
    if (!BlurFormat(Bitmap) || !(Radius > 0) || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1)
        return;
    PixelBlock block = ReadBlock(Bitmap, 0, 0, Bitmap->GetWidth(), Bitmap->GetHeight());
    BlurBlock(block, Radius, OnProgress, Sender);
    WriteBlock(Bitmap, block);
}

void _KVGBlurRect8(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, double Radius)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv8g || !(Radius > 0))
        return;
    x2 = x2 == INT32_MAX ? x2 : x2 + 1;
    y2 = y2 == INT32_MAX ? y2 : y2 + 1;
    if (!CutRect(Bitmap, x1, y1, x2, y2))
        return;
    PixelBlock block = ReadBlock(Bitmap, x1, y1, x2, y2);
    BlurBlock(block, Radius, {}, nullptr);
    WriteBlock(Bitmap, block);
}

namespace {

// Moves a plane by (dx, dy), the vacated area 0; a move beyond the plane empties it.
void MovePlane(TKVBitmap* plane, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t dx, int32_t dy)
{
    const int32_t limitX = plane->GetWidth(), limitY = plane->GetHeight();
    dx = std::clamp(dx, -limitX, limitX);
    dy = std::clamp(dy, -limitY, limitY);
    plane->MoveRegion(x1, y1, x2, y2, x1 + dx, y1 + dy, 0);
}

// Where the saved alpha is 0 and the new alpha is not, the pixel takes the shadow colour (kv1g:
// black) and keeps the new alpha; elsewhere the saved alpha comes back. Over x1..x2-1, y1..y2-1.
void PaintShadow(TKVBitmap* bitmap, TKVBitmap* saved, TRGB colour, int32_t x1, int32_t y1, int32_t x2,
                 int32_t y2)
{
    TKVBitmap* alpha = bitmap->GetAlphaChannel();
    const TKVPixelFormat format = bitmap->GetPixelFormat();
    std::vector<uint8_t> before(size_t(x2 - x1));
    for (int32_t y = y1; y < y2; ++y) {
        std::memcpy(before.data(), saved->GetScanLine(y) + x1, before.size());
        uint8_t* a = alpha->GetScanLine(y);
        uint8_t* row = bitmap->GetScanLine(y);
        for (int32_t x = x1; x < x2; ++x) {
            if (before[x - x1] == 0 && a[x] != 0) {
                if (format == kv24RGB) {
                    row[x * 3] = colour.b;
                    row[x * 3 + 1] = colour.g;
                    row[x * 3 + 2] = colour.r;
                } else if (format == kv1g) {
                    SetBitAt(row, x, false);
                }
            } else {
                a[x] = before[x - x1];
            }
        }
    }
}

} // namespace

void _KVAddSoftShadow(TKVBitmap* Bitmap, double Radius, int32_t OffsetX, int32_t OffsetY, bool AdaptSize,
                      TRGB Shadow, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap || std::isnan(Radius) || Bitmap->IsAlpha() || Bitmap->GetWidth() < 1 ||
        Bitmap->GetHeight() < 1)
        return;
    if (AdaptSize) {
        const long double grow = std::max(std::trunc(static_cast<long double>(Radius) * 5) +
                                              std::max(std::fabs(static_cast<long double>(OffsetX)),
                                                       std::fabs(static_cast<long double>(OffsetY))) *
                                                  2,
                                          1.0L);
        if (grow > INT32_MAX - int64_t(std::max(Bitmap->GetWidth(), Bitmap->GetHeight())))
            return;
        // A size that cannot be had leaves the picture as it was.
        TKVBitmap grown;
        try {
            grown.Assign(Bitmap);
            grown.GetAlphaChannel();
            grown.Resize(Bitmap->GetWidth() + int32_t(grow), Bitmap->GetHeight() + int32_t(grow), 0, 0,
                         kvhCenter, kvvCenter);
        } catch (const Exception&) {
            return;
        }
        Bitmap->Assign(&grown);
    }
    TKVBitmap* alpha = Bitmap->GetAlphaChannel();
    alpha->Full = false;
    TKVBitmap saved;
    saved.Assign(alpha);
    _KVGBlur(alpha, Radius, OnProgress, Sender);
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if (OffsetX != 0 || OffsetY != 0)
        MovePlane(alpha, 0, 0, width - 1, height - 1, OffsetX, OffsetY);
    PaintShadow(Bitmap, &saved, Shadow, 0, 0, width, height);
}

int32_t _KVAddSoftShadowRect(TKVBitmap* Bitmap, double Radius, int32_t OffsetX, int32_t OffsetY, int32_t x1,
                             int32_t y1, int32_t x2, int32_t y2)
{
    if (!Bitmap || !(Radius >= 0) || Bitmap->IsAlpha() || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1)
        return 0;
    const long double extent = Radius == 0 ? 2.0L : Radius;
    const int64_t m = std::max(std::abs(int64_t(OffsetX)), std::abs(int64_t(OffsetY)));
    // Boxes are cut to the image, so extents beyond it act alike.
    const int64_t g = std::clamp<int64_t>(Trunc64(extent * 5 + 2.0L * m), 1, INT32_MAX);
    const int64_t h = g / 2;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    auto clampX = [&](int64_t v) { return int32_t(std::clamp<int64_t>(v, 0, width - 1)); };
    auto clampY = [&](int64_t v) { return int32_t(std::clamp<int64_t>(v, 0, height - 1)); };

    TKVBitmap* alpha = Bitmap->GetAlphaChannel();
    alpha->Full = false;
    TKVBitmap saved;
    saved.Assign(alpha);
    const int32_t bx1 = clampX(int64_t(x1) - h), by1 = clampY(int64_t(y1) - h);
    const int32_t bx2 = clampX(int64_t(x2) + h), by2 = clampY(int64_t(y2) + h);
    if (Radius == 0) {
        _ApplyFilter8(alpha, KVFiltPres[fpBlur], bx1, by1, bx2 + 1, by2 + 1);
    } else {
        _KVGBlurRect8(alpha, bx1, by1, bx2, by2, Radius);
    }
    if (OffsetX != 0 || OffsetY != 0)
        MovePlane(alpha, bx1, by1, bx2, by2, OffsetX, OffsetY);
    PaintShadow(Bitmap, &saved, TRGB{0, 0, 0}, clampX(int64_t(x1) - g), clampY(int64_t(y1) - g),
                clampX(int64_t(x2) + g) + 1, clampY(int64_t(y2) + g) + 1);
    return int32_t(std::min<int64_t>(g, INT32_MAX));
}

} // namespace Korvaneproc
