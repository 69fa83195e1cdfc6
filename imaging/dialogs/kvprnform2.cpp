// The modal print dialog: its controls, texts, unit switch and printing with OK.
#include "imaging/dialogs/kvprnform2.h"

#include "imaging/core/system_helpers.h"
#include "imaging/dialogs/detail/fit_layout.h"
#include "imaging/view/korvaneview.h"
#include "platform/forms/buttons.h"
#include "platform/forms/dialog_service.h"
#include "platform/forms/std_controls.h"

using namespace Kvprintforms;

namespace {

TLabel* MakeLabel(TComponent* Owner, TWinControl* Parent, const char* Name, const char* Caption, int32_t Left,
                  int32_t Top)
{
    auto* label = new TLabel(Owner);
    label->SetName(Name);
    label->SetParent(Parent);
    label->SetCaption(Caption);
    label->SetLeft(Left);
    label->SetTop(Top);
    return label;
}

TGroupBox* MakeGroup(TComponent* Owner, TWinControl* Parent, const char* Name, const char* Caption,
                     const TRect& Bounds)
{
    auto* group = new TGroupBox(Owner);
    group->SetName(Name);
    group->SetParent(Parent);
    group->SetCaption(Caption);
    group->SetBounds(Bounds.Left, Bounds.Top, Bounds.Right - Bounds.Left, Bounds.Bottom - Bounds.Top);
    return group;
}

TButton* MakeButton(TComponent* Owner, TWinControl* Parent, const char* Name, const char* Caption,
                    int32_t Left, int32_t Top, int32_t Width)
{
    auto* button = new TButton(Owner);
    button->SetName(Name);
    button->SetParent(Parent);
    button->SetCaption(Caption);
    button->SetBounds(Left, Top, Width, 25);
    return button;
}

} // namespace

Tfkvprnform2::Tfkvprnform2(TComponent* AOwner) : TKVPrintFormBase(AOwner)
{
    SetName("fkvprnform2");
    SetCaption("Print");
    SetBorderStyle(bsDialog);
    SetBorderIcons(biSystemMenu);
    SetPosition(poScreenCenter);
    Font()->SetName("Arial");
    Font()->SetHeight(-11);
    SetClientWidth(664);
    SetClientHeight(356);
    CreateSharedControls();
    CreateControls();
    // The places the controls have now are the design that each language's layout starts from.
    TakeDesign();
    OnShow = [this](TObject* Sender) { FormActivate(Sender); };
}

void Tfkvprnform2::CreateControls()
{
    GroupBox1 = MakeGroup(this, this, "GroupBox1", " Margins (inches) ", TRect{8, 4, 201, 128});
    Label1 = MakeLabel(this, GroupBox1, "Label1", "Top", 14, 25);
    Label2 = MakeLabel(this, GroupBox1, "Label2", "Left", 14, 50);
    Label3 = MakeLabel(this, GroupBox1, "Label3", "Right", 14, 75);
    Label4 = MakeLabel(this, GroupBox1, "Label4", "Bottom", 14, 100);
    for (int32_t i = 1; i <= 4; ++i)
        PlaceEdit(i, GroupBox1, 72, 21 + (i - 1) * 25, 84);

    GroupBox2 = MakeGroup(this, this, "GroupBox2", " Position ", TRect{8, 134, 201, 236});
    for (int32_t i = 0; i < 9; ++i)
        Place(PositionButtons[size_t(i)], GroupBox2, 59 + (i % 3) * 26, 20 + (i / 3) * 26, 25, 25);

    GroupBox3 = MakeGroup(this, this, "GroupBox3", " Size ", TRect{209, 4, 409, 128});
    Place(ComboBox1, GroupBox3, 12, 21, 176, 21);
    Label5 = MakeLabel(this, GroupBox3, "Label5", "Width", 14, 58);
    Label6 = MakeLabel(this, GroupBox3, "Label6", "Height", 14, 88);
    PlaceEdit(5, GroupBox3, 64, 54, 72);
    PlaceEdit(6, GroupBox3, 64, 84, 72);
    Label7 = MakeLabel(this, GroupBox3, "Label7", "inches", 156, 58);
    Label8 = MakeLabel(this, GroupBox3, "Label8", "inches", 156, 88);

    GroupBox4 = MakeGroup(this, this, "GroupBox4", " Gamma correction ", TRect{209, 134, 409, 186});
    Label9 = MakeLabel(this, GroupBox4, "Label9", "Value", 14, 25);
    PlaceEdit(7, GroupBox4, 64, 21, 72);

    GroupBox6 = MakeGroup(this, this, "GroupBox6", " Measure units ", TRect{209, 192, 409, 244});
    Label10 = MakeLabel(this, GroupBox6, "Label10", "Units", 14, 25);
    ComboBox2 = new TComboBox(this);
    ComboBox2->SetName("ComboBox2");
    Place(ComboBox2, GroupBox6, 64, 21, 124, 21);
    ComboBox2->SetStyle(csDropDownList);
    ComboBox2->Items()->Add("Inches");
    ComboBox2->Items()->Add("cm");
    ComboBox2->SetItemIndex(0);
    ComboBox2->OnChange = [this](TObject* Sender) { ComboBox2Change(Sender); };

    GroupBox5 = MakeGroup(this, this, "GroupBox5", " Preview ", TRect{417, 4, 656, 312});
    Place(KorvaneView1, GroupBox5, 8, 18, 223, 282);

    Button4 = MakeButton(this, this, "Button4", "Printer Setup...", 8, 322, 120);
    Button4->OnClick = [this](TObject* Sender) { Button4Click(Sender); };
    Button1 = MakeButton(this, this, "Button1", "OK", 500, 322, 75);
    Button1->SetDefault(true);
    // The dialog closes with OK once the page is printed; a job that fails leaves it open.
    Button1->OnClick = [this](TObject* Sender) { PrintPreview(Sender); };
    Button2 = MakeButton(this, this, "Button2", "Cancel", 581, 322, 75);
    Button2->SetCancel(true);
    Button2->SetModalResult(mrCancel);
    Layout().AnchorRight(Button1);
    Layout().AnchorRight(Button2);
}

void Tfkvprnform2::SetLanguage(TMsgLanguage Language)
{
    using Daduvudez::kvmsg;
    FLanguage = Language;
    SetCaption(kvmsg(KVMSG_PRINT, Language));
    Label1->SetCaption(kvmsg(KVMSG_TOP, Language));
    Label2->SetCaption(kvmsg(KVMSG_LEFT, Language));
    Label3->SetCaption(kvmsg(KVMSG_RIGHT, Language));
    Label4->SetCaption(kvmsg(KVMSG_BOTTOM, Language));
    GroupBox2->SetCaption(kvmsg(KVMSG_POSITION, Language));
    GroupBox5->SetCaption(kvmsg(KVMSG_PREVIEW, Language));
    GroupBox3->SetCaption(kvmsg(KVMSG_SIZE, Language));
    SetSizeModeTexts(Language);
    Label5->SetCaption(kvmsg(KVMSG_WIDTH, Language));
    Label6->SetCaption(kvmsg(KVMSG_HEIGHT, Language));
    GroupBox4->SetCaption(kvmsg(KVMSG_GAMMACORRECTION, Language));
    Label9->SetCaption(kvmsg(KVMSG_VALUE2, Language));
    Button1->SetCaption(kvmsg(KVMSG_OK, Language));
    Button2->SetCaption(kvmsg(KVMSG_CANCEL, Language));
    Button4->SetCaption(kvmsg(KVMSG_PRINTSETUP, Language) + "...");
    GroupBox6->SetCaption(kvmsg(KVMSG_MEASUREUNITS, Language));
    Label10->SetCaption(kvmsg(KVMSG_UNITS, Language));
    SetLanguage_units();
}

void Tfkvprnform2::SetLanguage_units()
{
    using Daduvudez::kvmsg;
    if (IsCentimetres(DialogsMeasureUnit)) {
        GroupBox1->SetCaption(std::string(" ").append(kvmsg(KVMSG_MARGINS, FLanguage)).append(" (cm) "));
        Label7->SetCaption("cm");
        Label8->SetCaption("cm");
    } else {
        const std::string inches = kvmsg(KVMSG_INCHES, FLanguage);
        GroupBox1->SetCaption(std::string(" ")
                                  .append(kvmsg(KVMSG_MARGINS, FLanguage))
                                  .append(" (")
                                  .append(inches)
                                  .append(") "));
        Label7->SetCaption(inches);
        Label8->SetCaption(inches);
    }
    Refit();
}

void Tfkvprnform2::FormActivate(TObject* Sender)
{
    Daduvudez::KVResetPrinter();
    ComboBox1->SetItemIndex(1);
    EnableSpecifiedSize(false);
    const bool selectable =
        DialogsMeasureUnit == kvduSelectableDefInches || DialogsMeasureUnit == kvduSelectableDefCm;
    GroupBox6->SetVisible(selectable);
    if (selectable)
        ComboBox2->SetItemIndex(DialogsMeasureUnit == kvduSelectableDefCm ? 1 : 0);
    PrintPreview(Sender);
}

void Tfkvprnform2::ComboBox2Change(TObject* Sender)
{
    const TKVDialogsMeasureUnit unit =
        ComboBox2->ItemIndex() == 1 ? kvduSelectableDefCm : kvduSelectableDefInches;
    if (unit == DialogsMeasureUnit)
        return;
    const double factor = ConversionFactor(DialogsMeasureUnit, unit);
    {
        // One preview once every length is rewritten, not one per edit.
        const TPreviewLock lock(*this);
        for (TEdit* margin : {Edit1, Edit2, Edit3, Edit4})
            margin->SetText(ConvertLength(margin->Text(), factor, 0));
        for (TEdit* size : {Edit5, Edit6})
            size->SetText(ConvertLength(size->Text(), factor, 1));
        DialogsMeasureUnit = unit;
    }
    SetLanguage_units();
    PrintPreview(Sender);
}

void Tfkvprnform2::Button4Click(TObject* Sender)
{
    DialogService().PrinterSetup();
    PrintPreview(Sender);
}

bool Tfkvprnform2::IsPrintControl(TObject* Sender) const
{
    return Sender == Button1;
}

void Tfkvprnform2::Printed()
{
    SetModalResult(mrOk);
}

void Tfkvprnform2::EnableSpecifiedSize(bool Enabled)
{
    TKVPrintFormBase::EnableSpecifiedSize(Enabled);
    for (TLabel* label : {Label5, Label6, Label7, Label8})
        label->SetEnabled(Enabled);
}
