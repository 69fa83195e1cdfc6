// Distortion and lighting effects (bump mapping, lens, wave), the dot grid, mixing in another
// picture and comparing two pictures.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"
#include "platform/graphics/bitmap.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace Korvaneproc {

using namespace detail;

namespace {

constexpr long double Pi = std::numbers::pi_v<long double>;

} // namespace

void _BumpMapping(TKVBitmap* Bitmap, int32_t LightX, int32_t LightY, int32_t LightWidth, int32_t LightHeight,
                  int32_t KeepPercent, TRGB Colour, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                  TProgressRec& Progress)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || LightWidth == 0 || LightHeight == 0 ||
        !CutRect(Bitmap, x1, y1, x2, y2))
        return;
    // The light falls off with the distance of the surface slope (i, j) from level.
    static const auto lightMap = [] {
        std::vector<uint8_t> map(256 * 256);
        for (int32_t i = 0; i < 256; ++i)
            for (int32_t j = 0; j < 256; ++j) {
                const long double nx = (i - 128) / 128.0L, ny = (j - 128) / 128.0L;
                const long double v = std::max(1 - std::sqrt(nx * nx + ny * ny), 0.0L);
                map[size_t(i) * 256 + j] = static_cast<uint8_t>(std::min(TruncI(v * 256), 255));
            }
        return map;
    }();
    PixelBlock block = ReadBlock(Bitmap, x1, y1, x2, y2);
    const int32_t w = block.width, h = block.height;
    std::vector<int32_t> grey(size_t(w) * h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* p = block.Row(y) + x * 3;
            grey[size_t(y) * w + x] = Grey(p[2], p[1], p[0]);
        }
    auto g = [&](int32_t x, int32_t y) {
        return grey[size_t(std::clamp(y, 0, h - 1)) * w + std::clamp(x, 0, w - 1)];
    };
    // Slope of the light over the columns and the rows.
    std::vector<int64_t> slopeX(static_cast<size_t>(w)), slopeY(static_cast<size_t>(h));
    for (int32_t x = 0; x < w; ++x)
        slopeX[x] = Trunc64(static_cast<long double>(int64_t(x1) + x - LightX) / LightWidth * 128);
    for (int32_t y = 0; y < h; ++y)
        slopeY[y] = Trunc64(static_cast<long double>(int64_t(y1) + y - LightY) / LightHeight * 128);
    const long double keep = KeepPercent, rest = 100 - static_cast<long double>(KeepPercent);
    const long double colour[3] = {static_cast<long double>(Colour.b), static_cast<long double>(Colour.g),
                                   static_cast<long double>(Colour.r)};
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = block.Row(y);
        for (int32_t x = 0; x < w; ++x) {
            const int64_t dx = std::clamp<int64_t>(g(x + 1, y) - g(x - 1, y) + 128 - slopeX[x], 0, 255);
            const int64_t dy = std::clamp<int64_t>(g(x, y + 1) - g(x, y - 1) + 128 - slopeY[y], 0, 255);
            const long double light = lightMap[size_t(dx) * 256 + size_t(dy)];
            for (int32_t c = 0; c < 3; ++c)
                row[x * 3 + c] =
                    Clamp255(RoundI(row[x * 3 + c] * keep / 100 + light * rest / 100 * colour[c] / 255));
        }
        Report(Progress.OnProgress, Progress.Sender, RowPercent(y1 + y, y1, y2));
    }
    WriteBlock(Bitmap, block);
}

void _lens(TKVBitmap* Bitmap, int32_t x, int32_t y, int32_t width, int32_t height, double Refraction,
           TProgressRec& Progress)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1 ||
        std::isnan(Refraction))
        return;
    const int32_t imageW = Bitmap->GetWidth(), imageH = Bitmap->GetHeight();
    const long double refraction = Refraction < 1 ? 1.0L : static_cast<long double>(Refraction);
    auto clampX = [&](int64_t v) { return int32_t(std::clamp<int64_t>(v, 0, imageW - 1)); };
    auto clampY = [&](int64_t v) { return int32_t(std::clamp<int64_t>(v, 0, imageH - 1)); };
    const int32_t left = clampX(int64_t(x) - width / 2), top = clampY(int64_t(y) - height / 2);
    const int32_t right = clampX(int64_t(x) + width / 2), bottom = clampY(int64_t(y) + height / 2);
    const int32_t boxW = right - left, boxH = bottom - top;
    // A negative size turns the box inside out; an empty box has no lens.
    if (boxW <= 0 || boxH <= 0)
        return;
    const long double a = boxW / 2.0L, b = boxH / 2.0L, shortest = std::min(a, b);
    const PixelBlock copy = ReadBlock(Bitmap, 0, 0, imageW, imageH);
    PixelBlock result = ReadBlock(Bitmap, left, top, right, bottom);
    auto bend = [&](long double d, long double z) {
        const long double theta = std::acos(d / std::sqrt(d * d + z * z));
        const long double alpha = Pi / 2 - theta;
        const long double beta = std::asin(std::sin(alpha) / refraction);
        return d - std::tan(alpha - beta) * z;
    };
    for (int32_t i = 0; i < boxW; ++i) {
        const long double dx = i - a + 0.5L;
        for (int32_t j = 0; j < boxH; ++j) {
            const long double dy = b - j - 0.5L;
            int32_t sx = left + i, sy = top + j;
            if (dy * dy < b * b - b * b * dx * dx / (a * a)) {
                const long double z =
                    std::sqrt((1 - dx * dx / (a * a) - dy * dy / (b * b)) * shortest * shortest);
                sx = clampX(Trunc64(bend(dx, z) + a) + left);
                sy = clampY(Trunc64(-bend(dy, z) + b) + top);
            }
            std::memcpy(result.Row(j) + size_t(i) * 3, copy.Row(sy) + size_t(sx) * 3, 3);
        }
        Report(Progress.OnProgress, Progress.Sender, TruncI((i + 1) * 100.0L / boxW));
    }
    WriteBlock(Bitmap, result);
}

void _wave(TKVBitmap* Bitmap, int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective,
           TProgressRec& Progress)
{
    // Interpolation reads a pixel and its right and lower neighbours: both sides need two pixels.
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || Amplitude == 0 || WaveLength == 0 ||
        Bitmap->GetWidth() < 2 || Bitmap->GetHeight() < 2)
        return;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const long double phase = Phase * Pi / 180;
    const long double cx = (w - 1) / 2.0L, cy = (h - 1) / 2.0L, hw = w / 2.0L, hh = h / 2.0L;
    const long double sx = hw < hh ? hh / hw : 1, sy = hw > hh ? hw / hh : 1;
    const PixelBlock copy = ReadBlock(Bitmap, 0, 0, w, h);
    PixelBlock result = copy;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* out = result.Row(y);
        for (int32_t x = 0; x < w; ++x) {
            const long double dx = (x - cx) * sx, dy = (y - cy) * sy;
            const long double d = std::sqrt(dx * dx + dy * dy);
            const long double s = std::sin(d / (2 * static_cast<long double>(WaveLength)) * 2 * Pi + phase);
            long double nx, ny;
            if (Reflective) {
                const long double amount = Amplitude * std::fabs(s);
                nx = amount * dx / sx + cx;
                ny = amount * dy / sy + cy;
            } else {
                const long double amount = Amplitude * s;
                nx = (amount + dx) / sx + cx;
                ny = (amount + dy) / sy + cy;
            }
            const int32_t ix = std::clamp(TruncI(nx), 0, w - 2), iy = std::clamp(TruncI(ny), 0, h - 2);
            long double fx = nx - std::trunc(nx), fy = ny - std::trunc(ny);
            fx += fx < 0 ? 1 : 0;
            fy += fy < 0 ? 1 : 0;
            const uint8_t* top = copy.Row(iy) + size_t(ix) * 3;
            const uint8_t* below = copy.Row(iy + 1) + size_t(ix) * 3;
            for (int32_t c = 0; c < 3; ++c)
                out[x * 3 + c] = Clamp255(TruncI((1 - fy) * ((1 - fx) * top[c] + fx * top[c + 3]) +
                                                 fy * ((1 - fx) * below[c] + fx * below[c + 3])));
        }
        Report(Progress.OnProgress, Progress.Sender, TruncI(static_cast<long double>(y) * 100 / h));
    }
    WriteBlock(Bitmap, result);
}

void _PaintMark(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Spacing,
                TRGB Colour, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    // A spacing below 0 would never step forward.
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || Spacing < 0 || !CutRect(Bitmap, x1, y1, x2, y2))
        return;
    const int64_t step = int64_t(Spacing) + 1;
    for (int64_t y = y1; y < y2; y += step) {
        uint8_t* row = Bitmap->GetScanLine(int32_t(y));
        for (int64_t x = x1; x < x2; x += step)
            std::memcpy(row + x * 3, &Colour, 3);
        Report(OnProgress, Sender, RowPercent(int32_t(y), y1, y2));
    }
}

void _PenMarker(TKVBitmap* Bitmap, int32_t x, int32_t y, int32_t Width, TRGB Colour, TRGB Reference,
                int32_t Tolerance)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || x < 0 || y < 0 || x >= Bitmap->GetWidth() ||
        y >= Bitmap->GetHeight())
        return;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    TKVBitmap* alpha = Bitmap->GetHasAlphaChannel() ? Bitmap->GetAlphaChannel() : nullptr;
    auto mark = [&](int32_t px, int32_t py) {
        TRGB* p = Bitmap->GetPPixels_kv24RGB(px, py);
        const int32_t distance = std::max(
            {std::abs(p->r - Reference.r), std::abs(p->g - Reference.g), std::abs(p->b - Reference.b)});
        if (distance > Tolerance)
            return;
        *p = Colour;
        if (alpha)
            alpha->SetPixels_kv8(px, py, 255);
    };
    // Past the radius that reaches the farthest corner every circle lies outside the picture and
    // meets only edge pixels that smaller circles met already.
    const long double farthest = std::hypot(static_cast<long double>(std::max(x, w - 1 - x)),
                                            static_cast<long double>(std::max(y, h - 1 - y)));
    const int32_t last = std::min(Width / 2, TruncI(farthest) + 1);
    // Every circle of radius r tests 2 Round(2 pi r) points: a pen far larger than a long, thin
    // picture would take hours, so beyond a budget that follows the picture nothing is marked.
    const long double points = 2 * Pi * last * (last + 1.0L);
    if (points > 16.0L * w * h + (1 << 24))
        return;
    mark(x, y);
    for (int32_t r = 1; r <= last; ++r) {
        const int32_t n = 2 * RoundI(r * 2 * Pi);
        for (int32_t k = 0; k < n; ++k) {
            const long double angle = k * 2 * Pi / n;
            mark(std::clamp(RoundI(x + r * std::cos(angle)), 0, w - 1),
                 std::clamp(RoundI(y + r * std::sin(angle)), 0, h - 1));
        }
    }
}

void _Merge(TKVBitmap* Bitmap, TKVBitmap* Other, int32_t Percent, int32_t x1, int32_t y1, int32_t x2,
            int32_t y2, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap || !Other || Bitmap->GetPixelFormat() != kv24RGB || Other->GetWidth() < 1 ||
        Other->GetHeight() < 1 || Other->GetPixelFormat() == kvnull || !CutRect(Bitmap, x1, y1, x2, y2))
        return;
    // The nearest-neighbour stretch copies rows in their own format: another format goes through
    // a 24-bit copy first.
    TKVBitmap converted;
    TKVBitmap* source = Other;
    if (Other->GetPixelFormat() != kv24RGB) {
        converted.Assign(Other);
        converted.SetPixelFormat(kv24RGB);
        source = &converted;
    }
    TKVBitmap stretched;
    stretched.Allocate(x2 - x1, y2 - y1, kv24RGB);
    _KVBmpStretchEx(source, &stretched);
    PixelBlock block = ReadBlock(Bitmap, x1, y1, x2, y2);
    const PixelBlock other = ReadBlock(&stretched, 0, 0, x2 - x1, y2 - y1);
    // c * Percent / 100 + o * (100 - Percent) / 100, rounded half to even, per channel pair.
    const long double keep = Percent, rest = 100 - static_cast<long double>(Percent);
    for (int32_t y = 0; y < block.height; ++y) {
        uint8_t* row = block.Row(y);
        const uint8_t* o = other.Row(y);
        for (size_t i = 0; i < block.Stride(); ++i)
            row[i] = Clamp255(RoundI(row[i] * keep / 100 + o[i] * rest / 100));
        Report(OnProgress, Sender, RowPercent(y1 + y, y1, y2));
    }
    WriteBlock(Bitmap, block);
}

namespace {

// Bytes of the pixels of a row (a partial last byte of 1-bit rows masked), leaving the padding.
bool RowsEqual(const uint8_t* a, const uint8_t* b, int64_t bits)
{
    const size_t whole = size_t(bits / 8);
    if (std::memcmp(a, b, whole) != 0)
        return false;
    const int32_t rest = int32_t(bits % 8);
    const uint8_t mask = static_cast<uint8_t>(0xFF00 >> rest);
    return rest == 0 || ((a[whole] ^ b[whole]) & mask) == 0;
}

bool PixelsEqual(TKVBaseBitmap* a, TKVBaseBitmap* b)
{
    const int64_t bits = int64_t(a->GetWidth()) * a->GetBitCount();
    std::vector<uint8_t> row(size_t(a->GetRowLen()));
    for (int32_t y = 0; y < a->GetHeight(); ++y) {
        std::memcpy(row.data(), a->GetScanLine(y), row.size());
        if (!RowsEqual(row.data(), b->GetScanLine(y), bits))
            return false;
    }
    return true;
}

} // namespace

bool _BitmapCompareX(TBitmap* a, TBitmap* b)
{
    if (!a || !b || a->Width() != b->Width() || a->Height() != b->Height() ||
        a->PixelFormat() != b->PixelFormat())
        return false;
    const int64_t bits = int64_t(a->Width()) * a->BitCount();
    for (int32_t y = 0; y < a->Height(); ++y)
        if (!RowsEqual(a->ScanLine(y), b->ScanLine(y), bits))
            return false;
    return true;
}

bool _BitmapCompareXEx(TKVBitmap* a, TKVBitmap* b)
{
    if (!a || !b || a->GetWidth() != b->GetWidth() || a->GetHeight() != b->GetHeight() ||
        a->GetPixelFormat() != b->GetPixelFormat() || a->GetHasAlphaChannel() != b->GetHasAlphaChannel())
        return false;
    if (!PixelsEqual(a, b))
        return false;
    return !a->GetHasAlphaChannel() || PixelsEqual(a->GetAlphaChannel(), b->GetAlphaChannel());
}

void _KVComputeDiff(TKVBitmap* Bitmap, TKVBitmap* Other, double& psnrMin, double& psnrMax, double& mseMin,
                    double& mseMax, double& rmseMin, double& rmseMax, double& peakMin, double& peakMax,
                    double& meanMin, double& meanMax, bool& Equal)
{
    psnrMin = mseMin = rmseMin = peakMin = meanMin = 1000000000;
    psnrMax = mseMax = rmseMax = peakMax = meanMax = 0;
    Equal = true;
    if (!Bitmap || !Other || Bitmap->GetPixelFormat() != kv24RGB || Other->GetPixelFormat() != kv24RGB ||
        Bitmap->GetWidth() != Other->GetWidth() || Bitmap->GetHeight() != Other->GetHeight() ||
        Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1)
        return;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    int64_t sumAbs[3] = {}, sumSquares[3] = {}, peak[3] = {};
    std::vector<uint8_t> row(size_t(w) * 3);
    for (int32_t y = 0; y < h; ++y) {
        std::memcpy(row.data(), Bitmap->GetScanLine(y), row.size());
        const uint8_t* o = Other->GetScanLine(y);
        for (size_t i = 0; i < row.size(); ++i) {
            const int64_t d = int64_t(o[i]) - row[i];
            sumAbs[i % 3] += std::abs(d);
            sumSquares[i % 3] += d * d;
            peak[i % 3] = std::max(peak[i % 3], std::abs(d));
        }
    }
    const long double pixels = static_cast<long double>(w) * h;
    auto update = [](double value, double& low, double& high) {
        if (value < low)
            low = value;
        if (value > high)
            high = value;
    };
    for (int c = 0; c < 3; ++c) {
        const long double mse = sumSquares[c] / pixels;
        const long double rmse = std::sqrt(mse);
        update(static_cast<double>(mse == 0 ? 0 : 20 * std::log10(255 / rmse)), psnrMin, psnrMax);
        update(static_cast<double>(mse), mseMin, mseMax);
        update(static_cast<double>(rmse), rmseMin, rmseMax);
        update(static_cast<double>(peak[c]), peakMin, peakMax);
        update(static_cast<double>(sumAbs[c] / pixels), meanMin, meanMax);
        if (peak[c] != 0)
            Equal = false;
    }
}

} // namespace Korvaneproc
