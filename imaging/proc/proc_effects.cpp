// The processing component's effects, marks, merging and comparison.
#include "imaging/proc/proc_component.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/component_detail.h"
#include "imaging/view/korvaneview.h"
#include "platform/core/rounding.h"

using namespace Korvaneproc;
using Korvaneproc::detail::Caption;

namespace {

TProgressRec ProgressOf(const TKVProgressEvent& onProgress, TObject* sender)
{
    TProgressRec progress;
    progress.OnProgress = onProgress;
    progress.Sender = sender;
    return progress;
}

} // namespace

void TKorvaneProc::BumpMapping(int32_t LightX, int32_t LightY, int32_t LightWidth, int32_t LightHeight,
                               int32_t KeepPercent, TRGB Colour)
{
    if (!Prepare24())
        return;
    ApplyToSelection("BumpMapping", [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        TProgressRec progress = ProgressOf(OnProgress, this);
        _BumpMapping(b, LightX, LightY, LightWidth, LightHeight, KeepPercent, Colour, x1, y1, x2, y2,
                     progress);
    });
}

void TKorvaneProc::Lens(int32_t x, int32_t y, int32_t width, int32_t height, double Refraction)
{
    if (!Prepare24())
        return;
    ApplyToSelection("Lens", [&](TKVBitmap* b, int32_t, int32_t, int32_t, int32_t) {
        TProgressRec progress = ProgressOf(OnProgress, this);
        _lens(b, x, y, width, height, Refraction, progress);
    });
}

void TKorvaneProc::Wave(int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective)
{
    if (!Prepare24())
        return;
    ApplyToSelection("Wave", [&](TKVBitmap* b, int32_t, int32_t, int32_t, int32_t) {
        TProgressRec progress = ProgressOf(OnProgress, this);
        _wave(b, Amplitude, WaveLength, Phase, Reflective, progress);
    });
}

void TKorvaneProc::PaintMark(int32_t Spacing, TRGB Colour)
{
    if (!Prepare())
        return;
    ApplyToSelection("RemoveIsolatedPixels",
                     [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                         _PaintMark(b, x1, y1, x2, y2, Spacing, Colour, OnProgress, this);
                     });
}

void TKorvaneProc::MergeKVBitmap(TKVBitmap* Other, int32_t Percent)
{
    if (!Prepare24() || !Other)
        return;
    ApplyToSelection(Caption("Merge", {Percent}),
                     [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                         _Merge(b, Other, Percent, x1, y1, x2, y2, OnProgress, this);
                     });
}

void TKorvaneProc::Merge(TBitmap* Other, int32_t Percent)
{
    if (!Other)
        return;
    TKVBitmap wrapped;
    wrapped.EncapsulateTBitmap(Other, false);
    MergeKVBitmap(&wrapped, Percent);
}

void TKorvaneProc::PaintPenMarker(int32_t x, int32_t y, int32_t Width, TColor Color, TColor ReferenceColor,
                                  int32_t Tolerance)
{
    if (!Prepare24())
        return;
    _PenMarker(FKVBitmap, x, y, Width, TColor2TRGB(Color), TColor2TRGB(ReferenceColor), Tolerance);
    // On an image view only the marked spot is drawn again, as the pen moves.
    if (auto* view = dynamic_cast<TKorvaneView*>(FView)) {
        const int32_t half = Round((Width / 2 + 1) * static_cast<long double>(view->Zoom()) / 100);
        const int32_t cx = view->XBmp2Scr(x), cy = view->YBmp2Scr(y);
        view->UpdateRect(TRect{cx - half, cy - half, cx + half, cy + half});
        return;
    }
    Update();
}

bool TKorvaneProc::ComputeImageEquality(TKVBitmap* Other, double& psnrMin, double& psnrMax, double& mseMin,
                                        double& mseMax, double& rmseMin, double& rmseMax, double& peakMin,
                                        double& peakMax, double& meanMin, double& meanMax)
{
    if (!Prepare24() || !Other || Other->GetPixelFormat() != kv24RGB ||
        Other->GetWidth() != FKVBitmap->GetWidth() || Other->GetHeight() != FKVBitmap->GetHeight())
        return false;
    bool equal = true;
    _KVComputeDiff(FKVBitmap, Other, psnrMin, psnrMax, mseMin, mseMax, rmseMin, rmseMax, peakMin, peakMax,
                   meanMin, meanMax, equal);
    return equal;
}
