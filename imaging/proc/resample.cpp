// Resampling of colour images: the dispatching worker, the bitmap-to-bitmap entry and the
// area-coverage resampler of rfBilinear and rfBicubic.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/kernel_resampler.h"
#include "imaging/proc/detail/proc_detail.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace Korvaneproc {

using namespace detail;

namespace {

// One step along an axis. Shrinking (or keeping the size), a step is a segment of the boundary
// walk up to the next source or destination boundary; enlarging, it is a whole destination pixel.
// Each samples source pixel `source` at `fraction` of the way to the next one.
struct WalkStep
{
    double width;
    double fraction;
    int32_t source;
    bool sourceEnds;
};

// Source boundaries lie at 1, 2, ...; destination boundaries at scale, 2 scale, ... (accumulated).
// The destination boundary wins ties and near ties (0.0001), so that a zero-width source step
// may follow it.
std::vector<WalkStep> Walk(int32_t srcCount, int32_t dstCount, double scale)
{
    std::vector<WalkStep> steps;
    steps.reserve(static_cast<size_t>(srcCount) + dstCount);
    int32_t s = 0;
    double pos = 0;
    double boundary = 0;
    int32_t ended = 0;
    while (ended < dstCount) {
        const bool destinationFirst =
            static_cast<long double>(s) + 1 + 0.0001L >= static_cast<long double>(pos) + scale ||
            s >= srcCount - 1;
        if (destinationFirst) {
            pos = static_cast<double>(static_cast<long double>(pos) + scale);
            const double width = static_cast<double>(static_cast<long double>(pos) - boundary);
            boundary = pos;
            steps.push_back({width, static_cast<double>(static_cast<long double>(pos) - s), s, false});
            ++ended;
        } else {
            const double width = static_cast<double>(static_cast<long double>(s + 1) - boundary);
            boundary = s + 1;
            steps.push_back({width, 1.0, s, true});
            ++s;
        }
    }
    return steps;
}

// An enlarged axis takes one sample per destination pixel, at the pixel's centre, of width 1: the
// pixel's value is the sample itself, with no sum of areas to round.
std::vector<WalkStep> Centres(int32_t srcCount, int32_t dstCount)
{
    std::vector<WalkStep> steps(static_cast<size_t>(dstCount));
    for (int32_t i = 0; i < dstCount; ++i) {
        const long double centre = SourceCentre(i, srcCount, dstCount);
        const int32_t source = std::min(TruncI(centre), srcCount - 1);
        steps[size_t(i)] = {1.0, static_cast<double>(centre - source), source, false};
    }
    return steps;
}

long double K1(long double u)
{
    const long double a = std::fabs(u);
    return a * a * a - 2 * a * a + 1;
}

long double K2(long double u)
{
    const long double a = std::fabs(u);
    return -a * a * a + 5 * a * a - 8 * a + 4;
}

// Cubic convolution (a = -1) of four samples at fraction t of the way from b to c, clamped.
double Cubic(long double a, long double b, long double c, long double d, double t)
{
    const long double tt = t;
    long double v = a * K2(tt + 1) + b * K1(tt) + c * K1(tt - 1) + d * K2(tt - 2);
    if (v < 0)
        v = 0;
    else if (v > 255)
        v = 255;
    return static_cast<double>(v);
}

// Four source rows y-1 .. y+2 around the current row, repeated at the edges. Each source row is
// read once: advancing reuses the slot of the row that drops out for the one that comes in. A
// resampler that reads the current row only keeps that one.
class RowRing
{
public:
    RowRing(Plane& plane, bool currentOnly)
        : FPlane(plane), FStride(static_cast<size_t>(plane.width) * 3), FCurrentOnly(currentOnly)
    {
        for (int i = 0; i < 4; ++i)
            FRows[i] = Scratch<uint8_t>(FStride);
        for (int i = 0; i < 4; ++i)
            if (!FCurrentOnly || i == 1)
                ReadExpanded(FPlane, std::clamp(i - 1, 0, FPlane.height - 1), FRows[i].data());
    }

    // Row y + offset (offset -1 .. 2), clamped to the plane.
    const uint8_t* Row(int offset) const { return FRows[(FFirst + offset + 1) & 3].data(); }

    // Moves down to source row y (never up).
    void AdvanceTo(int32_t y)
    {
        while (FY < y && FY + 1 < FPlane.height)
            Advance();
    }

private:
    void Advance()
    {
        ++FY;
        if (FCurrentOnly) {
            ReadExpanded(FPlane, FY, FRows[1].data());
            return;
        }
        // Rows y .. y+2 of the new row are rows y-1 .. y+1 of the old one, clamped alike.
        FFirst = (FFirst + 1) & 3;
        ReadExpanded(FPlane, std::min(FY + 2, FPlane.height - 1), FRows[(FFirst + 3) & 3].data());
    }

    Plane& FPlane;
    size_t FStride;
    bool FCurrentOnly;
    int32_t FY = 0;
    int FFirst = 0; // the slot of row y-1
    std::vector<uint8_t> FRows[4];
};

// A channel byte of an accumulated destination pixel: truncated toward zero and held to 0 .. 255
// (NaN gives 0), as Clamp255(TruncI(v)) does, without a call per byte.
inline uint8_t TruncatedByte(long double v)
{
    if (!(v > 0))
        return 0;
    if (v >= 255)
        return 255;
    return static_cast<uint8_t>(static_cast<int32_t>(v));
}

struct AreaContext
{
    int32_t mode;
    bool enlargeX;
    bool enlargeY;
    int32_t sw;
};

// The interpolated sample of channel ch at source column x of the ring's current row.
double Sample(const AreaContext& c, const RowRing& ring, int32_t x, int ch, double fx, double fy)
{
    const int32_t xm = std::max(x - 1, 0);
    const int32_t x1 = std::min(x + 1, c.sw - 1);
    const int32_t x2 = std::min(x + 2, c.sw - 1);
    auto p = [&](int row, int32_t col) -> long double {
        return ring.Row(row)[static_cast<size_t>(col) * 3 + ch];
    };
    const long double lfx = fx, lfy = fy;
    if (c.mode != 1) {
        if (c.enlargeX && c.enlargeY)
            return static_cast<double>((1 - lfy) * ((1 - lfx) * p(0, x) + lfx * p(0, x1)) +
                                       lfy * ((1 - lfx) * p(1, x) + lfx * p(1, x1)));
        if (c.enlargeX)
            return static_cast<double>((1 - lfx) * p(0, x) + lfx * p(0, x1));
        if (c.enlargeY)
            return static_cast<double>((1 - lfy) * p(0, x) + lfy * p(1, x));
        return static_cast<double>(p(0, x));
    }
    if (c.enlargeX && c.enlargeY) {
        long double rows[4];
        for (int r = -1; r <= 2; ++r)
            rows[r + 1] = TruncI(Cubic(p(r, xm), p(r, x), p(r, x1), p(r, x2), fx));
        return Cubic(rows[0], rows[1], rows[2], rows[3], fy);
    }
    if (c.enlargeX)
        return Cubic(p(0, xm), p(0, x), p(0, x1), p(0, x2), fx);
    if (c.enlargeY)
        return Cubic(p(-1, x), p(0, x), p(1, x), p(2, x), fy);
    return static_cast<double>(p(0, x));
}

// Shrinking on both axes with plain pixel values: the bulk of every picture and thumbnail. The
// walk's steps become precomputed offsets (source pixel, destination pixel) so that the inner loop
// has no branches, and the pixels of the current row are held as doubles for the x87 unit. Every
// accumulator takes its additions in the walk's order; the row is cut into lanes at destination
// boundaries and the lanes are stepped side by side, so that the additions of different
// accumulators overlap instead of waiting on each other.
class PlainAccumulator
{
public:
    explicit PlainAccumulator(const std::vector<WalkStep>& columns)
    {
        int32_t x = 0, d = 0;
        std::vector<size_t> destinationEnds;
        for (const WalkStep& step : columns) {
            FSteps.push_back({x * 3, d * 3});
            FWidths.push_back(step.width);
            if (step.sourceEnds) {
                ++x;
            } else {
                ++d;
                destinationEnds.push_back(FSteps.size());
            }
        }
        FAreas.resize(FWidths.size());
        FValues.resize(static_cast<size_t>(x + 1) * 3);
        // Lane boundaries right after a destination step near each quarter of the steps.
        size_t begin = 0;
        for (int lane = 1; lane <= kLanes; ++lane) {
            size_t end = FSteps.size();
            if (lane < kLanes && !destinationEnds.empty()) {
                const size_t target = FSteps.size() * lane / kLanes;
                auto it = std::lower_bound(destinationEnds.begin(), destinationEnds.end(), target);
                end = it == destinationEnds.end() ? FSteps.size() : std::max(*it, begin);
            }
            FLanes[lane - 1] = {begin, end};
            begin = end;
        }
    }

    void SetRow(const uint8_t* row, int32_t width)
    {
        for (size_t i = 0; i < static_cast<size_t>(width) * 3; ++i)
            FValues[i] = row[i];
    }

    void Add(double height, double* acc)
    {
        // Most rows lie whole inside one destination row: a height of 1 leaves the widths exact,
        // and they are the areas as they stand.
        const long double h = height;
        if (height == 1.0) {
            FRowAreas = FWidths.data();
        } else {
            FRowAreas = FAreas.data();
            for (size_t k = 0; k < FWidths.size(); ++k)
                FAreas[k] = static_cast<double>(FWidths[k] * h);
        }
        size_t longest = 0;
        for (const Lane& lane : FLanes)
            longest = std::max(longest, lane.end - lane.begin);
        size_t common = longest;
        for (const Lane& lane : FLanes)
            common = std::min(common, lane.end - lane.begin);
        for (size_t j = 0; j < common; ++j)
            for (const Lane& lane : FLanes)
                Step(lane.begin + j, acc);
        for (const Lane& lane : FLanes)
            for (size_t k = lane.begin + common; k < lane.end; ++k)
                Step(k, acc);
    }

private:
    static constexpr int kLanes = 4;

    struct Offsets
    {
        int32_t source;
        int32_t dest;
    };
    struct Lane
    {
        size_t begin;
        size_t end;
    };

    void Step(size_t k, double* acc) const
    {
        const long double area = FRowAreas[k];
        const double* p = FValues.data() + FSteps[k].source;
        double* a = acc + FSteps[k].dest;
        a[0] = static_cast<double>(a[0] + p[0] * area);
        a[1] = static_cast<double>(a[1] + p[1] * area);
        a[2] = static_cast<double>(a[2] + p[2] * area);
    }

    std::vector<Offsets> FSteps;
    std::vector<double> FWidths;
    std::vector<double> FAreas;
    std::vector<double> FValues;
    const double* FRowAreas = nullptr; // FWidths or FAreas
    Lane FLanes[kLanes] = {};
};

void CopyPalette(TKVBitmap* from, TKVBitmap* to)
{
    if (from->GetPixelFormat() == kv8p && to->GetPixelFormat() == kv8p)
        for (int32_t i = 0; i < 256; ++i)
            to->SetPalette(i, from->GetPalette(i));
}

// An 8-bit image through 24 bits: grey pixels stay grey (all three channels are computed alike),
// palette pixels go back to the nearest entry of their own palette.
void ResampleEightBit(TKVBitmap* Source, TKVBitmap* Dest, TResampleFilter Filter,
                      const TKVProgressEvent& OnProgress, TObject* Sender)
{
    const TKVPixelFormat format = Source->GetPixelFormat();
    const int32_t sw = Source->GetWidth(), sh = Source->GetHeight();
    const int32_t dw = Dest->GetWidth(), dh = Dest->GetHeight();
    TKVBitmap wide;
    wide.Allocate(sw, sh, kv24RGB);
    {
        TRGB palette[256];
        for (int32_t i = 0; i < 256; ++i)
            palette[i] = format == kv8p ? Source->GetPalette(i) : TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
        std::vector<uint8_t> in = Scratch<uint8_t>(uint64_t(sw));
        for (int32_t y = 0; y < sh; ++y) {
            std::memcpy(in.data(), Source->GetScanLine(y), static_cast<size_t>(sw));
            auto* out = static_cast<uint8_t*>(wide.GetScanLine(y));
            for (int32_t x = 0; x < sw; ++x)
                std::memcpy(out + static_cast<size_t>(x) * 3, &palette[in[x]], 3);
        }
    }
    TKVBitmap result;
    result.Allocate(dw, dh, kv24RGB);
    _ResampleEx(&wide, &result, Filter, OnProgress, Sender);
    CopyPalette(Source, Dest);
    PaletteMatcher matcher(Dest);
    std::vector<uint8_t> row = Scratch<uint8_t>(uint64_t(dw) * 3);
    std::vector<uint8_t> out = Scratch<uint8_t>(static_cast<uint64_t>(Dest->GetRowLen()));
    for (int32_t y = 0; y < dh; ++y) {
        std::memcpy(row.data(), result.GetScanLine(y), row.size());
        for (int32_t x = 0; x < dw; ++x)
            out[x] = format == kv8p ? matcher.Index(&row[static_cast<size_t>(x) * 3])
                                    : row[static_cast<size_t>(x) * 3];
        std::memcpy(Dest->GetScanLine(y), out.data(), out.size());
    }
}

} // namespace

void detail::ResampleAnyFormat(TKVBitmap* Source, TKVBitmap* Dest, TResampleFilter Filter,
                               const TKVProgressEvent& OnProgress, TObject* Sender)
{
    const TKVPixelFormat format = Source->GetPixelFormat();
    if (format == kv24RGB) {
        _ResampleEx(Source, Dest, Filter, OnProgress, Sender);
        return;
    }
    if (Dest->GetPixelFormat() != format || Source->GetWidth() < 1 || Source->GetHeight() < 1 ||
        Dest->GetWidth() < 1 || Dest->GetHeight() < 1)
        return;
    if (Filter != rfNone && (format == kv8g || format == kv8p)) {
        ResampleEightBit(Source, Dest, Filter, OnProgress, Sender);
        return;
    }
    CopyPalette(Source, Dest);
    _KVBmpStretchEx(Source, Dest, OnProgress, Sender);
}

void _KVQResample(TKVBaseBitmap* Source, TKVBaseBitmap* Dest, int32_t Mode,
                  const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Source || !Dest || Source->GetPixelFormat() != kv24RGB || Dest->GetPixelFormat() != kv24RGB)
        return;
    Plane src = PlaneOf(Source);
    Plane dst = PlaneOf(Dest);
    if (src.Empty() || dst.Empty())
        return;
    const int32_t sw = src.width, sh = src.height, dw = dst.width, dh = dst.height;
    const double sx = static_cast<double>(static_cast<long double>(sw) / dw);
    const double sy = static_cast<double>(static_cast<long double>(sh) / dh);
    const AreaContext context{Mode, sx < 1, sy < 1, sw};
    const std::vector<WalkStep> columns = context.enlargeX ? Centres(sw, dw) : Walk(sw, dw, sx);
    const std::vector<WalkStep> rows = context.enlargeY ? Centres(sh, dh) : Walk(sh, dh, sy);
    // The areas add up to the scale of each shrunk axis, and to 1 across an enlarged one.
    const long double norm =
        1 / (static_cast<long double>(context.enlargeX ? 1.0 : sx) * (context.enlargeY ? 1.0 : sy));

    const bool plain = !context.enlargeX && !context.enlargeY;
    RowRing ring(src, plain);
    std::vector<double> acc = Scratch<double>(uint64_t(dw) * 3);
    std::vector<uint8_t> out = Scratch<uint8_t>(uint64_t(dw) * 3);
    PlainAccumulator plainRows(plain ? columns : std::vector<WalkStep>());
    if (plain)
        plainRows.SetRow(ring.Row(0), sw);
    int32_t emitted = 0;
    for (const WalkStep& vertical : rows) {
        const double height = vertical.width;
        if (plain) {
            plainRows.Add(height, acc.data());
        } else {
            ring.AdvanceTo(vertical.source);
            double* a = acc.data();
            for (const WalkStep& horizontal : columns) {
                const long double area =
                    static_cast<double>(static_cast<long double>(horizontal.width) * height);
                for (int ch = 0; ch < 3; ++ch) {
                    const long double v =
                        Sample(context, ring, horizontal.source, ch, horizontal.fraction, vertical.fraction);
                    a[ch] = static_cast<double>(a[ch] + v * area);
                }
                if (!horizontal.sourceEnds)
                    a += 3;
            }
        }
        if (vertical.sourceEnds) {
            if (plain) {
                ring.AdvanceTo(vertical.source + 1);
                plainRows.SetRow(ring.Row(0), sw);
            }
            continue;
        }
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = TruncatedByte(acc[i] * norm);
        WriteExpanded(dst, emitted, out.data(), 3);
        std::fill(acc.begin(), acc.end(), 0.0);
        ++emitted;
        if (OnProgress)
            OnProgress(Sender, TruncI(static_cast<long double>(emitted) / dh * 100));
        if (emitted == dh)
            break;
    }
}

void _ResampleEx(TKVBaseBitmap* Source, TKVBaseBitmap* Dest, TResampleFilter Filter,
                 const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Source || !Dest || Source == Dest || Source->GetPixelFormat() != kv24RGB ||
        Dest->GetPixelFormat() != kv24RGB)
        return;
    AccessScope sourceAccess(Source, kvdRead);
    AccessScope destAccess(Dest, kvdWrite);
    switch (Filter) {
    case rfNone:
        _KVBmpStretchEx(Source, Dest, OnProgress, Sender);
        return;
    case rfFastLinear:
        _ResampleLinearEx(Source, Dest, OnProgress, Sender);
        return;
    case rfBicubic:
        _KVQResample(Source, Dest, 1, OnProgress, Sender);
        return;
    case rfBilinear:
        _KVQResample(Source, Dest, 0, OnProgress, Sender);
        return;
    default: {
        Plane src = PlaneOf(Source);
        Plane dst = PlaneOf(Dest);
        KernelResample(src, dst, Filter, OnProgress, Sender);
        return;
    }
    }
}

void _KVResampleKVBitmap(TKVBitmap* Source, TKVBitmap* Dest, TResampleFilter Filter)
{
    if (!Source || !Dest)
        return;
    if (Source->GetPixelFormat() == kv1g && Filter != rfNone)
        _Resample1bitEx(Source, Dest, Filter);
    else
        detail::ResampleAnyFormat(Source, Dest, Filter, {}, nullptr);
    if (Source->GetHasAlphaChannel())
        _ResampleAlphaEx(Source->GetAlphaChannel(), Dest->GetAlphaChannel(),
                         Filter == rfNone ? rfFastLinear : Filter);
}

} // namespace Korvaneproc
