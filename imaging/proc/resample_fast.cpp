// The fast linear resamplers (17-bit fixed point, one pass per axis), the black-and-white and
// alpha resamplers, the box reducer of 1-bit images and the nearest-neighbour stretch.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/proc/detail/kernel_resampler.h"
#include "imaging/proc/detail/proc_detail.h"

#include <algorithm>
#include <cstring>

namespace Korvaneproc {

using namespace detail;

namespace {

constexpr int32_t kFracOne = 131072; // 17 fraction bits

// a + floor((b - a) * frac / 131072): the shift of a negative product rounds toward minus infinity.
inline uint8_t Lerp(int32_t a, int32_t b, int32_t frac)
{
    return static_cast<uint8_t>(a + (((b - a) * frac) >> 17));
}

struct ColumnTables
{
    std::vector<int32_t> ix, frac, ixEnd;
};

// Where destination pixel x of an axis samples the source: an enlarged axis at the pixel's centre,
// another (shrunk, or a 1-bit image's axis that interpolates while shrinking) from the pixel's
// left or top edge, as the box averages start there.
long double SourcePosition(int32_t x, int32_t srcCount, int32_t dstCount, double scale)
{
    if (scale > 1)
        return SourceCentre(x, srcCount, dstCount);
    return static_cast<double>(static_cast<long double>(x) / scale);
}

ColumnTables BuildColumnTables(int32_t sw, int32_t dw, double xs)
{
    ColumnTables t;
    t.ix.resize(static_cast<size_t>(dw));
    t.frac.resize(static_cast<size_t>(dw));
    t.ixEnd.resize(static_cast<size_t>(dw));
    for (int32_t x = 0; x < dw; ++x) {
        const long double pos = SourcePosition(x, sw, dw, xs);
        const int32_t ix = std::min(TruncI(pos), sw - 1);
        t.ix[x] = ix;
        t.frac[x] = TruncI((pos - ix) * kFracOne);
        const int32_t end = TruncI(static_cast<long double>(std::min(x + 1, dw - 1)) / xs + 1e-10L);
        t.ixEnd[x] = std::clamp(end, ix, sw - 1);
    }
    return t;
}

// Both passes of the fast linear resampler. The colour and alpha forms average boxes on an axis
// that does not grow; the 1-bit form (interpolateAlways) interpolates on both axes.
void LinearResample(Plane& src, Plane& dst, bool interpolateAlways, const TKVProgressEvent& onProgress,
                    TObject* sender)
{
    const int32_t sw = src.width, sh = src.height, dw = dst.width, dh = dst.height;
    const int32_t channels = Channels(src.layout);
    const double xs = static_cast<double>(static_cast<long double>(dw) / sw);
    const double ys = static_cast<double>(static_cast<long double>(dh) / sh);
    const long double step = 100.0L / (sh + dh + 0.5L);
    const ColumnTables columns = BuildColumnTables(sw, dw, xs);
    const bool interpolateX = interpolateAlways || xs > 1;
    const bool interpolateY = interpolateAlways || ys > 1;

    const size_t stride = static_cast<size_t>(dw) * channels;
    std::vector<uint8_t> work = Scratch<uint8_t>(uint64_t(stride) * sh);
    std::vector<uint8_t> in = Scratch<uint8_t>(uint64_t(sw) * channels);
    for (int32_t y = 0; y < sh; ++y) {
        ReadExpanded(src, y, in.data());
        uint8_t* out = work.data() + stride * y;
        for (int32_t x = 0; x < dw; ++x) {
            const int32_t ix = columns.ix[x];
            for (int32_t ch = 0; ch < channels; ++ch) {
                uint8_t value;
                if (interpolateX) {
                    const int32_t a = in[static_cast<size_t>(ix) * channels + ch];
                    const int32_t b = in[static_cast<size_t>(std::min(ix + 1, sw - 1)) * channels + ch];
                    value = Lerp(a, b, columns.frac[x]);
                } else {
                    int32_t sum = 0;
                    for (int32_t i = ix; i <= columns.ixEnd[x]; ++i)
                        sum += in[static_cast<size_t>(i) * channels + ch];
                    value = static_cast<uint8_t>(sum / (columns.ixEnd[x] - ix + 1));
                }
                out[static_cast<size_t>(x) * channels + ch] = value;
            }
        }
        Report(onProgress, sender, TruncI(y * step));
    }

    std::vector<uint8_t> out = Scratch<uint8_t>(stride);
    std::vector<int32_t> sum = Scratch<int32_t>(stride);
    for (int32_t y = 0; y < dh; ++y) {
        if (interpolateY) {
            const long double pos = SourcePosition(y, sh, dh, ys);
            const int32_t i = std::min(TruncI(pos), sh - 1);
            const int32_t frac = TruncI((pos - i) * kFracOne);
            const uint8_t* a = work.data() + stride * i;
            const uint8_t* b = work.data() + stride * (i + 1 < sh ? i + 1 : i);
            for (size_t k = 0; k < stride; ++k)
                out[k] = Lerp(a[k], b[k], frac);
        } else {
            const int32_t first = std::min(TruncI(static_cast<long double>(y) / ys), sh - 1);
            const int32_t last =
                std::clamp(TruncI(static_cast<long double>(std::min(y + 1, dh - 1)) / ys), first, sh - 1);
            std::fill(sum.begin(), sum.end(), 0);
            for (int32_t r = first; r <= last; ++r) {
                const uint8_t* line = work.data() + stride * r;
                for (size_t k = 0; k < stride; ++k)
                    sum[k] += line[k];
            }
            const int32_t count = last - first + 1;
            for (size_t k = 0; k < stride; ++k)
                out[k] = static_cast<uint8_t>(sum[k] / count);
        }
        WriteExpanded(dst, y, out.data(), channels);
        Report(onProgress, sender, TruncI((y + sh) * step));
    }
}

bool SameSize(const Plane& a, const Plane& b)
{
    return a.width == b.width && a.height == b.height;
}

// Bytes of one pixel of a format, 0 for kv1g (bits) and for formats that cannot be stretched.
int32_t PixelBytes(TKVPixelFormat format)
{
    switch (format) {
    case kv8p:
    case kv8g:
        return 1;
    case kv16g:
        return 2;
    case kv24RGB:
        return 3;
    case kv32f:
        return 4;
    default:
        return 0;
    }
}

} // namespace

void _ResampleLinearEx(TKVBaseBitmap* Source, TKVBaseBitmap* Dest, const TKVProgressEvent& OnProgress,
                       TObject* Sender)
{
    if (!Source || !Dest || Source->GetPixelFormat() != kv24RGB)
        return;
    if (Source->GetWidth() < 1 || Source->GetHeight() < 1 || Dest->GetWidth() < 1 || Dest->GetHeight() < 1)
        return;
    if (Source->GetWidth() == Dest->GetWidth() && Source->GetHeight() == Dest->GetHeight()) {
        Dest->Assign(Source);
        return;
    }
    if (Dest->GetPixelFormat() != kv24RGB)
        return;
    Plane src = PlaneOf(Source);
    Plane dst = PlaneOf(Dest);
    LinearResample(src, dst, false, OnProgress, Sender);
}

void _ResampleLinearAlpha(TKVMask* Source, TKVMask* Dest, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Source || !Dest)
        return;
    Plane src = PlaneOf(Source);
    Plane dst = PlaneOf(Dest);
    if (src.Empty() || dst.Empty() || src.layout != Layout::Byte1 || dst.layout != Layout::Byte1)
        return;
    if (SameSize(src, dst)) {
        Dest->Assign(Source);
        return;
    }
    LinearResample(src, dst, false, OnProgress, Sender);
}

void _ResampleLinear1BitEx(TKVBitmap* Source, TKVBitmap* Dest, const TKVProgressEvent& OnProgress,
                           TObject* Sender)
{
    if (!Source || !Dest || Source->GetPixelFormat() != kv1g)
        return;
    const int32_t sw = Source->GetWidth(), sh = Source->GetHeight();
    const int32_t dw = Dest->GetWidth(), dh = Dest->GetHeight();
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1)
        return;
    const double xs = static_cast<double>(static_cast<long double>(dw) / sw);
    const double ys = static_cast<double>(static_cast<long double>(dh) / sh);
    if (xs == 1 && ys == 1) {
        Dest->Assign(Source);
        return;
    }
    if (Dest->GetPixelFormat() != kv24RGB)
        return;
    if (xs < 1 && ys < 1) {
        _SubResample1bitFilteredEx(Source, 0, 0, sw - 1, sh - 1, Dest);
        return;
    }
    Plane src = PlaneOf(Source);
    Plane dst = PlaneOf(Dest);
    LinearResample(src, dst, true, OnProgress, Sender);
}

void _Resample1bitEx(TKVBitmap* Source, TKVBitmap* Dest, TResampleFilter Filter)
{
    if (!Source || !Dest || Source->GetPixelFormat() != kv1g)
        return;
    if (Filter == rfFastLinear || Filter == rfBilinear || Filter == rfBicubic) {
        _ResampleLinear1BitEx(Source, Dest);
        return;
    }
    if (Dest->GetPixelFormat() != kv24RGB)
        return;
    Plane src = PlaneOf(Source);
    Plane dst = PlaneOf(Dest);
    if (Filter == rfNone)
        NearestResample(src, dst);
    else
        KernelResample(src, dst, Filter, {}, nullptr);
}

void _ResampleAlpha(TKVMask* Source, TKVMask* Dest, TResampleFilter Filter)
{
    if (!Source || !Dest)
        return;
    if (Filter == rfFastLinear || Filter == rfBilinear || Filter == rfBicubic) {
        _ResampleLinearAlpha(Source, Dest);
        return;
    }
    Plane src = PlaneOf(Source);
    Plane dst = PlaneOf(Dest);
    if (src.Empty() || dst.Empty() || src.layout != Layout::Byte1 || dst.layout != Layout::Byte1)
        return;
    if (Filter == rfNone)
        NearestResample(src, dst);
    else
        KernelResample(src, dst, Filter, {}, nullptr);
}

void _ResampleAlphaEx(TKVBitmap* SourceAlpha, TKVBitmap* DestAlpha, TResampleFilter Filter,
                      const TKVProgressEvent&, TObject*)
{
    if (!SourceAlpha || !DestAlpha || SourceAlpha->GetPixelFormat() != kv8g)
        return;
    if (DestAlpha->GetWidth() < 1 || DestAlpha->GetHeight() < 1)
        return;
    TKVMask source;
    SourceAlpha->CopyToTKVMask(&source);
    TKVMask dest;
    dest.AllocateBits(DestAlpha->GetWidth(), DestAlpha->GetHeight(), 8);
    _ResampleAlpha(&source, &dest, Filter);
    DestAlpha->CopyFromTKVMask(&dest);
}

void _SubResample1bitFilteredEx(TKVBaseBitmap* Source, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                TKVBitmap* Dest)
{
    if (!Source || !Dest || Source->GetPixelFormat() != kv1g || Dest->GetPixelFormat() != kv24RGB)
        return;
    Plane src = PlaneOf(Source);
    Plane dst = PlaneOf(Dest);
    if (src.Empty() || dst.Empty())
        return;
    detail::BoxReduce1bit(src, x1, y1, x2, y2, false, dst);
}

std::unique_ptr<uint8_t[]> _SubResample1bitFilteredDIB(const uint8_t* Bits, int32_t SrcWidth,
                                                       int32_t SrcHeight, int32_t x1, int32_t y1, int32_t x2,
                                                       int32_t y2, int32_t DstWidth, int32_t DstHeight)
{
    if (!Bits || DstWidth < 1 || DstHeight < 1 || SrcWidth < 1 || SrcHeight < 1)
        return nullptr;
    if (x1 < 0 || y1 < 0 || x2 < x1 || y2 < y1 || x2 >= SrcWidth || y2 >= SrcHeight)
        return nullptr;
    const int32_t dstRowLen = RowLen(DstWidth, 24);
    const size_t size = ScratchSize(uint64_t(dstRowLen) * DstHeight, 1);
    auto result = std::make_unique<uint8_t[]>(size);
    std::memset(result.get(), 0, size);
    Plane src =
        PlaneOfBottomUp(const_cast<uint8_t*>(Bits), SrcWidth, SrcHeight, RowLen(SrcWidth, 1), Layout::Bit1);
    Plane dst = PlaneOfBottomUp(result.get(), DstWidth, DstHeight, dstRowLen, Layout::Rgb3);
    detail::BoxReduce1bit(src, x1, y1, x2, y2, true, dst);
    return result;
}

void _KVBmpStretchEx(TKVBaseBitmap* Source, TKVBaseBitmap* Dest, const TKVProgressEvent& OnProgress,
                     TObject* Sender)
{
    if (!Source || !Dest || Source == Dest)
        return;
    const TKVPixelFormat format = Source->GetPixelFormat();
    // Rows are copied in the source's layout, so a destination of another format would overrun.
    if (Dest->GetPixelFormat() != format || (format != kv1g && PixelBytes(format) == 0))
        return;
    const int32_t sw = Source->GetWidth(), sh = Source->GetHeight();
    const int32_t dw = Dest->GetWidth(), dh = Dest->GetHeight();
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1)
        return;
    AccessScope sourceAccess(Source, kvdRead);
    AccessScope destAccess(Dest, kvdWrite);

    const long double xRatio = static_cast<long double>(sw) / dw;
    const long double yRatio = static_cast<long double>(sh) / dh;
    std::vector<int32_t> columns(static_cast<size_t>(dw));
    for (int32_t x = 0; x < dw; ++x)
        columns[x] = std::min(TruncI(x * xRatio), sw - 1);
    const int32_t bytes = PixelBytes(format);
    const size_t srcRowLen = static_cast<size_t>(Source->GetRowLen());
    const size_t dstRowLen = static_cast<size_t>(Dest->GetRowLen());
    std::vector<uint8_t> in = Scratch<uint8_t>(srcRowLen);
    std::vector<uint8_t> out = Scratch<uint8_t>(dstRowLen);
    const long double step = 100.0L / (dh + 0.5L);
    int32_t loaded = -1;
    for (int32_t y = 0; y < dh; ++y) {
        const int32_t sy = std::min(TruncI(y * yRatio), sh - 1);
        if (sy != loaded) {
            std::memcpy(in.data(), Source->GetScanLine(sy), srcRowLen);
            loaded = sy;
            std::fill(out.begin(), out.end(), 0);
            if (format == kv1g) {
                for (int32_t x = 0; x < dw; ++x)
                    if (BitAt(in.data(), columns[x]))
                        SetBitAt(out.data(), x, true);
            } else {
                for (int32_t x = 0; x < dw; ++x)
                    std::memcpy(out.data() + static_cast<size_t>(x) * bytes,
                                in.data() + static_cast<size_t>(columns[x]) * bytes,
                                static_cast<size_t>(bytes));
            }
        }
        std::memcpy(Dest->GetScanLine(y), out.data(), dstRowLen);
        Report(OnProgress, Sender, TruncI(y * step));
    }
}

} // namespace Korvaneproc
