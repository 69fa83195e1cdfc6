// The Wallis filter: local contrast of the HSL lightness, each pixel's lightness pulled toward a
// target mean and standard deviation of its window. The picture is read with a 15-pixel border of
// repeated edge pixels; a result written for a border position lands on the edge pixel it repeats,
// the last write winning.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"

#include <cmath>
#include <cstring>

namespace Korvaneproc {

using namespace detail;

namespace {

constexpr int32_t Border = 15;

struct WallisSettings
{
    int32_t ww, wh, hw, hh;
    long double n, md, sd, a, b, smax;
};

// The last bordered position that writes image column (or row) x of a side of length size.
int32_t LastWriter(int32_t x, int32_t size)
{
    return x == size - 1 ? size + 2 * Border - 1 : x + Border;
}

} // namespace

void _KVWallisFilter(TKVBitmap* Bitmap, int32_t p1, int32_t p2, int32_t p3, int32_t p4, int32_t p5,
                     int32_t p6, int32_t p7, bool Binary, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1)
        return;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    const int64_t bw = int64_t(width) + 2 * Border, bh = int64_t(height) + 2 * Border;
    const long double mSize = std::min(width, height) + 2 * Border - 1;
    WallisSettings s{};
    s.ww = std::max(TruncI(p1 / 100.0L * mSize), 21);
    s.wh = std::max(TruncI(p2 / 100.0L * mSize), 21);
    // A window larger than the bordered picture would read past it.
    if (s.ww > bw || s.wh > bh)
        return;
    s.n = static_cast<long double>(s.ww) * s.wh;
    s.hw = (s.ww + 1) / 2;
    s.hh = (s.wh + 1) / 2;
    s.md = p3 / 100.0L;
    s.sd = p4 * 3.0L / 100;
    s.a = p5;
    s.b = p6 / 100.0L;
    s.smax = p7 * 6.0L / 100;

    const PixelBlock source = ReadBlock(Bitmap, 0, 0, width, height);
    PixelBlock result = source;
    // Lightness of every pixel, and its squares.
    std::vector<long double> light(size_t(width) * height), square(size_t(width) * height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* p = source.Row(y) + x * 3;
            double h, sat, l;
            RGB2HSL(TRGB{p[0], p[1], p[2]}, h, sat, l);
            light[size_t(y) * width + x] = l;
            square[size_t(y) * width + x] = static_cast<long double>(l) * l;
        }
    auto at = [&](int64_t bx, int64_t by) {
        return size_t(std::clamp<int64_t>(by - Border, 0, height - 1)) * width +
               size_t(std::clamp<int64_t>(bx - Border, 0, width - 1));
    };
    if (Binary)
        std::fill(result.bytes.begin(), result.bytes.end(), 255);

    // Sums of L and L^2 over the window's rows for every bordered column.
    std::vector<long double> columnL(size_t(bw), 0), columnL2(size_t(bw), 0);
    int64_t windowTop = -1;
    for (int32_t y = 0; y < height; ++y) {
        const int64_t by = LastWriter(y, height);
        Report(OnProgress, Sender, TruncI(static_cast<long double>(by) * 100 / bh));
        if (by < s.hh || by > bh - 1 - s.hh)
            continue;
        const int64_t top = by - s.hh;
        if (windowTop < 0 || top != windowTop + 1) {
            std::fill(columnL.begin(), columnL.end(), 0);
            std::fill(columnL2.begin(), columnL2.end(), 0);
            for (int64_t row = top; row < top + s.wh; ++row)
                for (int64_t bx = 0; bx < bw; ++bx) {
                    columnL[bx] += light[at(bx, row)];
                    columnL2[bx] += square[at(bx, row)];
                }
        } else {
            for (int64_t bx = 0; bx < bw; ++bx) {
                columnL[bx] += light[at(bx, top + s.wh - 1)] - light[at(bx, top - 1)];
                columnL2[bx] += square[at(bx, top + s.wh - 1)] - square[at(bx, top - 1)];
            }
        }
        windowTop = top;
        long double sumL = 0, sumL2 = 0;
        int64_t windowLeft = -1;
        uint8_t* out = result.Row(y);
        for (int32_t x = 0; x < width; ++x) {
            const int64_t bx = LastWriter(x, width);
            if (bx < s.hw || bx > bw - 1 - s.hw) {
                if (!Binary)
                    std::memcpy(out + x * 3, source.Row(y) + x * 3, 3);
                continue;
            }
            const int64_t left = bx - s.hw;
            if (windowLeft < 0 || left != windowLeft + 1) {
                sumL = sumL2 = 0;
                for (int64_t c = left; c < left + s.ww; ++c)
                    sumL += columnL[c], sumL2 += columnL2[c];
            } else {
                sumL += columnL[left + s.ww - 1] - columnL[left - 1];
                sumL2 += columnL2[left + s.ww - 1] - columnL2[left - 1];
            }
            windowLeft = left;
            const long double m = sumL / s.n;
            const long double deviation =
                std::min(std::sqrt(std::max(sumL2 / s.n - m * m + 1, 0.0L)), s.smax);
            const long double denominator = s.a * deviation + s.sd;
            const long double gain = denominator == 0 ? 0 : s.a * s.sd / denominator;
            const long double l = light[size_t(y) * width + x];
            const long double target = std::clamp((l - m) * gain + (1 - s.b) * m + s.b * s.md, 0.0L, 1.0L);
            uint8_t* pixel = out + x * 3;
            if (Binary) {
                std::memset(pixel, target < 0.5L ? 0 : 255, 3);
            } else {
                const uint8_t* p = source.Row(y) + x * 3;
                TRGB c{p[0], p[1], p[2]};
                double h, sat, unused;
                RGB2HSL(c, h, sat, unused);
                HSL2RGB(c, h, sat, static_cast<double>(target));
                pixel[0] = c.b, pixel[1] = c.g, pixel[2] = c.r;
            }
        }
    }
    WriteBlock(Bitmap, result);
}

} // namespace Korvaneproc
