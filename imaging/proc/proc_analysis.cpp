// The processing component's edge detection and skew and orientation measures.
#include "imaging/proc/proc_component.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/component_detail.h"
#include "platform/core/exceptions.h"
#include "platform/core/rounding.h"

#include <cmath>
#include <numbers>

using namespace Korvaneproc;

namespace {

// Beyond this many trial rotations, or pixels turned in all, the fine skew search would run for
// hours.
constexpr long double MaxFineSteps = 100000;
constexpr long double MaxFineWork = 4.0e9L;

// The row contrast of a picture turned by angle degrees from one width columns wide, over the rows
// that the turned picture crosses from side to side: the corners that turning leaves to the
// background would otherwise outweigh every line of the page.
int64_t TurnedRowContrast(TKVBitmap* turned, int32_t width, long double angle)
{
    const int64_t margin =
        Ceil64(width * std::fabs(std::sin(angle * std::numbers::pi_v<long double> / 180))) + 1;
    const int64_t first = std::min<int64_t>(margin, turned->GetHeight());
    const int64_t last = std::max<int64_t>(turned->GetHeight() - margin, first);
    const int32_t rows = int32_t(last - first);
    if (rows < 2)
        return 0;
    std::vector<int32_t> profile(static_cast<size_t>(rows)), columns(static_cast<size_t>(turned->GetWidth()));
    _CalcDensityHistogram(turned, 0, int32_t(first), turned->GetWidth(), int32_t(last), {}, nullptr, profile,
                          columns, 1000, 1000);
    int64_t sum = 0;
    for (int32_t i = 0; i + 1 < rows; ++i)
        sum += int64_t(profile[i + 1] - profile[i]) * (profile[i + 1] - profile[i]);
    return sum;
}

// The edges of a picture of any format, through a 24-bit copy.
void EdgesOf(TKVBitmap* picture, TKVBitmap* work, TProgressRec& progress)
{
    TKVBitmap colour;
    colour.Assign(picture);
    if (colour.GetPixelFormat() != kv24RGB)
        colour.SetPixelFormat(kv24RGB);
    _KVEdgeDetect_ShenCastan(&colour, work, 0.99, 0.9, 7, 0, true, progress);
}

} // namespace

void TKorvaneProc::EdgeDetect_ShenCastan(double Ratio, double Smoothing, int32_t WindowSize,
                                         int32_t ThinFactor, bool DoHysteresis)
{
    if (!Prepare24() || FKVBitmap->GetWidth() < 1 || FKVBitmap->GetHeight() < 1)
        return;
    if (AutoUndo)
        SaveUndoCaptioned("EdgeDetect", kvuImage);
    TProgressRec progress;
    progress.OnProgress = OnProgress;
    progress.Sender = this;
    _KVEdgeDetect_ShenCastan(FKVBitmap, FKVBitmap, Ratio, Smoothing, WindowSize, ThinFactor, DoHysteresis,
                             progress);
    Update();
}

double TKorvaneProc::SkewDetection(int32_t ResampleWidth, int32_t AngleRange, double Precision,
                                   bool EdgeDetect)
{
    // A reduced size that cannot be had measures nothing.
    try {
        return Skew(ResampleWidth, AngleRange, Precision, EdgeDetect);
    } catch (const EOutOfMemory&) {
        return 0;
    }
}

double TKorvaneProc::Skew(int32_t ResampleWidth, int32_t AngleRange, double Precision, bool EdgeDetect)
{
    if (!Prepare())
        return 0;
    const int32_t width = FKVBitmap->GetWidth(), height = FKVBitmap->GetHeight();
    const TKVPixelFormat format = FKVBitmap->GetPixelFormat();
    if (width < 1 || height < 1 || format == kvnull)
        return 0;
    TProgressRec progress;
    progress.OnProgress = OnProgress;
    progress.Sender = this;
    TKVBitmap work;
    TKVBitmap* picture = &work;
    if (ResampleWidth < 1 || ResampleWidth == width) {
        if (format == kv1g && !EdgeDetect)
            picture = FKVBitmap;
        else
            EdgesOf(FKVBitmap, &work, progress);
    } else {
        const auto workHeight =
            static_cast<int32_t>(std::clamp<int64_t>(int64_t(height) * ResampleWidth / width, 1, INT32_MAX));
        if (format == kv1g && !EdgeDetect) {
            work.Allocate(ResampleWidth, workHeight, kv1g);
            _KVBmpStretchEx(FKVBitmap, &work);
        } else {
            TKVBitmap reduced;
            reduced.Allocate(ResampleWidth, workHeight, kv24RGB);
            if (format == kv1g) {
                _Resample1bitEx(FKVBitmap, &reduced, rfFastLinear);
            } else {
                TKVBitmap colour;
                colour.Assign(FKVBitmap);
                if (format != kv24RGB)
                    colour.SetPixelFormat(kv24RGB);
                _ResampleEx(&colour, &reduced, rfFastLinear);
            }
            // A 24-bit picture reduced without edge detection gives the transform nothing to count.
            if (EdgeDetect)
                EdgesOf(&reduced, &work, progress);
            else
                work.Assign(&reduced);
        }
    }
    return _kvhough(picture, progress, AngleRange, Precision);
}

double TKorvaneProc::SkewDetectionFine(double StartingAngle, double Resolution, int32_t Range, bool Complete)
{
    if (!Prepare())
        return StartingAngle;
    const int32_t width = FKVBitmap->GetWidth(), height = FKVBitmap->GetHeight();
    const long double limit = Range / 2.0L, resolution = std::fabs(static_cast<long double>(Resolution));
    // A resolution of 0 (or none) never leaves the start; no range tries nothing.
    if (width < 1 || height < 1 || FKVBitmap->GetPixelFormat() == kvnull || !(resolution > 0) ||
        !std::isfinite(StartingAngle) || !(limit > 0))
        return StartingAngle;
    // The reduced copy is 256 pixels wide at least; the trials turn copies of it.
    const int64_t w = Complete ? width : std::max(width / 8, 256);
    const int64_t h =
        Complete ? height
                 : std::clamp<int64_t>(Trunc64(static_cast<long double>(height) / width * w), 1, INT32_MAX);
    // A turned copy holds up to (w + h)^2 pixels: a long, thin picture turned by a few degrees
    // becomes a picture far larger than itself. A search that would need such copies, or turn
    // pictures for hours, measures nothing.
    const long double trials = 2 * limit / resolution + 1;
    const long double turned = (static_cast<long double>(w) + h) * (static_cast<long double>(w) + h);
    if (trials > MaxFineSteps || trials * turned > MaxFineWork ||
        turned > std::max(16.0L * width * height, static_cast<long double>(1 << 24)))
        return StartingAngle;
    try {
        return StartingAngle + FineSkew(StartingAngle, limit, resolution, int32_t(w), int32_t(h), Complete);
    } catch (const EOutOfMemory&) {
        return StartingAngle;
    }
}

long double TKorvaneProc::FineSkew(double StartingAngle, long double limit, long double resolution, int32_t w,
                                   int32_t h, bool Complete)
{
    TKVBitmap work;
    if (Complete) {
        work.Assign(FKVBitmap);
    } else {
        work.Allocate(w, h, kv24RGB);
        if (FKVBitmap->GetPixelFormat() == kv1g) {
            _Resample1bitEx(FKVBitmap, &work, rfFastLinear);
        } else {
            TKVBitmap colour;
            colour.Assign(FKVBitmap);
            if (colour.GetPixelFormat() != kv24RGB)
                colour.SetPixelFormat(kv24RGB);
            _ResampleEx(&colour, &work, rfFastLinear);
        }
    }
    int64_t best = 0;
    long double bestOffset = 0;
    auto trial = [&](long double offset) {
        TKVBitmap turned;
        turned.Assign(&work);
        const long double angle = StartingAngle + offset;
        _RotateEx(&turned, static_cast<double>(angle), false, TRGB{0, 0, 0});
        const int64_t fitness = TurnedRowContrast(&turned, work.GetWidth(), angle);
        if (fitness > best) {
            best = fitness;
            bestOffset = offset;
        }
    };
    for (long double offset = 0; std::fabs(offset) < limit; offset -= resolution)
        trial(offset);
    for (long double offset = resolution; std::fabs(offset) < limit; offset += resolution)
        trial(offset);
    return bestOffset;
}

int32_t TKorvaneProc::CalcOrientation()
{
    if (!Prepare() || FKVBitmap->GetWidth() < 1 || FKVBitmap->GetHeight() < 1)
        return 0;
    const int32_t width = FKVBitmap->GetWidth(), height = FKVBitmap->GetHeight();
    std::vector<int32_t> rows(static_cast<size_t>(height)), columns(static_cast<size_t>(width));
    _CalcDensityHistogram(FKVBitmap, 0, 0, width, height, OnProgress, this, rows, columns, 1000, 1000);
    auto contrast = [](const std::vector<int32_t>& profile) {
        int64_t sum = 0;
        for (size_t i = 0; i + 1 < profile.size(); ++i)
            sum += int64_t(profile[i + 1] - profile[i]) * (profile[i + 1] - profile[i]);
        return sum;
    };
    return contrast(columns) > contrast(rows) ? 90 : 0;
}
