// Edge detection by the Shen-Castan method (an exponential smoothing filter, the zero crossings of
// the band-limited Laplacian, an adaptive gradient and hysteresis), and skew detection: a Hough
// transform of a black-and-white picture and a search for the rotation whose rows contrast most.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"
#include "platform/core/exceptions.h"

#include <cmath>
#include <cstring>

namespace Korvaneproc {

using namespace detail;

namespace {

// Pixels this close to the embedded picture's edge take no part in the per-pixel steps.
constexpr int32_t Outline = 25;
constexpr int32_t Embedding = Outline + 2;

// A picture of floats, row-major.
struct FloatPlane
{
    int32_t width = 0, height = 0;
    std::vector<float> v;
    float& at(int32_t r, int32_t c) { return v[size_t(r) * width + c]; }
    float at(int32_t r, int32_t c) const { return v[size_t(r) * width + c]; }
};

// The infinite symmetric exponential filter along the columns (vertical) or the rows, over a
// copy of its input.
void Isef(FloatPlane& plane, float b, float b1, float b2, bool vertical)
{
    const int32_t lines = vertical ? plane.width : plane.height;
    const int32_t length = vertical ? plane.height : plane.width;
    std::vector<float> x(static_cast<size_t>(length)), causal(static_cast<size_t>(length)),
        anticausal(static_cast<size_t>(length));
    auto at = [&](int32_t line, int32_t i) -> float& {
        return vertical ? plane.at(i, line) : plane.at(line, i);
    };
    for (int32_t line = 0; line < lines; ++line) {
        for (int32_t i = 0; i < length; ++i)
            x[i] = at(line, i);
        causal[0] = b1 * x[0];
        anticausal[length - 1] = b2 * x[length - 1];
        for (int32_t i = 1; i < length; ++i)
            causal[i] = b1 * x[i] + b * causal[i - 1];
        for (int32_t i = length - 2; i >= 0; --i)
            anticausal[i] = b2 * x[i] + b * anticausal[i + 1];
        at(line, length - 1) = causal[length - 1];
        for (int32_t i = 0; i < length - 1; ++i)
            at(line, i) = causal[i] + anticausal[i + 1];
    }
}

struct EdgeSettings
{
    double ratio, smoothing;
    int32_t windowSize, thinFactor;
    bool hysteresis;
};

// The edges of the grey picture as a map of the embedded size: 255 off an edge, 0 on one.
std::vector<uint8_t> EdgeMap(const std::vector<uint8_t>& grey, int32_t w0, int32_t h0, const EdgeSettings& s,
                             const std::function<void(int32_t)>& stepDone)
{
    const int32_t w = w0 + 2 * Embedding, h = h0 + 2 * Embedding;
    FloatPlane g{w, h, std::vector<float>(size_t(w) * h)};
    for (int32_t r = 0; r < h; ++r)
        for (int32_t c = 0; c < w; ++c) {
            const int32_t sr = ((r - Embedding) % h0 + h0) % h0, sc = ((c - Embedding) % w0 + w0) % w0;
            g.at(r, c) = grey[size_t(sr) * w0 + sc];
        }
    stepDone(1);

    FloatPlane smooth = g;
    const double bd = s.smoothing, b1d = (1 - bd) / (1 + bd), b2d = bd * b1d;
    const float b = static_cast<float>(bd), b1 = static_cast<float>(b1d), b2 = static_cast<float>(b2d);
    Isef(smooth, b, b1, b2, true);
    Isef(smooth, b, b1, b2, false);
    stepDone(2);

    std::vector<uint8_t> bli(size_t(w) * h, 0);
    for (int32_t r = Outline; r < h - Outline; ++r)
        for (int32_t c = Outline; c < w - Outline; ++c)
            bli[size_t(r) * w + c] = smooth.at(r, c) - g.at(r, c) > 0;
    auto laplace = [&](int32_t r, int32_t c) { return bli[size_t(r) * w + c]; };
    stepDone(3);

    FloatPlane gradient{w, h, std::vector<float>(size_t(w) * h, 0)};
    const int32_t half = std::max(s.windowSize, 0) / 2;
    for (int32_t r = Outline; r < h - Outline; ++r)
        for (int32_t c = Outline; c < w - Outline; ++c) {
            if (!laplace(r, c))
                continue;
            const float dr = g.at(r + 1, c) - g.at(r - 1, c), dc = g.at(r, c + 1) - g.at(r, c - 1);
            bool candidate;
            if (!laplace(r + 1, c))
                candidate = dr > 0;
            else if (!laplace(r, c + 1))
                candidate = dc > 0;
            else if (!laplace(r - 1, c))
                candidate = dr < 0;
            else if (!laplace(r, c - 1))
                candidate = dc < 0;
            else
                candidate = false;
            if (!candidate)
                continue;
            double sums[2] = {}, counts[2] = {};
            for (int32_t i = std::max(r - half, 0); i <= std::min(r + half, h - 1); ++i)
                for (int32_t j = std::max(c - half, 0); j <= std::min(c + half, w - 1); ++j) {
                    const int k = laplace(i, j);
                    sums[k] += g.at(i, j);
                    counts[k] += 1;
                }
            const double outside = counts[0] == 0 || sums[0] == 0 ? 0 : sums[0] / counts[0];
            const double within = counts[1] == 0 || sums[1] == 0 ? 0 : sums[1] / counts[1];
            gradient.at(r, c) = static_cast<float>(outside - within);
        }
    stepDone(4);

    // The high threshold leaves the given share of pixels below it.
    double minimum = std::fabs(gradient.at(20, 20)), maximum = minimum;
    for (int32_t r = Outline; r < h - Outline; ++r)
        for (int32_t c = Outline; c < w - Outline; ++c) {
            minimum = std::min<double>(minimum, gradient.at(r, c));
            maximum = std::max<double>(maximum, gradient.at(r, c));
        }
    const double scale = 256 / (maximum - minimum + 1);
    int64_t histogram[256] = {};
    for (int32_t r = Outline; r < h - Outline; ++r)
        for (int32_t c = Outline; c < w - Outline; ++c)
            ++histogram[std::clamp(TruncI((gradient.at(r, c) - minimum) * scale), 0, 255)];
    const int64_t target = Trunc64(static_cast<long double>(h) * s.ratio * w);
    // A share beyond the pixels inside the border stops the walk at the lowest bin.
    int32_t bin = 255;
    int64_t count = histogram[bin];
    while (count < target && bin > 0)
        count += histogram[--bin];
    const double highThreshold = bin / scale + minimum;
    const double lowThreshold = s.hysteresis ? highThreshold / 2 : highThreshold;

    // Each start follows a chain of first acceptable neighbours (kept in a list, not on the call
    // stack); thinning clears every ThinFactor-th link on the way back.
    std::vector<uint8_t> marks(size_t(w) * h, 0);
    static constexpr int32_t Next[8][2] = {{0, 1},  {0, -1},  {1, 1},  {1, 0},
                                           {1, -1}, {-1, -1}, {-1, 0}, {-1, 1}};
    auto accept = [&](int32_t r, int32_t c) {
        if (r < 0 || c < 0 || r >= h || c >= w || marks[size_t(r) * w + c] != 0 || gradient.at(r, c) == 0)
            return false;
        marks[size_t(r) * w + c] = gradient.at(r, c) > lowThreshold ? 1 : 255;
        return true;
    };
    std::vector<std::pair<int32_t, int32_t>> chain;
    for (int32_t r = Outline; r < h - Outline; ++r)
        for (int32_t c = Outline; c < w - Outline; ++c) {
            if (!(gradient.at(r, c) > highThreshold) || !accept(r, c))
                continue;
            chain.assign(1, {r, c});
            for (bool extended = true; extended;) {
                extended = false;
                const auto [pr, pc] = chain.back();
                for (const auto& n : Next)
                    if (accept(pr + n[0], pc + n[1])) {
                        chain.emplace_back(pr + n[0], pc + n[1]);
                        extended = true;
                        break;
                    }
            }
            if (s.thinFactor > 0)
                for (size_t depth = 1; depth + 1 < chain.size(); ++depth)
                    if (depth % size_t(s.thinFactor) != 0)
                        marks[size_t(chain[depth].first) * w + chain[depth].second] = 255;
        }
    for (uint8_t& m : marks)
        m = m == 255 ? 0 : m;
    stepDone(5);
    for (uint8_t& m : marks)
        m = m != 0 ? 0 : 255;
    stepDone(6);
    return marks;
}

} // namespace

void _KVEdgeDetect_ShenCastan(TKVBitmap* Source, TKVBitmap* Dest, double Ratio, double Smoothing,
                              int32_t WindowSize, int32_t ThinFactor, bool DoHysteresis,
                              TProgressRec& Progress)
{
    if (!Source || !Dest || Source->GetPixelFormat() != kv24RGB || Source->GetWidth() < 1 ||
        Source->GetHeight() < 1)
        return;
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    std::vector<uint8_t> grey = Scratch<uint8_t>(uint64_t(w) * h);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = Source->GetScanLine(y);
        for (int32_t x = 0; x < w; ++x)
            grey[size_t(y) * w + x] = static_cast<uint8_t>(Grey(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]));
    }
    const EdgeSettings settings{Ratio, Smoothing, WindowSize, ThinFactor, DoHysteresis};
    const std::vector<uint8_t> marks = EdgeMap(grey, w, h, settings, [&](int32_t step) {
        Report(Progress.OnProgress, Progress.Sender, TruncI(step * 100.0L / 6));
    });
    const int32_t ew = w + 2 * Embedding;
    Dest->Allocate(w, h, kv1g);
    std::vector<uint8_t> row(size_t(Dest->GetRowLen()));
    for (int32_t r = 0; r < h; ++r) {
        std::fill(row.begin(), row.end(), 0);
        for (int32_t c = 0; c < w; ++c) {
            const bool white = r == h - 1 || c == 0 || marks[size_t(r + Embedding) * ew + c + Embedding] != 0;
            SetBitAt(row.data(), c, white);
        }
        std::memcpy(Dest->GetScanLine(r), row.data(), row.size());
    }
}

float _kvhough(TKVBitmap* Bitmap, TProgressRec& Progress, int32_t AngleRange, double Precision)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv1g || !std::isfinite(Precision))
        return 0;
    const long double precision = Trunc(static_cast<long double>(Precision) * 10) / 10.0L;
    if (precision < 0.1L - 1e-12L || precision > 1.0L || AngleRange < 0 || AngleRange > 180)
        return 0;
    const int32_t k = RoundI(1 / precision);
    const long double step = (1.0L / k) * static_cast<long double>(0.0174532925194444);
    const int32_t angles = 180 * k;
    std::vector<int64_t> sines(static_cast<size_t>(angles)), cosines(static_cast<size_t>(angles));
    for (int32_t i = 0; i < angles; ++i) {
        sines[i] = Trunc64(std::sin(i * step) * 131072);
        cosines[i] = Trunc64(std::cos(i * step) * 131072);
    }
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const int64_t cx = w / 2, cy = h / 2;
    const int64_t radius =
        Trunc64(std::sqrt(static_cast<long double>(w) * w + static_cast<long double>(h) * h) / 2);
    const int32_t half = AngleRange * k / 2, mid = angles / 2;
    const int32_t first = mid - half, last = mid + half - 2;
    if (last < first)
        return -90;
    const int64_t columns = 2 * radius + 1;
    std::vector<int32_t> votes;
    try {
        votes = Scratch<int32_t>(uint64_t(last - first + 1) * uint64_t(columns));
    } catch (const EOutOfMemory&) {
        return 0;
    }
    // Quotients of the 17-bit fixed-point products, rounded half away from zero.
    auto rounded = [](int64_t n) { return n < 0 ? -((-n + 65536) >> 17) : (n + 65536) >> 17; };
    std::vector<uint8_t> row(size_t(Bitmap->GetRowLen()));
    for (int32_t y = 0; y < h; ++y) {
        std::memcpy(row.data(), Bitmap->GetScanLine(y), row.size());
        for (int32_t x = 0; x < w; ++x) {
            if ((x & 7) == 0 && row[x >> 3] == 0xFF && x + 8 <= w) {
                x += 7;
                continue;
            }
            if (BitAt(row.data(), x))
                continue;
            for (int32_t a = first; a <= last; ++a) {
                const int64_t d = rounded(sines[a] * (y - cy)) + rounded(cosines[a] * (x - cx)) + radius;
                // The two rounded terms can sum just outside the accumulator.
                if (d >= 0 && d < columns)
                    ++votes[size_t(a - first) * size_t(columns) + size_t(d)];
            }
        }
        Report(Progress.OnProgress, Progress.Sender, TruncI(static_cast<long double>(y) * 100 / h));
    }
    int32_t best = 0, bestAngle = 0;
    for (int32_t a = first; a <= last; ++a)
        for (int64_t d = 0; d < columns; ++d)
            if (votes[size_t(a - first) * size_t(columns) + size_t(d)] > best) {
                best = votes[size_t(a - first) * size_t(columns) + size_t(d)];
                bestAngle = a;
            }
    return static_cast<float>(static_cast<double>(bestAngle) / k - 90.0);
}

int64_t _KVCalcVertOrientationFitness(TKVBitmap* Bitmap)
{
    if (!Bitmap || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1)
        return 0;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    std::vector<int32_t> rows(static_cast<size_t>(h)), columns(static_cast<size_t>(w));
    _CalcDensityHistogram(Bitmap, 0, 0, w, h, {}, nullptr, rows, columns, 1000, 1000);
    int64_t sum = 0;
    for (int32_t i = 0; i + 1 < h; ++i)
        sum += int64_t(rows[i + 1] - rows[i]) * (rows[i + 1] - rows[i]);
    return sum;
}

} // namespace Korvaneproc
