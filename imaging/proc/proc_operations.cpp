// The processing component's operations on its working image: resampling, geometry, rotation,
// histograms and equalisation. Each follows one pattern: prepare, undo entry, working area, worker,
// repaint.
#include "imaging/proc/proc_component.h"

#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/proc/detail/component_detail.h"
#include "imaging/proc/detail/proc_detail.h"
#include "platform/core/strings.h"

#include <cmath>

using namespace Korvaneproc;
using Korvaneproc::detail::Caption;
using Korvaneproc::detail::CopyBox;

namespace {

int32_t ToSize(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, 1, INT32_MAX));
}

} // namespace

void TKorvaneProc::Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter)
{
    if (!Prepare())
        return;
    const int32_t width = FKVBitmap->GetWidth(), height = FKVBitmap->GetHeight();
    if (width < 1 || height < 1)
        return;
    if (AutoUndo)
        SaveUndoCaptioned(Caption("Resample", {NewWidth, NewHeight}), kvuImage);
    if (NewWidth < 0 && NewHeight < 0)
        return;
    // -1 follows the other side's aspect ratio, 0 keeps the side, other negatives count as positive.
    int64_t w = NewWidth == -1  ? int64_t(width) * NewHeight / height
                : NewWidth == 0 ? width
                                : std::abs(int64_t(NewWidth));
    const int32_t newWidth = ToSize(w);
    int64_t h = NewHeight == -1  ? int64_t(height) * newWidth / width
                : NewHeight == 0 ? height
                                 : std::abs(int64_t(NewHeight));
    const int32_t newHeight = ToSize(h);

    const TKVPixelFormat format = FKVBitmap->GetPixelFormat();
    TKVBitmap result;
    if (Filter != rfNone && format == kv1g) {
        result.Allocate(newWidth, newHeight, kv24RGB);
        _Resample1bitEx(FKVBitmap, &result, Filter);
    } else {
        result.Allocate(newWidth, newHeight, format);
        detail::ResampleAnyFormat(FKVBitmap, &result, Filter, OnProgress, this);
    }
    std::unique_ptr<TKVMask> alpha;
    if (FKVBitmap->GetHasAlphaChannel()) {
        alpha = std::make_unique<TKVMask>();
        FKVBitmap->GetAlphaChannel()->CopyToTKVMask(alpha.get());
    }
    FKVBitmap->AssignImage(&result);
    if (alpha) {
        TKVMask resized;
        resized.AllocateBits(newWidth, newHeight, 8);
        _ResampleAlpha(alpha.get(), &resized, Filter == rfNone ? rfFastLinear : Filter);
        FKVBitmap->GetAlphaChannel()->CopyFromTKVMask(&resized);
    }
    Update();
}

void TKorvaneProc::Flip(TFlipDir Dir)
{
    if (!Prepare())
        return;
    _FlipEx(FKVBitmap, Dir);
    Update();
}

void TKorvaneProc::ImageResize(int32_t NewWidth, int32_t NewHeight, TKVHAlign HAlign, TKVVAlign VAlign)
{
    if (!Prepare() || NewWidth <= 0 || NewHeight <= 0 || FKVBitmap->GetWidth() < 1 ||
        FKVBitmap->GetHeight() < 1)
        return;
    if (AutoUndo)
        SaveUndoCaptioned(Caption("ImageResize", {NewWidth, NewHeight}), kvuImage);
    FKVBitmap->Resize(NewWidth, NewHeight, GetReBackground(), 255, HAlign, VAlign);
    Update();
}

void TKorvaneProc::CropSel()
{
    if (!Prepare())
        return;
    if (AutoUndo)
        SaveUndoCaptioned("CropSel", kvuImage);
    int32_t x1, y1, x2, y2, polyCount;
    TPoint* poly;
    TKVMask* mask;
    if (GetReSel(x1, y1, x2, y2, poly, polyCount, mask) && mask && !mask->IsEmpty()) {
        TKVBitmap box;
        box.Allocate(mask->x2 - mask->x1 + 1, mask->y2 - mask->y1 + 1, FKVBitmap->GetPixelFormat());
        box.Fill(GetReBackground());
        mask->CopyKVBitmap(&box, FKVBitmap, true, false, true);
        FKVBitmap->Assign(&box);
        // An alpha channel without transparency is dropped.
        TKVBitmap* alpha = FKVBitmap->GetAlphaChannel();
        alpha->SyncFull();
        if (alpha->Full)
            FKVBitmap->RemoveAlphaChannel();
    }
    Update();
}

void TKorvaneProc::Rotate(double Angle, bool Antialias, TKVAntialiasMode AntialiasMode, TColor Background)
{
    if (!FKVBitmap || Angle == 0)
        return;
    Prepare();
    const TKVPixelFormat format = FKVBitmap->GetPixelFormat();
    if ((format != kv24RGB && format != kv1g && format != kv8g && format != kv8p) ||
        FKVBitmap->GetWidth() < 1 || FKVBitmap->GetHeight() < 1)
        return;
    if (AutoUndo)
        SaveUndoCaptioned("Rotate " + FloatToStr(Angle), kvuImage);
    if (Background == -1)
        Background = GetReBackground();
    std::unique_ptr<TKVBitmap> alpha;
    if (FKVBitmap->GetHasAlphaChannel()) {
        alpha = std::make_unique<TKVBitmap>();
        alpha->Assign(FKVBitmap->GetAlphaChannel());
    }
    const bool quarterTurn = std::nearbyint(Angle) == Angle && std::fmod(Angle, 90.0) == 0;
    if (Antialias && AntialiasMode != kvrFast && !quarterTurn && format == kv24RGB) {
        if (alpha)
            _KVQRotate8(alpha.get(), Angle, 0, AntialiasMode);
        _KVQRotate(FKVBitmap, Angle, Background, AntialiasMode, OnProgress, this);
    } else {
        // The alpha channel turns with the same family as the image, so both end the same size.
        if (alpha) {
            if (format == kv1g)
                _rotate8bit(alpha.get(), Angle, 0);
            else
                _RotateEx8(alpha.get(), Angle, Antialias, 0, OnProgress, this);
        }
        _RotateEx(FKVBitmap, Angle, Antialias, TColor2TRGB(Background), OnProgress, this);
    }
    if (alpha)
        FKVBitmap->GetAlphaChannel()->Assign(alpha.get());
    Update();
}

void TKorvaneProc::GetHistogram(PHistogram Hist)
{
    if (!Prepare())
        return;
    int32_t x1, y1, x2, y2, polyCount;
    TPoint* poly;
    TKVMask* mask;
    GetReSel(x1, y1, x2, y2, poly, polyCount, mask);
    _GetHistogram(FKVBitmap, Hist, x1, y1, x2, y2);
}

int32_t TKorvaneProc::CalcImageNumColors()
{
    if (!Prepare())
        return 0;
    if (FKVBitmap->GetPixelFormat() == kv1g)
        return 2;
    if (FKVBitmap->GetPixelFormat() != kv24RGB)
        return 0;
    int32_t x1, y1, x2, y2, polyCount;
    TPoint* poly;
    TKVMask* mask;
    GetReSel(x1, y1, x2, y2, poly, polyCount, mask);
    return _GetImageNumColors(FKVBitmap, x1, y1, x2, y2);
}

void TKorvaneProc::CalcDensityHistogram(std::span<int32_t> RowArray, std::span<int32_t> ColArray,
                                        int32_t RowScale, int32_t ColScale)
{
    if (!Prepare())
        return;
    int32_t x1, y1, x2, y2, polyCount;
    TPoint* poly;
    TKVMask* mask;
    GetReSel(x1, y1, x2, y2, poly, polyCount, mask);
    if (mask && !mask->IsEmpty()) {
        TKVBitmap box;
        CopyBox(FKVBitmap, mask, box);
        _CalcDensityHistogram(&box, 0, 0, box.GetWidth(), box.GetHeight(), OnProgress, this, RowArray,
                              ColArray, RowScale, ColScale);
    } else {
        _CalcDensityHistogram(FKVBitmap, x1, y1, x2, y2, OnProgress, this, RowArray, ColArray, RowScale,
                              ColScale);
    }
}

int32_t TKorvaneProc::GetDominantColor(TRGB& Color)
{
    if (!Prepare())
        return -1;
    return _GetDominantColor(FKVBitmap, Color);
}

void TKorvaneProc::HistAutoEqualize()
{
    if (!Prepare() || FKVBitmap->GetPixelFormat() != kv24RGB)
        return;
    ApplyToSelection("HistAutoEqualize",
                     [this](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                         _HistAutoEqualize(b, x1, y1, x2, y2, OnProgress, this);
                     });
}

void TKorvaneProc::HistEqualize(TRGB LoThresh, TRGB HiThresh)
{
    if (!Prepare() || FKVBitmap->GetPixelFormat() != kv24RGB)
        return;
    ApplyToSelection("HistEqualize", [&](TKVBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        _HistEqualize(b, LoThresh, HiThresh, x1, y1, x2, y2, OnProgress, this);
    });
}

std::unique_ptr<TKVBitmap> TKorvaneProc::GetRGBChannel(int32_t Channel)
{
    if (!Prepare())
        return nullptr;
    return _GetRGBChannel(FKVBitmap, Channel, OnProgress, this);
}

std::unique_ptr<TKVBitmap> TKorvaneProc::GetHSVChannel(int32_t Channel)
{
    if (!Prepare())
        return nullptr;
    return _GetHSVChannel(FKVBitmap, Channel, OnProgress, this);
}

void TKorvaneProc::GetRGBChannelAll(TKVBitmap* BitmapR, TKVBitmap* BitmapG, TKVBitmap* BitmapB)
{
    if (Prepare())
        _GetRGBChannelAll(FKVBitmap, BitmapR, BitmapG, BitmapB, OnProgress, this);
}

void TKorvaneProc::GetHSVChannelAll(TKVBitmap* BitmapH, TKVBitmap* BitmapS, TKVBitmap* BitmapV)
{
    if (Prepare())
        _GetHSVChannelAll(FKVBitmap, BitmapH, BitmapS, BitmapV, OnProgress, this);
}
