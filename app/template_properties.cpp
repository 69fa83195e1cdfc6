// The template properties window.
#include "app/template_properties.h"

#include "app/message_box.h"
#include "app/window_controls.h"
#include "platform/forms/buttons.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/std_controls.h"

TTempName* TempName = nullptr;

TTempName::TTempName(TComponent* AOwner) : TForm(AOwner)
{
    SetName("TempName");
    SetCaption("Properties of the template");
    SetBorderStyle(bsSizeable);
    SetPosition(poOwnerFormCenter);
    Font()->SetName("Arial");
    Font()->SetHeight(-11);
    SetWidth(455);
    SetHeight(140);

    Name_LBL = PlaceLabel(this, this, "Name_LBL", "Name of the template", 8, 8);
    Name_TXT = PlaceControl<TEdit>(this, this, "Name_TXT", 8, 24, 430, 21);
    Sample_LBL = PlaceLabel(this, this, "Sample_LBL", "Graphic sample of the template", 8, 52);
    Sample_TXT = PlaceControl<TEdit>(this, this, "Sample_TXT", 8, 68, 334, 21);
    Sample_TXT->SetEnabled(false);
    Sample_TXT->SetColor(clBtnFace);
    Open_BTN = PlaceControl<TButton>(this, this, "Open_BTN", 346, 67, 44, 23);
    Open_BTN->SetCaption("...");
    Clear_BTN = PlaceControl<TButton>(this, this, "Clear_BTN", 394, 67, 44, 23);
    Clear_BTN->SetCaption("Clear");

    Ok_BTN = PlaceControl<TButton>(this, this, "Ok_BTN", 177, 96, 75, 23);
    Ok_BTN->SetCaption("Ok");
    Ok_BTN->SetDefault(true);
    Cancel_BTN = PlaceControl<TBitBtn>(this, this, "Cancel_BTN", 101, 96, 75, 23);
    Cancel_BTN->SetKind(bkCancel);

    Sample_DLG = new TOpenDialog(this);
    Sample_DLG->SetName("Sample_DLG");
    Sample_DLG->Filter = "JPEG files|*.jpg";

    Ok_BTN->OnClick = Handler(this, &TTempName::Ok_BTNClick);
    Open_BTN->OnClick = Handler(this, &TTempName::Open_BTNClick);
    Clear_BTN->OnClick = Handler(this, &TTempName::Clear_BTNClick);

    if (TempName == nullptr) {
        TempName = this;
    }
}

TTempName::~TTempName()
{
    if (TempName == this) {
        TempName = nullptr;
    }
}

void TTempName::Ok_BTNClick(TObject*)
{
    if (Name_TXT->Text().empty()) {
        ShowMessageBox("You should specify the template name", MB_OK | MB_ICONSTOP);
        return;
    }
    SetModalResult(mrOk);
}

void TTempName::Open_BTNClick(TObject*)
{
    // The picker opens at the picture the field names.
    Sample_DLG->FileName = Sample_TXT->Text();
    if (Sample_DLG->Execute()) {
        Sample_TXT->SetText(Sample_DLG->FileName);
    }
}

void TTempName::Clear_BTNClick(TObject*)
{
    Sample_TXT->SetText("");
}
