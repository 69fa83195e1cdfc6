// TfIOPreviews: the controls of the save-parameters dialog, their places and their texts.
#include "imaging/dialogs/iopreviews.h"

#include "imaging/dialogs/detail/fit_layout.h"
#include "imaging/proc/proc_component.h"
#include "imaging/view/korvaneview.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/page_control.h"
#include "platform/forms/std_controls.h"
#include "platform/forms/up_down.h"

using Daduvudez::kvmsg;

namespace {

// Rows of a page: a label beside its control.
constexpr int32_t kLabelLeft = 8;
constexpr int32_t kControlLeft = 100;
constexpr int32_t kRow[] = {8, 36, 64, 92, 120};
// The widest values of the number fields: a percentage, the image index and the JPEG 2000 rate (in
// thousandths) of their track bars and up-downs, the 16-bit fields of GIF and of TIFF page numbers,
// and TIFF positions, written in ten-thousandths of an inch into 32 bits.
constexpr const char* kWidestPercent = "100";
constexpr const char* kWidestThousand = "1000";
constexpr const char* kWidestWord = "65535";
constexpr const char* kWidestTIFFPosition = "429496";
// Where the size rows sit on the pages of the full variant, and on those of the simplified one.
constexpr int32_t kOriginalTop = 150;
constexpr int32_t kCompressedTop = 168;
constexpr int32_t kSimplifiedOriginalTop = 61;
constexpr int32_t kSimplifiedCompressedTop = 77;

} // namespace

TfIOPreviews::TfIOPreviews(TComponent* AOwner) : TKVFittedForm(AOwner)
{
    SetBorderStyle(bsDialog);
    SetBorderIcons(biSystemMenu);
    SetPosition(poScreenCenter);
    SetCaption("Parameters preview");
    SetClientWidth(522);
    SetClientHeight(392);
    CreateControls();
    ConnectHandlers();

    // FormCreate: the views' own preview fonts, the encoder and the colour reduction.
    TFont previewFont;
    Korvane1->GetKorvaneIO()->SetPreviewFont(&previewFont);
    Korvane2->GetKorvaneIO()->SetPreviewFont(&previewFont);
    FEncoder = new TKorvaneIO(this);
    FEncoder->StreamHeaders = false;
    FEncoder->OnProgress = [this](TObject* Sender, int32_t Per) { Progress(Sender, Per); };
    FProc = new TKorvaneProc(this);
    FProc->AutoUndo = false;
    for (TTrackBar* bar : {TrackBar13, TrackBar2, TrackBar1}) {
        bar->SetThumbLength(10);
    }
    Button4->SetEnabled(false);
    // The places the controls have now, with their texts, are the design that each language's
    // and font's layout starts from.
    SetLanguage(msSystem);
    TakeDesign();
}

TfIOPreviews::~TfIOPreviews() = default;

TTabSheet* TfIOPreviews::NewPage(const std::string& Caption)
{
    auto* page = new TTabSheet(this);
    page->SetPageControl(PageControl1);
    page->SetCaption(Caption);
    return page;
}

TLabel* TfIOPreviews::NewLabel(TWinControl* Parent, int32_t Left, int32_t Top, const std::string& Text)
{
    auto* label = new TLabel(this);
    label->SetParent(Parent);
    label->SetLeft(Left);
    label->SetTop(Top);
    label->SetCaption(Text);
    return label;
}

TLabel* TfIOPreviews::NewLabel(TWinControl* Parent, int32_t Left, int32_t Top, TMsgLanguageWords Word,
                               bool Colon)
{
    TLabel* label = NewLabel(Parent, Left, Top, std::string());
    FWordCaptions.push_back({label, Word, Colon});
    return label;
}

TEdit* TfIOPreviews::NewEdit(TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width,
                             const std::string& Widest)
{
    auto* edit = new TEdit(this);
    edit->SetParent(Parent);
    edit->SetBounds(Left, Top, Width, 21);
    if (!Widest.empty())
        Layout().WidestValue(edit, Widest);
    return edit;
}

TComboBox* TfIOPreviews::NewCombo(TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width,
                                  std::initializer_list<const char*> Items)
{
    auto* combo = new TComboBox(this);
    combo->SetParent(Parent);
    combo->SetStyle(csDropDownList);
    combo->SetBounds(Left, Top, Width, 21);
    for (const char* item : Items) {
        combo->Items()->Add(item);
    }
    return combo;
}

TCheckBox* TfIOPreviews::NewCheck(TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width,
                                  TMsgLanguageWords Word)
{
    auto* check = new TCheckBox(this);
    check->SetParent(Parent);
    check->SetBounds(Left, Top, Width, 19);
    FWordCaptions.push_back({check, Word, false});
    return check;
}

TTrackBar* TfIOPreviews::NewTrackBar(TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width,
                                     int32_t Max, int32_t Frequency)
{
    auto* bar = new TTrackBar(this);
    bar->SetParent(Parent);
    bar->SetBounds(Left, Top, Width, 28);
    bar->SetRange(0, Max);
    bar->SetFrequency(Frequency);
    Layout().KeepRightEdge(bar);
    return bar;
}

TUpDown* TfIOPreviews::NewUpDown(TEdit* Associate, int32_t Max)
{
    auto* upDown = new TUpDown(this);
    upDown->SetParent(Associate->Parent());
    upDown->SetMin(0);
    upDown->SetMax(Max);
    upDown->SetAssociate(Associate);
    return upDown;
}

TGroupBox* TfIOPreviews::NewGroupBox(TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width,
                                     int32_t Height, TMsgLanguageWords Word)
{
    auto* group = new TGroupBox(this);
    group->SetParent(Parent);
    group->SetBounds(Left, Top, Width, Height);
    FWordCaptions.push_back({group, Word, false});
    return group;
}

TPanel* TfIOPreviews::NewColourPanel(TWinControl* Parent, int32_t Left, int32_t Top)
{
    auto* panel = new TPanel(this);
    panel->SetParent(Parent);
    panel->SetBounds(Left, Top, 24, 20);
    panel->SetBevelOuter(bvLowered);
    panel->SetCursor(crHandPoint);
    return panel;
}

void TfIOPreviews::AddSizeLabels(TTabSheet* Page, TIOPreviewPage Kind, int32_t Left, int32_t Top)
{
    (void)Kind;
    TSizeLabels labels;
    labels.OriginalCaption = NewLabel(Page, Left, Top, KVMSG_ORIGINALSIZE);
    labels.Original = NewLabel(Page, Left + 110, Top, "---");
    labels.CompressedCaption =
        NewLabel(Page, Left, Top + (kCompressedTop - kOriginalTop), KVMSG_COMPRESSEDSIZE);
    labels.Compressed = NewLabel(Page, Left + 110, Top + (kCompressedTop - kOriginalTop), "---");
    FSizes.emplace_back(Page, labels);
}

void TfIOPreviews::MoveSizeLabels(TTabSheet* Page, int32_t OriginalTop, int32_t CompressedTop)
{
    if (TSizeLabels* labels = SizesOf(Page)) {
        labels->OriginalCaption->SetTop(OriginalTop);
        labels->Original->SetTop(OriginalTop);
        labels->CompressedCaption->SetTop(CompressedTop);
        labels->Compressed->SetTop(CompressedTop);
        for (TControl* label :
             {labels->OriginalCaption, labels->Original, labels->CompressedCaption, labels->Compressed})
            Layout().TakeHeight(label);
    }
}

TfIOPreviews::TSizeLabels* TfIOPreviews::SizesOf(TTabSheet* Page)
{
    for (auto& [sheet, labels] : FSizes) {
        if (sheet == Page) {
            return &labels;
        }
    }
    return nullptr;
}

const TfIOPreviews::TSizeLabels* TfIOPreviews::SizesOf(TTabSheet* Page) const
{
    return const_cast<TfIOPreviews*>(this)->SizesOf(Page);
}

void TfIOPreviews::CreateControls()
{
    Panel2 = new TPanel(this);
    Panel2->SetParent(this);
    Panel2->SetBevelOuter(bvNone);
    Panel2->SetBounds(0, 0, 518, 168);
    Label1 = NewLabel(Panel2, 8, 2, KVMSG_SOURCE);
    Label2 = NewLabel(Panel2, 266, 2, KVMSG_RESULT);
    Korvane1 = new TKorvaneView(this);
    Korvane1->SetParent(Panel2);
    Korvane1->SetBounds(8, 18, 248, 140);
    Korvane2 = new TKorvaneView(this);
    Korvane2->SetParent(Panel2);
    Korvane2->SetBounds(266, 18, 248, 140);
    for (TKorvaneView* view : {Korvane1, Korvane2}) {
        view->SetBackGround(clBtnFace);
    }
    ProgressBar1 = new TProgressBar(this);
    ProgressBar1->SetParent(Panel2);
    ProgressBar1->SetBounds(8, 160, 506, 6);

    PageControl1 = new TPageControl(this);
    PageControl1->SetParent(this);
    PageControl1->SetBounds(4, 168, 430, 220);

    const int32_t buttonLeft = 440;
    auto newButton = [&](int32_t top, TMsgLanguageWords word) {
        auto* button = new TButton(this);
        button->SetParent(this);
        button->SetBounds(buttonLeft, top, 76, 23);
        FWordCaptions.push_back({button, word, false});
        return button;
    };
    Button1 = newButton(174, KVMSG_OK);
    Button1->SetDefault(true);
    Button1->SetModalResult(mrOk);
    Button2 = newButton(200, KVMSG_CANCEL);
    Button2->SetCancel(true);
    Button2->SetModalResult(mrCancel);
    Button3 = newButton(230, KVMSG_PREVIEW);
    SpeedButton1 = new TSpeedButton(this);
    SpeedButton1->SetParent(this);
    SpeedButton1->SetBounds(buttonLeft, 256, 76, 23);
    SpeedButton1->SetGroupIndex(1);
    SpeedButton1->SetAllowAllUp(true);
    SpeedButton1->SetShowHint(true);
    FWordCaptions.push_back({SpeedButton1, KVMSG_LOCKPREVIEW, false});
    Button4 = newButton(282, KVMSG_APPLY);
    ColorDialog1 = new TColorDialog(this);

    CreateJPEGPages();
    CreateTIFFPages();
    CreateGIFPages();
    CreateOtherPages();
}

void TfIOPreviews::CreateJPEGPages()
{
    TabSheetJPEG1 = NewPage("JPEG");
    NewLabel(TabSheetJPEG1, kLabelLeft, kRow[0] + 4, KVMSG_QUALITY);
    Edit22 = NewEdit(TabSheetJPEG1, kControlLeft, kRow[0], 40, kWidestPercent);
    Edit22->SetText("0");
    TrackBar13 = NewTrackBar(TabSheetJPEG1, 146, kRow[0] - 4, 268, 100, 5);
    GroupBoxJPEGAdvanced = NewGroupBox(TabSheetJPEG1, 4, 36, 412, 104, KVMSG_ADVANCED);
    NewLabel(GroupBoxJPEGAdvanced, 8, 24, KVMSG_DCTMETHOD);
    ComboBox1 = NewCombo(GroupBoxJPEGAdvanced, 110, 20, 80, {"ISLOW", "IFAST", "FLOAT"});
    NewLabel(GroupBoxJPEGAdvanced, 206, 24, KVMSG_SMOOTHINGFACTOR);
    Edit23 = NewEdit(GroupBoxJPEGAdvanced, 316, 20, 44, kWidestPercent);
    UpDown11 = NewUpDown(Edit23, 100);
    CheckBox2 = NewCheck(GroupBoxJPEGAdvanced, 8, 50, 140, KVMSG_OPTIMALHUFFMAN);
    CheckBox3 = NewCheck(GroupBoxJPEGAdvanced, 206, 50, 140, KVMSG_PROGRESSIVE);
    NewLabel(GroupBoxJPEGAdvanced, 8, 78, KVMSG_PHOTOMETRIC);
    ComboBox13 = NewCombo(GroupBoxJPEGAdvanced, 110, 74, 80, {"RGB", "GrayScale", "YCbCr", "CMYK", "YCbCrK"});
    AddSizeLabels(TabSheetJPEG1, ipgJPEG, kLabelLeft, kOriginalTop);

    TabSheetJPEG2 = NewPage("JPEG");
    NewLabel(TabSheetJPEG2, kLabelLeft, kRow[0] + 4, KVMSG_QUALITY);
    Edit16 = NewEdit(TabSheetJPEG2, kControlLeft, kRow[0], 40, kWidestPercent);
    Edit16->SetText("0");
    TrackBar2 = NewTrackBar(TabSheetJPEG2, 146, kRow[0] - 4, 268, 100, 5);
    AddSizeLabels(TabSheetJPEG2, ipgJPEG, kLabelLeft, kSimplifiedOriginalTop);
}

void TfIOPreviews::CreateTIFFPages()
{
    TabSheetTIFF1 = NewPage("TIFF");
    NewLabel(TabSheetTIFF1, kLabelLeft, kRow[0] + 4, KVMSG_COMPRESSION);
    ComboBox2 = NewCombo(TabSheetTIFF1, kControlLeft, kRow[0], 124, {});
    NewLabel(TabSheetTIFF1, kLabelLeft, kRow[1] + 4, KVMSG_IMAGEINDEX);
    Edit1 = NewEdit(TabSheetTIFF1, kControlLeft, kRow[1], 50, kWidestThousand);
    UpDown1 = NewUpDown(Edit1, 1000);
    NewLabel(TabSheetTIFF1, kLabelLeft, kRow[2] + 4, KVMSG_PHOTOMETRIC);
    ComboBox3 = NewCombo(TabSheetTIFF1, kControlLeft, kRow[2], 124,
                         {"WHITEISZERO/Gray", "BLACKISZERO/Gray", "RGB", "RGBPALETTE", "TRANSPMASK", "CMYK",
                          "YCBCR", "CIELAB"});
    NewLabel(TabSheetTIFF1, kLabelLeft, kRow[3] + 4, KVMSG_COLORS);
    ComboBox4 = NewCombo(TabSheetTIFF1, kControlLeft, kRow[3], 124, {"B/W", "16", "256", "65536", "16M"});

    GroupBoxTIFFDocument = NewGroupBox(TabSheetTIFF1, 226, 0, 192, 170, KVMSG_SCANNDEDDOCUMENTINFO);
    NewLabel(GroupBoxTIFFDocument, 8, 24, KVMSG_HORIZPOSITIONINCH);
    Edit2 = NewEdit(GroupBoxTIFFDocument, 130, 20, 54, kWidestTIFFPosition);
    NewLabel(GroupBoxTIFFDocument, 8, 48, KVMSG_VERTPOSITIONINCH);
    Edit3 = NewEdit(GroupBoxTIFFDocument, 130, 44, 54, kWidestTIFFPosition);
    NewLabel(GroupBoxTIFFDocument, 8, 72, KVMSG_NAME);
    Edit4 = NewEdit(GroupBoxTIFFDocument, 80, 68, 104, "");
    NewLabel(GroupBoxTIFFDocument, 8, 96, KVMSG_DESCRIPTION);
    Edit5 = NewEdit(GroupBoxTIFFDocument, 80, 92, 104, "");
    NewLabel(GroupBoxTIFFDocument, 8, 120, KVMSG_PAGENAME);
    Edit6 = NewEdit(GroupBoxTIFFDocument, 80, 116, 104, "");
    NewLabel(GroupBoxTIFFDocument, 8, 144, KVMSG_PAGENUMBER);
    Edit7 = NewEdit(GroupBoxTIFFDocument, 80, 140, 40, kWidestWord);
    NewLabel(GroupBoxTIFFDocument, 126, 144, KVMSG_OF, false);
    Edit8 = NewEdit(GroupBoxTIFFDocument, 144, 140, 40, kWidestWord);
    AddSizeLabels(TabSheetTIFF1, ipgTIFF, kLabelLeft, kOriginalTop);

    TabSheetTIFF2 = NewPage("TIFF");
    NewLabel(TabSheetTIFF2, kLabelLeft, kRow[0] + 4, KVMSG_COMPRESSION);
    ComboBox16 = NewCombo(TabSheetTIFF2, kControlLeft, kRow[0], 130, {});
    NewLabel(TabSheetTIFF2, kLabelLeft, kRow[1] + 4, KVMSG_COLORS);
    ComboBox17 = NewCombo(TabSheetTIFF2, kControlLeft, kRow[1], 130, {"2", "16", "256", "65536", "16777216"});
    AddSizeLabels(TabSheetTIFF2, ipgTIFF, kLabelLeft, kSimplifiedOriginalTop);
}

void TfIOPreviews::CreateGIFPages()
{
    TabSheetGIF1 = NewPage("GIF");
    NewLabel(TabSheetGIF1, kLabelLeft, kRow[0] + 4, KVMSG_IMAGEINDEX);
    Edit9 = NewEdit(TabSheetGIF1, kControlLeft, kRow[0], 50, kWidestThousand);
    UpDown2 = NewUpDown(Edit9, 1000);
    NewLabel(TabSheetGIF1, kLabelLeft, kRow[1] + 4, KVMSG_COLORS);
    ComboBox5 =
        NewCombo(TabSheetGIF1, kControlLeft, kRow[1], 70, {"B/W", "4", "8", "16", "32", "64", "128", "256"});
    CheckBox4 = NewCheck(TabSheetGIF1, kLabelLeft, kRow[2] + 2, 96, KVMSG_TRANSPARENT);
    LabelTransparentColor = NewLabel(TabSheetGIF1, 108, kRow[2] + 4, KVMSG_TRANSPARENTCOLOR);
    Panel3 = NewColourPanel(TabSheetGIF1, 206, kRow[2]);
    CheckBox5 = NewCheck(TabSheetGIF1, kLabelLeft, kRow[3] + 2, 96, KVMSG_INTERLACED);
    LabelGIFBackground = NewLabel(TabSheetGIF1, 108, kRow[3] + 4, KVMSG_BACKGROUND);
    Panel4 = NewColourPanel(TabSheetGIF1, 206, kRow[3]);

    GroupBoxGIFAdvanced = NewGroupBox(TabSheetGIF1, 240, 0, 178, 112, KVMSG_ADVANCED);
    NewLabel(GroupBoxGIFAdvanced, 8, 24, KVMSG_DELAYTIME);
    Edit12 = NewEdit(GroupBoxGIFAdvanced, 94, 20, 40, kWidestWord);
    NewLabel(GroupBoxGIFAdvanced, 138, 24, "1/100 s");
    NewLabel(GroupBoxGIFAdvanced, 8, 52, KVMSG_HORIZPOSITION);
    Edit10 = NewEdit(GroupBoxGIFAdvanced, 94, 48, 40, kWidestWord);
    NewLabel(GroupBoxGIFAdvanced, 8, 80, KVMSG_VERTPOSITION);
    Edit11 = NewEdit(GroupBoxGIFAdvanced, 94, 76, 40, kWidestWord);
    AddSizeLabels(TabSheetGIF1, ipgGIF, kLabelLeft, kOriginalTop);

    TabSheetGIF2 = NewPage("GIF");
    NewLabel(TabSheetGIF2, kLabelLeft, kRow[0] + 4, KVMSG_COLORS);
    ComboBox18 =
        NewCombo(TabSheetGIF2, kControlLeft, kRow[0], 70, {"B/W", "4", "8", "16", "32", "64", "128", "256"});
    AddSizeLabels(TabSheetGIF2, ipgGIF, kLabelLeft, kSimplifiedOriginalTop);
}

void TfIOPreviews::CreateOtherPages()
{
    TabSheetBMP1 = NewPage("BMP");
    NewLabel(TabSheetBMP1, kLabelLeft, kRow[0] + 4, KVMSG_COMPRESSION);
    ComboBox6 = NewCombo(TabSheetBMP1, kControlLeft, kRow[0], 120, {"UNCOMPRESSED", "RLE"});
    NewLabel(TabSheetBMP1, kLabelLeft, kRow[1] + 4, KVMSG_COLORS);
    ComboBox7 = NewCombo(TabSheetBMP1, kControlLeft, kRow[1], 120,
                         {"B/W", "16", "256", "65536", "16M", "16M (32bit)"});
    AddSizeLabels(TabSheetBMP1, ipgBMP, kLabelLeft, kOriginalTop);

    TabSheetPCX1 = NewPage("PCX");
    NewLabel(TabSheetPCX1, kLabelLeft, kRow[0] + 4, KVMSG_COMPRESSION);
    ComboBox8 = NewCombo(TabSheetPCX1, kControlLeft, kRow[0], 120, {"UNCOMPRESSED", "RLE"});
    NewLabel(TabSheetPCX1, kLabelLeft, kRow[1] + 4, KVMSG_COLORS);
    ComboBox9 = NewCombo(TabSheetPCX1, kControlLeft, kRow[1], 120, {"B/W", "16", "256", "16M"});
    AddSizeLabels(TabSheetPCX1, ipgPCX, kLabelLeft, kOriginalTop);

    TabSheetPNG1 = NewPage("PNG");
    NewLabel(TabSheetPNG1, kLabelLeft, kRow[0] + 4, KVMSG_COLORS);
    ComboBox10 = NewCombo(TabSheetPNG1, kControlLeft, kRow[0], 80, {"B/W", "256", "16M"});
    LabelPNGBackground = NewLabel(TabSheetPNG1, kLabelLeft, kRow[1] + 4, KVMSG_BACKGROUND);
    Panel1 = NewColourPanel(TabSheetPNG1, kControlLeft, kRow[1]);
    GroupBoxPNGAdvanced = NewGroupBox(TabSheetPNG1, 200, 0, 218, 112, KVMSG_ADVANCED);
    NewLabel(GroupBoxPNGAdvanced, 8, 24, KVMSG_FILTER);
    ComboBox11 = NewCombo(GroupBoxPNGAdvanced, 100, 20, 100, {"None", "Sub", "Paeth"});
    CheckBox6 = NewCheck(GroupBoxPNGAdvanced, 8, 50, 110, KVMSG_INTERLACED);
    NewLabel(GroupBoxPNGAdvanced, 8, 80, KVMSG_COMPRESSION);
    ComboBox12 =
        NewCombo(GroupBoxPNGAdvanced, 100, 76, 100, {"None", "1", "2", "3", "4", "5", "6", "7", "8", "Max"});
    AddSizeLabels(TabSheetPNG1, ipgPNG, kLabelLeft, kOriginalTop);

    TabSheetTGA1 = NewPage("TGA");
    NewLabel(TabSheetTGA1, kLabelLeft, kRow[0] + 4, KVMSG_COLORS);
    ComboBox14 = NewCombo(TabSheetTGA1, kControlLeft, kRow[0], 80, {"B/W", "256", "16M"});
    LabelTGABackground = NewLabel(TabSheetTGA1, kLabelLeft, kRow[1] + 4, KVMSG_BACKGROUND);
    Panel5 = NewColourPanel(TabSheetTGA1, kControlLeft, kRow[1]);
    CheckBox1 = NewCheck(TabSheetTGA1, 200, kRow[0] + 2, 120, KVMSG_COMPRESSION);
    LabelTGAName = NewLabel(TabSheetTGA1, kLabelLeft, kRow[2] + 4, KVMSG_NAME);
    Edit13 = NewEdit(TabSheetTGA1, kControlLeft, kRow[2], 200, "");
    LabelTGADescription = NewLabel(TabSheetTGA1, kLabelLeft, kRow[3] + 4, KVMSG_DESCRIPTION);
    Edit14 = NewEdit(TabSheetTGA1, kControlLeft, kRow[3], 310, "");
    AddSizeLabels(TabSheetTGA1, ipgTGA, kLabelLeft, kOriginalTop);

    TabSheetJ20001 = NewPage("JPEG2000");
    NewLabel(TabSheetJ20001, kLabelLeft, kRow[0] + 4, KVMSG_RATE);
    Edit15 = NewEdit(TabSheetJ20001, kControlLeft, kRow[0], 40, kWidestThousand);
    TrackBar1 = NewTrackBar(TabSheetJ20001, 146, kRow[0] - 4, 268, 1000, 20);
    LabelJ2000Photometric = NewLabel(TabSheetJ20001, kLabelLeft, kRow[1] + 4, KVMSG_PHOTOMETRIC);
    ComboBox15 = NewCombo(TabSheetJ20001, kControlLeft, kRow[1], 100, {"GrayScale", "RGB", "YCbCr"});
    AddSizeLabels(TabSheetJ20001, ipgJ2000, kLabelLeft, kOriginalTop);
}

void TfIOPreviews::ArrangeSimplified()
{
    // The simplified variant hides the pages' finer settings; the size rows move up.
    LabelPNGBackground->SetVisible(false);
    Panel1->SetVisible(false);
    GroupBoxPNGAdvanced->SetVisible(false);
    for (TControl* c : std::initializer_list<TControl*>{LabelTGABackground, Panel5, LabelTGAName, Edit13,
                                                        LabelTGADescription, Edit14}) {
        c->SetVisible(false);
    }
    LabelJ2000Photometric->SetVisible(false);
    ComboBox15->SetVisible(false);
    for (TTabSheet* page : {TabSheetBMP1, TabSheetPCX1, TabSheetPNG1, TabSheetTGA1, TabSheetJ20001}) {
        MoveSizeLabels(page, kSimplifiedOriginalTop, kSimplifiedCompressedTop);
    }
}

void TfIOPreviews::SetLanguage(TMsgLanguage Language)
{
    SetCaption(kvmsg(KVMSG_PARAMETERSPREVIEW, Language));
    for (const TWordCaption& c : FWordCaptions) {
        c.Control->SetCaption(kvmsg(c.Word, Language) + (c.Colon ? ":" : ""));
    }
    SpeedButton1->SetHint(kvmsg(KVMSG_LOCKPREVIEW, Language));
    FCancelText = std::string("&").append(kvmsg(KVMSG_CANCEL, Language));
    Refit();
}
