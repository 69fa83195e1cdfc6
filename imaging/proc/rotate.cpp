// Free rotation: the three-shear rotation, the nearest-neighbour rotation by inverse mapping and
// the quality rotation with bilinear or bicubic sampling.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"
#include "imaging/proc/detail/turns.h"
#include "platform/graphics/bitmap.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace Korvaneproc {

using namespace detail;

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

// A picture held in memory, one or three bytes a pixel (1-bit pixels as 0 or 1), rows packed.
struct Pixels
{
    int32_t width = 0;
    int32_t height = 0;
    int32_t bytes = 1;
    std::vector<uint8_t> data;

    Pixels() = default;
    Pixels(int32_t w, int32_t h, int32_t b) : width(w), height(h), bytes(b)
    {
        data = Scratch<uint8_t>(uint64_t(w) * h * b);
    }
    uint8_t* At(int32_t x, int32_t y) { return data.data() + (static_cast<size_t>(y) * width + x) * bytes; }
    const uint8_t* At(int32_t x, int32_t y) const
    {
        return data.data() + (static_cast<size_t>(y) * width + x) * bytes;
    }
    void Fill(const uint8_t* pixel)
    {
        for (size_t i = 0; i < data.size(); i += static_cast<size_t>(bytes))
            std::memcpy(&data[i], pixel, static_cast<size_t>(bytes));
    }
};

Pixels Load(TKVBitmap* bitmap)
{
    const TKVPixelFormat format = bitmap->GetPixelFormat();
    Pixels p(bitmap->GetWidth(), bitmap->GetHeight(), format == kv24RGB ? 3 : 1);
    std::vector<uint8_t> row(static_cast<size_t>(bitmap->GetRowLen()));
    for (int32_t y = 0; y < p.height; ++y) {
        std::memcpy(row.data(), bitmap->GetScanLine(y), row.size());
        if (format == kv1g) {
            for (int32_t x = 0; x < p.width; ++x)
                *p.At(x, y) = BitAt(row.data(), x) ? 1 : 0;
        } else {
            std::memcpy(p.At(0, y), row.data(), static_cast<size_t>(p.width) * p.bytes);
        }
    }
    return p;
}

void Store(TKVBitmap* bitmap, const Pixels& p)
{
    const TKVPixelFormat format = bitmap->GetPixelFormat();
    const int32_t rowLen = RowLen(p.width, BitsOf(format));
    std::vector<uint8_t> rows = Scratch<uint8_t>(uint64_t(rowLen) * p.height);
    for (int32_t y = 0; y < p.height; ++y) {
        uint8_t* row = rows.data() + static_cast<size_t>(rowLen) * y;
        if (format == kv1g) {
            for (int32_t x = 0; x < p.width; ++x)
                if (*p.At(x, y))
                    SetBitAt(row, x, true);
        } else {
            std::memcpy(row, p.At(0, y), static_cast<size_t>(p.width) * p.bytes);
        }
    }
    ReplacePixels(bitmap, p.width, p.height, rows);
}

Pixels Turn(const Pixels& src, bool clockwise)
{
    Pixels dst(src.height, src.width, src.bytes);
    for (int32_t y = 0; y < dst.height; ++y)
        for (int32_t x = 0; x < dst.width; ++x) {
            const uint8_t* from = clockwise ? src.At(y, src.height - 1 - x) : src.At(src.width - 1 - y, x);
            std::memcpy(dst.At(x, y), from, static_cast<size_t>(src.bytes));
        }
    return dst;
}

Pixels HalfTurn(const Pixels& src)
{
    Pixels dst(src.width, src.height, src.bytes);
    for (int32_t y = 0; y < dst.height; ++y)
        for (int32_t x = 0; x < dst.width; ++x)
            std::memcpy(dst.At(x, y), src.At(src.width - 1 - x, src.height - 1 - y),
                        static_cast<size_t>(src.bytes));
    return dst;
}

// Round(n / 4096) half to even, for integer n.
inline int32_t RoundDiv4096(int32_t n)
{
    int32_t q = n >> 12;
    const int32_t r = n - (q << 12);
    if (r > 2048 || (r == 2048 && (q & 1)))
        ++q;
    return q;
}

// One line of a shear: n source pixels to a line of length L from start o, blended with the
// carried pixel by weight w (4096 = 1.0). Pass 1 carries every pixel; passes 2 and 3 only those
// that land inside the line.
struct ShearLine
{
    int32_t bytes;
    bool antialias;
    bool carryInsideOnly;
    const uint8_t* background;

    void Run(const uint8_t* src, ptrdiff_t srcStep, int32_t n, uint8_t* dst, ptrdiff_t dstStep,
             int32_t length, int32_t o, int32_t w) const
    {
        for (int32_t i = 0; i < length; ++i)
            std::memcpy(dst + i * dstStep, background, static_cast<size_t>(bytes));
        if (!antialias) {
            for (int32_t i = 0; i < n; ++i) {
                const int32_t pos = o + i;
                if (pos >= 0 && pos < length)
                    std::memcpy(dst + pos * dstStep, src + i * srcStep, static_cast<size_t>(bytes));
            }
            return;
        }
        uint8_t prev[3];
        std::memcpy(prev, background, static_cast<size_t>(bytes));
        for (int32_t i = 0; i < n; ++i) {
            const uint8_t* q = src + i * srcStep;
            const int32_t pos = o + i;
            const bool inside = pos >= 0 && pos < length;
            if (inside) {
                uint8_t* d = dst + pos * dstStep;
                for (int32_t c = 0; c < bytes; ++c)
                    d[c] = Clamp255(RoundDiv4096(prev[c] * w + q[c] * (4096 - w) + 2048));
            }
            if (inside || !carryInsideOnly)
                std::memcpy(prev, q, static_cast<size_t>(bytes));
        }
        const int32_t pos = o + n;
        if (w > 0 && pos < length && pos >= 0) {
            uint8_t* d = dst + pos * dstStep;
            for (int32_t c = 0; c < bytes; ++c)
                d[c] = Clamp255(RoundDiv4096(prev[c] * w + background[c] * (4096 - w) + 2048));
        }
    }
};

// a = (Trunc(Angle * 1000) mod 360000) / 1000, thousandths of a degree kept; angles too large
// for the product are first brought below 360 degrees.
double NormaliseAngle(double angle)
{
    if (std::fabs(angle) >= 2.0e6)
        angle = std::fmod(angle, 360.0);
    const int64_t thousandths = static_cast<int64_t>(TruncI(static_cast<long double>(angle) * 1000)) % 360000;
    return static_cast<double>(static_cast<long double>(thousandths) / 1000);
}

void ShearRotate(TKVBitmap* bitmap, double angle, bool antialias, const uint8_t* background,
                 const TKVProgressEvent& onProgress, TObject* sender)
{
    if (bitmap->GetWidth() < 1 || bitmap->GetHeight() < 1)
        return;
    double a = NormaliseAngle(angle);
    Pixels image = Load(bitmap);
    Pixels t;
    bool turned = false;
    if (a >= -45 && a <= 45)
        t = image;
    while (a > 45) {
        a -= 90;
        t = Turn(image, false);
        turned = true;
        if (a > 45)
            image = t;
    }
    while (a < -45) {
        a += 90;
        t = Turn(image, true);
        turned = true;
        if (a < -45)
            image = t;
    }
    if (a == 0) {
        if (turned)
            Store(bitmap, t);
        return;
    }
    const int32_t W = t.width, H = t.height, bytes = t.bytes;
    const double r = static_cast<double>(kPi * a / 180);
    const double tn = static_cast<double>(
        std::fabs(std::sin(static_cast<long double>(r) / 2) / std::cos(static_cast<long double>(r) / 2)));
    const double s = static_cast<double>(std::fabs(std::sin(static_cast<long double>(r))));
    const long double lt = tn, ls = s;
    const int32_t W1 = RoundI(H * lt + W + 1);
    const int32_t d1 = RoundI((W1 - W) * ls);
    const int32_t H2 = RoundI(W1 * ls + H + 1);
    const int32_t d2 = RoundI((H2 - H - d1) * lt);
    const int32_t H3 = H2 - 2 * d1;
    const int32_t W3 = std::max(RoundI(H3 * lt + W1 + 1 - 2 * d2), 1);
    if (W1 < 1 || H3 < 1)
        return;
    const long double p = 100.0L / (static_cast<long double>(H) + W1 + H3);
    const bool positive = a > 0;

    // Pass 1: horizontal shear of every row into W1 x H.
    Pixels pass1(W1, H, bytes);
    const ShearLine first{bytes, antialias, false, background};
    for (int32_t y = 0; y < H; ++y) {
        const double f = static_cast<double>((positive ? y : H - y) * lt);
        const int32_t o = RoundI(f);
        const int32_t w = TruncI((static_cast<long double>(f) - o) * 4096);
        first.Run(t.At(0, y), bytes, W, pass1.At(0, y), bytes, W1, o, w);
        Report(onProgress, sender, TruncI(y * p));
    }
    t = Pixels();

    // Pass 2: vertical shear of every column into W1 x H3.
    Pixels pass2(W1, H3, bytes);
    const ShearLine other{bytes, antialias, true, background};
    const ptrdiff_t column = static_cast<ptrdiff_t>(W1) * bytes;
    for (int32_t x = 0; x < W1; ++x) {
        const double f = static_cast<double>((positive ? W1 - x : x) * ls);
        const int32_t o = RoundI(f);
        const int32_t w = RoundI((static_cast<long double>(f) - o) * 4096);
        other.Run(pass1.At(x, 0), column, H, pass2.At(x, 0), column, H3, o - d1, w);
        Report(onProgress, sender, TruncI((H + x) * p));
    }
    pass1 = Pixels();

    // Pass 3: horizontal shear of every row into the W3 x H3 result.
    Pixels result(W3, H3, bytes);
    for (int32_t y = 0; y < H3; ++y) {
        const double f = static_cast<double>((positive ? y : H3 - y) * lt);
        const int32_t o = RoundI(f);
        const int32_t w = RoundI((static_cast<long double>(f) - o) * 4096);
        other.Run(pass2.At(0, y), bytes, W1, result.At(0, y), bytes, W3, o - d2, w);
        Report(onProgress, sender, TruncI((H + W1 + y) * p));
    }
    Store(bitmap, result);
}

bool MultipleOf360(double angle)
{
    return std::fmod(angle, 360.0) == 0;
}

// Nearest-neighbour rotation by inverse mapping with cosine and sine cut to four decimals.
void NearestRotate(TKVBitmap* bitmap, double angle, int32_t background, TProgressRec* progress)
{
    const int32_t W = bitmap->GetWidth(), H = bitmap->GetHeight();
    if (W < 1 || H < 1 || MultipleOf360(angle))
        return;
    const bool oneBit = bitmap->GetPixelFormat() == kv1g;
    const uint8_t bg = static_cast<uint8_t>(oneBit ? (background != 0 ? 1 : 0) : background);
    if (angle == 90 || angle == -90 || angle == 270 || angle == 180 || angle == -180) {
        const Pixels src = Load(bitmap);
        Store(bitmap, angle == 90                       ? Turn(src, false)
                      : (angle == 180 || angle == -180) ? HalfTurn(src)
                                                        : Turn(src, true));
        return;
    }
    const double r = static_cast<double>(-static_cast<long double>(angle) / 57.29577951308232L);
    const double c = static_cast<double>(TruncI(std::cos(static_cast<long double>(r)) * 10000) / 10000.0L);
    const double s = static_cast<double>(TruncI(std::sin(static_cast<long double>(r)) * 10000) / 10000.0L);
    const long double lc = c, ls = s;
    // A picture never shrinks to nothing, however the cut cosine and sine fall.
    const int32_t W2 = std::max(TruncI(std::fabs(H * ls) + std::fabs(W * lc)), 1);
    const int32_t H2 = std::max(TruncI(std::fabs(H * lc) + std::fabs(W * ls)), 1);
    const double cx2 = static_cast<double>(W2 / 2.0L - 0.5L), cy2 = static_cast<double>(H2 / 2.0L - 0.5L);
    const double cx = static_cast<double>(W / 2.0L - 0.5L), cy = static_cast<double>(H / 2.0L - 0.5L);
    std::vector<int32_t> A(static_cast<size_t>(W2)), B(static_cast<size_t>(W2));
    for (int32_t x = 0; x < W2; ++x) {
        A[x] = TruncI((x - static_cast<long double>(cx2)) * lc);
        B[x] = TruncI(-(x - static_cast<long double>(cx2)) * ls);
    }
    const Pixels src = Load(bitmap);
    Pixels dst(W2, H2, 1);
    if (progress)
        progress->PerRow = static_cast<double>(100.0L / H2);
    for (int32_t y = 0; y < H2; ++y) {
        const double v = static_cast<double>(y - static_cast<long double>(cy2));
        const int32_t rowX = TruncI(v * ls + cx);
        const int32_t rowY = TruncI(v * lc + cy);
        uint8_t* out = dst.At(0, y);
        for (int32_t x = 0; x < W2; ++x) {
            const int64_t sx = int64_t(A[x]) + rowX, sy = int64_t(B[x]) + rowY;
            out[x] = (sx >= 0 && sx < W && sy >= 0 && sy < H)
                         ? *src.At(static_cast<int32_t>(sx), static_cast<int32_t>(sy))
                         : bg;
        }
        if (progress)
            Report(progress->OnProgress, progress->Sender,
                   TruncI(y * static_cast<long double>(progress->PerRow)));
    }
    Store(bitmap, dst);
}

// Quality rotation by inverse mapping over a picture framed by 3 background pixels.
void QualityRotate(TKVBitmap* bitmap, double angle, const uint8_t* background, TKVAntialiasMode mode,
                   const TKVProgressEvent& onProgress, TObject* sender)
{
    const int32_t w0 = bitmap->GetWidth(), h0 = bitmap->GetHeight();
    if (w0 < 1 || h0 < 1)
        return;
    const Pixels original = Load(bitmap);
    const int32_t bytes = original.bytes;
    const int32_t W = w0 + 6, H = h0 + 6;
    Pixels src(W, H, bytes);
    src.Fill(background);
    for (int32_t y = 0; y < h0; ++y)
        std::memcpy(src.At(3, y + 3), original.At(0, y), static_cast<size_t>(w0) * bytes);

    const double r = static_cast<double>(kPi * angle / 180);
    const long double cr = std::cos(static_cast<long double>(r)), sr = std::sin(static_cast<long double>(r));
    const int32_t W2 = RoundI(std::fabs(cr * (W - 1)) + std::fabs(sr * (H - 1)));
    const int32_t H2 = RoundI(std::fabs(sr * (W - 1)) + std::fabs(cr * (H - 1)));
    if (W2 < 1 || H2 < 1)
        return;
    // With kvrFast nothing is sampled: the picture is the background.
    Pixels dst(W2, H2, bytes);
    dst.Fill(background);
    const double cx = static_cast<double>((W - 1) / 2.0L), cy = static_cast<double>((H - 1) / 2.0L);
    const double cx2 = static_cast<double>((W2 - 1) / 2.0L), cy2 = static_cast<double>((H2 - 1) / 2.0L);
    std::vector<double> X(static_cast<size_t>(W2)), Y(static_cast<size_t>(W2));
    for (int32_t x = 0; x < W2; ++x) {
        X[x] = static_cast<double>((x - static_cast<long double>(cx2)) * cr + cx);
        Y[x] = static_cast<double>((x - static_cast<long double>(cx2)) * sr + cy);
    }
    auto fetch = [&](int32_t i, int32_t j, int32_t ch) -> long double {
        if (i < 0 || i >= W || j < 0 || j >= H)
            return background[ch];
        return src.At(i, j)[ch];
    };
    for (int32_t y = 0; y < H2 && mode != kvrFast; ++y) {
        const long double dy = y - static_cast<long double>(cy2);
        for (int32_t x = 0; x < W2; ++x) {
            const double sx = static_cast<double>(X[x] - dy * sr);
            const double sy = static_cast<double>(Y[x] + dy * cr);
            const int32_t i = TruncI(sx), j = TruncI(sy);
            uint8_t* out = dst.At(x, y);
            if (mode == kvrBilinear) {
                const long double fx = sx - static_cast<long double>(FloorI(sx));
                const long double fy = sy - static_cast<long double>(FloorI(sy));
                for (int32_t ch = 0; ch < bytes; ++ch) {
                    const long double p00 = fetch(i, j, ch), p10 = fetch(i + 1, j, ch);
                    const long double p01 = fetch(i, j + 1, ch), p11 = fetch(i + 1, j + 1, ch);
                    const double top = static_cast<double>(p00 + (p10 - p00) * fx);
                    const double bottom = static_cast<double>(p01 + (p11 - p01) * fx);
                    out[ch] = Clamp255(TruncI(top + (static_cast<long double>(bottom) - top) * fy));
                }
            } else {
                const long double u = sx - static_cast<long double>(i), v = sy - static_cast<long double>(j);
                const long double wx[4] = {-u * (1 - u) * (1 - u), 1 - 2 * u * u + u * u * u,
                                           u * (1 + u - u * u), u * u * (u - 1)};
                const long double wy[4] = {-v * (1 - v) * (1 - v), 1 - 2 * v * v + v * v * v,
                                           v * (1 + v - v * v), v * v * (v - 1)};
                for (int32_t ch = 0; ch < bytes; ++ch) {
                    long double value = 0;
                    for (int32_t k = 0; k < 4; ++k) {
                        const int32_t row = j - 1 + k;
                        const double line = static_cast<double>(
                            fetch(i - 1, row, ch) * wx[0] + fetch(i, row, ch) * wx[1] +
                            fetch(i + 1, row, ch) * wx[2] + fetch(i + 2, row, ch) * wx[3]);
                        value += line * wy[k];
                    }
                    // An overshoot below 0 gives its absolute value.
                    const int32_t level = std::abs(TruncI(value));
                    out[ch] = static_cast<uint8_t>(std::min(level, 255));
                }
            }
        }
        Report(onProgress, sender, TruncI(static_cast<long double>(y) * 100 / H2));
    }
    // The 3-pixel band on every side goes again.
    const int32_t fw = std::max(W2 - 6, 1), fh = std::max(H2 - 6, 1);
    Pixels result(fw, fh, bytes);
    result.Fill(background);
    for (int32_t y = 0; y < fh && y + 3 < H2; ++y)
        for (int32_t x = 0; x < fw && x + 3 < W2; ++x)
            std::memcpy(result.At(x, y), dst.At(x + 3, y + 3), static_cast<size_t>(bytes));
    Store(bitmap, result);
}

bool IsEightBit(TKVBitmap* bitmap)
{
    return bitmap->GetPixelFormat() == kv8g || bitmap->GetPixelFormat() == kv8p;
}

} // namespace

void _RotateEx(TKVBitmap* Bitmap, double Angle, bool Antialias, TRGB Background,
               const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap || Angle == 0)
        return;
    switch (Bitmap->GetPixelFormat()) {
    case kv24RGB: {
        const uint8_t background[3] = {Background.b, Background.g, Background.r};
        ShearRotate(Bitmap, Angle, Antialias, background, OnProgress, Sender);
        return;
    }
    case kv8g:
        _RotateEx8(Bitmap, Angle, Antialias, Grey(Background.r, Background.g, Background.b), OnProgress,
                   Sender);
        return;
    case kv8p:
        _RotateEx8(Bitmap, Angle, Antialias, NearestPaletteIndex(Bitmap, Background), OnProgress, Sender);
        return;
    case kv1g: {
        TProgressRec progress;
        progress.OnProgress = OnProgress;
        progress.Sender = Sender;
        const bool white = Background.r != 0 && Background.g != 0 && Background.b != 0;
        _rotate1bitEx(Bitmap, Angle, white ? 1 : 0, progress);
        return;
    }
    default:
        return;
    }
}

void _RotateEx8(TKVBitmap* Bitmap, double Angle, bool Antialias, int32_t Background,
                const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap || Angle == 0 || !IsEightBit(Bitmap))
        return;
    const uint8_t background = static_cast<uint8_t>(Background);
    ShearRotate(Bitmap, Angle, Antialias, &background, OnProgress, Sender);
}

void _rotate1bitEx(TKVBitmap* Bitmap, double Angle, int32_t Background, TProgressRec& Progress)
{
    if (Bitmap && Bitmap->GetPixelFormat() == kv1g)
        NearestRotate(Bitmap, Angle, Background, &Progress);
}

void _rotate1bit(TBitmap* Bitmap, double Angle, int32_t Background, TProgressRec& Progress)
{
    if (!Bitmap || Bitmap->PixelFormat() != pf1bit)
        return;
    TKVBitmap wrapper;
    wrapper.EncapsulateTBitmap(Bitmap, false);
    _rotate1bitEx(&wrapper, Angle, Background, Progress);
}

void _rotate8bit(TKVBitmap* Bitmap, double Angle, int32_t Background)
{
    if (Bitmap && IsEightBit(Bitmap))
        NearestRotate(Bitmap, Angle, Background, nullptr);
}

void _KVQRotate(TKVBitmap* Bitmap, double Angle, TColor Background, TKVAntialiasMode Mode,
                const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB)
        return;
    const TRGB colour = TColor2TRGB(Background);
    const uint8_t background[3] = {colour.b, colour.g, colour.r};
    QualityRotate(Bitmap, Angle, background, Mode, OnProgress, Sender);
}

void _KVQRotate8(TKVBitmap* Bitmap, double Angle, int32_t Background, TKVAntialiasMode Mode)
{
    if (!Bitmap || !IsEightBit(Bitmap))
        return;
    const uint8_t background = static_cast<uint8_t>(Background);
    QualityRotate(Bitmap, Angle, &background, Mode, {}, nullptr);
}

} // namespace Korvaneproc
