// The processing preview dialog's layout: the two views, the fourteen pages and their controls,
// and the texts SetLanguage writes.
#include "imaging/dialogs/previews.h"

#include "imaging/dialogs/detail/fit_layout.h"
#include "imaging/io/korvaneio.h"
#include "imaging/proc/kvfft.h"
#include "imaging/view/histogram_box.h"
#include "imaging/view/korvaneview.h"
#include "imaging/view/ruler_box.h"
#include "platform/core/strings.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/page_control.h"
#include "platform/forms/radio_buttons.h"
#include "platform/forms/std_controls.h"
#include "platform/forms/up_down.h"
#include "platform/graphics/canvas.h"

using namespace Previews;

namespace {

constexpr int32_t kViewWidth = 300;
constexpr int32_t kViewHeight = 225;
constexpr int32_t kLabelWidth = 110;
constexpr int32_t kBarLeft = 120;
constexpr int32_t kBarWidth = 380;
constexpr int32_t kEditLeft = 510;

template <class T>
T* Place(TfPreviews* owner, TWinControl* parent, int32_t left, int32_t top, int32_t width, int32_t height)
{
    auto* control = new T(owner);
    control->SetParent(parent);
    control->SetBounds(left, top, width, height);
    return control;
}

// The wider text of two whole numbers, the widest value of a field that holds Min .. Max.
std::string WidestOf(int32_t Min, int32_t Max)
{
    const std::string min = IntToStr(Min), max = IntToStr(Max);
    return min.size() > max.size() ? min : max;
}

TLabel* AddLabel(TfPreviews* owner, TWinControl* parent, int32_t left, int32_t top)
{
    auto* label = new TLabel(owner);
    label->SetParent(parent);
    label->SetLeft(left);
    label->SetTop(top);
    return label;
}

} // namespace

TfPreviews::TfPreviews(TComponent* AOwner) : TKVFittedForm(AOwner)
{
    SetName("Previews");
    SetCaption("Previews");
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientWidth(2 * kViewWidth + 24);
    SetClientHeight(560);

    OpenDialog1 = new TOpenDialog(this);
    SaveDialog1 = new TSaveDialog(this);
    KorvaneProc2 = new TKorvaneProc(this);

    Label1 = AddLabel(this, this, 8, 4);
    Korvane1 = Place<TKorvaneView>(this, this, 8, 22, kViewWidth, kViewHeight);
    Label2 = AddLabel(this, this, kViewWidth + 16, 4);
    Korvane2 = Place<TKorvaneView>(this, this, kViewWidth + 16, 22, kViewWidth, kViewHeight);
    FWordLabels.push_back({Label1, KVMSG_SOURCE, ":"});
    FWordLabels.push_back({Label2, KVMSG_RESULT, ":"});

    PageControl1 = Place<TPageControl>(this, this, 8, 254, 2 * kViewWidth + 8, 262);
    CreatePages();
    PageControl1->OnChange = [this](TObject*) { PageControl1Change(); };

    chkLockPreview = Place<TCheckBox>(this, this, 8, 528, 130, 22);
    chkLockPreview->SetCaption("Lock Preview");
    chkLockPreview->OnClick = [this](TObject*) { LockPreviewClick(); };
    Button3 = Place<TButton>(this, this, 144, 526, 88, 26);
    Button3->SetCaption("&Preview");
    Button3->OnClick = [this](TObject*) { PreviewNow(); };
    Button6 = Place<TButton>(this, this, 240, 526, 48, 26);
    Button6->SetCaption("<<");
    Button6->SetHint("Copy Result to Source");
    Button6->SetShowHint(true);
    Button6->OnClick = [this](TObject*) { CopyModToOrg(); };
    Button1 = Place<TButton>(this, this, 2 * kViewWidth + 16 - 184, 526, 88, 26);
    Button1->SetCaption("OK");
    Button1->SetDefault(true);
    Button1->SetModalResult(mrOk);
    Button1->OnClick = [this](TObject*) { Button1Click(); };
    Button2 = Place<TButton>(this, this, 2 * kViewWidth + 16 - 88, 526, 88, 26);
    Button2->SetCaption("Cancel");
    Button2->SetCancel(true);
    Button2->SetModalResult(mrCancel);
    Layout().AnchorRight(Button1);
    Layout().AnchorRight(Button2);

    Korvane1->OnViewChange = [this](TObject*, int32_t) { CopyOrg(); };
    Korvane2->OnMouseDown = [this](TObject*, TMouseButton Button, TShiftState, int32_t X, int32_t Y) {
        Korvane2MouseUp(Button, X, Y);
    };
    Korvane2->OnMouseUp = [this](TObject*, TMouseButton Button, TShiftState, int32_t X, int32_t Y) {
        Korvane2MouseUp(Button, X, Y);
    };
    OnShow = [this](TObject*) { FormActivate(); };
    FormCreate();
    // The places the controls have now, with their texts, are the design that each language's
    // and font's layout starts from.
    SetLanguage(msSystem);
    TakeDesign();
}

TfPreviews::~TfPreviews() = default;

void TfPreviews::FormCreate()
{
    for (TKorvaneView* view : {Korvane1, Korvane2}) {
        TFont* font = view->GetKorvaneIO()->PreviewFont();
        font->SetName("MS Sans Serif");
        font->SetHeight(-11);
        font->SetCharset(DEFAULT_CHARSET);
        font->SetColor(clWindowText);
    }
    // The result view's only undo entry is the preview source, kept in memory: every preview
    // starts again from it.
    TKorvaneProc* resultProc = Korvane2->GetKorvaneProc();
    resultProc->AutoUndo = false;
    resultProc->UndoLocation = kvMemory;
    // The source changes only by the dialog's own "<<" and OK; the caller keeps the undo entry.
    Korvane1->GetKorvaneProc()->AutoUndo = false;
    Korvane1->SetMouseInteract(miZoom);
    for (TTrackBar* bar : {TrackBar1, TrackBar12, TrackBar9, TrackBar10, TrackBar11, TrackBar2, TrackBar3,
                           TrackBar5, TrackBar6, TrackBar7, TrackBar8, TrackBarRotate, trkGamma, TrackBar4})
        bar->SetThumbLength(10);
    FFtImage.reset();
    PageControl1->SetActivePageIndex(0);
}

// ---------------------------------------------------------------------------------------------
// Pages

TTabSheet* TfPreviews::AddSheet(TPreviewPage Page)
{
    auto* sheet = new TTabSheet(this);
    sheet->SetPageControl(PageControl1);
    sheet->SetTag(Page);
    FSheets[Page] = sheet;
    return sheet;
}

TTrackBar* TfPreviews::AddSlider(TWinControl* Parent, int32_t Top, int32_t Min, int32_t Max, TLabel*& Caption,
                                 TEdit*& Edit, const std::string& Widest)
{
    Caption = AddLabel(this, Parent, 8, Top + 4);
    auto* bar = Place<TTrackBar>(this, Parent, kBarLeft, Top, kBarWidth, 28);
    bar->SetRange(Min, Max);
    bar->SetTickStyle(tsNone);
    Layout().KeepRightEdge(bar);
    Edit = Place<TEdit>(this, Parent, kEditLeft, Top + 2, 60, 22);
    Edit->SetText("0");
    Layout().WidestValue(Edit, Widest);
    return bar;
}

TEdit* TfPreviews::AddNumberEdit(TWinControl* Parent, int32_t Left, int32_t Top, TLabel*& Caption,
                                 TUpDown** UpDown, int32_t Min, int32_t Max, int32_t Increment)
{
    Caption = AddLabel(this, Parent, Left, Top + 3);
    auto* edit = Place<TEdit>(this, Parent, Left + kLabelWidth, Top, 60, 22);
    Layout().WidestValue(edit, WidestOf(Min, Max));
    if (UpDown) {
        auto* upDown = new TUpDown(this);
        upDown->SetParent(Parent);
        upDown->SetMin(Min);
        upDown->SetMax(Max);
        upDown->SetIncrement(Increment);
        upDown->SetAssociate(edit);
        *UpDown = upDown;
    }
    return edit;
}

void TfPreviews::CreatePages()
{
    BuildContrastPage();
    BuildHsvPage();
    BuildHslPage();
    BuildRgbPage();
    BuildUserFilterPage();
    BuildEqualizePage();
    BuildBumpMapPage();
    BuildLensPage();
    BuildWavePage();
    BuildMorphPage();
    BuildRotatePage();
    BuildFFTPage();
    BuildGammaPage();
    BuildSharpenPage();

    for (const TSliderBinding& binding : FSliders) {
        binding.Bar->OnChange = [this, page = binding.Page](TObject*) { SlidersChanged(page, nullptr); };
        binding.Edit->OnChange = [this, page = binding.Page, edit = binding.Edit](TObject*) {
            SliderEditChanged(page, edit);
        };
    }
}

TTrackBar* TfPreviews::AddBoundSlider(TTabSheet* Sheet, int32_t Top, int32_t Min, int32_t Max, int32_t Word,
                                      const char* Suffix, TEdit*& Edit, int32_t TPreviewsValues::*Value,
                                      int32_t EditDefault)
{
    TLabel* caption = nullptr;
    TTrackBar* bar = AddSlider(Sheet, Top, Min, Max, caption, Edit, WidestOf(Min, Max));
    FWordLabels.push_back({caption, Word, Suffix});
    FSliders.push_back({static_cast<TPreviewPage>(Sheet->Tag()), bar, Edit, Value, EditDefault});
    return bar;
}

void TfPreviews::BuildContrastPage()
{
    TTabSheet* sheet = AddSheet(ppContrast);
    FWordLabels.push_back({sheet, KVMSG_CONTRAST, ""});
    TrackBar1 = AddBoundSlider(sheet, 16, -100, 100, KVMSG_CONTRAST, ":", Edit1, &TPreviewsValues::Contrast);
    TrackBar12 =
        AddBoundSlider(sheet, 60, -100, 100, KVMSG_BRIGHTNESS, ":", Edit21, &TPreviewsValues::Brightness);
}

void TfPreviews::BuildHsvPage()
{
    TTabSheet* sheet = AddSheet(ppHSV);
    sheet->SetCaption("HSV");
    TrackBar9 = AddBoundSlider(sheet, 8, -180, 180, KVMSG_HUE, " (H):", Edit19, &TPreviewsValues::HsvHue);
    TrackBar10 =
        AddBoundSlider(sheet, 40, -100, 100, KVMSG_SATURATION, " (S):", Edit18, &TPreviewsValues::HsvSat);
    TrackBar11 = AddBoundSlider(sheet, 72, -100, 100, KVMSG_VALUE, " (V):", Edit17, &TPreviewsValues::HsvVal);

    FWordLabels.push_back({AddLabel(this, sheet, 8, 110), KVMSG_BASECOLOR, ":"});
    HSVBox1 = Place<THSVBox>(this, sheet, 110, 108, 150, 100);
    FWordLabels.push_back({AddLabel(this, sheet, 300, 110), KVMSG_NEWCOLOR, ":"});
    HSVBox3 = Place<THSVBox>(this, sheet, 400, 108, 150, 100);
    HSVBox1->OnChange = [this](TObject*) { HsvBoxChanged(); };
    HSVBox3->OnChange = [this](TObject*) { HsvBoxChanged(); };
}

void TfPreviews::BuildHslPage()
{
    TTabSheet* sheet = AddSheet(ppHSL);
    sheet->SetCaption("HSL");
    TrackBar2 = AddBoundSlider(sheet, 16, -180, 180, KVMSG_HUE, " (H):", Edit4, &TPreviewsValues::HslHue);
    TrackBar3 =
        AddBoundSlider(sheet, 60, -100, 100, KVMSG_SATURATION, " (S):", Edit2, &TPreviewsValues::HslSat);
    TrackBar5 =
        AddBoundSlider(sheet, 104, -100, 100, KVMSG_LUMINOSITY, " (L):", Edit3, &TPreviewsValues::HslLum);
}

void TfPreviews::BuildRgbPage()
{
    TTabSheet* sheet = AddSheet(ppRGB);
    sheet->SetCaption("RGB");
    TrackBar6 = AddBoundSlider(sheet, 16, -255, 255, KVMSG_RED, " (R):", Edit7, &TPreviewsValues::Red);
    TrackBar7 = AddBoundSlider(sheet, 60, -255, 255, KVMSG_GREEN, " (G):", Edit6, &TPreviewsValues::Green);
    TrackBar8 = AddBoundSlider(sheet, 104, -255, 255, KVMSG_BLUE, " (B):", Edit5, &TPreviewsValues::Blue);
}

void TfPreviews::BuildUserFilterPage()
{
    TTabSheet* sheet = AddSheet(ppUserFilter);
    FWordLabels.push_back({sheet, KVMSG_USERFILTER, ""});
    auto* values = Place<TGroupBox>(this, sheet, 8, 4, 290, 206);
    FWordLabels.push_back({values, KVMSG_FILTERVALUES, ""});
    for (int32_t i = 0; i < 9; ++i) {
        TEdit* edit = Place<TEdit>(this, values, 12 + (i % 3) * 90, 24 + (i / 3) * 40, 54, 22);
        edit->SetTag(i);
        Layout().WidestValue(edit, WidestOf(-100, 100));
        auto* upDown = new TUpDown(this);
        upDown->SetParent(values);
        upDown->SetMin(-100);
        upDown->SetMax(100);
        upDown->SetAssociate(edit);
        edit->OnChange = [this, edit](TObject*) { FilterEditChanged(edit); };
        FilterEdits[size_t(i)] = edit;
        FilterUpDowns[size_t(i)] = upDown;
    }
    TLabel* divisor = AddLabel(this, values, 12, 157);
    FWordLabels.push_back({divisor, KVMSG_DIVISOR, ":"});
    Edit20 = Place<TEdit>(this, values, 102, 154, 54, 22);
    // The divisor that sums nine coefficients.
    Layout().WidestValue(Edit20, WidestOf(-900, 900));
    Edit20->OnChange = [this](TObject*) { FilterEditChanged(Edit20); };

    auto* presets = Place<TGroupBox>(this, sheet, 306, 4, 270, 206);
    FWordLabels.push_back({presets, KVMSG_PRESETS, ""});
    ListBox1 = Place<TListBox>(this, presets, 10, 22, 150, 170);
    for (const char* item : {"None", "Blur", "Edges", "Emboss", "High Pass 1", "High Pass 2", "High Pass 3",
                             "Low Pass 1", "Low Pass 2"})
        ListBox1->Items()->Add(item);
    ListBox1->OnClick = [this](TObject*) { FilterPresetChosen(); };
    Button4 = Place<TButton>(this, presets, 172, 22, 86, 26);
    FWordLabels.push_back({Button4, KVMSG_LOAD, ""});
    Button4->OnClick = [this](TObject*) { LoadFilterClick(); };
    Button5 = Place<TButton>(this, presets, 172, 56, 86, 26);
    FWordLabels.push_back({Button5, KVMSG_SAVE, ""});
    Button5->OnClick = [this](TObject*) { SaveFilterClick(); };
}

void TfPreviews::BuildEqualizePage()
{
    TTabSheet* sheet = AddSheet(ppEqualize);
    FWordLabels.push_back({sheet, KVMSG_EQUALIZATION, ""});
    HistogramBox1 = Place<THistogramBox>(this, sheet, 110, 4, 300, 100);
    HistogramBox1->SetLabels(0);
    auto makeRuler = [&](int32_t top, int32_t word, TLabel*& value) {
        FWordLabels.push_back({AddLabel(this, sheet, 8, top + 4), word, ":"});
        auto* ruler = Place<TRulerBox>(this, sheet, 110, top, 300, 34);
        ruler->SetViewMin(0);
        ruler->SetViewMax(255);
        ruler->SetGripsCount(2);
        for (int32_t grip = 0; grip < 2; ++grip) {
            ruler->SetGripsMin(grip, 0);
            ruler->SetGripsMax(grip, 255);
        }
        ruler->OnRulerPosChange = [this, ruler](TObject*, int32_t Grip) { RulerPosChange(ruler, Grip); };
        value = AddLabel(this, sheet, 418, top + 4);
        return ruler;
    };
    RulerBox1 = makeRuler(110, KVMSG_THRESHOLD, lblThreshold);
    RulerBox2 = makeRuler(150, KVMSG_EQUALIZATION, lblEqualize);
    AlignRulers();
    auto check = [&](int32_t top, int32_t word) {
        auto* box = Place<TCheckBox>(this, sheet, 480, top, 100, 22);
        FWordLabels.push_back({box, word, ""});
        box->OnClick = [this](TObject*) { EqualizeChannelClick(); };
        return box;
    };
    chkEqRed = check(4, KVMSG_RED);
    chkEqGreen = check(28, KVMSG_GREEN);
    chkEqBlue = check(52, KVMSG_BLUE);
    chkEqGray = check(76, KVMSG_GRAY);
    SpeedButton3 = Place<TSpeedButton>(this, sheet, 480, 150, 100, 28);
    SpeedButton3->SetGroupIndex(1);
    SpeedButton3->SetAllowAllUp(true);
    FWordLabels.push_back({SpeedButton3, KVMSG_EQUALIZE, ""});
    SpeedButton3->OnClick = [this](TObject*) {
        if (!FControlsLive)
            return;
        FValues.AutoEqualize = SpeedButton3->Down();
        UpdatePreview();
    };
}

void TfPreviews::BuildBumpMapPage()
{
    TTabSheet* sheet = AddSheet(ppBumpMap);
    FWordLabels.push_back({sheet, KVMSG_BUMPMAP, ""});
    auto* light = Place<TGroupBox>(this, sheet, 8, 4, 250, 170);
    FWordLabels.push_back({light, KVMSG_LIGHT, ""});
    const int32_t words[4] = {KVMSG_LEFT, KVMSG_TOP, KVMSG_WIDTH, KVMSG_HEIGHT};
    for (size_t i = 0; i < 4; ++i) {
        TLabel* caption = nullptr;
        LightEdits[i] =
            AddNumberEdit(light, 10, 24 + int32_t(i) * 34, caption, &LightUpDowns[i], 0, 32767, 10);
        FWordLabels.push_back({caption, words[i], ":"});
        LightEdits[i]->OnChange = [this](TObject*) { PlacementEditChanged(); };
    }
    FWordLabels.push_back({AddLabel(this, sheet, 280, 8), KVMSG_COLOR, ":"});
    HSVBox2 = Place<THSVBox>(this, sheet, 280, 26, 150, 100);
    HSVBox2->OnChange = [this](TObject*) {
        if (!FControlsLive)
            return;
        FValues.LightColor = TRGB{HSVBox2->Blue(), HSVBox2->Green(), HSVBox2->Red()};
        UpdatePreview();
    };
    // The quantity's caption is long in every language: its edit goes under it.
    FWordLabels.push_back({AddLabel(this, sheet, 280, 136), KVMSG_SOURCEIMAGEQUANTITY, " (%):"});
    Edit26 = Place<TEdit>(this, sheet, 280, 154, 60, 22);
    Layout().WidestValue(Edit26, WidestOf(0, 100));
    Edit26->OnChange = [this](TObject*) { PlacementEditChanged(); };
}

void TfPreviews::BuildLensPage()
{
    TTabSheet* sheet = AddSheet(ppLens);
    FWordLabels.push_back({sheet, KVMSG_LENS, ""});
    const int32_t words[4] = {KVMSG_LEFT, KVMSG_TOP, KVMSG_WIDTH, KVMSG_HEIGHT};
    for (size_t i = 0; i < 4; ++i) {
        TLabel* caption = nullptr;
        LensEdits[i] = AddNumberEdit(sheet, 8, 10 + int32_t(i) * 34, caption, &LensUpDowns[i], 0, 32767, 10);
        FWordLabels.push_back({caption, words[i], ":"});
        LensEdits[i]->OnChange = [this](TObject*) { PlacementEditChanged(); };
    }
    TLabel* caption = nullptr;
    // Refraction 11 shows as 100, far past any lens.
    Edit31 = AddNumberEdit(sheet, 280, 10, caption, nullptr, 0, 100, 1);
    FWordLabels.push_back({caption, KVMSG_REFRACTION, ":"});
    Edit31->OnChange = [this](TObject*) { PlacementEditChanged(); };
}

void TfPreviews::BuildWavePage()
{
    TTabSheet* sheet = AddSheet(ppWave);
    FWordLabels.push_back({sheet, KVMSG_WAVE, ""});
    const int32_t words[3] = {KVMSG_AMPLITUDE, KVMSG_WAVELENGTH, KVMSG_PHASE};
    const int32_t maxima[3] = {32767, 32767, 359};
    for (size_t i = 0; i < 3; ++i) {
        TLabel* caption = nullptr;
        WaveEdits[i] =
            AddNumberEdit(sheet, 8, 10 + int32_t(i) * 34, caption, &WaveUpDowns[i], 0, maxima[i], 1);
        FWordLabels.push_back({caption, words[i], ":"});
        WaveEdits[i]->OnChange = [this](TObject*) { WaveEditChanged(); };
    }
    chkReflective = Place<TCheckBox>(this, sheet, 8, 116, 200, 22);
    FWordLabels.push_back({chkReflective, KVMSG_REFLECTIVE, ""});
    chkReflective->OnClick = [this](TObject*) { WaveEditChanged(); };
}

void TfPreviews::BuildMorphPage()
{
    TTabSheet* sheet = AddSheet(ppMorph);
    FWordLabels.push_back({sheet, KVMSG_MORPHFILTER, ""});
    rgMorphFilter = Place<TRadioGroup>(this, sheet, 8, 4, 200, 130);
    rgMorphFilter->SetCaption("");
    for (int32_t i = 0; i < 4; ++i)
        rgMorphFilter->Items()->Add("");
    rgMorphFilter->OnClick = [this](TObject*) { MorphChanged(); };
    TLabel* caption = nullptr;
    Edit35 = AddNumberEdit(sheet, 230, 10, caption, &udMorphWindow, 1, 64, 1);
    FWordLabels.push_back({caption, KVMSG_WINDOWSIZE, ":"});
    Edit35->OnChange = [this](TObject*) { MorphChanged(); };
}

void TfPreviews::BuildRotatePage()
{
    TTabSheet* sheet = AddSheet(ppRotate);
    FWordLabels.push_back({sheet, KVMSG_ROTATE, ""});
    TLabel* caption = nullptr;
    TrackBarRotate = AddSlider(sheet, 16, -18000, 18000, caption, EditRotate, AngleText(-17999 / 100.0));
    TrackBarRotate->SetFrequency(500);
    TrackBarRotate->SetTickStyle(tsAuto);
    FWordLabels.push_back({caption, KVMSG_ROTATE, ":"});
    TrackBarRotate->OnChange = [this](TObject*) { SlidersChanged(ppRotate, nullptr); };
    EditRotate->OnChange = [this](TObject*) { RotateEditChanged(); };
    FWordLabels.push_back({AddLabel(this, sheet, 8, 80), KVMSG_FLIP, ":"});
    SpeedButton1 = Place<TSpeedButton>(this, sheet, kBarLeft, 74, 130, 28);
    SpeedButton1->SetGroupIndex(1);
    SpeedButton1->SetAllowAllUp(true);
    FWordLabels.push_back({SpeedButton1, KVMSG_FLIPHOR, ""});
    SpeedButton2 = Place<TSpeedButton>(this, sheet, kBarLeft + 140, 74, 130, 28);
    SpeedButton2->SetGroupIndex(2);
    SpeedButton2->SetAllowAllUp(true);
    FWordLabels.push_back({SpeedButton2, KVMSG_FLIPVER, ""});
    SpeedButton1->OnClick = [this](TObject*) { FlipClick(); };
    SpeedButton2->OnClick = [this](TObject*) { FlipClick(); };
}

void TfPreviews::BuildFFTPage()
{
    TTabSheet* sheet = AddSheet(ppFFT);
    sheet->SetCaption("FFT");
    GroupBox8 = Place<TGroupBox>(this, sheet, 8, 0, 300, 224);
    FWordLabels.push_back({GroupBox8, KVMSG_FREQUENCYDOMAINIMAGE, ""});
    FWordLabels.push_back({AddLabel(this, GroupBox8, 10, 18), KVMSG_SELECTTHEREGIONTOCLEAR, ""});
    KorvaneView1 = Place<TKorvaneView>(this, GroupBox8, 10, 36, 150, 150);
    KorvaneView1->SetMouseInteract(miSelect);
    KorvaneView1->SetCenter(true);
    ProgressBar1 = Place<TProgressBar>(this, GroupBox8, 10, 194, 280, 16);
    Button8 = Place<TButton>(this, sheet, 320, 10, 100, 26);
    FWordLabels.push_back({Button8, KVMSG_CLEAR, ""});
    Button8->OnClick = [this](TObject*) { CopyOrg(); };
    Button7 = Place<TButton>(this, sheet, 320, 44, 100, 26);
    FWordLabels.push_back({Button7, KVMSG_RESET, ""});
    Button7->OnClick = [this](TObject*) {
        KorvaneView1->DeSelect();
        CopyOrg();
    };
    CheckBox1 = Place<TCheckBox>(this, sheet, 320, 84, 200, 22);
    FWordLabels.push_back({CheckBox1, KVMSG_GRAYSCALE, ""});
    CheckBox1->SetChecked(true);
    CheckBox1->OnClick = [this](TObject*) {
        if (!FControlsLive)
            return;
        FValues.FFTGrayScale = CheckBox1->Checked();
        CopyOrg();
    };
    KorvaneProc2->OnProgress = [this](TObject*, int32_t per) { ProgressBar1->SetPosition(per); };
}

void TfPreviews::BuildGammaPage()
{
    TTabSheet* sheet = AddSheet(ppGamma);
    sheet->SetCaption("Gamma Correction");
    TLabel* caption = nullptr;
    trkGamma = AddSlider(sheet, 16, 1, 100, caption, edtGamma, GammaText(99));
    FWordLabels.push_back({caption, KVMSG_VALUE2, ":"});
    trkGamma->OnChange = [this](TObject*) { GammaChanged(); };
    edtGamma->OnChange = [this](TObject*) { GammaEditChanged(); };
    auto check = [&](int32_t top, const char* text) {
        auto* box = Place<TCheckBox>(this, sheet, 8, top, 100, 22);
        box->SetCaption(text);
        box->SetChecked(true);
        box->OnClick = [this](TObject*) { GammaChanged(); };
        return box;
    };
    chkGammaRed = check(70, "Red");
    chkGammaGreen = check(96, "Green");
    chkGammaBlue = check(122, "Blue");
    KorvaneView2 = Place<TKorvaneView>(this, sheet, kBarLeft, 60, 160, 160);
    KorvaneView2->SetScrollBars(ssNone);
    KorvaneView2->SetBorderStyle(bsNone);
}

void TfPreviews::BuildSharpenPage()
{
    TTabSheet* sheet = AddSheet(ppSharpen);
    sheet->SetCaption("Sharpen");
    TrackBar4 =
        AddBoundSlider(sheet, 16, 1, 100, KVMSG_AMPLITUDE, ":", Edit36, &TPreviewsValues::SharpenAmount, 1);
    TLabel* caption = nullptr;
    Edit37 = AddNumberEdit(sheet, 8, 70, caption, &udSharpenWindow, 1, 64, 1);
    FWordLabels.push_back({caption, KVMSG_WINDOWSIZE, ":"});
    Edit37->OnChange = [this](TObject*) { SharpenWindowChanged(); };
}

// ---------------------------------------------------------------------------------------------
// Texts

void TfPreviews::SetLanguage(TMsgLanguage Language)
{
    FLanguage = Language;
    auto word = [Language](int32_t w) {
        return Daduvudez::kvmsg(static_cast<TMsgLanguageWords>(w), Language);
    };
    for (const TWordLabel& label : FWordLabels)
        label.Control->SetCaption(word(label.Word) + label.Suffix);
    Button3->SetCaption(std::string("&").append(word(KVMSG_PREVIEW)));
    Button1->SetCaption(word(KVMSG_OK));
    Button2->SetCaption(word(KVMSG_CANCEL));
    Button6->SetHint(word(KVMSG_COPYRESULTTOSOURCE));
    chkLockPreview->SetCaption(word(KVMSG_LOCKPREVIEW));
    chkLockPreview->SetHint(word(KVMSG_LOCKPREVIEWHINT));
    chkLockPreview->SetShowHint(true);
    for (int32_t i = 0; i < 4; ++i)
        rgMorphFilter->Items()->SetStrings(i, word(KVMSG_MAXIMUM + i));
    OpenDialog1->Title = word(KVMSG_LOADFILTER);
    SaveDialog1->Title = word(KVMSG_SAVEFILTER);
    Refit();
}
