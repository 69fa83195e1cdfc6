// Resampling of colour images: the dispatching worker, the bitmap-to-bitmap entry and the
// area-coverage resampler of rfBilinear and rfBicubic.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/kernel_resampler.h"
#include "imaging/proc/detail/proc_detail.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <utility>
#include <vector>

namespace Korvaneproc {

using namespace detail;

namespace {

using Wide = __int128;

// The weights of an axis are whole numbers whose sum is the same for every destination pixel, the
// axis's denominator, so that a flat picture comes out at its own value whatever the scales: the
// exact fractions, unless their denominator would let the sums overflow 64 bits; then they are
// rounded to a smaller denominator with every destination pixel's sum kept exact. Truncating the
// exact fraction never loses the level that rounded floating-point areas lose.
constexpr int64_t kMaxAxisDenominator = int64_t(1) << 30;
// Where the sums over both axes meet in one quotient, they stay below 2^57.
constexpr int64_t kMaxBothDenominators = int64_t(1) << 48;
constexpr int64_t kFallbackDenominator = int64_t(1) << 24;

struct AxisWeights
{
    explicit AxisWeights(int64_t limit) : denominator(limit) {}

    Contributors taps;
    int64_t denominator;
};

// One destination pixel's exact weights over the axis, in source order.
using ExactTaps = std::vector<std::pair<int32_t, Wide>>;

// numerator / divisor rounded half to even; divisor > 0.
Wide RoundedQuotient(Wide numerator, Wide divisor)
{
    Wide quotient = numerator / divisor;
    Wide remainder = numerator % divisor;
    if (remainder < 0) {
        --quotient;
        remainder += divisor;
    }
    if (2 * remainder > divisor || (2 * remainder == divisor && (quotient & 1) != 0))
        ++quotient;
    return quotient;
}

// Appends a destination pixel whose exact weights sum to denominator. Taps of one source pixel are
// merged; rounding to the axis's smaller denominator rounds the running sums, so the weights still
// add up.
void AddPixel(AxisWeights& axis, const ExactTaps& exact, Wide denominator)
{
    Contributors& c = axis.taps;
    c.start.push_back(static_cast<int32_t>(c.items.size()));
    Wide sum = 0, placed = 0;
    for (size_t k = 0; k < exact.size(); ++k) {
        sum += exact[k].second;
        if (k + 1 < exact.size() && exact[k + 1].first == exact[k].first)
            continue;
        const Wide scaled =
            denominator > axis.denominator ? RoundedQuotient(sum * axis.denominator, denominator) : sum;
        if (scaled != placed)
            c.items.push_back({exact[k].first, static_cast<int32_t>(scaled - placed)});
        placed = scaled;
    }
    c.total.push_back(static_cast<int32_t>(placed));
}

void Finish(AxisWeights& axis)
{
    axis.taps.start.push_back(static_cast<int32_t>(axis.taps.items.size()));
}

// A shrunk (or kept) axis: the boundary walk, in whole units of which a source pixel is
// dstCount / g and a destination pixel srcCount / g long (g their greatest common divisor), so
// that every boundary is exact. The destination boundary goes first when the source's is not
// before it by more than 0.0001 source pixels; each step is a segment up to the next boundary.
AxisWeights AreaWeights(int32_t srcCount, int32_t dstCount, int64_t limit)
{
    const int64_t common = std::gcd(srcCount, dstCount);
    const int64_t sourceLength = dstCount / common, destLength = srcCount / common;
    AxisWeights axis(std::min(destLength, limit));
    ExactTaps exact;
    int64_t s = 0, boundary = 0;
    for (int32_t ended = 0; ended < dstCount;) {
        const int64_t sourceEnd = (s + 1) * sourceLength, destEnd = (ended + 1) * destLength;
        const int64_t ahead = destEnd - sourceEnd;
        if (s >= srcCount - 1 || ahead <= 0 || (ahead <= sourceLength && ahead * 10000 <= sourceLength)) {
            exact.emplace_back(static_cast<int32_t>(s), destEnd - boundary);
            boundary = destEnd;
            AddPixel(axis, exact, destLength);
            exact.clear();
            ++ended;
        } else {
            exact.emplace_back(static_cast<int32_t>(s), sourceEnd - boundary);
            boundary = sourceEnd;
            ++s;
        }
    }
    Finish(axis);
    return axis;
}

// Where an enlarged axis samples for destination pixel index: source pixel `pixel` and the fraction
// numerator / denominator of the way to the next one, exact.
struct Position
{
    int32_t pixel;
    int64_t numerator;
};

int64_t PositionDenominator(int32_t srcCount, int32_t dstCount)
{
    return 2 * int64_t(dstCount) / std::gcd(srcCount, dstCount);
}

Position CentrePosition(int32_t index, int32_t srcCount, int32_t dstCount)
{
    const int64_t denominator = PositionDenominator(srcCount, dstCount);
    const int64_t numerator = SourceCentreNumerator(index, srcCount, dstCount) / std::gcd(srcCount, dstCount);
    if (numerator <= 0)
        return {0, 0};
    if (numerator / denominator >= srcCount - 1)
        return {srcCount - 1, 0};
    return {static_cast<int32_t>(numerator / denominator), numerator % denominator};
}

// An enlarged axis, bilinear: the two pixels around the centre.
AxisWeights LinearWeights(int32_t srcCount, int32_t dstCount, int64_t limit)
{
    const int64_t denominator = PositionDenominator(srcCount, dstCount);
    AxisWeights axis(std::min(denominator, limit));
    for (int32_t i = 0; i < dstCount; ++i) {
        const Position p = CentrePosition(i, srcCount, dstCount);
        AddPixel(axis,
                 {{p.pixel, denominator - p.numerator}, {std::min(p.pixel + 1, srcCount - 1), p.numerator}},
                 denominator);
    }
    Finish(axis);
    return axis;
}

// The cubic convolution kernel (a = -1) at u / d, times d^3: abs(u)^3 - 2 abs(u)^2 + 1 within one
// pixel, -abs(u)^3 + 5 abs(u)^2 - 8 abs(u) + 4 between one and two; u >= 0.
Wide CubicNear(Wide u, Wide d)
{
    return u * u * u - 2 * u * u * d + d * d * d;
}

Wide CubicFar(Wide u, Wide d)
{
    return -u * u * u + 5 * u * u * d - 8 * u * d * d + 4 * d * d * d;
}

// An enlarged axis, bicubic: four pixels around the centre, repeated at the edges; the weights
// are exact fractions over the cube of the position's denominator.
AxisWeights CubicWeights(int32_t srcCount, int32_t dstCount, int64_t limit)
{
    const Wide d = PositionDenominator(srcCount, dstCount);
    AxisWeights axis(static_cast<int64_t>(std::min<Wide>(d * d * d, limit)));
    for (int32_t i = 0; i < dstCount; ++i) {
        const Position p = CentrePosition(i, srcCount, dstCount);
        const Wide t = p.numerator;
        AddPixel(axis,
                 {{std::max(p.pixel - 1, 0), CubicFar(t + d, d)},
                  {p.pixel, CubicNear(t, d)},
                  {std::min(p.pixel + 1, srcCount - 1), CubicNear(d - t, d)},
                  {std::min(p.pixel + 2, srcCount - 1), CubicFar(2 * d - t, d)}},
                 d * d * d);
    }
    Finish(axis);
    return axis;
}

// The exact denominator of an axis's weights: a destination pixel's length in the walk's units
// when shrinking, the position's denominator (cubed for bicubic) when enlarging.
Wide ExactDenominator(int32_t srcCount, int32_t dstCount, bool cubic)
{
    if (srcCount >= dstCount)
        return srcCount / std::gcd(srcCount, dstCount);
    const Wide d = PositionDenominator(srcCount, dstCount);
    return cubic ? d * d * d : d;
}

AxisWeights WeightsOf(int32_t srcCount, int32_t dstCount, bool cubic, int64_t limit)
{
    if (srcCount >= dstCount)
        return AreaWeights(srcCount, dstCount, limit);
    return cubic ? CubicWeights(srcCount, dstCount, limit) : LinearWeights(srcCount, dstCount, limit);
}

// The truncated quotient of a sum and a denominator, held to 0 .. 255, exactly: a multiply by
// ceil(2^k / denominator) and a shift by k, with k large enough for every sum below 256 times the
// denominator (the error stays under 1 / denominator). Denominators up to 2^24 keep the product
// within 64 bits.
class ByteQuotient
{
public:
    explicit ByteQuotient(int64_t denominator) : FLimit(255 * denominator)
    {
        int32_t bits = 0;
        while ((int64_t(1) << bits) < denominator)
            ++bits;
        FShift = 2 * bits + 8;
        FMagic = ((static_cast<unsigned __int128>(1) << FShift) - 1) / static_cast<uint64_t>(denominator) + 1;
        FNarrow = bits <= 24;
    }

    uint8_t operator()(int64_t sum) const
    {
        if (sum <= 0)
            return 0;
        if (sum >= FLimit)
            return 255;
        if (FNarrow)
            return static_cast<uint8_t>((static_cast<uint64_t>(sum) * static_cast<uint64_t>(FMagic)) >>
                                        FShift);
        return static_cast<uint8_t>((static_cast<unsigned __int128>(sum) * FMagic) >> FShift);
    }

private:
    int64_t FLimit;
    int32_t FShift;
    unsigned __int128 FMagic;
    bool FNarrow;
};

// The sums of one row across the taps of each destination pixel, three channels.
template <typename Value>
void AcrossRow(const Contributors& columns, const Value* in, int64_t* out, int32_t count)
{
    for (int32_t d = 0; d < count; ++d) {
        int64_t blue = 0, green = 0, red = 0;
        for (int32_t k = columns.start[d]; k < columns.start[d + 1]; ++k) {
            const Value* p = in + static_cast<size_t>(columns.items[k].pixel) * 3;
            const int64_t w = columns.items[k].weight;
            blue += w * p[0];
            green += w * p[1];
            red += w * p[2];
        }
        out[static_cast<size_t>(d) * 3] = blue;
        out[static_cast<size_t>(d) * 3 + 1] = green;
        out[static_cast<size_t>(d) * 3 + 2] = red;
    }
}

// Rows made one after another from the top, each once, and kept while later destination rows may
// still ask for them. Where every destination row's rows lie within kHeld rows of each other (all
// enlarged heights, and reductions by less than three), they are summed down side by side in one
// pass; else each is added in as it comes, so that a deep reduction needs one row only.
class RowSums
{
public:
    using Maker = std::function<void(int32_t, int64_t*)>;

    RowSums(const Contributors& rows, size_t length, Maker make)
        : FTaps(rows), FMake(std::move(make)), FSums(Scratch<int64_t>(length))
    {
        int32_t newest = 0, behind = 1, span = 1;
        for (size_t d = 0; d + 1 < rows.start.size(); ++d) {
            if (rows.start[d] == rows.start[d + 1])
                continue;
            const int32_t first = rows.items[rows.start[d]].pixel;
            const int32_t last = rows.items[rows.start[d + 1] - 1].pixel;
            behind = std::max(behind, newest - first + 1);
            span = std::max(span, std::max(newest, last) - first + 1);
            newest = std::max(newest, last);
        }
        FSideBySide = span <= kHeld;
        FRows.resize(static_cast<size_t>(FSideBySide ? span : behind));
        for (std::vector<int64_t>& row : FRows)
            row = Scratch<int64_t>(length);
    }

    // Hands store(i, sum) the sum down the taps of destination row d at every index i of the row.
    template <typename Store> void Down(int32_t d, Store store)
    {
        const int32_t begin = FTaps.start[d], count = FTaps.start[d + 1] - begin;
        if (FSideBySide) {
            const int64_t* rows[kHeld] = {};
            int64_t weights[kHeld] = {};
            for (int32_t k = 0; k < count; ++k)
                Make(FTaps.items[begin + k].pixel);
            for (int32_t k = 0; k < count; ++k) {
                rows[k] = Slot(FTaps.items[begin + k].pixel);
                weights[k] = FTaps.items[begin + k].weight;
            }
            switch (count) {
            case 1:
                return SideBySide<1>(rows, weights, store);
            case 2:
                return SideBySide<2>(rows, weights, store);
            case 3:
                return SideBySide<3>(rows, weights, store);
            default:
                return SideBySide<4>(rows, weights, store);
            }
        }
        std::fill(FSums.begin(), FSums.end(), 0);
        for (int32_t k = begin; k < begin + count; ++k) {
            Make(FTaps.items[k].pixel);
            const int64_t* row = Slot(FTaps.items[k].pixel);
            const int64_t w = FTaps.items[k].weight;
            for (size_t i = 0; i < FSums.size(); ++i)
                FSums[i] += w * row[i];
        }
        for (size_t i = 0; i < FSums.size(); ++i)
            store(i, FSums[i]);
    }

private:
    static constexpr int32_t kHeld = 4;

    template <int32_t Count, typename Store>
    void SideBySide(const int64_t* const* rows, const int64_t* weights, Store& store)
    {
        for (size_t i = 0; i < FSums.size(); ++i) {
            int64_t sum = weights[0] * rows[0][i];
            for (int32_t k = 1; k < Count; ++k)
                sum += weights[k] * rows[k][i];
            store(i, sum);
        }
    }

    void Make(int32_t y)
    {
        while (FNewest < y) {
            ++FNewest;
            FMake(FNewest, Slot(FNewest));
        }
    }

    int64_t* Slot(int32_t y) { return FRows[static_cast<size_t>(y) % FRows.size()].data(); }

    const Contributors& FTaps;
    Maker FMake;
    std::vector<int64_t> FSums;
    std::vector<std::vector<int64_t>> FRows;
    bool FSideBySide = false;
    int32_t FNewest = -1;
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

// Every destination byte is the truncated weighted sum of the source over the weights of both
// axes. Bilinear and plain area sums are linear, so each source row is summed across once and
// the destination rows sum those rows down. Bicubic holds each cubic sample to 0 .. 255: across
// an enlarged width the row sums are held (and truncated when the height is enlarged too); when
// only the height is enlarged, each destination row sums the source rows down first, holds them,
// and then sums across.
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
    const bool cubic = Mode == 1;
    const bool enlargeX = sw < dw, enlargeY = sh < dh;
    const bool downFirst = cubic && enlargeY && !enlargeX;
    const bool truncateAcross = cubic && enlargeX && enlargeY;
    // Truncated across, the rows come down as bytes and each axis has a quotient of its own.
    int64_t limit = kMaxAxisDenominator;
    const Wide denominatorX = std::min<Wide>(ExactDenominator(sw, dw, cubic), limit);
    const Wide denominatorY = std::min<Wide>(ExactDenominator(sh, dh, cubic), limit);
    if (!truncateAcross && denominatorX * denominatorY > kMaxBothDenominators)
        limit = kFallbackDenominator;
    const AxisWeights columns = WeightsOf(sw, dw, cubic, limit);
    const AxisWeights rows = WeightsOf(sh, dh, cubic, limit);

    std::vector<uint8_t> in = Scratch<uint8_t>(uint64_t(sw) * 3);
    const ByteQuotient acrossByte(columns.denominator);
    const int64_t acrossHighest = 255 * columns.denominator;
    RowSums::Maker make = [&](int32_t y, int64_t* out) {
        ReadExpanded(src, y, in.data());
        AcrossRow(columns.taps, in.data(), out, dw);
        if (truncateAcross)
            for (size_t i = 0; i < size_t(dw) * 3; ++i)
                out[i] = acrossByte(out[i]);
        else if (cubic && enlargeX)
            for (size_t i = 0; i < size_t(dw) * 3; ++i)
                out[i] = std::clamp<int64_t>(out[i], 0, acrossHighest);
    };
    if (downFirst)
        make = [&](int32_t y, int64_t* out) {
            ReadExpanded(src, y, in.data());
            std::copy(in.begin(), in.end(), out);
        };
    const size_t rowLength = size_t(downFirst ? sw : dw) * 3;
    RowSums sums(rows.taps, rowLength, std::move(make));

    const ByteQuotient byte((truncateAcross ? 1 : columns.denominator) * rows.denominator);
    const int64_t downHighest = 255 * rows.denominator;
    std::vector<int64_t> down = Scratch<int64_t>(rowLength);
    std::vector<int64_t> across = Scratch<int64_t>(uint64_t(dw) * 3);
    std::vector<uint8_t> out = Scratch<uint8_t>(uint64_t(dw) * 3);
    for (int32_t y = 0; y < dh; ++y) {
        if (downFirst) {
            sums.Down(y, [&](size_t i, int64_t sum) { down[i] = std::clamp<int64_t>(sum, 0, downHighest); });
            AcrossRow(columns.taps, down.data(), across.data(), dw);
            for (size_t i = 0; i < out.size(); ++i)
                out[i] = byte(across[i]);
        } else {
            sums.Down(y, [&](size_t i, int64_t sum) { out[i] = byte(sum); });
        }
        WriteExpanded(dst, y, out.data(), 3);
        if (OnProgress)
            OnProgress(Sender, TruncI(static_cast<long double>(y + 1) / dh * 100));
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
