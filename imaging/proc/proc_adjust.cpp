// The processing component's convolution filters and point colour adjustments.
#include "imaging/proc/proc_component.h"

#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/proc/detail/component_detail.h"
#include "imaging/proc/detail/proc_detail.h"

#include <cstring>

using namespace Korvaneproc;
using Korvaneproc::detail::Caption;

void TKorvaneProc::ApplyFilter(const TGraphFilter& Filter)
{
    if (!Prepare24())
        return;
    ApplyToSelection("ApplyFilter", [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        TProgressRec progress;
        progress.OnProgress = OnProgress;
        progress.Sender = this;
        _ApplyFilter(b, Filter, x1, y1, x2, y2, progress);
    });
}

void TKorvaneProc::ApplyFilterPreset(TKVFilterPresets Preset)
{
    if (Preset <= LowPass2)
        ApplyFilter(KVFiltPres[Preset]);
}

void TKorvaneProc::Contrast(int32_t Contrast)
{
    if (!Prepare24() || (FKVBitmap->GetWidth() < 2 && FKVBitmap->GetHeight() < 2))
        return;
    // The pivot is the mean colour of the whole image, also when a selection is processed.
    int32_t r, g, b;
    _GetMediaContrastRGB(FKVBitmap, r, g, b);
    ApplyToSelection(Caption("Contrast", {Contrast}),
                     [&](TKVBitmap* bm, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                         _ContrastRGB(bm, Contrast, r, g, b, x1, y1, x2, y2, OnProgress, this);
                     });
}

void TKorvaneProc::HSLvar(int32_t oHue, int32_t oSat, int32_t oLum)
{
    if (!Prepare24())
        return;
    ApplyToSelection(Caption("HSLvar", {oHue, oSat, oLum}),
                     [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                         _HSLvar(b, oHue, oSat, oLum, x1, y1, x2, y2, OnProgress, this);
                     });
}

void TKorvaneProc::HSVvar(int32_t oHue, int32_t oSat, int32_t oVal)
{
    if (!Prepare24())
        return;
    ApplyToSelection(Caption("HSVvar", {oHue, oSat, oVal}),
                     [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                         _HSVvar(b, oHue, oSat, oVal, x1, y1, x2, y2, OnProgress, this);
                     });
}

void TKorvaneProc::IntensityRGBall(int32_t r, int32_t g, int32_t b)
{
    if (!Prepare24())
        return;
    ApplyToSelection(Caption("IntensityRGBall", {r, g, b}),
                     [&](TKVBitmap* bm, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                         _IntensityRGBall(bm, r, g, b, x1, y1, x2, y2, OnProgress, this);
                     });
}

void TKorvaneProc::ConvertToGray()
{
    if (!Prepare24())
        return;
    ApplyToSelection("ConvertToGray", [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        _ConvertToGray(b, x1, y1, x2, y2, OnProgress, this);
    });
}

void TKorvaneProc::Negative()
{
    if (!Prepare())
        return;
    ApplyToSelection("Negative", [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        _Negative(b, x1, y1, x2, y2, OnProgress, this);
    });
}

void TKorvaneProc::GammaCorrect(double Gamma, TKVChannels Channels)
{
    if (!Prepare())
        return;
    // The worker takes the whole bitmap (or the selection's box copy), whatever the rectangle.
    ApplyToSelection("Negative", [&](TKVBitmap* b, int32_t, int32_t, int32_t, int32_t) {
        _KVGammaCorrect(b, Gamma, Channels, OnProgress, this);
    });
}

void TKorvaneProc::Threshold(TRGB DownLimit, TRGB UpLimit, TRGB DownVal, TRGB UpVal)
{
    if (!Prepare24())
        return;
    ApplyToSelection("Threshold", [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        _Threshold(b, DownLimit, UpLimit, DownVal, UpVal, x1, y1, x2, y2, OnProgress, this);
    });
}

void TKorvaneProc::CastColorRange(TRGB BeginColor, TRGB EndColor, TRGB CastColor)
{
    if (!Prepare24())
        return;
    ApplyToSelection("CastColorRange", [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        _CastColorRange(b, BeginColor, EndColor, CastColor, x1, y1, x2, y2, OnProgress, this);
    });
}

void TKorvaneProc::SetTransparentColors(TRGB MinColor, TRGB MaxColor, int32_t Alpha)
{
    if (!Prepare())
        return;
    if (AutoUndo)
        SaveUndoCaptioned("Negative", kvuImage);
    int32_t x1, y1, x2, y2, polyCount;
    TPoint* poly;
    TKVMask* mask;
    GetReSel(x1, y1, x2, y2, poly, polyCount, mask);
    const TKVPixelFormat format = FKVBitmap->GetPixelFormat();
    if (mask && !mask->IsEmpty() && (format == kv24RGB || format == kv1g)) {
        // The worker runs on the selection's box; the mask copy carries colours, not alpha, so the
        // box starts from the image's alpha and its selected values are carried back here.
        TKVBitmap box;
        detail::CopyBox(FKVBitmap, mask, box);
        TKVBitmap* imageAlpha = FKVBitmap->GetAlphaChannel();
        TKVBitmap* boxAlpha = box.GetAlphaChannel();
        const int32_t w = box.GetWidth(), h = box.GetHeight();
        imageAlpha->CopyRectTo(boxAlpha, mask->x1, mask->y1, 0, 0, w, h);
        _SetTransparentColors(&box, 0, 0, w, h, MinColor, MaxColor, Alpha, OnProgress, this);
        std::vector<uint8_t> row(static_cast<size_t>(w));
        for (int32_t y = 0; y < h; ++y) {
            std::memcpy(row.data(), boxAlpha->GetScanLine(y), row.size());
            uint8_t* out = imageAlpha->GetScanLine(mask->y1 + y) + mask->x1;
            for (int32_t x = 0; x < w; ++x)
                if (mask->GetPixel(mask->x1 + x, mask->y1 + y) != 0)
                    out[x] = row[x];
        }
        imageAlpha->SyncFull();
    } else {
        _SetTransparentColors(FKVBitmap, x1, y1, x2, y2, MinColor, MaxColor, Alpha, OnProgress, this);
    }
    Update();
}

void TKorvaneProc::Fill(TRGB Colour)
{
    if (!Prepare())
        return;
    ApplyToSelection("Fill", [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        _Fill(b, x1, y1, x2, y2, Colour, OnProgress, this);
    });
}
