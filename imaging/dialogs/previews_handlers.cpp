// The processing preview dialog's control handlers: each stores what its controls hold into the
// working values and previews when the preview is locked. None reacts while the dialog writes
// its own controls.
#include "imaging/dialogs/previews.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/core/pixel_helpers.h"
#include "imaging/dialogs/flag_scope.h"
#include "imaging/view/histogram_box.h"
#include "imaging/view/korvaneview.h"
#include "imaging/view/ruler_box.h"
#include "platform/core/exceptions.h"
#include "platform/core/rounding.h"
#include "platform/core/strings.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/radio_buttons.h"
#include "platform/forms/std_controls.h"
#include "platform/forms/up_down.h"

#include <algorithm>

using namespace Previews;

void TfPreviews::WriteEdit(TEdit* Edit, const std::string& Text)
{
    TQuiet quiet(FControlsLive);
    if (Edit->Text() != Text)
        Edit->SetText(Text);
}

// ---------------------------------------------------------------------------------------------
// Track bars and their edits

void TfPreviews::SlidersChanged(TPreviewPage Page, TEdit* Typing)
{
    if (!FControlsLive)
        return;
    bool changed = false;
    if (Page == ppRotate) {
        const double angle = TrackBarRotate->Position() / 100.0;
        changed = angle != FValues.Angle;
        FValues.Angle = angle;
        if (changed && Typing != EditRotate)
            WriteEdit(EditRotate, AngleText(angle));
    } else {
        for (const TSliderBinding& binding : FSliders) {
            if (binding.Page != Page || binding.Bar->Position() == FValues.*binding.Value)
                continue;
            changed = true;
            FValues.*binding.Value = binding.Bar->Position();
            if (binding.Edit != Typing)
                WriteEdit(binding.Edit, IntToStr(binding.Bar->Position()));
        }
    }
    if (changed)
        UpdatePreview();
}

void TfPreviews::SliderEditChanged(TPreviewPage Page, TEdit* Edit)
{
    if (!FControlsLive)
        return;
    bool moved = false;
    {
        TQuiet quiet(FControlsLive);
        for (const TSliderBinding& binding : FSliders) {
            if (binding.Page != Page)
                continue;
            const int32_t value = EditInteger(binding.Edit->Text(), binding.EditDefault);
            if (value != binding.Bar->Position()) {
                binding.Bar->SetPosition(value);
                moved = true;
            }
        }
    }
    if (moved)
        SlidersChanged(Page, Edit);
}

void TfPreviews::RotateEditChanged()
{
    if (!FControlsLive)
        return;
    const int32_t position = AngleToTrackBar(AngleFromEdit(EditRotate->Text()));
    if (position == TrackBarRotate->Position())
        return;
    {
        TQuiet quiet(FControlsLive);
        TrackBarRotate->SetPosition(position);
    }
    SlidersChanged(ppRotate, EditRotate);
}

void TfPreviews::FlipClick()
{
    if (!FControlsLive)
        return;
    FValues.FlipHorizontal = SpeedButton1->Down();
    FValues.FlipVertical = SpeedButton2->Down();
    FFlipPending = true;
    UpdatePreview();
}

// ---------------------------------------------------------------------------------------------
// HSV boxes

void TfPreviews::HsvBoxChanged()
{
    if (!FControlsLive)
        return;
    {
        TQuiet quiet(FControlsLive);
        TrackBar9->SetPosition(HSVBox3->Hue() - HSVBox1->Hue());
        TrackBar10->SetPosition(HSVBox3->Sat() - HSVBox1->Sat());
        TrackBar11->SetPosition(HSVBox3->Val() - HSVBox1->Val());
    }
    SlidersChanged(ppHSV, nullptr);
}

// ---------------------------------------------------------------------------------------------
// User filter

void TfPreviews::FilterEditChanged(TEdit* Edit)
{
    if (!FControlsLive)
        return;
    if (Edit == Edit20) {
        FValues.Filter.Divisor = EditInteger(Edit->Text(), 1);
    } else {
        const auto tag = static_cast<int32_t>(Edit->Tag());
        if (tag < 0 || tag > 8)
            return;
        FValues.Filter.Values[(tag / 3) * 3 + tag % 3] = EditInteger(Edit->Text(), 0);
    }
    UpdatePreview();
}

void TfPreviews::FilterPresetChosen()
{
    if (!FControlsLive)
        return;
    const int32_t index = ListBox1->ItemIndex();
    if (index < 0 || index >= int32_t(std::size(Korvaneproc::KVFiltPres)))
        return;
    FValues.FilterPreset = index;
    FValues.Filter = Korvaneproc::KVFiltPres[index];
    LoadFilt();
    UpdatePreview();
}

void TfPreviews::LoadFilterClick()
{
    if (!OpenDialog1->Execute())
        return;
    try {
        Korvaneproc::LoadFilterFromFile(OpenDialog1->FileName, FValues.Filter);
    } catch (const Exception&) {
        // A file that cannot be opened leaves the filter as it was.
        return;
    }
    LoadFilt();
    UpdatePreview();
}

void TfPreviews::SaveFilterClick()
{
    if (!SaveDialog1->Execute())
        return;
    try {
        Korvaneproc::SaveFilterToFile(SaveDialog1->FileName, FValues.Filter);
    } catch (const Exception&) {
        // Nothing was written; the filter stays in the dialog.
    }
}

// ---------------------------------------------------------------------------------------------
// Equalization

void TfPreviews::RulerPosChange(TRulerBox* Ruler, int32_t Grip)
{
    if (!FControlsLive || (Grip != 0 && Grip != 1))
        return;
    int32_t lo = Round(Ruler->GetGripsPos(0)), hi = Round(Ruler->GetGripsPos(1));
    // The grip just moved decides; the other follows it so the two never cross.
    const int32_t moved = Grip == 0 ? lo : hi;
    MoveRangeGrip(lo, hi, Grip, moved);
    {
        TQuiet quiet(FControlsLive);
        Ruler->SetGripsPos(0, lo);
        Ruler->SetGripsPos(1, hi);
    }
    (Ruler == RulerBox1 ? lblThreshold : lblEqualize)->SetCaption(IntToStr(moved));
    TEqualizeChannels channels = 0;
    if (chkEqRed->Checked())
        channels |= EqualizeChannel(ecRed);
    if (chkEqGreen->Checked())
        channels |= EqualizeChannel(ecGreen);
    if (chkEqBlue->Checked())
        channels |= EqualizeChannel(ecBlue);
    if (chkEqGray->Checked())
        channels |= EqualizeChannel(ecGray);
    if (Ruler == RulerBox1)
        StoreChannelRange(FValues.ThresholdLo, FValues.ThresholdHi, channels, lo, hi);
    else
        StoreChannelRange(FValues.EqualizeLo, FValues.EqualizeHi, channels, lo, hi);
    UpdatePreview();
}

void TfPreviews::EqualizeChannelClick()
{
    if (!FControlsLive)
        return;
    TEqualizeChannels channels = 0;
    THistogramKind kind = 0;
    const std::pair<TCheckBox*, TEqualizeChannel> boxes[] = {
        {chkEqRed, ecRed}, {chkEqGreen, ecGreen}, {chkEqBlue, ecBlue}, {chkEqGray, ecGray}};
    for (const auto& [box, channel] : boxes)
        if (box->Checked()) {
            channels |= EqualizeChannel(channel);
            kind |= static_cast<THistogramKind>(1u << channel);
        }
    FValues.EqualizeChannels = channels;
    HistogramBox1->SetHistogramKind(kind);
    AlignRulers();
    HistogramBox1->Update();
}

// ---------------------------------------------------------------------------------------------
// Bump map, lens, wave, morph filters, gamma and sharpen

void TfPreviews::PlacementEditChanged()
{
    if (!FControlsLive)
        return;
    const TPreviewPage page = ActivePageTag();
    if (page == ppBumpMap) {
        FValues.LightX = EditInteger(LightEdits[0]->Text(), 0);
        FValues.LightY = EditInteger(LightEdits[1]->Text(), 0);
        FValues.LightWidth = EditInteger(LightEdits[2]->Text(), 0);
        FValues.LightHeight = EditInteger(LightEdits[3]->Text(), 0);
        FValues.SourceQuantity = EditInteger(Edit26->Text(), 0);
    } else if (page == ppLens) {
        FValues.LensX = EditInteger(LensEdits[0]->Text(), 0);
        FValues.LensY = EditInteger(LensEdits[1]->Text(), 0);
        FValues.LensWidth = EditInteger(LensEdits[2]->Text(), 0);
        FValues.LensHeight = EditInteger(LensEdits[3]->Text(), 0);
        FValues.Refraction = RefractionFromEdit(Edit31->Text());
    } else {
        return;
    }
    UpdatePreview();
}

void TfPreviews::WaveEditChanged()
{
    if (!FControlsLive)
        return;
    FValues.Amplitude = EditInteger(WaveEdits[0]->Text(), 0);
    FValues.WaveLength = EditInteger(WaveEdits[1]->Text(), 0);
    FValues.Phase = EditInteger(WaveEdits[2]->Text(), 0);
    FValues.Reflective = chkReflective->Checked();
    UpdatePreview();
}

void TfPreviews::MorphChanged()
{
    if (!FControlsLive)
        return;
    FValues.MorphFilter = std::max(rgMorphFilter->ItemIndex(), 0);
    FValues.MorphWindow = EditInteger(Edit35->Text(), 1);
    UpdatePreview();
}

void TfPreviews::GammaChanged()
{
    if (!FControlsLive)
        return;
    FValues.GammaPosition = trkGamma->Position();
    TKVChannels channels = 0;
    if (chkGammaRed->Checked())
        channels |= KVChannel(kvcRed);
    if (chkGammaGreen->Checked())
        channels |= KVChannel(kvcGreen);
    if (chkGammaBlue->Checked())
        channels |= KVChannel(kvcBlue);
    FValues.GammaChannels = channels;
    WriteEdit(edtGamma, GammaText(FValues.GammaPosition));
    DrawGammaGraph(FValues.GammaPosition / 10.0);
    UpdatePreview();
}

void TfPreviews::GammaEditChanged()
{
    if (!FControlsLive)
        return;
    const long double gamma = StrToFloatDef(Trim(edtGamma->Text()), 1.0L);
    const int32_t position = std::clamp(Round(gamma * 10), trkGamma->Min(), trkGamma->Max());
    if (position == trkGamma->Position())
        return;
    {
        TQuiet quiet(FControlsLive);
        trkGamma->SetPosition(position);
    }
    FValues.GammaPosition = position;
    DrawGammaGraph(position / 10.0);
    UpdatePreview();
}

void TfPreviews::SharpenWindowChanged()
{
    if (!FControlsLive)
        return;
    FValues.SharpenWindow = EditInteger(Edit37->Text(), 2);
    UpdatePreview();
}

// ---------------------------------------------------------------------------------------------
// Result view clicks, lock preview

void TfPreviews::Korvane2MouseUp(TMouseButton Button, int32_t X, int32_t Y)
{
    const TPreviewPage page = ActivePageTag();
    TKVBitmap* result = Korvane2->GetKVBitmap();
    const int32_t px = Korvane2->XScr2Bmp(X), py = Korvane2->YScr2Bmp(Y);
    if (px < 0 || py < 0 || px >= result->GetWidth() || py >= result->GetHeight())
        return;
    if (page == ppHSV && Button == mbLeft) {
        const TRGB colour = result->GetPixels_kv24RGB(px, py);
        {
            TQuiet quiet(FControlsLive);
            HSVBox1->SetRGB(colour.r, colour.g, colour.b);
        }
        HsvBoxChanged();
        return;
    }
    if (page != ppBumpMap && page != ppLens)
        return;
    // Back from the preview's pixels to the source's: the inverse of the preview's placement.
    const double zoom = Korvane1->Zoom();
    const int32_t sx = Trunc((static_cast<long double>(px) + Korvane1->ViewX()) * 100 / zoom);
    const int32_t sy = Trunc((static_cast<long double>(py) + Korvane1->ViewY()) * 100 / zoom);
    if (page == ppBumpMap) {
        FValues.LightX = sx;
        FValues.LightY = sy;
        WriteEdit(LightEdits[0], IntToStr(sx));
        WriteEdit(LightEdits[1], IntToStr(sy));
    } else {
        FValues.LensX = sx;
        FValues.LensY = sy;
        WriteEdit(LensEdits[0], IntToStr(sx));
        WriteEdit(LensEdits[1], IntToStr(sy));
    }
    UpdatePreview();
}

void TfPreviews::LockPreviewClick()
{
    if (!FControlsLive)
        return;
    const bool locked = chkLockPreview->Checked();
    Button3->SetEnabled(!locked);
    if (locked)
        PreviewNow();
}

void TfPreviews::AlignRulers()
{
    // The histogram spreads the 256 levels over its width; the rulers' grips point at the same
    // levels.
    for (TRulerBox* ruler : {RulerBox1, RulerBox2}) {
        ruler->SetLeft(HistogramBox1->Left());
        ruler->SetWidth(HistogramBox1->Width());
        ruler->SetDPU(HistogramBox1->Width() / 256.0);
        ruler->SetViewPos(0);
    }
}
