// The window filter of three modes: median-like replacement, sharpen and edge extraction. The
// window's luminance histogram slides along each row; the replacement colour is the window pixel
// nearest to the window's mean colour.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace Korvaneproc {

using namespace detail;

namespace {

// The smallest level whose cumulative count exceeds a rank, followed as values come and go.
// A rank below 0 gives level 0; a rank no count reaches gives 255.
class RankLevel
{
public:
    RankLevel(int64_t rank, int64_t count) : FRank(rank), FFixed(rank < 0 ? 0 : (rank >= count ? 255 : -1)) {}

    void Added(uint8_t v)
    {
        if (v < FLevel)
            ++FBelow;
    }
    void Removed(uint8_t v)
    {
        if (v < FLevel)
            --FBelow;
    }
    int32_t Level(const int32_t (&histogram)[256])
    {
        if (FFixed >= 0)
            return FFixed;
        while (FBelow > FRank)
            FBelow -= histogram[--FLevel];
        while (FBelow + histogram[FLevel] <= FRank)
            FBelow += histogram[FLevel++];
        return FLevel;
    }

private:
    int64_t FRank;
    int32_t FFixed;
    int32_t FLevel = 0;
    int64_t FBelow = 0;
};

struct Planes
{
    int32_t width = 0, height = 0;
    std::vector<uint8_t> r, g, b, lum;
    const uint8_t* Row(const std::vector<uint8_t>& plane, int32_t y) const
    {
        return plane.data() + size_t(y) * width;
    }
};

Planes Split(const PixelBlock& block)
{
    Planes p;
    p.width = block.width;
    p.height = block.height;
    const size_t count = size_t(p.width) * p.height;
    p.r.resize(count), p.g.resize(count), p.b.resize(count), p.lum.resize(count);
    for (int32_t y = 0; y < p.height; ++y) {
        const uint8_t* row = block.Row(y);
        for (int32_t x = 0; x < p.width; ++x) {
            const size_t i = size_t(y) * p.width + x;
            p.b[i] = row[x * 3];
            p.g[i] = row[x * 3 + 1];
            p.r[i] = row[x * 3 + 2];
            p.lum[i] = static_cast<uint8_t>((p.r[i] * 54 + p.g[i] * 182 + p.b[i] * 20) >> 8);
        }
    }
    return p;
}

struct MedianSettings
{
    int32_t p1, p2;
    TKVMedFilType type;
    int64_t n;
    long double a, c, d;
    int32_t t;
    int64_t q1, med, q3;
};

// For the centres x0 .. x1-1 of row y: the index in scan order (centre left out) of the window
// pixel nearest to the mean colour of the window without its centre, first on ties.
void NearestToMean(const Planes& p, const MedianSettings& s, int32_t y, int32_t x0, int32_t x1,
                   std::vector<int64_t> (&columnSums)[3], std::vector<int32_t>& best)
{
    const int32_t hw = s.p1 / 2, hh = s.p2 / 2, count = x1 - x0;
    const std::vector<uint8_t>* planes[3] = {&p.r, &p.g, &p.b};
    std::vector<int16_t> mean[3];
    for (int ch = 0; ch < 3; ++ch) {
        mean[ch].resize(size_t(count));
        const int64_t* sums = columnSums[ch].data();
        int64_t window = 0;
        for (int32_t c = x0 - hw; c < x0 - hw + s.p1; ++c)
            window += sums[c];
        for (int32_t x = x0; x < x1; ++x) {
            const int64_t withoutCentre = window - p.Row(*planes[ch], y)[x];
            mean[ch][x - x0] = static_cast<int16_t>(withoutCentre / (s.n - 1));
            if (x + 1 < x1)
                window += sums[x + 1 - hw + s.p1 - 1] - sums[x - hw];
        }
    }
    std::vector<int32_t> bestDistance(size_t(count), std::numeric_limits<int32_t>::max());
    best.assign(size_t(count), 0);
    int32_t index = 0;
    for (int32_t dy = 0; dy < s.p2; ++dy) {
        const int32_t row = y - hh + dy;
        const uint8_t* r = p.Row(p.r, row) + x0 - hw;
        const uint8_t* g = p.Row(p.g, row) + x0 - hw;
        const uint8_t* b = p.Row(p.b, row) + x0 - hw;
        for (int32_t dx = 0; dx < s.p1; ++dx) {
            if (dy == hh && dx == hw)
                continue;
            const int16_t* mr = mean[0].data();
            const int16_t* mg = mean[1].data();
            const int16_t* mb = mean[2].data();
            for (int32_t i = 0; i < count; ++i) {
                const int32_t distance =
                    std::abs(r[i + dx] - mr[i]) + std::abs(g[i + dx] - mg[i]) + std::abs(b[i + dx] - mb[i]);
                if (distance < bestDistance[i]) {
                    bestDistance[i] = distance;
                    best[i] = index;
                }
            }
            ++index;
        }
    }
}

void FilterRows(const Planes& p, const MedianSettings& s, PixelBlock& result,
                const TKVProgressEvent& onProgress, TObject* sender)
{
    const int32_t width = p.width, height = p.height, hw = s.p1 / 2, hh = s.p2 / 2;
    const int32_t x0 = hw + 1, x1 = width - hw - 1 + 1, yFirst = hh, yLast = height - hh - 1;
    const bool needRanks = s.type == mfEdgeExtract || (s.type == mfMedianFilter && s.t != 0);
    std::vector<int64_t> columnSums[3]; // a window over 8 million rows tall passes 32 bits
    for (auto& sums : columnSums)
        sums.assign(size_t(width), 0);
    const std::vector<uint8_t>* planes[3] = {&p.r, &p.g, &p.b};
    std::vector<int32_t> best;
    for (int32_t y = 0; y < height; ++y) {
        const bool centreRow = y >= yFirst && y <= yLast && x0 < x1;
        if (!centreRow) {
            Report(onProgress, sender, TruncI(static_cast<long double>(y) / height * 100));
            continue;
        }
        // Column sums over the window's rows y - hh .. y - hh + p2 - 1.
        if (y == yFirst) {
            for (int ch = 0; ch < 3; ++ch)
                for (int32_t row = 0; row < s.p2; ++row) {
                    const uint8_t* v = p.Row(*planes[ch], row);
                    for (int32_t x = 0; x < width; ++x)
                        columnSums[ch][x] += v[x];
                }
        } else {
            for (int ch = 0; ch < 3; ++ch) {
                const uint8_t* leaving = p.Row(*planes[ch], y - hh - 1);
                const uint8_t* entering = p.Row(*planes[ch], y - hh + s.p2 - 1);
                for (int32_t x = 0; x < width; ++x)
                    columnSums[ch][x] += entering[x] - leaving[x];
            }
        }
        NearestToMean(p, s, y, x0, x1, columnSums, best);

        int32_t histogram[256] = {};
        RankLevel q1(s.q1, s.n), med(s.med, s.n), q3(s.q3, s.n);
        uint8_t* out = result.Row(y);
        for (int32_t x = x0; x < x1; ++x) {
            int32_t levelQ1 = 0, levelMed = 0, levelQ3 = 0;
            if (needRanks) {
                auto addColumn = [&](int32_t column, int32_t sign) {
                    for (int32_t row = y - hh; row < y - hh + s.p2; ++row) {
                        const uint8_t v = p.Row(p.lum, row)[column];
                        histogram[v] += sign;
                        if (sign > 0)
                            q1.Added(v), med.Added(v), q3.Added(v);
                        else
                            q1.Removed(v), med.Removed(v), q3.Removed(v);
                    }
                };
                if (x == x0) {
                    for (int32_t c = x - hw; c < x - hw + s.p1; ++c)
                        addColumn(c, 1);
                } else {
                    addColumn(x - hw - 1, -1);
                    addColumn(x - hw + s.p1 - 1, 1);
                }
                levelQ1 = q1.Level(histogram);
                levelMed = med.Level(histogram);
                levelQ3 = q3.Level(histogram);
            }
            // The replacement: the pixel at scan index best (the centre left out).
            int32_t k = best[x - x0];
            if (k >= hh * s.p1 + hw)
                ++k;
            const int32_t row = y - hh + k / s.p1, column = x - hw + k % s.p1;
            const size_t at = size_t(row) * width + column, self = size_t(y) * width + x;
            const int32_t replacement[3] = {p.b[at], p.g[at], p.r[at]};
            const int32_t own[3] = {p.b[self], p.g[self], p.r[self]};
            uint8_t* pixel = out + x * 3;
            switch (s.type) {
            case mfMedianFilter: {
                const int32_t spread = levelQ3 - levelQ1;
                const bool keep = s.t != 0 && std::abs(own[0] - levelMed) < spread &&
                                  std::abs(own[1] - levelMed) < spread &&
                                  std::abs(own[2] - levelMed) < spread;
                for (int ch = 0; ch < 3; ++ch)
                    pixel[ch] = static_cast<uint8_t>(keep ? own[ch] : replacement[ch]);
                break;
            }
            case mfSharpen:
                for (int ch = 0; ch < 3; ++ch)
                    pixel[ch] = Clamp255(TruncI(
                        (own[ch] * s.a - replacement[ch] * static_cast<long double>(s.n)) * s.c + s.d));
                break;
            case mfEdgeExtract: {
                const long double n = static_cast<long double>(s.n);
                const int32_t v = Clamp255(TruncI((own[1] * n - levelMed * n) * s.c + s.d));
                std::memset(pixel, 255 - v < s.t ? 0 : 255, 3);
                break;
            }
            }
        }
        if ((y - yFirst) % 10 == 0)
            Report(onProgress, sender, TruncI(static_cast<long double>(y) / height * 100));
    }
}

} // namespace

void _KVMedianFilter(TKVBitmap* Bitmap, int32_t p1, int32_t p2, int32_t p3, int32_t p4, int32_t p5,
                     int32_t p6, TKVMedFilType Type, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1)
        return;
    // A window needs two pixels at least (the mean leaves the centre out), and the sharpen mode's
    // divisor A - N is 0 at p5 = 109.
    if (p1 < 1 || p2 < 1 || int64_t(p1) * p2 < 2 || (Type == mfSharpen && p5 == 109) || Type > mfEdgeExtract)
        return;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    MedianSettings s{};
    s.p1 = p1;
    s.p2 = p2;
    s.type = Type;
    s.n = int64_t(p1) * p2;
    // The constants are doubles; the arithmetic on them is extended.
    const auto constant = [](double v) { return static_cast<long double>(v); };
    s.d = constant(5.1) * (static_cast<long double>(p3) - 50);
    s.t = TruncI(p6 * constant(2.56));
    const int64_t quarter = s.n / 4;
    s.q1 = quarter;
    s.med = s.n / 2;
    s.q3 = 3 * quarter;
    if (Type == mfMedianFilter) {
        // A rank past either end of the window already gives that end's level, so a widening
        // beyond the window's size changes nothing and is cut there, before it can overflow.
        const int64_t widen = std::clamp(Trunc64(p6 * constant(0.02) * quarter), -s.n, s.n);
        s.q1 -= widen;
        s.q3 += widen;
    } else if (Type == mfSharpen) {
        s.a = (s.n - 1) * (constant(6.36) - (constant(0.04) * p5 + 1)) + 1;
        s.c = 1 / (s.a - s.n);
    } else {
        s.a = static_cast<long double>(s.n);
        s.c = p4 * constant(0.5) / (s.n - 1);
    }
    PixelBlock source = ReadBlock(Bitmap, 0, 0, width, height);
    const Planes planes = Split(source);
    PixelBlock result = source;
    if (Type == mfEdgeExtract)
        std::fill(result.bytes.begin(), result.bytes.end(), 255);
    FilterRows(planes, s, result, OnProgress, Sender);
    WriteBlock(Bitmap, result);
}

} // namespace Korvaneproc
