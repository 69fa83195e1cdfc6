// Previews: TfPreviews, the processing preview dialog: fourteen effect pages, a source view
// holding the area to process and a result view showing the active page's effect on the part of
// the source that is visible; OK applies the effect to the whole source area.
#pragma once

#include "imaging/core/message_table.h"
#include "imaging/dialogs/fitted_form.h"
#include "imaging/dialogs/previews_effects.h"
#include "imaging/proc/proc_component.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class TButton;
class TCheckBox;
class TEdit;
class TGroupBox;
class THSVBox;
class THistogramBox;
class TKVFtImage;
class TKorvaneView;
class TLabel;
class TListBox;
class TOpenDialog;
class TPageControl;
class TProgressBar;
class TRadioGroup;
class TRulerBox;
class TSaveDialog;
class TSpeedButton;
class TTabSheet;
class TTrackBar;
class TUpDown;

class TfPreviews : public TKVFittedForm
{
public:
    explicit TfPreviews(TComponent* AOwner);
    ~TfPreviews() override;

    // ---- Prepared by the caller before ShowModal ----
    void SetLanguage(TMsgLanguage Language);
    bool DefaultLockPreview = false;
    TPreviewEffects Effects = PreviewEffect(peAll);
    // The page to open first (its tag); ppNone opens the first visible page.
    Previews::TPreviewPage PresetPage = Previews::ppNone;
    TKVProgressEvent ProgressEvent;
    TKorvaneProc* Processing = nullptr;

    // ---- Operations ----
    // Gives the active page its defaults unless it has them already (Force clears every page's
    // initialised flag first).
    void ResetParameters(bool Force);
    // Runs the active page's effect on the whole bitmap of the target view.
    void applyAct(TKorvaneView* Target);
    // The result view takes what the source view shows, as the preview source, and previews.
    void CopyOrg();
    // "<<": the effect goes into the source, and the pages start again from their defaults.
    void CopyModToOrg();
    void UpdatePreviewZoom();
    // Previews when the preview is locked.
    void UpdatePreview();
    // Shows the working filter in the value and divisor edits.
    void LoadFilt();
    void DrawGammaGraph(double Gamma);

    // The working values, as the pages hold them now.
    const Previews::TPreviewsValues& Values() const { return FValues; }
    Previews::TPreviewPage ActivePageTag() const;
    TTabSheet* Sheet(Previews::TPreviewPage Page) const;
    // The frequency image of the preview (nullptr before the FFT page was shown).
    TKVFtImage* FrequencyImage() const { return FFtImage.get(); }

    // ---- Controls ----
    TKorvaneView* Korvane1 = nullptr;
    TKorvaneView* Korvane2 = nullptr;
    TLabel* Label1 = nullptr;
    TLabel* Label2 = nullptr;
    TPageControl* PageControl1 = nullptr;
    TButton* Button1 = nullptr;
    TButton* Button2 = nullptr;
    TButton* Button3 = nullptr;
    TButton* Button6 = nullptr;
    TCheckBox* chkLockPreview = nullptr;
    TOpenDialog* OpenDialog1 = nullptr;
    TSaveDialog* SaveDialog1 = nullptr;
    TKorvaneProc* KorvaneProc2 = nullptr;

    // Contrast
    TTrackBar* TrackBar1 = nullptr;
    TEdit* Edit1 = nullptr;
    TTrackBar* TrackBar12 = nullptr;
    TEdit* Edit21 = nullptr;
    // HSV
    TTrackBar* TrackBar9 = nullptr;
    TEdit* Edit19 = nullptr;
    TTrackBar* TrackBar10 = nullptr;
    TEdit* Edit18 = nullptr;
    TTrackBar* TrackBar11 = nullptr;
    TEdit* Edit17 = nullptr;
    THSVBox* HSVBox1 = nullptr;
    THSVBox* HSVBox3 = nullptr;
    // HSL
    TTrackBar* TrackBar2 = nullptr;
    TEdit* Edit4 = nullptr;
    TTrackBar* TrackBar3 = nullptr;
    TEdit* Edit2 = nullptr;
    TTrackBar* TrackBar5 = nullptr;
    TEdit* Edit3 = nullptr;
    // RGB
    TTrackBar* TrackBar6 = nullptr;
    TEdit* Edit7 = nullptr;
    TTrackBar* TrackBar7 = nullptr;
    TEdit* Edit6 = nullptr;
    TTrackBar* TrackBar8 = nullptr;
    TEdit* Edit5 = nullptr;
    // User filter: the nine value edits, row above first (their tags 0..8), and the divisor.
    std::array<TEdit*, 9> FilterEdits{};
    std::array<TUpDown*, 9> FilterUpDowns{};
    TEdit* Edit20 = nullptr;
    TListBox* ListBox1 = nullptr;
    TButton* Button4 = nullptr;
    TButton* Button5 = nullptr;
    // Equalization
    TRulerBox* RulerBox1 = nullptr;
    TRulerBox* RulerBox2 = nullptr;
    TLabel* lblThreshold = nullptr;
    TLabel* lblEqualize = nullptr;
    THistogramBox* HistogramBox1 = nullptr;
    TCheckBox* chkEqRed = nullptr;
    TCheckBox* chkEqGreen = nullptr;
    TCheckBox* chkEqBlue = nullptr;
    TCheckBox* chkEqGray = nullptr;
    TSpeedButton* SpeedButton3 = nullptr;
    // Bump map: left, top, width, height; the light's colour; the source quantity.
    std::array<TEdit*, 4> LightEdits{};
    std::array<TUpDown*, 4> LightUpDowns{};
    THSVBox* HSVBox2 = nullptr;
    TEdit* Edit26 = nullptr;
    // Lens: left, top, width, height; the refraction.
    std::array<TEdit*, 4> LensEdits{};
    std::array<TUpDown*, 4> LensUpDowns{};
    TEdit* Edit31 = nullptr;
    // Wave: amplitude, wave length, phase.
    std::array<TEdit*, 3> WaveEdits{};
    std::array<TUpDown*, 3> WaveUpDowns{};
    TCheckBox* chkReflective = nullptr;
    // Morph filters
    TRadioGroup* rgMorphFilter = nullptr;
    TEdit* Edit35 = nullptr;
    TUpDown* udMorphWindow = nullptr;
    // Rotate
    TTrackBar* TrackBarRotate = nullptr;
    TEdit* EditRotate = nullptr;
    TSpeedButton* SpeedButton1 = nullptr;
    TSpeedButton* SpeedButton2 = nullptr;
    // FFT
    TGroupBox* GroupBox8 = nullptr;
    TKorvaneView* KorvaneView1 = nullptr;
    TProgressBar* ProgressBar1 = nullptr;
    TButton* Button8 = nullptr;
    TButton* Button7 = nullptr;
    TCheckBox* CheckBox1 = nullptr;
    // Gamma correction
    TTrackBar* trkGamma = nullptr;
    TEdit* edtGamma = nullptr;
    TCheckBox* chkGammaRed = nullptr;
    TCheckBox* chkGammaGreen = nullptr;
    TCheckBox* chkGammaBlue = nullptr;
    TKorvaneView* KorvaneView2 = nullptr;
    // Sharpen
    TTrackBar* TrackBar4 = nullptr;
    TEdit* Edit36 = nullptr;
    TEdit* Edit37 = nullptr;
    TUpDown* udSharpenWindow = nullptr;

private:
    // A track bar and the edit that shows its position, bound to one working value.
    struct TSliderBinding
    {
        Previews::TPreviewPage Page;
        TTrackBar* Bar;
        TEdit* Edit;
        int32_t Previews::TPreviewsValues::*Value;
        // What an edit that holds no number reads as.
        int32_t EditDefault;
    };

    // previews_form.cpp: the layout.
    void CreatePages();
    TTabSheet* AddSheet(Previews::TPreviewPage Page);
    // A track bar with its caption and its edit, wide enough for Widest, the widest value it shows.
    TTrackBar* AddSlider(TWinControl* Parent, int32_t Top, int32_t Min, int32_t Max, TLabel*& Caption,
                         TEdit*& Edit, const std::string& Widest);
    // A slider bound to a working value of the sheet's page, with its caption.
    TTrackBar* AddBoundSlider(TTabSheet* Sheet, int32_t Top, int32_t Min, int32_t Max, int32_t Word,
                              const char* Suffix, TEdit*& Edit, int32_t Previews::TPreviewsValues::*Value,
                              int32_t EditDefault = 0);
    // An edit of whole numbers Min .. Max with its caption, and an up-down when UpDown is given.
    TEdit* AddNumberEdit(TWinControl* Parent, int32_t Left, int32_t Top, TLabel*& Caption, TUpDown** UpDown,
                         int32_t Min, int32_t Max, int32_t Increment);
    void BuildContrastPage();
    void BuildHsvPage();
    void BuildHslPage();
    void BuildRgbPage();
    void BuildUserFilterPage();
    void BuildEqualizePage();
    void BuildBumpMapPage();
    void BuildLensPage();
    void BuildWavePage();
    void BuildMorphPage();
    void BuildRotatePage();
    void BuildFFTPage();
    void BuildGammaPage();
    void BuildSharpenPage();
    void FormCreate();

    // previews_pages.cpp: activation, defaults, preview source and the effects.
    void FormActivate();
    void PageControl1Change();
    // Writes the page's working values into its controls (the controls stay quiet meanwhile).
    void WriteControls(Previews::TPreviewPage Page);
    void ApplyFrequency(TKorvaneView* Target);
    void BuildPreviewFrequencyImage();
    // Undoes the result view to the preview source, runs the effect there and repaints.
    void PreviewNow();
    void Button1Click();

    // previews_handlers.cpp: the controls' handlers.
    void SlidersChanged(Previews::TPreviewPage Page, TEdit* Typing);
    void SliderEditChanged(Previews::TPreviewPage Page, TEdit* Edit);
    void HsvBoxChanged();
    void FilterEditChanged(TEdit* Edit);
    void FilterPresetChosen();
    void LoadFilterClick();
    void SaveFilterClick();
    void RulerPosChange(TRulerBox* Ruler, int32_t Grip);
    void EqualizeChannelClick();
    void AlignRulers();
    void PlacementEditChanged();
    void WaveEditChanged();
    void MorphChanged();
    void RotateEditChanged();
    void FlipClick();
    void GammaChanged();
    void GammaEditChanged();
    void SharpenWindowChanged();
    void Korvane2MouseUp(TMouseButton Button, int32_t X, int32_t Y);
    void LockPreviewClick();
    // Writes the edit without its handler reacting.
    void WriteEdit(TEdit* Edit, const std::string& Text);

    const std::vector<TSliderBinding>& Sliders() const { return FSliders; }

    bool FControlsLive = false;
    bool FFinalApply = false;
    bool FFlipPending = false;
    bool FInCopyOrg = false;
    TMsgLanguage FLanguage = msSystem;
    std::array<bool, Previews::kPageCount + 1> FInitialised{};
    std::array<TTabSheet*, Previews::kPageCount + 1> FSheets{};
    Previews::TPreviewsValues FValues;
    std::vector<TSliderBinding> FSliders;
    std::unique_ptr<TKVFtImage> FFtImage;
    // Labels whose texts SetLanguage writes: the label and its word and suffix.
    struct TWordLabel
    {
        TControl* Control;
        int32_t Word;
        const char* Suffix;
    };
    std::vector<TWordLabel> FWordLabels;
};
