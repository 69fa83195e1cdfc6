// The table options window.
#include "app/options_window.h"

#include "app/settings.h"
#include "app/window_controls.h"
#include "platform/core/files.h"
#include "platform/core/lists.h"
#include "platform/core/strings.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/spin_edit.h"
#include "platform/forms/std_controls.h"

#include <algorithm>
#include <cctype>

TOptions* Options = nullptr;

namespace {

constexpr const char* HAlignItems[] = {"Default", "Left", "Center", "Right"};
constexpr const char* VAlignItems[] = {"Default", "Top", "Middle", "Bottom", "Baseline"};

bool IsHexDigit(char Key)
{
    return std::isxdigit(static_cast<unsigned char>(Key)) != 0;
}

// The colour of a "#RRGGBB" text; false for any other text, which can only have been pasted.
bool ParseHtmlColor(const std::string& Text, TColor& Color)
{
    if (Text.size() != 7 || Text[0] != '#' || !std::all_of(Text.begin() + 1, Text.end(), IsHexDigit)) {
        return false;
    }
    auto component = [&Text](size_t At) {
        return static_cast<uint8_t>(std::stoi(Text.substr(At, 2), nullptr, 16));
    };
    Color = RGBToColor(component(1), component(3), component(5));
    return true;
}

std::string HtmlColor(TColor Color)
{
    const COLORREF rgb = static_cast<COLORREF>(ColorToRGB(Color));
    return Format("#%02X%02X%02X", int32_t(GetRValue(rgb)), int32_t(GetGValue(rgb)), int32_t(GetBValue(rgb)));
}

// Selects the item whose text equals Value without regard to case; a value that matches no
// item leaves the selection as it was.
void SelectItem(TComboBox* Combo, const std::string& Value)
{
    for (int32_t i = 0; i < Combo->Items()->Count(); ++i) {
        if (SameText(Combo->Items()->Strings(i), Value)) {
            Combo->SetItemIndex(i);
            return;
        }
    }
}

// Typed text counts as it stands until the field loses the focus; what is stored is kept within
// the field's range all the same, so that no table is ever laid out with zero columns.
int32_t RangedValue(TCSpinEdit* Spin)
{
    return std::clamp(Spin->Value(), Spin->MinValue(), Spin->MaxValue());
}

} // namespace

TOptions::TOptions(TComponent* AOwner) : TForm(AOwner)
{
    SetName("Options");
    SetCaption("Options");
    SetBorderStyle(bsSizeable);
    SetBorderIcons(biSystemMenu);
    SetPosition(poOwnerFormCenter);
    Font()->SetName("Arial");
    Font()->SetHeight(-11);
    SetWidth(240);
    SetHeight(374);

    Table_GBX = PlaceControl<TGroupBox>(this, this, "Table_GBX", 8, 8, 216, 282);
    Table_GBX->SetCaption("  Parameters of tables of thumbnailes  ");
    auto spin = [this](const char* Name, const char* LabelName, const char* Caption, int32_t Top, int32_t Min,
                       int32_t Max) {
        PlaceLabel(this, Table_GBX, LabelName, Caption, 8, Top + 4);
        TCSpinEdit* edit = PlaceControl<TCSpinEdit>(this, Table_GBX, Name, 120, Top, 56, 22);
        edit->SetMinValue(Min);
        edit->SetMaxValue(Max);
        edit->SetValue(Min);
        return edit;
    };
    Cols_TXT = spin("Cols_TXT", "Cols_LBL", "Columns", 20, 2, 20);
    Rows_TXT = spin("Rows_TXT", "Rows_LBL", "Rows", 48, 2, 20);
    Border_TXT = spin("Border_TXT", "Border_LBL", "Border width", 76, 0, 10);
    Cellspace_TXT = spin("Cellspace_TXT", "Cellspace_LBL", "Cell's space", 104, 0, 20);
    Cellpad_TXT = spin("Cellpad_TXT", "Cellpad_LBL", "Cell's padding", 132, 0, 20);

    auto combo = [this](const char* Name, const char* LabelName, const char* Caption, int32_t Top,
                        auto& Items) {
        PlaceLabel(this, Table_GBX, LabelName, Caption, 8, Top + 4);
        TComboBox* box = PlaceControl<TComboBox>(this, Table_GBX, Name, 120, Top, 88, 21);
        box->SetStyle(csDropDownList);
        for (const char* item : Items) {
            box->Items()->Add(item);
        }
        return box;
    };
    HAlign_CBX = combo("HAlign_CBX", "HAlign_LBL", "Horizontal align", 160, HAlignItems);
    VAlign_CBX = combo("VAlign_CBX", "VAlign_LBL", "Vertical align", 188, VAlignItems);

    PlaceLabel(this, Table_GBX, "BgColor_LBL", "Background color", 8, 220);
    BgColor_TXT = PlaceControl<TEdit>(this, Table_GBX, "BgColor_TXT", 120, 216, 60, 21);
    Color_BTN = PlaceControl<TButton>(this, Table_GBX, "Color_BTN", 184, 215, 24, 23);
    Color_BTN->SetCaption("...");
    PlaceLabel(this, Table_GBX, "View_LBL", "Page for viewing of image", 8, 242);
    View_TXT = PlaceControl<TEdit>(this, Table_GBX, "View_TXT", 8, 256, 172, 21);
    Open_BTN = PlaceControl<TButton>(this, Table_GBX, "Open_BTN", 184, 255, 24, 23);
    Open_BTN->SetCaption("...");

    Ok_BTN = PlaceControl<TButton>(this, this, "Ok_BTN", 40, 300, 75, 25);
    Ok_BTN->SetCaption("Ok");
    Cancel_BTN = PlaceControl<TButton>(this, this, "Cancel_BTN", 124, 300, 75, 25);
    Cancel_BTN->SetCaption("Cancel");
    // Enter in a field confirms the window and Escape cancels it.
    Ok_BTN->SetDefault(true);
    Cancel_BTN->SetCancel(true);

    Color_DLG = new TColorDialog(this);
    Color_DLG->SetName("Color_DLG");
    Color_DLG->Options = cdFullOpen | cdAnyColor;
    OpenView_DLG = new TOpenDialog(this);
    OpenView_DLG->SetName("OpenView_DLG");
    OpenView_DLG->Title = "Select viewer page";
    OpenView_DLG->Filter = "HTML files|*.htm;*.html|PHP files|*.php;*.php3;*.php4|ASP files|*.asp|"
                           "Perl files|*.cgi;*.pl|All files|*.*";

    OnShow = Handler(this, &TOptions::FormShow);
    Ok_BTN->OnClick = Handler(this, &TOptions::Ok_BTNClick);
    Cancel_BTN->OnClick = Handler(this, &TOptions::Cancel_BTNClick);
    Color_BTN->OnClick = Handler(this, &TOptions::Color_BTNClick);
    Open_BTN->OnClick = Handler(this, &TOptions::Open_BTNClick);
    BgColor_TXT->OnKeyPress = [this](TObject* Sender, char& Key) { BgColor_TXTKeyPress(Sender, Key); };

    if (Options == nullptr) {
        Options = this;
    }
}

TOptions::~TOptions()
{
    if (Options == this) {
        Options = nullptr;
    }
}

void TOptions::FormShow(TObject*)
{
    Cols_TXT->SetValue(GallerySettings.TableCols);
    Rows_TXT->SetValue(GallerySettings.TableRows);
    Border_TXT->SetValue(GallerySettings.TableBorder);
    Cellspace_TXT->SetValue(GallerySettings.TableCellspace);
    Cellpad_TXT->SetValue(GallerySettings.TableCellpad);
    SelectItem(HAlign_CBX, GallerySettings.TableAlign);
    SelectItem(VAlign_CBX, GallerySettings.TableVAlign);
    BgColor_TXT->SetText(GallerySettings.TableBGColor);
    View_TXT->SetText(GallerySettings.ViewerPage);
}

void TOptions::Ok_BTNClick(TObject*)
{
    const struct
    {
        const char* Name;
        TCSpinEdit* Field;
        int32_t& Setting;
    } numbers[] = {
        {"TableCols", Cols_TXT, GallerySettings.TableCols},
        {"TableRows", Rows_TXT, GallerySettings.TableRows},
        {"TableBorder", Border_TXT, GallerySettings.TableBorder},
        {"TableCellspace", Cellspace_TXT, GallerySettings.TableCellspace},
        {"TableCellpad", Cellpad_TXT, GallerySettings.TableCellpad},
    };
    for (const auto& number : numbers) {
        number.Setting = RangedValue(number.Field);
        RegWriteInteger(OptionsSection, number.Name, number.Setting);
    }
    const struct
    {
        const char* Name;
        TWinControl* Field;
        std::string& Setting;
    } texts[] = {
        {"TableAlign", HAlign_CBX, GallerySettings.TableAlign},
        {"TableVAlign", VAlign_CBX, GallerySettings.TableVAlign},
        {"TableBGColor", BgColor_TXT, GallerySettings.TableBGColor},
    };
    for (const auto& text : texts) {
        text.Setting = text.Field->Text();
        RegWriteString(OptionsSection, text.Name, text.Setting);
    }
    GallerySettings.ViewerPage = View_TXT->Text();
    SetModalResult(mrOk);
}

void TOptions::Cancel_BTNClick(TObject*)
{
    SetModalResult(mrCancel);
}

void TOptions::BgColor_TXTKeyPress(TObject*, char& Key)
{
    constexpr char Tab = '\t';
    constexpr char Enter = '\r';
    constexpr char Backspace = '\b';
    if (Key == Tab || Key == Enter || Key == Backspace) {
        return;
    }
    // Measured in bytes on both sides, so that a pasted text of any characters compares alike.
    const size_t length = BgColor_TXT->Text().size();
    const size_t selected = BgColor_TXT->SelText().size();
    bool passes = false;
    if (IsHexDigit(Key)) {
        passes = length > 0 && length - selected < 7;
    } else if (Key == '#') {
        passes = length == 0 || selected == length;
    }
    if (!passes) {
        Key = 0;
    }
}

void TOptions::Color_BTNClick(TObject*)
{
    TColor start = clBlack;
    if (ParseHtmlColor(BgColor_TXT->Text(), start)) {
        Color_DLG->Color = start;
    }
    if (Color_DLG->Execute()) {
        BgColor_TXT->SetText(HtmlColor(Color_DLG->Color));
    }
}

void TOptions::Open_BTNClick(TObject*)
{
    if (OpenView_DLG->Execute()) {
        View_TXT->SetText(ExtractFileName(OpenView_DLG->FileName));
    }
}
