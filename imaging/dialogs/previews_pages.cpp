// The processing preview dialog's pages at work: activation, the pages' defaults, the preview
// source taken from what the source view shows, the effects, "<<" and OK.
#include "imaging/dialogs/previews.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/flag_scope.h"
#include "imaging/proc/kvfft.h"
#include "imaging/view/histogram_box.h"
#include "imaging/view/korvaneview.h"
#include "imaging/view/ruler_box.h"
#include "platform/core/strings.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/page_control.h"
#include "platform/forms/radio_buttons.h"
#include "platform/forms/std_controls.h"
#include "platform/forms/up_down.h"
#include "platform/graphics/bitmap.h"

#include <algorithm>
#include <array>
#include <cstddef>

using namespace Previews;

namespace {

// Shows each value in its edit and on the edit's up-down.
template <size_t N>
void ShowNumbers(const std::array<TEdit*, N>& Edits, const std::array<TUpDown*, N>& UpDowns,
                 const int32_t (&Values)[N])
{
    for (size_t i = 0; i < N; ++i) {
        Edits[i]->SetText(IntToStr(Values[i]));
        UpDowns[i]->SetPosition(Values[i]);
    }
}

} // namespace

TPreviewPage TfPreviews::ActivePageTag() const
{
    TTabSheet* page = PageControl1->ActivePage();
    return page ? static_cast<TPreviewPage>(page->Tag()) : ppNone;
}

TTabSheet* TfPreviews::Sheet(TPreviewPage Page) const
{
    return Page > ppNone && Page <= kPageCount ? FSheets[Page] : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Activation and page change

void TfPreviews::FormActivate()
{
    FFinalApply = false;
    FControlsLive = true;
    ResetParameters(true);
    {
        TQuiet quiet(FControlsLive);
        chkLockPreview->SetChecked(DefaultLockPreview);
    }
    Button3->SetEnabled(!DefaultLockPreview);
    HistogramBox1->SetAKVP(Korvane2->GetKorvaneProc());
    for (TPreviewPage page : kPageOrder)
        FSheets[page]->SetTabVisible(PageVisible(Effects, page));
    TPreviewPage first =
        PresetPage != ppNone && PageVisible(Effects, PresetPage) ? PresetPage : FirstVisiblePage(Effects);
    PageControl1->SetActivePage(first != ppNone ? FSheets[first] : nullptr);
    // No pending messages are handled here: the form is still being shown, and a modal result
    // set meanwhile would be lost.
    Korvane1->Fit();
    PageControl1Change();
}

void TfPreviews::PageControl1Change()
{
    ResetParameters(false);
    UpdatePreviewZoom();
    CopyOrg();
}

// ---------------------------------------------------------------------------------------------
// Defaults

void TfPreviews::ResetParameters(bool Force)
{
    if (Force)
        FInitialised.fill(false);
    const TPreviewPage page = ActivePageTag();
    if (page == ppNone || FInitialised[page])
        return;
    FValues.Reset(page, Korvane1->GetKVBitmap());
    WriteControls(page);
    FInitialised[page] = true;
}

void TfPreviews::WriteControls(TPreviewPage Page)
{
    TQuiet quiet(FControlsLive);
    for (const TSliderBinding& binding : FSliders)
        if (binding.Page == Page) {
            binding.Bar->SetPosition(FValues.*binding.Value);
            binding.Edit->SetText(IntToStr(FValues.*binding.Value));
        }
    switch (Page) {
    case ppHSV:
        HSVBox1->SetRGB(128, 128, 128);
        HSVBox3->SetRGB(128, 128, 128);
        break;
    case ppUserFilter:
        ListBox1->SetItemIndex(FValues.FilterPreset);
        LoadFilt();
        break;
    case ppEqualize:
        for (TRulerBox* ruler : {RulerBox1, RulerBox2}) {
            ruler->SetGripsPos(0, 0);
            ruler->SetGripsPos(1, 255);
            ruler->SetGripsCol(0, 0x808080);
            ruler->SetGripsCol(1, 0x808080);
        }
        RulerBox1->SetGripsKind(0, gkArrow2);
        RulerBox1->SetGripsKind(1, gkArrow2);
        lblThreshold->SetCaption("");
        lblEqualize->SetCaption("");
        chkEqRed->SetChecked(FValues.EqualizeChannels & EqualizeChannel(ecRed));
        chkEqGreen->SetChecked(FValues.EqualizeChannels & EqualizeChannel(ecGreen));
        chkEqBlue->SetChecked(FValues.EqualizeChannels & EqualizeChannel(ecBlue));
        chkEqGray->SetChecked(FValues.EqualizeChannels & EqualizeChannel(ecGray));
        HistogramBox1->SetHistogramKind(uint8_t(1u << hkGray));
        SpeedButton3->SetDown(FValues.AutoEqualize);
        break;
    case ppBumpMap: {
        const int32_t values[4] = {FValues.LightX, FValues.LightY, FValues.LightWidth, FValues.LightHeight};
        ShowNumbers(LightEdits, LightUpDowns, values);
        HSVBox2->SetRGB(FValues.LightColor.r, FValues.LightColor.g, FValues.LightColor.b);
        Edit26->SetText(IntToStr(FValues.SourceQuantity));
        break;
    }
    case ppLens: {
        const int32_t values[4] = {FValues.LensX, FValues.LensY, FValues.LensWidth, FValues.LensHeight};
        ShowNumbers(LensEdits, LensUpDowns, values);
        Edit31->SetText(RefractionText(FValues.Refraction));
        break;
    }
    case ppWave: {
        const int32_t values[3] = {FValues.Amplitude, FValues.WaveLength, FValues.Phase};
        ShowNumbers(WaveEdits, WaveUpDowns, values);
        chkReflective->SetChecked(FValues.Reflective);
        break;
    }
    case ppMorph:
        rgMorphFilter->SetItemIndex(FValues.MorphFilter);
        Edit35->SetText(IntToStr(FValues.MorphWindow));
        udMorphWindow->SetPosition(FValues.MorphWindow);
        break;
    case ppRotate:
        TrackBarRotate->SetPosition(AngleToTrackBar(FValues.Angle));
        EditRotate->SetText(AngleText(FValues.Angle));
        SpeedButton1->SetDown(FValues.FlipHorizontal);
        SpeedButton2->SetDown(FValues.FlipVertical);
        FFlipPending = false;
        break;
    case ppFFT:
        CheckBox1->SetChecked(FValues.FFTGrayScale);
        break;
    case ppGamma:
        trkGamma->SetPosition(FValues.GammaPosition);
        edtGamma->SetText(GammaText(FValues.GammaPosition));
        chkGammaRed->SetChecked(FValues.GammaChannels & KVChannel(kvcRed));
        chkGammaGreen->SetChecked(FValues.GammaChannels & KVChannel(kvcGreen));
        chkGammaBlue->SetChecked(FValues.GammaChannels & KVChannel(kvcBlue));
        DrawGammaGraph(FValues.GammaPosition / 10.0);
        break;
    case ppSharpen:
        Edit37->SetText(IntToStr(FValues.SharpenWindow));
        udSharpenWindow->SetPosition(FValues.SharpenWindow);
        break;
    default:
        break;
    }
}

void TfPreviews::LoadFilt()
{
    TQuiet quiet(FControlsLive);
    ShowNumbers(FilterEdits, FilterUpDowns, FValues.Filter.Values);
    Edit20->SetText(IntToStr(FValues.Filter.Divisor));
}

void TfPreviews::DrawGammaGraph(double Gamma)
{
    const int32_t w = KorvaneView2->GetClientWidth(), h = KorvaneView2->GetClientHeight();
    TKVBitmap* graph = KorvaneView2->GetKVBitmap();
    graph->Allocate(std::max(w, 1), std::max(h, 1), kv24RGB);
    DrawGammaCurve(graph->GetVclBitmap(), std::max(w, 1), std::max(h, 1), Gamma);
    KorvaneView2->Update();
}

// ---------------------------------------------------------------------------------------------
// Preview source and zoom

void TfPreviews::UpdatePreviewZoom()
{
    const TKVMouseInteract interact = Korvane1->MouseInteract();
    if (PageFitsSource(ActivePageTag())) {
        Korvane1->SetMouseInteract(interact & ~miZoom);
        Korvane1->Fit();
    } else {
        Korvane1->SetMouseInteract(interact | miZoom);
    }
}

void TfPreviews::CopyOrg()
{
    // Fitting the source view on the pages that need it reports a view change, which lands here.
    if (FInCopyOrg)
        return;
    TFlagScope busy(FInCopyOrg, true);
    Korvane1->CalcPaintCoef();
    const TKVViewGeometry& g = Korvane1->Geometry();
    TKVBitmap* result = Korvane2->GetKVBitmap();
    const int32_t w = std::max(g.VisibleWidth, 1), h = std::max(g.VisibleHeight, 1);
    result->Allocate(w, h, kv24RGB);
    result->Fill(double(ColorToRGB(Korvane2->Background())));
    Korvane1->DrawTo(result->GetCanvas());
    TKorvaneProc* resultProc = Korvane2->GetKorvaneProc();
    resultProc->SaveUndo(kvuImage);
    if (ActivePageTag() == ppFFT)
        BuildPreviewFrequencyImage();
    applyAct(Korvane2);
    Korvane2->Update();
    if (ActivePageTag() == ppEqualize)
        HistogramBox1->Update();
}

void TfPreviews::BuildPreviewFrequencyImage()
{
    TKVBitmap* source = Korvane1->GetKVBitmap();
    int32_t tw = 0, th = 0;
    // An empty source has nothing to transform.
    if (!FTThumbnailSize(source->GetWidth(), source->GetHeight(), tw, th))
        return;
    if (!FFtImage) {
        FFtImage = std::make_unique<TKVFtImage>();
        FFtImage->OnProgress = KorvaneProc2->OnProgress;
    }
    TKVBitmap thumbnail;
    thumbnail.Allocate(tw, th, kv24RGB);
    Korvaneproc::_ResampleEx(source, &thumbnail, rfBilinear);
    FFtImage->BuildFT(&thumbnail, FValues.FFTGrayScale ? kvitGrayscale : kvitRGB);
    TKorvaneProc* spectrum = KorvaneView1->GetKorvaneProc();
    spectrum->AutoUndo = false;
    if (FFtImage->ImageType() != kvitUnknown) {
        if (KorvaneView1->GetKVBitmap()->GetWidth() != FFtImage->FFTSize())
            KorvaneView1->DeSelect();
        spectrum->FTDisplayFrom(FFtImage.get());
        KorvaneView1->Fit();
    }
    ProgressBar1->SetPosition(0);
}

// ---------------------------------------------------------------------------------------------
// Effects

void TfPreviews::applyAct(TKorvaneView* Target)
{
    const TPreviewPage page = ActivePageTag();
    if (page == ppFFT) {
        ApplyFrequency(Target);
    } else {
        // The source itself takes the values as they are, at any zoom: only the preview of the
        // visible part maps them into it.
        TPreviewPlacement placement;
        placement.OnSource = Target == Korvane1;
        placement.Zoom = Korvane1->Zoom();
        placement.ViewX = Korvane1->ViewX();
        placement.ViewY = Korvane1->ViewY();
        TKorvaneProc* proc = Target->GetKorvaneProc();
        const TKVProgressEvent progress = FFinalApply ? ProgressEvent : TKVProgressEvent{};
        const TKVProgressEvent saved = proc->OnProgress;
        proc->OnProgress = progress;
        ApplyPageEffect(page, FValues, Target->GetKVBitmap(), proc, placement, progress, this);
        proc->OnProgress = saved;
        if (page == ppRotate)
            FFlipPending = false;
    }
    UpdatePreviewZoom();
}

void TfPreviews::ApplyFrequency(TKorvaneView* Target)
{
    TKVBitmap* source = Korvane1->GetKVBitmap();
    if (!FFtImage || FFtImage->ImageType() == kvitUnknown || source->GetWidth() < 1 ||
        source->GetHeight() < 1)
        return;
    const bool zone = KorvaneView1->Selected() && !KorvaneView1->SelectionMask()->IsEmpty();
    int32_t x1 = zone ? KorvaneView1->SelX1() : 0, y1 = zone ? KorvaneView1->SelY1() : 0;
    int32_t x2 = zone ? KorvaneView1->SelX2() : 0, y2 = zone ? KorvaneView1->SelY2() : 0;
    if (Target == Korvane1) {
        TKorvaneProc* proc = Korvane1->GetKorvaneProc();
        proc->OnProgress = FFinalApply ? ProgressEvent : TKVProgressEvent{};
        std::unique_ptr<TKVFtImage> full = proc->FTCreateImage(FFtImage->ImageType(), -1, -1);
        proc->OnProgress = nullptr;
        if (!full)
            return;
        if (zone) {
            ScaleZone(x1, y1, x2, y2, FFtImage->FFTSize(), full->FFTSize());
            full->ClearZone(x1, y1, x2, y2);
        }
        proc->FTConvertFrom(full.get());
        FFtImage = std::move(full);
    } else {
        TKVFtImage copy;
        copy.Assign(FFtImage.get());
        if (zone)
            copy.ClearZone(x1, y1, x2, y2);
        Target->GetKorvaneProc()->FTConvertFrom(&copy);
    }
    ProgressBar1->SetPosition(0);
}

void TfPreviews::PreviewNow()
{
    Korvane2->GetKorvaneProc()->Undo();
    applyAct(Korvane2);
    Korvane2->Update();
    if (ActivePageTag() == ppEqualize)
        HistogramBox1->Update();
}

void TfPreviews::UpdatePreview()
{
    if (chkLockPreview->Checked())
        PreviewNow();
}

void TfPreviews::CopyModToOrg()
{
    applyAct(Korvane1);
    Korvane1->Update();
    Korvane2->Update();
    CopyOrg();
    ResetParameters(true);
    CopyOrg();
}

void TfPreviews::Button1Click()
{
    TFlagScope finalApply(FFinalApply, true);
    applyAct(Korvane1);
    Korvane1->Update();
}
