// The processing component's window filters: blur, soft shadow, sharpen, morphology, median,
// Wallis, and the noise removal of 1-bit images.
#include "imaging/proc/proc_component.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/component_detail.h"
#include "platform/core/strings.h"

using namespace Korvaneproc;
using Korvaneproc::detail::Caption;

void TKorvaneProc::Blur(double Radius)
{
    if (!Prepare() || (FKVBitmap->GetPixelFormat() != kv24RGB && FKVBitmap->GetPixelFormat() != kv8g))
        return;
    ApplyToSelection("Blur " + FloatToStr(Radius), [&](TKVBitmap* b, int32_t, int32_t, int32_t, int32_t) {
        _KVGBlur(b, Radius, OnProgress, this);
    });
}

void TKorvaneProc::AddSoftShadow(double Radius, int32_t OffsetX, int32_t OffsetY, bool AdaptSize,
                                 TColor ShadowColor)
{
    if (!Prepare())
        return;
    if (AutoUndo)
        SaveUndoCaptioned("AddSoftShadow", kvuImage);
    _KVAddSoftShadow(FKVBitmap, Radius, OffsetX, OffsetY, AdaptSize, TColor2TRGB(ShadowColor), OnProgress,
                     this);
    Update();
}

void TKorvaneProc::Sharpen(int32_t Intensity, int32_t Neighbourhood)
{
    if (!Prepare24())
        return;
    ApplyToSelection("Sharpen", [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        _Sharpen(b, x1, y1, x2, y2, Intensity, Neighbourhood, OnProgress, this);
    });
}

void TKorvaneProc::Morph(const char* Name, int32_t WindowSize, int32_t Operation)
{
    if (!Prepare())
        return;
    ApplyToSelection(Caption(Name, {WindowSize}),
                     [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                         _MorphFilter(b, WindowSize, Operation, x1, y1, x2, y2, OnProgress, this);
                     });
}

void TKorvaneProc::Maximum(int32_t WindowSize)
{
    Morph("Maximum", WindowSize, 0);
}

void TKorvaneProc::Minimum(int32_t WindowSize)
{
    Morph("Minimum", WindowSize, 1);
}

void TKorvaneProc::Opening(int32_t WindowSize)
{
    Morph("Opening", WindowSize, 2);
}

void TKorvaneProc::Closing(int32_t WindowSize)
{
    Morph("Closing", WindowSize, 3);
}

void TKorvaneProc::MedianFilter(int32_t p1, int32_t p2, int32_t p3, int32_t p4, int32_t p5, int32_t p6,
                                TKVMedFilType Type)
{
    if (!Prepare())
        return;
    ApplyToSelection("MedianFilter", [&](TKVBitmap* b, int32_t, int32_t, int32_t, int32_t) {
        _KVMedianFilter(b, p1, p2, p3, p4, p5, p6, Type, OnProgress, this);
    });
}

void TKorvaneProc::WallisFilter(int32_t p1, int32_t p2, int32_t p3, int32_t p4, int32_t p5, int32_t p6,
                                int32_t p7, bool Binary)
{
    if (!Prepare())
        return;
    // The caption is the median filter's.
    ApplyToSelection("MedianFilter", [&](TKVBitmap* b, int32_t, int32_t, int32_t, int32_t) {
        _KVWallisFilter(b, p1, p2, p3, p4, p5, p6, p7, Binary, OnProgress, this);
    });
}

void TKorvaneProc::RemoveIsolatedPixels(int32_t Colour, int32_t MaxCount)
{
    if (!Prepare() || MaxCount == 0)
        return;
    ApplyToSelection("RemoveIsolatedPixels",
                     [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                         _KVRemoveIsolatedPixels1Bit(b, x1, y1, x2, y2, Colour, MaxCount);
                     });
}

void TKorvaneProc::RemoveNoise(int32_t Iterations, bool Inverse)
{
    if (!Prepare() || Iterations == 0)
        return;
    ApplyToSelection("RemoveNoise", [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        if (b != FKVBitmap || (x1 == 0 && y1 == 0 && x2 >= b->GetWidth() && y2 >= b->GetHeight())) {
            _kf_kfill(b, true, true, Iterations, 3, Inverse);
            return;
        }
        // A selected rectangle: the filter sees only its pixels.
        TKVBitmap part;
        part.Allocate(x2 - x1, y2 - y1, b->GetPixelFormat());
        b->CopyRectTo(&part, x1, y1, 0, 0, x2 - x1, y2 - y1);
        _kf_kfill(&part, true, true, Iterations, 3, Inverse);
        part.CopyRectTo(b, 0, 0, x1, y1, x2 - x1, y2 - y1);
    });
}
