// The separable kernel resampler: one contributor list per destination column and row, weights
// scaled by 256 and rounded half to even, integer sums, source indexes mirrored at the edges. Also
// the nearest-neighbour stretch of planes and the sampling positions of enlarged axes.
#include "imaging/proc/detail/kernel_resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Korvaneproc::detail {
namespace {

using KernelFn = double (*)(double);

// The kernels take and return doubles and evaluate in extended precision.
double Triangle(double x)
{
    const long double t = std::fabs(static_cast<long double>(x));
    return t < 1 ? static_cast<double>(1 - t) : 0.0;
}

double Hermite(double x)
{
    const long double t = std::fabs(static_cast<long double>(x));
    return t < 1 ? static_cast<double>((2 * t - 3) * t * t + 1) : 0.0;
}

double Bell(double x)
{
    const long double t = std::fabs(static_cast<long double>(x));
    if (t < 0.5L)
        return static_cast<double>(0.75L - t * t);
    if (t < 1.5L) {
        const long double u = t - 1.5L;
        return static_cast<double>(0.5L * u * u);
    }
    return 0.0;
}

double BSpline(double x)
{
    const long double t = std::fabs(static_cast<long double>(x));
    if (t < 1) {
        const long double tt = t * t;
        return static_cast<double>(0.5L * tt * t - tt + 2.0L / 3.0L);
    }
    if (t < 2) {
        const long double u = 2 - t;
        return static_cast<double>(u * u * u / 6);
    }
    return 0.0;
}

long double Sinc(long double u)
{
    if (u == 0)
        return 1;
    const long double a = std::numbers::pi_v<long double> * u;
    return std::sin(a) / a;
}

double Lanczos3(double x)
{
    const long double t = std::fabs(static_cast<long double>(x));
    return t < 3 ? static_cast<double>(Sinc(t) * Sinc(t / 3)) : 0.0;
}

double Mitchell(double x)
{
    const long double t = std::fabs(static_cast<long double>(x));
    const long double tt = t * t;
    if (t < 1)
        return static_cast<double>((7 * tt * t - 12 * tt + 16.0L / 3.0L) / 6);
    if (t < 2)
        return static_cast<double>((-7.0L / 3.0L * tt * t + 12 * tt - 20 * t + 32.0L / 3.0L) / 6);
    return 0.0;
}

// A box whose test is on x itself, so that -0.5 lies outside and 0.5 inside.
double Nearest(double x)
{
    return (x > -0.5 && x <= 0.5) ? 1.0 : 0.0;
}

double Linear(double x)
{
    const long double v = x;
    if (v >= -1 && v < 0)
        return static_cast<double>(1 + v);
    if (v >= 0 && v < 1)
        return static_cast<double>(1 - v);
    return 0.0;
}

struct Kernel
{
    KernelFn fn;
    double support;
};

Kernel KernelOf(TResampleFilter filter)
{
    switch (filter) {
    case rfTriangle:
        return {Triangle, 1.0};
    case rfHermite:
        return {Hermite, 1.0};
    case rfBell:
        return {Bell, 1.5};
    case rfBSpline:
        return {BSpline, 2.0};
    case rfLanczos3:
        return {Lanczos3, 3.0};
    case rfMitchell:
        return {Mitchell, 2.0};
    case rfNearest:
        return {Nearest, 1.0};
    case rfLinear:
        return {Linear, 1.0};
    default:
        return {nullptr, 0.0};
    }
}

int32_t Mirror(int32_t j, int32_t count)
{
    if (j < 0)
        j = -j;
    else if (j >= count)
        j = 2 * count - j - 1;
    // Still outside after mirroring (windows wider than the source): the nearest edge.
    if (j < 0)
        return 0;
    return j >= count ? count - 1 : j;
}

// Scale of one axis: with both counts above 1 the first and last pixel centres coincide.
double AxisScale(int32_t dstCount, int32_t srcCount)
{
    if (dstCount != 1 && srcCount != 1)
        return static_cast<double>(static_cast<long double>(dstCount - 1) / (srcCount - 1));
    return static_cast<double>(static_cast<long double>(dstCount) / srcCount);
}

// A list whose weights all rounded to 0 (shrinking by 512 or more) would give black: it takes
// the unrounded weights normalised to 65536 instead, or the nearest pixel when they sum to none.
void AddNormalisedFallback(Contributors& c, const std::vector<std::pair<int32_t, long double>>& raw,
                           double center, int32_t srcCount)
{
    long double sum = 0;
    for (const auto& [pixel, weight] : raw)
        sum += weight;
    const size_t first = c.items.size();
    if (sum > 0) {
        for (const auto& [pixel, weight] : raw) {
            const int32_t w = RoundI(weight / sum * 65536);
            if (w != 0)
                c.items.push_back({pixel, w});
        }
    }
    if (c.items.size() == first)
        c.items.push_back({Mirror(RoundI(center), srcCount), 1});
}

Contributors BuildContributors(int32_t srcCount, int32_t dstCount, double scale, const Kernel& kernel)
{
    Contributors c;
    c.start.reserve(static_cast<size_t>(dstCount) + 1);
    c.total.reserve(static_cast<size_t>(dstCount));
    std::vector<std::pair<int32_t, long double>> raw;
    const bool enlarging = scale >= 1;
    const double width =
        enlarging ? kernel.support : static_cast<double>(kernel.support / static_cast<long double>(scale));
    const double fscale = enlarging ? 1.0 : static_cast<double>(1.0L / scale);
    for (int32_t i = 0; i < dstCount; ++i) {
        c.start.push_back(static_cast<int32_t>(c.items.size()));
        const double center = static_cast<double>(static_cast<long double>(i) / scale);
        const int32_t left = FloorI(static_cast<long double>(center) - width);
        const int32_t right = CeilI(static_cast<long double>(center) + width);
        raw.clear();
        for (int32_t j = left; j <= right; ++j) {
            long double value;
            if (enlarging) {
                value = kernel.fn(static_cast<double>(static_cast<long double>(center) - j));
            } else {
                const double x = static_cast<double>((static_cast<long double>(center) - j) / fscale);
                value = static_cast<long double>(kernel.fn(x)) / fscale;
            }
            const int32_t weight = RoundI(value * 256);
            if (weight != 0)
                c.items.push_back({Mirror(j, srcCount), weight});
            else if (value != 0)
                raw.emplace_back(Mirror(j, srcCount), value);
        }
        if (c.items.size() == static_cast<size_t>(c.start.back()))
            AddNormalisedFallback(c, raw, center, srcCount);
        int32_t total = 0;
        for (size_t k = static_cast<size_t>(c.start.back()); k < c.items.size(); ++k)
            total += c.items[k].weight;
        c.total.push_back(total);
    }
    c.start.push_back(static_cast<int32_t>(c.items.size()));
    return c;
}

inline uint8_t Result(int32_t sum, int32_t total)
{
    // Without a total the sum is scaled back by 256, rounding toward minus infinity.
    return total != 0 ? Clamp255(sum / total) : Clamp255(sum >> 8);
}

template <int Channels>
void HorizontalRow(const Contributors& c, const uint8_t* in, uint8_t* out, int32_t dstCount)
{
    for (int32_t i = 0; i < dstCount; ++i) {
        const Contributor* item = c.items.data() + c.start[i];
        const Contributor* end = c.items.data() + c.start[i + 1];
        int32_t sum[Channels] = {};
        for (; item != end; ++item) {
            const uint8_t* p = in + static_cast<size_t>(item->pixel) * Channels;
            for (int ch = 0; ch < Channels; ++ch)
                sum[ch] += p[ch] * item->weight;
        }
        for (int ch = 0; ch < Channels; ++ch)
            out[static_cast<size_t>(i) * Channels + ch] = Result(sum[ch], c.total[i]);
    }
}

} // namespace

void KernelResample(Plane& src, Plane& dst, TResampleFilter filter, const TKVProgressEvent& onProgress,
                    TObject* sender)
{
    const Kernel kernel = KernelOf(filter);
    if (!kernel.fn)
        return;
    const int32_t sw = src.width, sh = src.height, dw = dst.width, dh = dst.height;
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1 || (sw < 2 && sh < 2))
        return;
    const int32_t channels = Channels(src.layout);
    const long double step = 100.0L / (sh + dw + 0.5L);

    // Horizontal pass: every source row into the work buffer of dw x sh pixels.
    const Contributors columns = BuildContributors(sw, dw, AxisScale(dw, sw), kernel);
    const size_t workStride = static_cast<size_t>(dw) * channels;
    std::vector<uint8_t> work = Scratch<uint8_t>(uint64_t(workStride) * sh);
    std::vector<uint8_t> in = Scratch<uint8_t>(uint64_t(sw) * channels);
    for (int32_t k = 0; k < sh; ++k) {
        ReadExpanded(src, k, in.data());
        uint8_t* out = work.data() + workStride * k;
        if (channels == 3)
            HorizontalRow<3>(columns, in.data(), out, dw);
        else
            HorizontalRow<1>(columns, in.data(), out, dw);
        if (onProgress)
            onProgress(sender, TruncI((k + 1) * step));
    }

    // Vertical pass, a destination row at a time; the column progress keeps pace with the rows.
    const Contributors rows = BuildContributors(sh, dh, AxisScale(dh, sh), kernel);
    std::vector<int32_t> sum = Scratch<int32_t>(workStride);
    std::vector<uint8_t> out = Scratch<uint8_t>(workStride);
    int32_t columnsReported = 0;
    for (int32_t y = 0; y < dh; ++y) {
        std::fill(sum.begin(), sum.end(), 0);
        for (int32_t r = rows.start[y]; r < rows.start[y + 1]; ++r) {
            const uint8_t* line = work.data() + workStride * rows.items[r].pixel;
            const int32_t weight = rows.items[r].weight;
            int32_t* acc = sum.data();
            for (size_t i = 0; i < workStride; ++i)
                acc[i] += line[i] * weight;
        }
        const int32_t total = rows.total[y];
        for (size_t i = 0; i < workStride; ++i)
            out[i] = Result(sum[i], total);
        WriteExpanded(dst, y, out.data(), channels);
        if (onProgress) {
            const int32_t done = static_cast<int32_t>(int64_t(y + 1) * dw / dh);
            for (; columnsReported < done; ++columnsReported)
                onProgress(sender, TruncI((sh + columnsReported + 1) * step));
        }
    }
}

int64_t SourceCentreNumerator(int32_t Index, int32_t SourceCount, int32_t DestCount)
{
    return (2 * int64_t(Index) + 1) * SourceCount - int64_t(DestCount);
}

long double SourceCentre(int32_t Index, int32_t SourceCount, int32_t DestCount)
{
    // One rounding of the exact fraction.
    const long double centre =
        static_cast<long double>(SourceCentreNumerator(Index, SourceCount, DestCount)) /
        (2 * int64_t(DestCount));
    return std::clamp(centre, 0.0L, static_cast<long double>(SourceCount - 1));
}

void NearestResample(Plane& src, Plane& dst)
{
    const int32_t sw = src.width, sh = src.height, dw = dst.width, dh = dst.height;
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1)
        return;
    const int32_t channels = Channels(src.layout);
    const long double xRatio = static_cast<long double>(sw) / dw;
    const long double yRatio = static_cast<long double>(sh) / dh;
    std::vector<int32_t> columns(static_cast<size_t>(dw));
    for (int32_t x = 0; x < dw; ++x)
        columns[x] = std::min(TruncI(x * xRatio), sw - 1);
    std::vector<uint8_t> in = Scratch<uint8_t>(uint64_t(sw) * channels);
    std::vector<uint8_t> out = Scratch<uint8_t>(uint64_t(dw) * channels);
    int32_t loaded = -1;
    for (int32_t y = 0; y < dh; ++y) {
        const int32_t sy = std::min(TruncI(y * yRatio), sh - 1);
        if (sy != loaded) {
            ReadExpanded(src, sy, in.data());
            loaded = sy;
            for (int32_t x = 0; x < dw; ++x)
                for (int32_t ch = 0; ch < channels; ++ch)
                    out[static_cast<size_t>(x) * channels + ch] =
                        in[static_cast<size_t>(columns[x]) * channels + ch];
        }
        WriteExpanded(dst, y, out.data(), channels);
    }
}

} // namespace Korvaneproc::detail
