// TfIOPreviews: showing the pages, moving values between the record, the working copy and the
// controls, the change handlers, the colour pickers and the live preview.
#include "imaging/dialogs/iopreviews.h"

#include "imaging/dialogs/detail/fit_layout.h"

#include "imaging/core/bit_utils.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/palette_dialog.h"
#include "imaging/core/pixel_helpers.h"
#include "imaging/dialogs/flag_scope.h"
#include "imaging/proc/proc_component.h"
#include "imaging/view/korvaneview.h"
#include "platform/core/rounding.h"
#include "platform/core/strings.h"
#include "platform/forms/application.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/page_control.h"
#include "platform/forms/std_controls.h"
#include "platform/forms/up_down.h"

#include <algorithm>

using namespace Iopreviews;
using Daduvudez::_GetNumCol;
using Korvaneproc::TRGB2TColor;

namespace {

// The item chosen, or Current when none is.
int32_t ItemOr(TComboBox* Combo, int32_t Current)
{
    const int32_t index = Combo->ItemIndex();
    return index >= 0 ? index : Current;
}

void SetNumber(TEdit* Edit, int64_t Value)
{
    Edit->SetText(IntToStr(Value));
}

std::string SizeText(int64_t Bytes)
{
    return Bytes < 0 ? std::string("---") : IntToStr(Bytes) + " bytes";
}

} // namespace

// ---- Preparation ----

void TfIOPreviews::SetSourceImage(TKVBitmap* Source)
{
    TKVBitmap* shown = Korvane1->GetKVBitmap();
    if (Source == nullptr || shown == nullptr) {
        return;
    }
    shown->AssignImage(Source);
    const TKVPixelFormat format = shown->GetPixelFormat();
    if (format != kv24RGB && format != kv1g && shown->GetWidth() > 0 && shown->GetHeight() > 0) {
        shown->ConvertToPixelFormat(kv24RGB);
    }
    Korvane1->Update();
}

void TfIOPreviews::PrepareFor(TIOParamsVals* Params, TIOPreviewsParams Options, bool Simplified,
                              TKVDitherMethod Dither, TMsgLanguage Language, TFont* AFont)
{
    IOParams = Params;
    DefaultLockPreview = (Options & (1u << ioppDefaultLockPreview)) != 0;
    Button4->SetVisible((Options & (1u << ioppApplyButton)) != 0);
    SimplifiedParamsDialogs = Simplified;
    if (Simplified) {
        const int32_t ppi = Screen->PixelsPerInch();
        PageControl1->SetHeight(Trunc(ppi * 1.2708333333333333));
        SetHeight(Trunc(ppi * 3.4375));
        Layout().TakeHeight(PageControl1);
        Layout().TakeHeight(this);
    }
    DitherMethod = Dither;
    SetLanguage(Language);
    // The controls are fitted again to the font.
    SetFont(AFont);
}

bool TfIOPreviews::SetPreviewParams(TPreviewParams Pages)
{
    FPages = ResolvePages(Pages, IOParams != nullptr ? IOParams->FileType : 0);
    for (TIOPreviewPage page : {ipgJPEG, ipgTIFF, ipgGIF, ipgBMP, ipgPCX, ipgPNG, ipgTGA, ipgJ2000}) {
        if (ShowsPage(FPages, page)) {
            return true;
        }
    }
    return false;
}

bool TfIOPreviews::HasTIFFLZW() const
{
    return Iopreviews::HasTIFFLZW();
}

int32_t TfIOPreviews::CompToCombo(TIOTIFFCompression Compression) const
{
    return Iopreviews::CompToCombo(Compression, HasTIFFLZW());
}

TIOTIFFCompression TfIOPreviews::ComboToComp(int32_t Index) const
{
    return Iopreviews::ComboToComp(Index, HasTIFFLZW());
}

// ---- Pages ----

TIOPreviewPage TfIOPreviews::PageOf(TTabSheet* Sheet) const
{
    if (Sheet == nullptr) {
        return ipgNone;
    }
    if (Sheet == TabSheetJPEG1 || Sheet == TabSheetJPEG2) {
        return ipgJPEG;
    }
    if (Sheet == TabSheetTIFF1 || Sheet == TabSheetTIFF2) {
        return ipgTIFF;
    }
    if (Sheet == TabSheetGIF1 || Sheet == TabSheetGIF2) {
        return ipgGIF;
    }
    if (Sheet == TabSheetBMP1) {
        return ipgBMP;
    }
    if (Sheet == TabSheetPCX1) {
        return ipgPCX;
    }
    if (Sheet == TabSheetPNG1) {
        return ipgPNG;
    }
    if (Sheet == TabSheetTGA1) {
        return ipgTGA;
    }
    return Sheet == TabSheetJ20001 ? ipgJ2000 : ipgNone;
}

TTabSheet* TfIOPreviews::SheetOf(TIOPreviewPage Page) const
{
    const bool simple = SimplifiedParamsDialogs;
    switch (Page) {
    case ipgJPEG:
        return simple ? TabSheetJPEG2 : TabSheetJPEG1;
    case ipgTIFF:
        return simple ? TabSheetTIFF2 : TabSheetTIFF1;
    case ipgGIF:
        return simple ? TabSheetGIF2 : TabSheetGIF1;
    case ipgBMP:
        return TabSheetBMP1;
    case ipgPCX:
        return TabSheetPCX1;
    case ipgPNG:
        return TabSheetPNG1;
    case ipgTGA:
        return TabSheetTGA1;
    case ipgJ2000:
        return TabSheetJ20001;
    case ipgNone:
        break;
    }
    return nullptr;
}

TIOPreviewPage TfIOPreviews::ActivePreviewPage() const
{
    return PageOf(PageControl1->ActivePage());
}

std::string TfIOPreviews::OriginalSizeText(TIOPreviewPage Page) const
{
    const TSizeLabels* labels = SizesOf(SheetOf(Page));
    return labels != nullptr ? labels->Original->Caption() : std::string();
}

std::string TfIOPreviews::CompressedSizeText(TIOPreviewPage Page) const
{
    const TSizeLabels* labels = SizesOf(SheetOf(Page));
    return labels != nullptr ? labels->Compressed->Caption() : std::string();
}

void TfIOPreviews::DoShow()
{
    TForm::DoShow();
    // Activation runs once: a colour picker closing activates the form again, and the user's
    // unsaved choices must survive it.
    if (!FActivated) {
        FActivated = true;
        FormActivate();
    }
}

void TfIOPreviews::FormActivate()
{
    FControlsLive = true;
    SpeedButton1->SetDown(DefaultLockPreview);
    Button3->SetEnabled(!SpeedButton1->Down());
    if (SimplifiedParamsDialogs) {
        ArrangeSimplified();
    }
    ShowPages();
    const std::vector<std::string> items = TIFFCompressionItems(HasTIFFLZW());
    for (TComboBox* combo : {ComboBox2, ComboBox16}) {
        TQuiet quiet(FControlsLive);
        combo->Items()->Clear();
        for (const std::string& item : items) {
            combo->Items()->Add(item);
        }
    }
    // The compression lists have their items only now: fit the boxes to them.
    Refit();
    ResetParameters();
    ApplyParameters();
    Korvane1->Fit();
    PageChanged();
}

void TfIOPreviews::ShowPages()
{
    TTabSheet* const full[] = {TabSheetJPEG1, TabSheetTIFF1, TabSheetGIF1, TabSheetBMP1,
                               TabSheetPCX1,  TabSheetPNG1,  TabSheetTGA1, TabSheetJ20001};
    TTabSheet* const simplified[] = {TabSheetJPEG2, TabSheetTIFF2, TabSheetGIF2, TabSheetBMP1,
                                     TabSheetPCX1,  TabSheetPNG1,  TabSheetTGA1, TabSheetJ20001};
    TQuiet quiet(FControlsLive);
    for (int32_t i = 0; i < PageControl1->PageCount(); ++i) {
        PageControl1->Pages(i)->SetTabVisible(false);
    }
    TTabSheet* first = nullptr;
    for (TTabSheet* sheet : SimplifiedParamsDialogs ? simplified : full) {
        if (ShowsPage(FPages, PageOf(sheet))) {
            sheet->SetTabVisible(true);
            first = first != nullptr ? first : sheet;
        }
    }
    PageControl1->SetActivePage(first);
}

void TfIOPreviews::PageChanging()
{
    FControlsLive = false;
}

void TfIOPreviews::PageChanged()
{
    FControlsLive = true;
    ResetParameters();
    ApplyParameters();
    if (SpeedButton1->Down()) {
        applyAct(Korvane2);
    }
    Button4->SetEnabled(false);
}

// ---- Record, working copy and controls ----

void TfIOPreviews::ResetParameters()
{
    if (IOParams != nullptr) {
        FValues.ResetFrom(*IOParams);
    }
}

void TfIOPreviews::ApplyParameters()
{
    TQuiet quiet(FControlsLive);
    TTabSheet* sheet = PageControl1->ActivePage();
    if (TSizeLabels* labels = SizesOf(sheet)) {
        TKVBitmap* source = Korvane1->GetKVBitmap();
        ShowValues({labels->Original}, SizeText(OriginalSize(source->GetWidth(), source->GetHeight(),
                                                             source->GetPixelFormat() == kv1g)));
    }
    if (sheet == TabSheetTIFF1 || sheet == TabSheetTIFF2) {
        // The page holds what its list can show, so that OK writes what the user saw (an LZW
        // record shows PACKBITS without an LZW encoder).
        FValues.TIFF_Compression = ComboToComp(CompToCombo(FValues.TIFF_Compression));
    }
    const TIOValues& v = FValues;
    if (sheet == TabSheetJPEG1) {
        SetNumber(Edit22, v.JPEG_Quality);
        TrackBar13->SetPosition(v.JPEG_Quality);
        ComboBox13->SetItemIndex(v.JPEG_ColorSpace);
        ComboBox1->SetItemIndex(v.JPEG_DCTMethod);
        CheckBox2->SetChecked(v.JPEG_OptimalHuffman);
        CheckBox3->SetChecked(v.JPEG_Progressive);
        UpDown11->SetPosition(v.JPEG_Smooth);
        SetNumber(Edit23, v.JPEG_Smooth);
    } else if (sheet == TabSheetJPEG2) {
        SetNumber(Edit16, v.JPEG_Quality);
        TrackBar2->SetPosition(v.JPEG_Quality);
    } else if (sheet == TabSheetJ20001) {
        const int32_t rate = Round(v.J2000_Rate * 1000);
        SetNumber(Edit15, rate);
        TrackBar1->SetPosition(rate);
        ComboBox15->SetItemIndex(v.J2000_ColorSpace);
    } else if (sheet == TabSheetTIFF1) {
        ApplyTIFF();
    } else if (sheet == TabSheetTIFF2) {
        ComboBox16->SetItemIndex(CompToCombo(FValues.TIFF_Compression));
        ComboBox17->SetItemIndex(FValues.SimplifiedTIFFColorsShown());
    } else if (sheet == TabSheetGIF1) {
        ApplyGIF();
    } else if (sheet == TabSheetGIF2) {
        ComboBox18->SetItemIndex(std::clamp(v.BitsPerSample, 1, 8) - 1);
    } else if (sheet == TabSheetBMP1) {
        ComboBox6->SetItemIndex(v.BMP_Compression);
        ComboBox7->SetItemIndex(v.BMP_ColorsIndex);
    } else if (sheet == TabSheetPCX1) {
        ComboBox8->SetItemIndex(v.PCX_Compression);
        ComboBox9->SetItemIndex(v.PCX_ColorsIndex);
    } else if (sheet == TabSheetPNG1) {
        ComboBox10->SetItemIndex(v.PNG_ColorsIndex);
        ComboBox11->SetItemIndex(v.PNG_Filter);
        ComboBox12->SetItemIndex(std::clamp(v.PNG_Compression, 0, 9));
        CheckBox6->SetChecked(v.PNG_Interlaced);
        Panel1->SetColor(TRGB2TColor(v.PNG_Background));
    } else if (sheet == TabSheetTGA1) {
        ComboBox14->SetItemIndex(v.TGA_ColorsIndex);
        Panel5->SetColor(TRGB2TColor(v.TGA_Background));
        CheckBox1->SetChecked(v.TGA_Compressed);
        Edit13->SetText(v.TGA_ImageName);
        Edit14->SetText(v.TGA_Descriptor);
    }
}

void TfIOPreviews::ApplyTIFF()
{
    const TIOValues& v = FValues;
    ComboBox4->SetItemIndex(v.TIFFColorsShown());
    ComboBox2->SetItemIndex(CompToCombo(v.TIFF_Compression));
    UpDown1->SetPosition(v.TIFF_ImageIndex);
    SetNumber(Edit1, v.TIFF_ImageIndex);
    ComboBox3->SetItemIndex(v.TIFF_PhotometInterpret);
    SetNumber(Edit2, v.TIFF_XPos);
    SetNumber(Edit3, v.TIFF_YPos);
    Edit4->SetText(v.TIFF_DocumentName);
    Edit5->SetText(v.TIFF_ImageDescription);
    Edit6->SetText(v.TIFF_PageName);
    SetNumber(Edit7, v.TIFF_PageNumber);
    SetNumber(Edit8, v.TIFF_PageCount);
}

void TfIOPreviews::ApplyGIF()
{
    const TIOValues& v = FValues;
    ComboBox5->SetItemIndex(std::clamp(v.BitsPerSample, 1, 8) - 1);
    CheckBox4->SetChecked(v.GIF_FlagTranspColor);
    CheckBox5->SetChecked(v.GIF_Interlaced);
    ShowGIFTransparency();
    Panel3->SetColor(TRGB2TColor(v.GIF_TranspColor));
    Panel4->SetColor(TRGB2TColor(v.GIF_Background));
    UpDown2->SetPosition(v.GIF_ImageIndex);
    SetNumber(Edit9, v.GIF_ImageIndex);
    SetNumber(Edit10, v.GIF_XPos);
    SetNumber(Edit11, v.GIF_YPos);
    SetNumber(Edit12, v.GIF_DelayTime);
}

void TfIOPreviews::ShowGIFTransparency()
{
    LabelTransparentColor->SetEnabled(CheckBox4->Checked());
    Panel3->SetEnabled(CheckBox4->Checked());
}

// ---- Change handlers ----

bool TfIOPreviews::Store(const TIOValues& Values)
{
    if (Values == FValues) {
        return false;
    }
    FValues = Values;
    if (SpeedButton1->Down()) {
        applyAct(Korvane2);
    }
    Button4->SetEnabled(true);
    return true;
}

void TfIOPreviews::JPEGChanged(bool FromEdit)
{
    if (!FControlsLive) {
        return;
    }
    if (FromEdit) {
        // The track bar takes the number and its handler does the rest.
        TrackBar13->SetPosition(StrToIntDef(Edit22->Text(), 50));
        return;
    }
    TIOValues v = FValues;
    v.JPEG_Quality = TrackBar13->Position();
    v.JPEG_DCTMethod = TIOJPEGDctMethod(ItemOr(ComboBox1, v.JPEG_DCTMethod));
    v.JPEG_Smooth = StrToIntDef(Edit23->Text(), 0);
    v.JPEG_OptimalHuffman = CheckBox2->Checked();
    v.JPEG_Progressive = CheckBox3->Checked();
    v.JPEG_ColorSpace = TIOJPEGColorspace(ItemOr(ComboBox13, v.JPEG_ColorSpace));
    if (v == FValues) {
        return;
    }
    if (StrToIntDef(Edit22->Text(), -1) != v.JPEG_Quality) {
        TQuiet quiet(FControlsLive);
        SetNumber(Edit22, v.JPEG_Quality);
    }
    Store(v);
}

void TfIOPreviews::SimplifiedJPEGChanged(bool FromEdit)
{
    if (!FControlsLive) {
        return;
    }
    if (FromEdit) {
        TrackBar2->SetPosition(StrToIntDef(Edit16->Text(), 50));
        return;
    }
    TIOValues v = FValues;
    v.JPEG_Quality = TrackBar2->Position();
    if (v == FValues) {
        return;
    }
    if (StrToIntDef(Edit16->Text(), -1) != v.JPEG_Quality) {
        TQuiet quiet(FControlsLive);
        SetNumber(Edit16, v.JPEG_Quality);
    }
    Store(v);
}

void TfIOPreviews::J2000Changed(bool FromEdit)
{
    if (!FControlsLive) {
        return;
    }
    if (FromEdit) {
        TrackBar1->SetPosition(StrToIntDef(Edit15->Text(), 1000));
        return;
    }
    TIOValues v = FValues;
    v.J2000_Rate = TrackBar1->Position() / 1000.0;
    v.J2000_ColorSpace = TIOJ2000ColorSpace(ItemOr(ComboBox15, v.J2000_ColorSpace));
    if (v == FValues) {
        return;
    }
    const int32_t shown = Round(v.J2000_Rate * 1000);
    if (StrToIntDef(Edit15->Text(), -1) != shown) {
        TQuiet quiet(FControlsLive);
        SetNumber(Edit15, shown);
    }
    Store(v);
}

void TfIOPreviews::TIFFChanged(TObject* Sender)
{
    if (!FControlsLive) {
        return;
    }
    TIOValues v = FValues;
    int32_t colours = v.TIFFColorsShown();
    const auto photometric = TIOTIFFPhotometInterpret(ItemOr(ComboBox3, v.TIFF_PhotometInterpret));
    if (Sender == ComboBox3 && photometric != v.TIFF_PhotometInterpret) {
        colours = v.TIFFPhotometricChosen(photometric);
    } else if (Sender == ComboBox4 && ItemOr(ComboBox4, colours) != colours) {
        colours = ComboBox4->ItemIndex();
        v.TIFFColorsChosen(colours);
    }
    if (ComboBox2->ItemIndex() >= 0) {
        v.TIFF_Compression = ComboToComp(ComboBox2->ItemIndex());
    }
    v.TIFF_ImageIndex = StrToIntDef(Edit1->Text(), 0);
    v.TIFF_XPos = StrToIntDef(Edit2->Text(), 0);
    v.TIFF_YPos = StrToIntDef(Edit3->Text(), 0);
    v.TIFF_DocumentName = Edit4->Text();
    v.TIFF_ImageDescription = Edit5->Text();
    v.TIFF_PageName = Edit6->Text();
    v.TIFF_PageNumber = StrToIntDef(Edit7->Text(), 0);
    v.TIFF_PageCount = StrToIntDef(Edit8->Text(), 0);
    {
        TQuiet quiet(FControlsLive);
        ComboBox3->SetItemIndex(v.TIFF_PhotometInterpret);
        ComboBox4->SetItemIndex(colours);
    }
    Store(v);
}

void TfIOPreviews::SimplifiedTIFFChanged(TObject* Sender)
{
    if (!FControlsLive) {
        return;
    }
    TIOValues v = FValues;
    if (Sender == ComboBox16 && ComboBox16->ItemIndex() >= 0) {
        const TIOTIFFCompression compression = ComboToComp(ComboBox16->ItemIndex());
        if (compression != v.TIFF_Compression) {
            v.SimplifiedTIFFCompressionChosen(compression);
        }
    } else if (Sender == ComboBox17 && ComboBox17->ItemIndex() >= 0) {
        v.SimplifiedTIFFColorsChosen(ComboBox17->ItemIndex());
    }
    {
        TQuiet quiet(FControlsLive);
        ComboBox16->SetItemIndex(CompToCombo(v.TIFF_Compression));
        ComboBox17->SetItemIndex(TIFFColorsIndex(v.BitsPerSample, v.SamplesPerPixel));
    }
    Store(v);
}

void TfIOPreviews::GIFChanged()
{
    if (!FControlsLive) {
        return;
    }
    TIOValues v = FValues;
    v.BitsPerSample = ItemOr(ComboBox5, v.BitsPerSample - 1) + 1;
    v.GIF_Interlaced = CheckBox5->Checked();
    v.GIF_FlagTranspColor = CheckBox4->Checked();
    ShowGIFTransparency();
    v.GIF_ImageIndex = StrToIntDef(Edit9->Text(), 0);
    v.GIF_XPos = StrToIntDef(Edit10->Text(), 0);
    v.GIF_YPos = StrToIntDef(Edit11->Text(), 0);
    v.GIF_DelayTime = StrToIntDef(Edit12->Text(), 0);
    Store(v);
}

void TfIOPreviews::SimplifiedGIFChanged()
{
    if (!FControlsLive) {
        return;
    }
    TIOValues v = FValues;
    v.BitsPerSample = ItemOr(ComboBox18, v.BitsPerSample - 1) + 1;
    Store(v);
}

void TfIOPreviews::BMPChanged()
{
    if (!FControlsLive) {
        return;
    }
    TIOValues v = FValues;
    v.BMP_ColorsIndex = ItemOr(ComboBox7, v.BMP_ColorsIndex);
    v.BMP_Compression = ComboBox6->ItemIndex() > 0 ? ioBMP_RLE : ioBMP_UNCOMPRESSED;
    Store(v);
}

void TfIOPreviews::PCXChanged()
{
    if (!FControlsLive) {
        return;
    }
    TIOValues v = FValues;
    v.PCX_ColorsIndex = ItemOr(ComboBox9, v.PCX_ColorsIndex);
    v.PCX_Compression = ComboBox8->ItemIndex() > 0 ? ioPCX_RLE : ioPCX_UNCOMPRESSED;
    Store(v);
}

void TfIOPreviews::PNGChanged()
{
    if (!FControlsLive) {
        return;
    }
    TIOValues v = FValues;
    v.PNG_ColorsIndex = ItemOr(ComboBox10, v.PNG_ColorsIndex);
    v.PNG_Interlaced = CheckBox6->Checked();
    v.PNG_Filter = TIOPNGFilter(ItemOr(ComboBox11, v.PNG_Filter));
    v.PNG_Compression = ItemOr(ComboBox12, v.PNG_Compression);
    Store(v);
}

void TfIOPreviews::TGAChanged()
{
    if (!FControlsLive) {
        return;
    }
    TIOValues v = FValues;
    v.TGA_ColorsIndex = ItemOr(ComboBox14, v.TGA_ColorsIndex);
    v.TGA_Compressed = CheckBox1->Checked();
    v.TGA_ImageName = Edit13->Text();
    v.TGA_Descriptor = Edit14->Text();
    Store(v);
}

// ---- Colour pickers ----

bool TfIOPreviews::PickFromPalette(int64_t Entries, TRGB& Colour)
{
    const TIOParamsVals& params = FEncoder->Params();
    // Never more entries than the map holds.
    const int32_t count = int32_t(std::min<int64_t>(Entries, params.ColorMapCount));
    if (count <= 0) {
        ColorDialog1->Color = TRGB2TColor(Colour);
        if (!ColorDialog1->Execute()) {
            return false;
        }
        Colour = Korvaneproc::TColor2TRGB(ColorDialog1->Color);
        return true;
    }
    TKorvanePaletteDialog picker(nullptr);
    picker.CancelButton()->SetCaption(FCancelText);
    picker.SetPalette(params.ColorMap.get(), count);
    if (!picker.Execute()) {
        return false;
    }
    Colour = Korvaneproc::TColor2TRGB(picker.SelectedColor);
    return true;
}

void TfIOPreviews::PickGIFColour(TPanel* Panel, TRGB& Colour)
{
    // The picker offers the colours the GIF would have: a preview makes them first. Without an
    // LZW encoder no GIF and no map can be made, and the colour dialog is used instead.
    if (FEncoder->Params().ColorMapCount == 0) {
        applyAct(Korvane2);
    }
    if (PickFromPalette(_GetNumCol(FValues.BitsPerSample, 1), Colour)) {
        Panel->SetColor(TRGB2TColor(Colour));
        Button4->SetEnabled(true);
    }
}

void TfIOPreviews::PickBackground(TPanel* Panel, TRGB& Colour, int32_t ColorsIndex)
{
    const TBitsSamples bs = PNGColors(ColorsIndex);
    if (PickFromPalette(_GetNumCol(bs.Bits, bs.Samples), Colour)) {
        Panel->SetColor(TRGB2TColor(Colour));
        Button4->SetEnabled(true);
    }
}

// ---- Buttons, views and the preview ----

void TfIOPreviews::LockPreviewClicked()
{
    if (SpeedButton1->Down()) {
        applyAct(Korvane2);
    }
    Button3->SetEnabled(!SpeedButton1->Down());
}

void TfIOPreviews::FollowSourceView(TKorvaneView* Target)
{
    Target->LockUpdate();
    Target->SetZoom(Korvane1->Zoom());
    Target->SetViewXY(Korvane1->ViewX(), Korvane1->ViewY());
    Target->UnLockUpdate();
}

void TfIOPreviews::ShowSizes(int64_t Size)
{
    const TIOPreviewPage page = ActivePreviewPage();
    std::vector<TLabel*> shown;
    for (auto& [sheet, labels] : FSizes) {
        if (PageOf(sheet) == page) {
            shown.push_back(labels.Compressed);
        }
    }
    ShowValues(shown, SizeText(Size));
}

void TfIOPreviews::ShowValues(const std::vector<TLabel*>& Labels, const std::string& Text)
{
    bool changed = false;
    for (TLabel* label : Labels) {
        changed = changed || label->Caption() != Text;
        label->SetCaption(Text);
    }
    // A longer value than the page was fitted to moves what stands beside it, or widens the page.
    if (changed) {
        Refit();
    }
}

void TfIOPreviews::applyAct(TKorvaneView* Target)
{
    if (Target == nullptr) {
        return;
    }
    const int64_t size = RenderPreview(ActivePreviewPage(), FValues, Korvane1->GetKVBitmap(),
                                       Target->GetKVBitmap(), *FEncoder, *FProc, DitherMethod, FProgress);
    ShowSizes(size);
    ProgressBar1->SetPosition(0);
    Target->Update();
    FollowSourceView(Target);
}

void TfIOPreviews::Progress(TObject*, int32_t Per)
{
    ProgressBar1->SetPosition(FProgress.Base + Per / std::max(FProgress.Divisor, 1));
}

void TfIOPreviews::Button1Click(TObject*)
{
    if (IOParams != nullptr) {
        FValues.WriteTo(ActivePreviewPage(), *IOParams);
        FWritten = true;
    }
}

void TfIOPreviews::ConnectHandlers()
{
    auto on = [](auto handler) { return [handler](TObject*) { handler(); }; };
    Edit22->OnChange = on([this] { JPEGChanged(true); });
    TrackBar13->OnChange = on([this] { JPEGChanged(false); });
    for (TComboBox* combo : {ComboBox1, ComboBox13}) {
        combo->OnChange = on([this] { JPEGChanged(false); });
    }
    Edit23->OnChange = on([this] { JPEGChanged(false); });
    CheckBox2->OnClick = on([this] { JPEGChanged(false); });
    CheckBox3->OnClick = on([this] { JPEGChanged(false); });
    Edit16->OnChange = on([this] { SimplifiedJPEGChanged(true); });
    TrackBar2->OnChange = on([this] { SimplifiedJPEGChanged(false); });
    Edit15->OnChange = on([this] { J2000Changed(true); });
    TrackBar1->OnChange = on([this] { J2000Changed(false); });
    ComboBox15->OnChange = on([this] { J2000Changed(false); });

    for (TComboBox* combo : {ComboBox2, ComboBox3, ComboBox4}) {
        combo->OnChange = [this](TObject* Sender) { TIFFChanged(Sender); };
    }
    for (TEdit* edit : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8}) {
        edit->OnChange = [this](TObject* Sender) { TIFFChanged(Sender); };
    }
    for (TComboBox* combo : {ComboBox16, ComboBox17}) {
        combo->OnChange = [this](TObject* Sender) { SimplifiedTIFFChanged(Sender); };
    }

    ComboBox5->OnChange = on([this] { GIFChanged(); });
    CheckBox4->OnClick = on([this] { GIFChanged(); });
    CheckBox5->OnClick = on([this] { GIFChanged(); });
    for (TEdit* edit : {Edit9, Edit10, Edit11, Edit12}) {
        edit->OnChange = on([this] { GIFChanged(); });
    }
    ComboBox18->OnChange = on([this] { SimplifiedGIFChanged(); });
    ComboBox6->OnChange = on([this] { BMPChanged(); });
    ComboBox7->OnChange = on([this] { BMPChanged(); });
    ComboBox8->OnChange = on([this] { PCXChanged(); });
    ComboBox9->OnChange = on([this] { PCXChanged(); });
    for (TComboBox* combo : {ComboBox10, ComboBox11, ComboBox12}) {
        combo->OnChange = on([this] { PNGChanged(); });
    }
    CheckBox6->OnClick = on([this] { PNGChanged(); });
    ComboBox14->OnChange = on([this] { TGAChanged(); });
    CheckBox1->OnClick = on([this] { TGAChanged(); });
    Edit13->OnChange = on([this] { TGAChanged(); });
    Edit14->OnChange = on([this] { TGAChanged(); });

    Panel3->OnClick = on([this] { PickGIFColour(Panel3, FValues.GIF_TranspColor); });
    Panel4->OnClick = on([this] { PickGIFColour(Panel4, FValues.GIF_Background); });
    Panel1->OnClick = on([this] { PickBackground(Panel1, FValues.PNG_Background, FValues.PNG_ColorsIndex); });
    Panel5->OnClick = on([this] { PickBackground(Panel5, FValues.TGA_Background, FValues.TGA_ColorsIndex); });

    SpeedButton1->OnClick = on([this] { LockPreviewClicked(); });
    Button3->OnClick = on([this] { applyAct(Korvane2); });
    Button1->OnClick = [this](TObject* Sender) { Button1Click(Sender); };
    Button4->OnClick = [this](TObject* Sender) {
        Button1Click(Sender);
        Button4->SetEnabled(false);
    };
    PageControl1->OnChanging = [this](TObject*, bool&) { PageChanging(); };
    PageControl1->OnChange = on([this] { PageChanged(); });
    Korvane1->OnViewChange = [this](TObject*, int32_t) { FollowSourceView(Korvane2); };
}
