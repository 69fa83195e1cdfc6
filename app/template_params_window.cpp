// The template parameter window.
#include "app/template_params_window.h"

#include "app/param_value_window.h"
#include "app/template_params.h"
#include "app/typed_values.h"
#include "app/window_controls.h"
#include "platform/forms/com_controls.h"
#include "platform/graphics/canvas.h"

TTempParam* TempParam = nullptr;

namespace {

const TColor SelectedRowColor = RGBToColor(255, 255, 190);
const TColor SelectedTextColor = RGBToColor(0, 0, 128);
const TColor ColumnLineColor = RGBToColor(128, 128, 128);

// The byte offset after each UTF-8 character of Text. A stray continuation byte counts as a
// character of its own, so that nothing is ever lost between two cuts.
std::vector<size_t> CharacterEnds(const std::string& Text)
{
    std::vector<size_t> ends;
    for (size_t i = 1; i <= Text.size(); ++i) {
        if (i == Text.size() || (static_cast<unsigned char>(Text[i]) & 0xC0) != 0x80) {
            ends.push_back(i);
        }
    }
    return ends;
}

} // namespace

std::string FitText(TCanvas& Canvas, const std::string& Text, int32_t Limit)
{
    if (Canvas.TextWidth(Text) <= Limit) {
        return Text;
    }
    // A start of at least three characters, shorter than the text; the drawn width grows with
    // the number of characters, so the longest start that fits is found by halving.
    const std::vector<size_t> ends = CharacterEnds(Text);
    constexpr size_t ShortestStart = 3;
    auto shortened = [&](size_t Characters) { return Text.substr(0, ends[Characters - 1]) + "..."; };
    size_t low = ShortestStart;
    size_t high = ends.size() - 1;
    std::string fitted;
    while (low <= high && high >= ShortestStart) {
        const size_t middle = low + (high - low) / 2;
        std::string candidate = shortened(middle);
        if (Canvas.TextWidth(candidate) <= Limit) {
            fitted = std::move(candidate);
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return fitted;
}

TTempParam::TTempParam(TComponent* AOwner) : TForm(AOwner)
{
    SetName("TempParam");
    SetCaption("Template's parameters");
    SetBorderStyle(bsSingle);
    SetBorderIcons(biSystemMenu);
    SetPosition(poOwnerFormCenter);
    Font()->SetName("Arial");
    Font()->SetHeight(-11);
    SetClientWidth(413);
    SetClientHeight(217);

    Param_HD = PlaceControl<THeaderControl>(this, this, "Param_HD", 4, 4, 405, 18);
    Param_HD->SetDragReorder(false);
    THeaderSection* name = Param_HD->Sections()->Add();
    name->SetText("Parameter name");
    name->SetWidth(200);
    name->SetAllowClick(false);
    THeaderSection* value = Param_HD->Sections()->Add();
    value->SetText("Value");
    value->SetWidth(205);
    value->SetAutoSize(true);

    Param_LST = PlaceControl<TListBox>(this, this, "Param_LST", 4, 22, 405, 165);
    Param_LST->SetStyle(lbOwnerDrawFixed);
    Param_LST->SetItemHeight(19);
    Param_LST->Font()->SetName("Arial");
    Param_LST->Font()->SetHeight(-12);

    Edit_BTN = PlaceControl<TButton>(this, this, "Edit_BTN", 254, 190, 75, 23);
    Edit_BTN->SetCaption("Edit");
    Close_BTN = PlaceControl<TButton>(this, this, "Close_BTN", 334, 190, 75, 23);
    Close_BTN->SetCaption("Close");
    Close_BTN->SetCancel(true);

    OnShow = Handler(this, &TTempParam::FormShow);
    Param_HD->OnSectionResize = [this](THeaderControl* HeaderControl, THeaderSection* Section) {
        Param_HDSectionResize(HeaderControl, Section);
    };
    Param_LST->OnDrawItem = [this](TWinControl* Control, int32_t Index, TRect Rect, TOwnerDrawState State) {
        Param_LSTDrawItem(Control, Index, Rect, State);
    };
    Param_LST->OnDblClick = Handler(this, &TTempParam::Param_LSTDblClick);
    Edit_BTN->OnClick = Handler(this, &TTempParam::Param_LSTDblClick);
    Close_BTN->OnClick = Handler(this, &TTempParam::Close_BTNClick);

    if (TempParam == nullptr) {
        TempParam = this;
    }
}

TTempParam::~TTempParam()
{
    if (TempParam == this) {
        TempParam = nullptr;
    }
}

TVqValue* TTempParam::RowParameter(int32_t Row) const
{
    if (Row < 0 || static_cast<size_t>(Row) >= FRows.size()) {
        return nullptr;
    }
    return FRows[static_cast<size_t>(Row)];
}

void TTempParam::FormShow(TObject*)
{
    FRows.clear();
    Param_LST->Items()->BeginUpdate();
    Param_LST->Items()->Clear();
    for (int32_t i = 0; i < TemplateParams.Count(); ++i) {
        TVqValue* parameter = TemplateParams.GetItem(i);
        FRows.push_back(parameter);
        Param_LST->Items()->Add(parameter->Name());
    }
    Param_LST->Items()->EndUpdate();
    Param_LST->SetItemIndex(FRows.empty() ? -1 : 0);
}

void TTempParam::Param_HDSectionResize(THeaderControl*, THeaderSection*)
{
    THeaderSection* name = Param_HD->Sections()->Items(0);
    Param_HD->Sections()->Items(1)->SetWidth(Param_HD->Width() - name->Width());
    Param_LST->Repaint();
}

void TTempParam::Param_LSTDrawItem(TWinControl*, int32_t Index, TRect Rect, TOwnerDrawState State)
{
    const TVqValue* parameter = RowParameter(Index);
    if (parameter == nullptr) {
        return;
    }
    TCanvas& canvas = *Param_LST->Canvas();
    const bool selected = (State & odSelected) != 0;
    canvas.Brush()->SetStyle(bsSolid);
    canvas.Brush()->SetColor(selected ? SelectedRowColor : clWhite);
    canvas.Font()->SetStyle(selected ? TFontStyles{fsBold} : TFontStyles{});
    canvas.Font()->SetColor(selected ? SelectedTextColor : clBlack);
    canvas.Pen()->SetStyle(psSolid);
    canvas.Pen()->SetColor(clWhite);
    canvas.Pen()->SetWidth(1);
    canvas.Rectangle(Rect);

    const int32_t nameWidth = Param_HD->Sections()->Items(0)->Width() - 3;
    const int32_t valueWidth = (Rect.Right - Rect.Left) - nameWidth;
    canvas.TextOut(Rect.Left + 2, Rect.Top + 1, FitText(canvas, parameter->Name(), nameWidth - 4));
    canvas.TextOut(Rect.Left + nameWidth + 2, Rect.Top + 1,
                   FitText(canvas, parameter->AsString(), valueWidth - 4));

    canvas.Pen()->SetColor(ColumnLineColor);
    canvas.MoveTo(nameWidth, Rect.Top);
    canvas.LineTo(nameWidth, Param_LST->Height());
}

void TTempParam::Param_LSTDblClick(TObject*)
{
    const int32_t row = Param_LST->ItemIndex();
    TVqValue* parameter = RowParameter(row);
    if (parameter == nullptr) {
        return;
    }
    ParamValue->SetParameter(parameter);
    if (ParamValue->ShowModal() != mrOk) {
        return;
    }
    const TRect rowRect = Param_LST->ItemRect(row);
    Param_LST->InvalidateRect(&rowRect, false);
    Param_LST->Update();
    Param_LST->Repaint();
}

void TTempParam::Close_BTNClick(TObject*)
{
    Close();
}
