// The frequency-domain image: radix-2 transforms of single-precision planes by rows, then by
// columns, each one-dimensional result scaled by 1 / sqrt(N), so that a forward and an inverse
// transform restore the input.
#include "imaging/proc/kvfft.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"
#include "platform/core/exceptions.h"

#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

using namespace Korvaneproc::detail;

namespace {

constexpr int32_t MaxSize = 8192;
// Columns transformed together, so that each row is read a cache line at a time.
constexpr int32_t Strip = 16;

} // namespace

TKVFtImage::TKVFtImage() = default;

TKVFtImage::~TKVFtImage() = default;

void TKVFtImage::BuildTables(int32_t size)
{
    if (size == FTableSize)
        return;
    const long double pi = std::numbers::pi_v<long double>;
    FTableSize = size;
    FLog2 = 0;
    while ((1 << FLog2) < size)
        ++FLog2;
    FSine.resize(size_t(size));
    for (int32_t i = 0; i < size; ++i)
        FSine[i] = static_cast<double>(std::sin(2 * pi * i / size));
    FBitReverse.resize(size_t(size));
    for (int32_t i = 0; i < size; ++i) {
        int32_t r = 0;
        for (int32_t b = 0; b < FLog2; ++b)
            r |= ((i >> b) & 1) << (FLog2 - 1 - b);
        FBitReverse[i] = r;
    }
    FPower.resize(size_t(FLog2) + 1);
    for (int32_t i = 0; i <= FLog2; ++i)
        FPower[i] = 1 << i;
    FScale = static_cast<double>(1 / std::sqrt(static_cast<long double>(size)));
    // The cosine is the sine a quarter turn on; below four entries there is no quarter entry to
    // read, so the cosine is taken itself.
    FCos.assign(size_t(std::max(size - 1, 0)), 0);
    FSin.assign(size_t(std::max(size - 1, 0)), 0);
    for (int32_t half = 1; half < size; half *= 2)
        for (int32_t j = 0; j < half; ++j) {
            const int32_t index = j * (size / (2 * half));
            FSin[half - 1 + j] = static_cast<float>(FSine[index]);
            FCos[half - 1 + j] = static_cast<float>(size >= 4 ? FSine[(index + size / 4) % size]
                                                              : std::cos(2 * pi * index / size));
        }
}

void TKVFtImage::Transform1D(float* re, float* im) const
{
    const int32_t n = FSize;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t r = FBitReverse[i];
        if (i < r) {
            std::swap(re[i], re[r]);
            std::swap(im[i], im[r]);
        }
    }
    for (int32_t half = 1; half < n; half *= 2) {
        const float* wr = &FCos[half - 1];
        const float* ws = &FSin[half - 1];
        const float direction = FDirection;
        for (int32_t k = 0; k < n; k += 2 * half) {
            float* ar = re + k;
            float* ai = im + k;
            float* br = re + k + half;
            float* bi = im + k + half;
            for (int32_t j = 0; j < half; ++j) {
                const float c = wr[j], s = direction * ws[j];
                const float tr = c * br[j] - s * bi[j];
                const float ti = c * bi[j] + s * br[j];
                br[j] = ar[j] - tr;
                bi[j] = ai[j] - ti;
                ar[j] += tr;
                ai[j] += ti;
            }
        }
    }
    const auto scale = static_cast<float>(FScale);
    for (int32_t i = 0; i < n; ++i) {
        re[i] *= scale;
        im[i] *= scale;
    }
}

void TKVFtImage::Transform(Plane& plane, bool forward, int32_t planeIndex, int32_t planeCount)
{
    FDirection = forward ? -1.0f : 1.0f;
    const int32_t n = FSize;
    const size_t stride = 2 * size_t(n);
    for (int32_t r = 0; r < n; ++r)
        Transform1D(&plane[r * stride], &plane[r * stride + n]);
    const long double q = 100.0L / (static_cast<long double>(planeCount) * n);
    std::vector<float> re(size_t(Strip) * n), im(size_t(Strip) * n);
    for (int32_t c0 = 0; c0 < n; c0 += Strip) {
        const int32_t width = std::min(Strip, n - c0);
        for (int32_t r = 0; r < n; ++r) {
            const float* rowRe = &plane[r * stride + c0];
            const float* rowIm = &plane[r * stride + n + c0];
            for (int32_t s = 0; s < width; ++s) {
                re[size_t(s) * n + r] = rowRe[s];
                im[size_t(s) * n + r] = rowIm[s];
            }
        }
        for (int32_t s = 0; s < width; ++s)
            Transform1D(&re[size_t(s) * n], &im[size_t(s) * n]);
        for (int32_t r = 0; r < n; ++r) {
            float* rowRe = &plane[r * stride + c0];
            float* rowIm = &plane[r * stride + n + c0];
            for (int32_t s = 0; s < width; ++s) {
                rowRe[s] = re[size_t(s) * n + r];
                rowIm[s] = im[size_t(s) * n + r];
            }
        }
        for (int32_t c = c0; c < c0 + width; ++c)
            Report(OnProgress, this, TruncI(c * q + planeIndex * q * n));
    }
}

std::unique_ptr<TKVFtImage::Plane> TKVFtImage::MakePlane(TKVBitmap* square, int32_t channel)
{
    const int32_t n = FSize;
    const size_t stride = 2 * size_t(n);
    auto plane = std::make_unique<Plane>(Scratch<float>(uint64_t(n) * stride));
    float maximum = 1.0f;
    for (int32_t y = 0; y < n; ++y) {
        const uint8_t* row = square->GetScanLine(y);
        float* re = &(*plane)[y * stride];
        for (int32_t x = 0; x < n; ++x) {
            const uint8_t* p = row + size_t(x) * 3;
            re[x] = static_cast<float>(channel < 0 ? Grey(p[2], p[1], p[0]) : p[channel]);
            maximum = std::max(maximum, re[x]);
        }
    }
    for (int32_t y = 0; y < n; ++y) {
        float* re = &(*plane)[y * stride];
        for (int32_t x = 0; x < n; ++x) {
            if (FBuilding)
                re[x] /= maximum;
            // The zero frequency moves to the middle of the square.
            if ((x + y) & 1)
                re[x] = -re[x];
        }
    }
    return plane;
}

std::vector<TKVFtImage::Plane*> TKVFtImage::Planes()
{
    std::vector<Plane*> planes;
    for (auto* p : {&FRed, &FGreen, &FBlue, &FGray})
        if (*p)
            planes.push_back(p->get());
    return planes;
}

void TKVFtImage::ClearPlanes()
{
    FRed.reset();
    FGreen.reset();
    FBlue.reset();
    FGray.reset();
}

void TKVFtImage::FreeAll()
{
    ClearPlanes();
}

bool TKVFtImage::BuildFT(TKVBitmap* Bitmap, TKVFtImageType ImageType)
{
    ClearPlanes();
    FImageType = kvitUnknown;
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB ||
        (ImageType != kvitRGB && ImageType != kvitGrayscale))
        return false;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w < 1 || h < 1 || std::max(w, h) > MaxSize)
        return false;
    int32_t n = 1;
    while (n < std::max(w, h))
        n *= 2;
    try {
        BuildTables(n);
        FSize = n;
        FImageWidth = w;
        FImageHeight = h;
        FXOffset = (n - w) / 2;
        FYOffset = (n - h) / 2;
        TKVBitmap square;
        square.Allocate(n, n, kv24RGB);
        square.Fill(0);
        Bitmap->CopyRectTo(&square, 0, 0, FXOffset, FYOffset, w, h);
        FBuilding = true;
        if (ImageType == kvitRGB) {
            std::unique_ptr<Plane>* targets[3] = {&FRed, &FGreen, &FBlue};
            for (int32_t i = 0; i < 3; ++i) {
                *targets[i] = MakePlane(&square, 2 - i);
                Transform(**targets[i], true, i, 3);
            }
        } else {
            FGray = MakePlane(&square, -1);
            Transform(*FGray, true, 0, 1);
        }
        FBuilding = false;
    } catch (const EOutOfMemory&) {
        FBuilding = false;
        ClearPlanes();
        return false;
    } catch (const std::bad_alloc&) {
        FBuilding = false;
        ClearPlanes();
        return false;
    }
    FImageType = ImageType;
    return true;
}

namespace {

// Writes one plane's values (per square position) into a byte of every pixel of a picture.
void WritePlane(TKVBitmap* bitmap, const std::vector<double>& values, int32_t n, int32_t xOffset,
                int32_t yOffset, int32_t byte)
{
    for (int32_t y = 0; y < bitmap->GetHeight(); ++y) {
        uint8_t* row = bitmap->GetScanLine(y);
        for (int32_t x = 0; x < bitmap->GetWidth(); ++x) {
            const uint8_t v = Korvaneproc::blimit(TruncI(values[size_t(y + yOffset) * n + x + xOffset]));
            if (byte < 0)
                row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = v;
            else
                row[x * 3 + byte] = v;
        }
    }
}

} // namespace

void TKVFtImage::GetFTImage(TKVBitmap* Bitmap)
{
    if (!Bitmap || FImageType == kvitUnknown)
        return;
    const int32_t n = FSize;
    Bitmap->Allocate(n, n, kv24RGB);
    const std::pair<Plane*, int32_t> planes[] = {
        {FRed.get(), 2}, {FGreen.get(), 1}, {FBlue.get(), 0}, {FGray.get(), -1}};
    std::vector<double> values(size_t(n) * n);
    for (const auto& [plane, byte] : planes) {
        if (!plane)
            continue;
        double minimum = 1.0e20, maximum = -1.0e20;
        for (int32_t y = 0; y < n; ++y)
            for (int32_t x = 0; x < n; ++x) {
                const double re = (*plane)[size_t(y) * 2 * n + x], im = (*plane)[size_t(y) * 2 * n + n + x];
                const double m = std::sqrt(re * re + im * im);
                const double v = m > 0 ? std::log(std::sqrt(m)) : 0;
                values[size_t(y) * n + x] = v;
                minimum = std::min(minimum, v);
                maximum = std::max(maximum, v);
            }
        if (minimum > -1e-5 && minimum < 1e-5)
            minimum = 0;
        const double range = maximum - minimum, scale = range == 0 ? 0 : 255 / range;
        for (double& v : values)
            v = (v - minimum) * scale;
        WritePlane(Bitmap, values, n, 0, 0, byte);
    }
}

void TKVFtImage::BuildBitmap(TKVBitmap* Bitmap)
{
    if (!Bitmap || FImageType == kvitUnknown)
        return;
    const int32_t n = FSize;
    Bitmap->Allocate(FImageWidth, FImageHeight, kv24RGB);
    const std::pair<Plane*, int32_t> planes[] = {
        {FRed.get(), 2}, {FGreen.get(), 1}, {FBlue.get(), 0}, {FGray.get(), -1}};
    const int32_t count = static_cast<int32_t>(Planes().size());
    int32_t index = 0;
    std::vector<double> values(size_t(n) * n);
    for (const auto& [plane, byte] : planes) {
        if (!plane)
            continue;
        Plane copy = *plane;
        Transform(copy, false, index++, count);
        double minimum = 0, maximum = 0;
        for (int32_t y = 0; y < n; ++y)
            for (int32_t x = 0; x < n; ++x) {
                const double v = std::fabs(copy[size_t(y) * 2 * n + x]);
                values[size_t(y) * n + x] = v;
                minimum = (x == 0 && y == 0) ? v : std::min(minimum, v);
                maximum = (x == 0 && y == 0) ? v : std::max(maximum, v);
            }
        for (double& v : values)
            v = maximum == minimum ? 0 : (v - minimum) * 255 / (maximum - minimum);
        WritePlane(Bitmap, values, n, FXOffset, FYOffset, byte);
    }
}

void TKVFtImage::HiPass(int32_t Radius)
{
    const int32_t n = FSize, c = n / 2;
    for (Plane* plane : Planes())
        for (int32_t y = 0; y < n; ++y)
            for (int32_t x = 0; x < n; ++x)
                if (TruncI(std::sqrt(static_cast<long double>(x - c) * (x - c) +
                                     static_cast<long double>(y - c) * (y - c))) <= Radius)
                    (*plane)[size_t(y) * 2 * n + x] = (*plane)[size_t(y) * 2 * n + n + x] = 0;
}

void TKVFtImage::LoPass(int32_t Radius)
{
    const int32_t n = FSize, c = n / 2;
    for (Plane* plane : Planes())
        for (int32_t y = 0; y < n; ++y)
            for (int32_t x = 0; x < n; ++x)
                if (TruncI(std::sqrt(static_cast<long double>(x - c) * (x - c) +
                                     static_cast<long double>(y - c) * (y - c))) > Radius)
                    (*plane)[size_t(y) * 2 * n + x] = (*plane)[size_t(y) * 2 * n + n + x] = 0;
}

void TKVFtImage::ClearZone(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    const int32_t n = FSize;
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, n - 1);
    y2 = std::min(y2, n - 1);
    for (Plane* plane : Planes())
        for (int32_t y = y1; y <= y2; ++y)
            for (int32_t x = x1; x <= x2; ++x)
                (*plane)[size_t(y) * 2 * n + x] = (*plane)[size_t(y) * 2 * n + n + x] = 0;
}

TKVComplexImage TKVFtImage::GetComplexImage(int32_t x, int32_t y)
{
    TKVComplexImage result;
    const int32_t n = FSize;
    if (x < 0 || y < 0 || x >= n || y >= n)
        return result;
    auto at = [&](std::unique_ptr<Plane>& plane, float*& re, float*& im) {
        if (plane) {
            re = &(*plane)[size_t(y) * 2 * n + x];
            im = &(*plane)[size_t(y) * 2 * n + n + x];
        }
    };
    at(FRed, result.RedReal, result.RedImag);
    at(FBlue, result.BlueReal, result.BlueImag);
    at(FGreen, result.GreenReal, result.GreenImag);
    at(FGray, result.GrayReal, result.GrayImag);
    return result;
}

void TKVFtImage::Assign(TKVFtImage* Source)
{
    if (!Source || Source == this)
        return;
    ClearPlanes();
    FSize = Source->FSize;
    FBuilding = Source->FBuilding;
    if (FSize > 0)
        BuildTables(FSize);
    FXOffset = Source->FXOffset;
    FYOffset = Source->FYOffset;
    FImageWidth = Source->FImageWidth;
    FImageHeight = Source->FImageHeight;
    OnProgress = Source->OnProgress;
    FImageType = Source->FImageType;
    auto duplicate = [](const std::unique_ptr<Plane>& from) {
        return from ? std::make_unique<Plane>(*from) : nullptr;
    };
    FRed = duplicate(Source->FRed);
    FGreen = duplicate(Source->FGreen);
    FBlue = duplicate(Source->FBlue);
    FGray = duplicate(Source->FGray);
}
