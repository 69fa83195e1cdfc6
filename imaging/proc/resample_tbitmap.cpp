// The resamplers on class-library bitmaps (pf24bit and pf1bit), kept for callers that hold such
// bitmaps: each wraps the bitmaps without copying and runs the library bitmap's resampler.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/kernel_resampler.h"
#include "imaging/proc/detail/proc_detail.h"
#include "platform/graphics/bitmap.h"

namespace Korvaneproc {

using namespace detail;

namespace {

bool Is(TBitmap* bitmap, TPixelFormat format)
{
    return bitmap && bitmap->PixelFormat() == format && bitmap->Width() > 0 && bitmap->Height() > 0;
}

bool SameSize(TBitmap* a, TBitmap* b)
{
    return a->Width() == b->Width() && a->Height() == b->Height();
}

// The linear twins copy the whole bitmap when the sizes are equal.
bool CopiedWhenSameSize(TBitmap* Source, TBitmap* Dest)
{
    if (!SameSize(Source, Dest))
        return false;
    KVCopyBitmap(Source, Dest);
    return true;
}

} // namespace

void _Resample(TBitmap* Source, TBitmap* Dest, TResampleFilter Filter, const TKVProgressEvent& OnProgress,
               TObject* Sender)
{
    if (!Is(Source, pf24bit) || !Is(Dest, pf24bit))
        return;
    if (Filter == rfFastLinear || Filter == rfBilinear || Filter == rfBicubic) {
        _ResampleLinear(Source, Dest, OnProgress, Sender);
        return;
    }
    TKVBitmap source, dest;
    source.EncapsulateTBitmap(Source, false);
    dest.EncapsulateTBitmap(Dest, false);
    Plane src = PlaneOf(&source);
    Plane dst = PlaneOf(&dest);
    if (Filter == rfNone)
        NearestResample(src, dst);
    else
        KernelResample(src, dst, Filter, OnProgress, Sender);
}

void _ResampleLinear(TBitmap* Source, TBitmap* Dest, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Is(Source, pf24bit) || !Dest || CopiedWhenSameSize(Source, Dest) || !Is(Dest, pf24bit))
        return;
    TKVBitmap source, dest;
    source.EncapsulateTBitmap(Source, false);
    dest.EncapsulateTBitmap(Dest, false);
    _ResampleLinearEx(&source, &dest, OnProgress, Sender);
}

void _Resample1bit(TBitmap* Source, TBitmap* Dest, TResampleFilter Filter)
{
    if (!Is(Source, pf1bit) || !Dest)
        return;
    if (Filter == rfFastLinear || Filter == rfBilinear || Filter == rfBicubic) {
        _ResampleLinear1Bit(Source, Dest);
        return;
    }
    if (!Is(Dest, pf24bit))
        return;
    TKVBitmap source, dest;
    source.EncapsulateTBitmap(Source, false);
    dest.EncapsulateTBitmap(Dest, false);
    _Resample1bitEx(&source, &dest, Filter);
}

void _ResampleLinear1Bit(TBitmap* Source, TBitmap* Dest, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Is(Source, pf1bit) || !Dest || CopiedWhenSameSize(Source, Dest) || !Is(Dest, pf24bit))
        return;
    TKVBitmap source, dest;
    source.EncapsulateTBitmap(Source, false);
    dest.EncapsulateTBitmap(Dest, false);
    _ResampleLinear1BitEx(&source, &dest, OnProgress, Sender);
}

void _SubResample1bitFiltered(TBitmap* Source, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TBitmap* Dest)
{
    if (!Is(Source, pf1bit) || !Is(Dest, pf24bit))
        return;
    TKVBitmap source, dest;
    source.EncapsulateTBitmap(Source, false);
    dest.EncapsulateTBitmap(Dest, false);
    _SubResample1bitFilteredEx(&source, x1, y1, x2, y2, &dest);
}

void _KVBmpStretch(TBitmap* Source, TBitmap* Dest)
{
    if ((!Is(Source, pf1bit) && !Is(Source, pf24bit)) || !Dest || Source == Dest || Dest->Width() < 1 ||
        Dest->Height() < 1)
        return;
    Dest->SetPixelFormat(Source->PixelFormat());
    TKVBitmap source, dest;
    source.EncapsulateTBitmap(Source, false);
    dest.EncapsulateTBitmap(Dest, false);
    _KVBmpStretchEx(&source, &dest);
}

} // namespace Korvaneproc
