// The print forms' shared controls: reading them, the page preview and the print job.
#include "imaging/dialogs/print_form_base.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/view/korvaneview.h"
#include "platform/forms/buttons.h"
#include "platform/forms/printers.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

using namespace Kvprintforms;

namespace {

constexpr int32_t kPositionGroup = 1;

// A small page with a dark block where the picture goes: top left for button 1, centre for 5,
// bottom right for 9. Fuchsia, the colour of its bottom-left pixel, stays transparent.
std::unique_ptr<TBitmap> PositionGlyph(int32_t Button)
{
    auto glyph = BlankGlyph();
    TCanvas* canvas = glyph->Canvas();
    canvas->Rectangle(2, 1, 14, 15);
    const int32_t column = (Button - 1) % 3;
    const int32_t row = (Button - 1) / 3;
    // Inside the page's outline, a dot's width from it.
    const int32_t left = 4 + column * 2;
    const int32_t top = 3 + row * 3;
    canvas->Brush()->SetColor(clNavy);
    canvas->FillRect(TRect{left, top, left + 4, top + 4});
    return glyph;
}

} // namespace

std::unique_ptr<TBitmap> Kvprintforms::BlankGlyph()
{
    auto glyph = std::make_unique<TBitmap>();
    glyph->SetPixelFormat(pf24bit);
    glyph->SetSize(16, 16);
    TCanvas* canvas = glyph->Canvas();
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(clFuchsia);
    canvas->FillRect(TRect{0, 0, 16, 16});
    canvas->Pen()->SetColor(clBlack);
    canvas->Brush()->SetColor(clWhite);
    return glyph;
}

TKVPrintFormBase::TKVPrintFormBase(TComponent* AOwner) : TKVFittedForm(AOwner) {}

TKVPrintFormBase::~TKVPrintFormBase() = default;

void TKVPrintFormBase::CreateSharedControls()
{
    const TNotifyEvent preview = [this](TObject* Sender) { PrintPreview(Sender); };
    auto makeEdit = [&](TEdit*& edit, const char* name, const char* text) {
        edit = new TEdit(this);
        edit->SetName(name);
        edit->SetParent(this);
        edit->SetText(text);
        edit->OnChange = preview;
    };
    makeEdit(Edit1, "Edit1", "1");
    makeEdit(Edit2, "Edit2", "1");
    makeEdit(Edit3, "Edit3", "1");
    makeEdit(Edit4, "Edit4", "1");
    makeEdit(Edit5, "Edit5", "6");
    makeEdit(Edit6, "Edit6", "4");
    makeEdit(Edit7, "Edit7", "1");

    // Not associated with their edits: an up-down writes whole numbers, and the edits step by
    // hundredths.
    const std::array<TEdit*, 7> edits = Edits();
    for (size_t i = 0; i < edits.size(); ++i) {
        auto* upDown = new TUpDown(this);
        upDown->SetName("UpDown" + std::to_string(i + 1));
        upDown->SetParent(this);
        upDown->SetMin(-10000);
        upDown->SetMax(10000);
        TEdit* edit = edits[i];
        upDown->OnClick = [this, edit](TObject*, TUDBtnType Button) { incdecmargins(edit, Button); };
        UpDowns[i] = upDown;
    }

    for (int32_t i = 0; i < 9; ++i) {
        auto* button = new TSpeedButton(this);
        button->SetName("SpeedButton" + std::to_string(i + 1));
        button->SetParent(this);
        button->SetGroupIndex(kPositionGroup);
        const std::unique_ptr<TBitmap> glyph = PositionGlyph(i + 1);
        button->SetGlyph(glyph.get());
        button->SetDown(i == 4);
        button->OnClick = preview;
        PositionButtons[size_t(i)] = button;
    }

    ComboBox1 = new TComboBox(this);
    ComboBox1->SetName("ComboBox1");
    ComboBox1->SetParent(this);
    ComboBox1->SetStyle(csDropDownList);
    SetSizeModeTexts(msEnglish);
    ComboBox1->SetItemIndex(1);
    ComboBox1->OnChange = [this](TObject* Sender) { SizeModeChanged(Sender); };

    KorvaneView1 = new TKorvaneView(this);
    KorvaneView1->SetName("KorvaneView1");
    KorvaneView1->SetParent(this);
    KorvaneView1->SetBackGround(clBtnFace);
    KorvaneView1->SetScrollBars(ssNone);
    KorvaneView1->SetCenter(true);
}

void TKVPrintFormBase::Place(TControl* Control, TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width,
                             int32_t Height)
{
    Control->SetParent(Parent);
    Control->SetBounds(Left, Top, Width, Height);
}

void TKVPrintFormBase::PlaceEdit(int32_t Index, TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width)
{
    Place(Edits()[size_t(Index - 1)], Parent, Left, Top, Width, 21);
    Place(UpDowns[size_t(Index - 1)], Parent, Left + Width, Top, kUpDownWidth, 21);
}

void TKVPrintFormBase::SetSizeModeTexts(TMsgLanguage Language)
{
    const int32_t chosen = ComboBox1->ItemIndex();
    TStrings* items = ComboBox1->Items();
    items->Clear();
    for (TMsgLanguageWords word : {KVMSG_NORMAL, KVMSG_FITTOPAGE, KVMSG_STRETCHTOPAGE, KVMSG_SPECIFIEDSIZE})
        items->Add(Daduvudez::kvmsg(word, Language));
    ComboBox1->SetItemIndex(chosen);
}

int32_t TKVPrintFormBase::PositionButton() const
{
    for (size_t i = 0; i < PositionButtons.size(); ++i)
        if (PositionButtons[i] != nullptr && PositionButtons[i]->Down())
            return int32_t(i) + 1;
    return 0;
}

TKVPrintValues TKVPrintFormBase::ReadValues() const
{
    TKVPrintFormTexts texts;
    texts.MarginLeft = Edit2->Text();
    texts.MarginTop = Edit1->Text();
    texts.MarginRight = Edit3->Text();
    texts.MarginBottom = Edit4->Text();
    texts.PositionButton = PositionButton();
    texts.SizeIndex = ComboBox1->ItemIndex();
    texts.Width = Edit5->Text();
    texts.Height = Edit6->Text();
    texts.Gamma = Edit7->Text();
    return ReadPrintValues(texts, DialogsMeasureUnit);
}

void TKVPrintFormBase::PrintPreview(TObject* Sender)
{
    // Edits filled while the form is built change before there is anything to show.
    if (KorvaneIO == nullptr || KorvaneView1 == nullptr || ComboBox1 == nullptr)
        return;
    const TKVPrintValues values = ReadValues();
    if (IsPrintControl(Sender))
        Print(values);
    else if (FPreviewLocks == 0 && CanPreview())
        Preview(values);
}

void TKVPrintFormBase::Preview(const TKVPrintValues& Values)
{
    TBitmap page;
    KorvaneIO->PreviewPrintImage(&page, KorvaneView1->ClientWidth(), KorvaneView1->ClientHeight(), Printer(),
                                 Values.MarginLeft, Values.MarginTop, Values.MarginRight, Values.MarginBottom,
                                 Values.VerticalPos, Values.HorizontalPos, Values.Size, Values.Width,
                                 Values.Height, Values.Gamma);
    KorvaneView1->GetKVBitmap()->CopyFromTBitmap(&page);
    KorvaneView1->Update();
}

void TKVPrintFormBase::Print(const TKVPrintValues& Values)
{
    TPrinter* printer = Printer();
    // The platform's printer takes the job's name when the job starts.
    printer->SetTitle(PrintTaskName);
    printer->BeginDoc();
    try {
        KorvaneIO->PrintImage(printer->Canvas(), Values.MarginLeft, Values.MarginTop, Values.MarginRight,
                              Values.MarginBottom, Values.VerticalPos, Values.HorizontalPos, Values.Size,
                              Values.Width, Values.Height, Values.Gamma);
    } catch (...) {
        printer->Abort();
        throw;
    }
    printer->EndDoc();
    Printed();
}

void TKVPrintFormBase::incdecmargins(TEdit* Edit, TUDBtnType Button)
{
    const double step = Edit == Edit7 ? kGammaStep : kLengthStep;
    Edit->SetText(StepValue(Edit->Text(), Button == btNext ? step : -step));
}

void TKVPrintFormBase::EnableSpecifiedSize(bool Enabled)
{
    Edit5->SetEnabled(Enabled);
    Edit6->SetEnabled(Enabled);
    UpDowns[4]->SetEnabled(Enabled);
    UpDowns[5]->SetEnabled(Enabled);
}

void TKVPrintFormBase::SizeModeChanged(TObject* Sender)
{
    EnableSpecifiedSize(ComboBox1->ItemIndex() == 3);
    PrintPreview(Sender);
}
