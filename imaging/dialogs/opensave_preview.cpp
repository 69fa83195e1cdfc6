// The panel beside the open and save dialogs' file list: the picture of the selected file (or its
// frames), the zoom box, the full-size preview window, the play button and the file's
// description.
#include "imaging/dialogs/kvopensavedlg.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/dialogs/opensave_texts.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/korvanemio.h"
#include "imaging/view/korvaneview.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/strings.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/std_controls.h"

#include <algorithm>
#include <filesystem>

namespace {

// Where the panel's parts sit: the picture area on top, the description under it.
constexpr int32_t kPanelWidth = 260;
constexpr int32_t kPictureHeight = 320;
// The description's two lines, then rows of boxes and the Advanced button, then a margin.
constexpr int32_t kBoxesTop = 50;
constexpr int32_t kRowHeight = 24;
constexpr int32_t kBottomMargin = 10;
constexpr int32_t kEdge = 6;
constexpr int32_t kGap = 6;
constexpr int32_t kZoomWidth = 60;
// The Advanced button is at least this wide; a longer caption widens it to the left.
constexpr int32_t kAdvancedWidth = 100;
constexpr int32_t kViewLeft = 6;
constexpr int32_t kViewTop = 32;
constexpr int32_t kViewWidth = 248;
constexpr int32_t kViewHeight = 220;

std::string Word(TMsgLanguageWords word, TMsgLanguage language)
{
    return Daduvudez::kvmsg(word, language);
}

// The glyphs of the preview button (a magnifying glass) and the play button (a triangle).
std::unique_ptr<TBitmap> Glyph(bool play)
{
    auto glyph = std::make_unique<TBitmap>();
    glyph->SetPixelFormat(pf24bit);
    glyph->SetSize(16, 16);
    TCanvas* c = glyph->Canvas();
    c->Brush()->SetColor(clBtnFace);
    c->FillRect(TRect{0, 0, 16, 16});
    c->Pen()->SetColor(clBlack);
    c->Brush()->SetColor(play ? clGreen : clWhite);
    if (play) {
        c->Polygon(std::vector<TPoint>{{4, 2}, {12, 8}, {4, 14}});
        return glyph;
    }
    c->Pen()->SetWidth(2);
    c->Ellipse(1, 1, 11, 11);
    c->MoveTo(9, 9);
    c->LineTo(14, 14);
    return glyph;
}

bool GifReaderRegistered()
{
    Korvaneio::KVUpdateGIFStatus();
    const TKVFileFormatInfo* gif = Korvaneio::KVFileFormatGetInfo(2);
    return gif != nullptr && gif->ReadFunction != nullptr;
}

// A file that exists and can be read, and its size.
bool IsFile(const std::string& Path, int64_t& Size)
{
    std::error_code error;
    if (Path.empty() || !std::filesystem::is_regular_file(Path, error)) {
        return false;
    }
    const uintmax_t size = std::filesystem::file_size(Path, error);
    Size = error ? 0 : int64_t(size);
    return !error;
}

} // namespace

TOpenKorvaneDialog::TOpenKorvaneDialog(TComponent* AOwner)
    : TKVCommonDialog(AOwner), FFiles(std::make_unique<TStringList>()),
      FHistoryList(std::make_unique<TStringList>())
{
    CreateControls();
    SetLang();
}

TOpenKorvaneDialog::~TOpenKorvaneDialog()
{
    // The views stop their loaders and timers before the components they use go.
    if (FKorvaneMView != nullptr) {
        FKorvaneMView->SetPlaying(false);
    }
}

void TOpenKorvaneDialog::CreateControls()
{
    FExtensionPanel = new TPanel(this);
    FExtensionPanel->SetName("ExtensionPanel");
    FExtensionPanel->SetBevelOuter(bvNone);
    FExtensionPanel->SetCaption("");
    FExtensionPanel->SetBounds(0, 0, kPanelWidth, kPictureHeight);

    FPicturePanel = new TPanel(this);
    FPicturePanel->SetName("PicturePanel");
    FPicturePanel->SetCaption("");
    FPicturePanel->SetParent(FExtensionPanel);
    FPicturePanel->SetBounds(0, 0, kPanelWidth, kPictureHeight);

    FZoomCombo = new TComboBox(this);
    FZoomCombo->SetName("ZoomCombo");
    FZoomCombo->SetParent(FPicturePanel);
    FZoomCombo->SetStyle(csDropDownList);
    FZoomCombo->SetBounds(6, 5, kZoomWidth, 21);
    FZoomCombo->SetHint("Zoom");
    FZoomCombo->SetShowHint(true);
    FZoomCombo->OnChange = [this](TObject*) { SetZoom(); };

    FPreviewButton = new TSpeedButton(this);
    FPreviewButton->SetName("PreviewButton");
    FPreviewButton->SetParent(FPicturePanel);
    FPreviewButton->SetFlat(true);
    FPreviewButton->SetBounds(70, 5, 23, 22);
    FPreviewButton->SetGlyph(Glyph(false).get());
    FPreviewButton->SetShowHint(true);
    FPreviewButton->OnClick = [this](TObject*) { PreviewClick(); };

    FPlayButton = new TSpeedButton(this);
    FPlayButton->SetName("PlayButton");
    FPlayButton->SetParent(FPicturePanel);
    FPlayButton->SetFlat(true);
    FPlayButton->SetBounds(95, 5, 23, 22);
    FPlayButton->SetGlyph(Glyph(true).get());
    FPlayButton->SetGroupIndex(1);
    FPlayButton->SetAllowAllUp(true);
    FPlayButton->SetShowHint(true);
    FPlayButton->OnClick = [this](TObject*) { PlayClick(); };

    FKorvaneView = new TKorvaneView(this);
    FKorvaneView->SetName("KorvaneView");
    FKorvaneView->SetParent(FPicturePanel);
    FKorvaneView->SetBounds(kViewLeft, kViewTop, kViewWidth, kViewHeight);
    FKorvaneView->SetBackGround(clWhite);
    FKorvaneView->SetBackgroundStyle(kvbsSolid);
    FKorvaneView->SetBorderStyle(bsSingle);
    FKorvaneView->SetCenter(true);
    FKorvaneView->SetZoomFilter(rfFastLinear);
    FKorvaneView->SetEnableAlphaChannel(true);
    FKorvaneView->OnDblClick = [this](TObject*) { PreviewClick(); };

    FKorvaneMView = new TKorvaneMView(this);
    FKorvaneMView->SetName("KorvaneMView");
    FKorvaneMView->SetParent(FPicturePanel);
    FKorvaneMView->SetBounds(kViewLeft, kViewTop, kViewWidth, kViewHeight);
    FKorvaneMView->SetThumbWidth(100);
    FKorvaneMView->SetThumbHeight(109);
    FKorvaneMView->SetBackGround(clWhite);
    FKorvaneMView->SetBorderStyle(bsSingle);
    FKorvaneMView->SetVisible(false);
    FKorvaneMView->OnImageSelect = [this](TObject*, int32_t idx) { ShowFrameParams(idx); };

    auto label = [this](const char* name, TWinControl* parent, int32_t top) {
        auto* l = new TLabel(this);
        l->SetName(name);
        l->SetParent(parent);
        l->SetBounds(6, top, kPanelWidth - 12, 18);
        l->SetCaption("");
        return l;
    };
    FPicLabel1 = label("PicLabel1", FPicturePanel, 256);
    FPicLabel2 = label("PicLabel2", FPicturePanel, 276);
    FPicLabel3 = label("PicLabel3", FPicturePanel, 296);

    FProgressBar = new TProgressBar(this);
    FProgressBar->SetName("ProgressBar");
    FProgressBar->SetParent(FPicturePanel);
    FProgressBar->SetMin(0);
    FProgressBar->SetMax(100);
    FProgressBar->SetVisible(false);

    FInfoPanel = new TPanel(this);
    FInfoPanel->SetName("InfoPanel");
    FInfoPanel->SetBevelOuter(bvNone);
    FInfoPanel->SetCaption("");
    FInfoPanel->SetParent(FExtensionPanel);
    FInfoPanel->SetBounds(0, kPictureHeight, kPanelWidth, kBoxesTop);
    FInfoLabel1 = label("InfoLabel1", FInfoPanel, 6);
    FInfoLabel2 = label("InfoLabel2", FInfoPanel, 26);

    FPreviewCheck = new TCheckBox(this);
    FPreviewCheck->SetName("PreviewCheck");
    FPreviewCheck->SetParent(FInfoPanel);
    FPreviewCheck->SetBounds(kEdge, kBoxesTop, 130, 23);
    FPreviewCheck->SetChecked(true);
    FPreviewCheck->SetVisible(false);
    FPreviewCheck->OnClick = [this](TObject*) { DoCheckPreview(); };

    FReadOnlyCheck = new TCheckBox(this);
    FReadOnlyCheck->SetName("ReadOnlyCheck");
    FReadOnlyCheck->SetParent(FInfoPanel);
    FReadOnlyCheck->SetBounds(kEdge, kBoxesTop + kRowHeight, kPanelWidth - 2 * kEdge, 23);
    FReadOnlyCheck->SetCaption("Open read-only");
    FReadOnlyCheck->SetVisible(false);

    FAdvancedButton = new TButton(this);
    FAdvancedButton->SetName("AdvancedButton");
    FAdvancedButton->SetParent(FInfoPanel);
    FAdvancedButton->SetBounds(kPanelWidth - kEdge - kAdvancedWidth, kBoxesTop - 2, kAdvancedWidth, 25);
    FAdvancedButton->SetVisible(false);

    FIO = new TKorvaneIO(this);
    FIO->SetAttachedKorvane(FKorvaneView);
    FIO->OnProgress = [this](TObject*, int32_t percent) { Progress(percent); };
    PreviewMIO()->OnProgress = [this](TObject*, int32_t percent) { Progress(percent); };
}

TKorvaneMIO* TOpenKorvaneDialog::PreviewMIO() const
{
    return FKorvaneMView->GetKorvaneMIO();
}

void TOpenKorvaneDialog::SetLang()
{
    FPreviewButton->SetHint(Word(KVMSG_PREVIEW, MsgLanguage));
    FPreviewCheck->SetCaption(Word(KVMSG_PREVIEW, MsgLanguage));
    FAdvancedButton->SetCaption(Word(KVMSG_ADVANCED, MsgLanguage) + "...");
    FPlayButton->SetHint(Word(KVMSG_ANIMATE, MsgLanguage));
}

TResampleFilter TOpenKorvaneDialog::ZoomFilter() const
{
    return FKorvaneView->ZoomFilter();
}

void TOpenKorvaneDialog::SetZoomFilter(TResampleFilter Value)
{
    FKorvaneView->SetZoomFilter(Value);
}

void TOpenKorvaneDialog::SetPreviewBorderStyle(TKVDBorderStyle Value)
{
    FPreviewBorderStyle = Value;
    static const TKVBackgroundStyle styles[] = {kvbsSolid, kvbsCropped, kvbsCropShadow};
    FKorvaneView->SetBackgroundStyle(styles[Value <= kvpsCropShadow ? Value : kvpsDefault]);
    FKorvaneView->SetBorderStyle(Value == kvpsDefault ? bsSingle : bsNone);
}

// Stacks the picture area over the description as this dialog shows them.
void TOpenKorvaneDialog::LayOut()
{
    const bool readOnly = !IsSaveDialog() && (Options & ofHideReadOnly) == 0;
    FReadOnlyCheck->SetVisible(readOnly);
    const int32_t infoHeight = PlaceBoxes();
    const bool showInfo = ExtendedDialog || FAdvancedButton->Visible() || readOnly;
    FPicturePanel->SetVisible(FPreviewEnabled);
    FInfoPanel->SetVisible(showInfo);
    FInfoPanel->SetBounds(0, FPreviewEnabled ? kPictureHeight : 0, kPanelWidth, infoHeight);
    FInfoLabel1->SetVisible(ExtendedDialog);
    FInfoLabel2->SetVisible(ExtendedDialog);
    for (TControl* control : {static_cast<TControl*>(FPicLabel1), static_cast<TControl*>(FPicLabel2),
                              static_cast<TControl*>(FPicLabel3), static_cast<TControl*>(FZoomCombo)}) {
        control->SetVisible(ExtendedDialog);
    }
    FExtensionPanel->SetHeight((FPreviewEnabled ? kPictureHeight : 0) + (showInfo ? infoHeight : 0));
}

// The zoom box as wide as its items, the preview and play buttons right of it.
void TOpenKorvaneDialog::PlaceZoomRow()
{
    FZoomCombo->SetWidth(std::max(kZoomWidth, FZoomCombo->ItemsWidth()));
    FPreviewButton->SetLeft(FZoomCombo->Left() + FZoomCombo->Width() + 4);
    FPlayButton->SetLeft(FPreviewButton->Left() + FPreviewButton->Width() + 2);
}

// Each box and the Advanced button as wide as its caption: the preview box on the left and the
// button on the right of one row, or the button on a row of its own when the captions leave no
// room side by side; the read-only box under them. Returns the description's height.
int32_t TOpenKorvaneDialog::PlaceBoxes()
{
    const int32_t room = kPanelWidth - 2 * kEdge;
    const int32_t checkWidth = std::min(FPreviewCheck->CaptionWidth(), room);
    const int32_t buttonWidth = std::min(std::max(kAdvancedWidth, FAdvancedButton->CaptionWidth()), room);
    FPreviewCheck->SetBounds(kEdge, kBoxesTop, checkWidth, FPreviewCheck->Height());
    int32_t next = kBoxesTop + kRowHeight;
    const bool ownRow = FPreviewCheck->Visible() && checkWidth + kGap + buttonWidth > room;
    FAdvancedButton->SetBounds(kEdge + room - buttonWidth, ownRow ? next : kBoxesTop - 2, buttonWidth,
                               FAdvancedButton->Height());
    if (ownRow && FAdvancedButton->Visible())
        next += FAdvancedButton->Height() + 2;
    FReadOnlyCheck->SetTop(next);
    if (FReadOnlyCheck->Visible())
        next += kRowHeight;
    return next + kBottomMargin;
}

void TOpenKorvaneDialog::DoShow()
{
    LayOut();
    if (FPreviewEnabled) {
        FZoomCombo->Items()->Clear();
        FZoomValues.clear();
        FZoomCombo->Items()->Add("Fit");
        FZoomValues.push_back(0);
        for (int32_t percent : {25, 50, 75, 100, 125, 150, 175, 200, 300, 400}) {
            FZoomCombo->Items()->Add(IntToStr(percent) + "%");
            FZoomValues.push_back(percent);
        }
        FZoomCombo->SetItemIndex(0);
        PlaceZoomRow();
        // White until a file is selected: a view without a picture paints nothing.
        ClearPreview();
        FKorvaneView->SetCenter(true);
        FPlayButton->SetEnabled(false);
    }
    TKVCommonDialog::DoShow();
}

void TOpenKorvaneDialog::DoClose()
{
    TKVCommonDialog::DoClose();
    FKorvaneMView->SetPlaying(false);
    FKorvaneMView->Clear();
    FKorvaneView->Blank();
}

void TOpenKorvaneDialog::SetZoom()
{
    const int32_t index = FZoomCombo->ItemIndex();
    if (index < 0 || size_t(index) >= FZoomValues.size()) {
        return;
    }
    if (FZoomValues[size_t(index)] == 0) {
        FKorvaneView->Fit();
    } else {
        FKorvaneView->SetZoom(FZoomValues[size_t(index)]);
    }
}

void TOpenKorvaneDialog::Progress(int32_t Percent)
{
    FProgressBar->SetPosition(Percent);
}

void TOpenKorvaneDialog::ClearPreview()
{
    FKorvaneView->SetBackGround(clWhite);
    FKorvaneView->Blank();
    FKorvaneMView->SetPlaying(false);
    FKorvaneMView->Clear();
    FPlayButton->SetDown(false);
}

void TOpenKorvaneDialog::DoSelectionChange()
{
    if (FBusy || !FPreviewEnabled) {
        if (!FBusy && OnSelectionChange) {
            OnSelectionChange(this);
        }
        return;
    }
    FBusy = true;
    struct TBusy
    {
        bool& Flag;
        ~TBusy() { Flag = false; }
    } busy{FBusy};

    const std::string path = GetFileName();
    int64_t size = 0;
    if (IsFile(path, size)) {
        FFileSize = size;
        if (FPreviewCheck->Checked()) {
            const TCursor cursor = Screen->Cursor();
            Screen->SetCursor(crHourGlass);
            ClearPreview();
            const std::string ext = LowerCase(ExtractFileExt(path));
            const bool multi = ShowAllFrames &&
                               (ext == ".avi" ||
                                (ext == ".gif" && GifReaderRegistered() && Korvaneio::EnumGifIm(path) > 1) ||
                                ((ext == ".tif" || ext == ".tiff") && Korvaneio::EnumTIFFIm(path) >= 2));
            if (multi) {
                ShowMultiFrame(path, ext);
            } else {
                ShowSingle(path);
            }
            FProgressBar->SetVisible(false);
            SetZoom();
            Screen->SetCursor(cursor);
            // Frames that play already keep the buttons that would disturb them off.
            FPreviewButton->SetEnabled(!FPlayButton->Down());
            FZoomCombo->SetEnabled(!FPlayButton->Down());
        } else {
            FFrames = 1;
            FIO->ParamsFromFile(path);
            ShowIOParams(FIO->Aborting || FIO->Params().FileType == 0 ? nullptr : &FIO->Params());
        }
    } else {
        FFileSize = 0;
        FFrames = 0;
        ShowIOParams(nullptr);
        FPreviewButton->SetEnabled(false);
        FZoomCombo->SetEnabled(false);
        ClearPreview();
        FPlayButton->SetEnabled(false);
    }
    if (OnSelectionChange) {
        OnSelectionChange(this);
    }
}

void TOpenKorvaneDialog::ShowMultiFrame(const std::string& Path, const std::string& Ext)
{
    FPlayButton->SetEnabled(true);
    FZoomCombo->SetEnabled(false);
    FKorvaneMView->SetVisible(true);
    FKorvaneView->SetVisible(false);
    FProgressBar->SetBounds(kViewLeft + 4, kViewTop + (kViewHeight - 19) / 2, kViewWidth - 8, 19);
    FProgressBar->SetPosition(0);
    FProgressBar->SetVisible(true);
    FProgressBar->BringToFront();
    TKorvaneMIO* mio = PreviewMIO();
    mio->AutoAdjustDPI = AutoAdjustDPI;
    mio->FilteredAdjustDPI = FilteredAdjustDPI;
    try {
        mio->LoadFromFile(Path);
    } catch (const Exception&) {
        // A file that cannot be read shows what was loaded of it, if anything.
    }
    FFrames = mio->GetParamsCount();
    if (FFrames > 0) {
        FKorvaneMView->SetSelectedItem(0);
        ShowFrameParams(0);
    } else {
        ShowIOParams(nullptr);
    }
    if (AlwaysAnimate && (Ext == ".avi" || (Ext == ".gif" && GifReaderRegistered()))) {
        FPlayButton->SetDown(true);
        PlayClick();
    }
}

void TOpenKorvaneDialog::ShowSingle(const std::string& Path)
{
    FPlayButton->SetEnabled(false);
    FZoomCombo->SetEnabled(true);
    FKorvaneView->SetVisible(true);
    FKorvaneMView->SetVisible(false);
    FProgressBar->SetBounds(kViewLeft + 4, kViewTop + (kViewHeight - 19) / 2, kViewWidth - 8, 19);
    FProgressBar->SetPosition(0);
    FProgressBar->BringToFront();
    // A JPEG is decoded at the smallest reduction that still covers the view.
    FIO->Params().Width = FKorvaneView->ClientWidth();
    FIO->Params().Height = FKorvaneView->ClientHeight();
    FIO->Params().JPEG_Scale = ioJPEG_AUTOCALC;
    FIO->AutoAdjustDPI = AutoAdjustDPI;
    FIO->FilteredAdjustDPI = FilteredAdjustDPI;
    bool failed = false;
    try {
        FIO->LoadFromFile(Path);
        failed = FIO->Aborting;
    } catch (const Exception&) {
        failed = true;
    }
    if (failed) {
        FFrames = 0;
        ShowIOParams(nullptr);
        return;
    }
    switch (FIO->Params().FileType) {
    case 15:
        FFrames = FIO->Params().AVI_FrameCount;
        break;
    case 2:
        FFrames = Korvaneio::EnumGifIm(Path);
        break;
    case 1:
        FFrames = Korvaneio::EnumTIFFIm(Path);
        break;
    case 6:
        FFrames = Korvaneio::EnumICOIm(Path);
        break;
    default:
        FFrames = 1;
        break;
    }
    ShowIOParams(&FIO->Params());
}

void TOpenKorvaneDialog::ShowFrameParams(int32_t Frame)
{
    ShowIOParams(PreviewMIO()->GetParams(Frame));
}

void TOpenKorvaneDialog::ShowIOParams(const TIOParamsVals* Params)
{
    const Kvopensavedlg::TKVFileInfoTexts texts =
        Kvopensavedlg::FileInfoTexts(Params, FFileSize, FFrames, MsgLanguage);
    FPicLabel1->SetCaption(texts.Dimensions);
    FPicLabel2->SetCaption(texts.Colours);
    FPicLabel3->SetCaption(texts.Resolution);
    FInfoLabel1->SetCaption(texts.FileType);
    FInfoLabel2->SetCaption(texts.Sizes);
}

void TOpenKorvaneDialog::PreviewClick()
{
    TKVBitmap* source = nullptr;
    if (FKorvaneView->Visible() && !FKorvaneView->GetIsEmpty()) {
        source = FKorvaneView->GetKVBitmap();
    } else if (FKorvaneMView->GetImageCount() > 0) {
        source = FKorvaneMView->GetKVBitmap();
    }
    if (source == nullptr || source->GetWidth() < 1 || source->GetHeight() < 1) {
        return;
    }
    auto form = std::make_unique<TForm>(nullptr);
    form->SetName("PreviewForm");
    form->SetBorderStyle(bsSizeToolWin);
    form->SetKeyPreview(true);
    form->SetPosition(poScreenCenter);
    form->SetCaption(Word(KVMSG_PREVIEW, MsgLanguage) + ": " + GetFileName());
    TForm* shown = form.get();
    form->OnKeyPress = [shown](TObject*, char& Key) {
        if (Key == char(VK_ESCAPE)) {
            shown->SetModalResult(mrCancel);
        }
    };
    auto* view = new TKorvaneView(form.get());
    view->SetName("KorvaneView");
    view->SetParent(form.get());
    view->SetAlign(alClient);
    view->SetCursor(crDefault);
    view->GetKVBitmap()->Assign(source);
    view->SetBackGround(clWhite);
    view->SetBackgroundStyle(kvbsSolid);
    view->SetCenter(true);
    // Narrow pictures get a small window; large ones the screen; others their own size. The
    // frame, and so the client size a window size gives, is known once the window has shown.
    const int32_t w = source->GetWidth();
    const int32_t h = source->GetHeight();
    auto* sizer = new TTimer(form.get());
    sizer->SetInterval(1);
    sizer->OnTimer = [shown, sizer, w, h](TObject*) {
        sizer->SetEnabled(false);
        if (w >= 101) {
            if (w >= Screen->Width()) {
                shown->SetWidth(Screen->Width());
            } else {
                shown->SetClientWidth(w);
            }
        } else {
            shown->SetWidth(100);
        }
        if (h >= 101) {
            if (h >= Screen->Height()) {
                shown->SetHeight(Screen->Height());
            } else {
                shown->SetClientHeight(h);
            }
        } else {
            shown->SetHeight(100);
        }
    };
    view->Update();
    form->ShowModal();
}

void TOpenKorvaneDialog::PlayClick()
{
    const bool playing = FPlayButton->Down();
    FKorvaneMView->SetPlaying(playing);
    FPreviewButton->SetEnabled(!playing);
    FZoomCombo->SetEnabled(!playing);
}

void TOpenKorvaneDialog::DoCheckPreview()
{
    if (FPreviewCheck->Checked()) {
        DoSelectionChange();
        return;
    }
    ShowIOParams(nullptr);
    FKorvaneView->SetBackGround(clWhite);
    FKorvaneView->Blank();
    FKorvaneView->SetZoom(100);
    FKorvaneMView->SetPlaying(false);
    FKorvaneMView->Clear();
    FPreviewButton->SetEnabled(false);
    FZoomCombo->SetEnabled(false);
}
