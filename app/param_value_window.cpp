// The parameter value window.
#include "app/param_value_window.h"

#include "app/typed_values.h"
#include "app/window_controls.h"
#include "platform/forms/std_controls.h"

TParamValue* ParamValue = nullptr;

TParamValue::TParamValue(TComponent* AOwner) : TForm(AOwner)
{
    SetName("ParamValue");
    SetCaption("Parameter value");
    SetBorderStyle(bsSingle);
    SetBorderIcons(biSystemMenu);
    SetPosition(poOwnerFormCenter);
    Font()->SetName("Arial");
    Font()->SetHeight(-11);
    SetClientWidth(360);
    SetClientHeight(87);

    Name_LBL = PlaceLabel(this, this, "Name_LBL", std::string(), 4, 8);
    Name_LBL->SetAutoSize(false);
    Name_LBL->SetWidth(353);
    Name_LBL->SetHeight(14);
    Name_LBL->Font()->SetStyle({fsBold});
    // A parameter name is plain text: an "&" in it is no accelerator.
    Name_LBL->SetShowAccelChar(false);
    Value_TXT = PlaceControl<TEdit>(this, this, "Value_TXT", 4, 26, 353, 21);
    Cancel_BTN = PlaceControl<TButton>(this, this, "Cancel_BTN", 282, 56, 75, 25);
    Cancel_BTN->SetCaption("Cancel");
    Ok_BTN = PlaceControl<TButton>(this, this, "Ok_BTN", 202, 56, 75, 25);
    Ok_BTN->SetCaption("Ok");
    // Enter in the value field confirms it and Escape cancels it.
    Ok_BTN->SetDefault(true);
    Cancel_BTN->SetCancel(true);
    // Tab goes from the field to OK, then to Cancel, as they stand from left to right.
    Ok_BTN->SetTabOrder(Cancel_BTN->TabOrder());

    OnShow = Handler(this, &TParamValue::FormShow);
    Ok_BTN->OnClick = Handler(this, &TParamValue::Ok_BTNClick);
    Cancel_BTN->OnClick = Handler(this, &TParamValue::Cancel_BTNClick);

    if (ParamValue == nullptr) {
        ParamValue = this;
    }
}

TParamValue::~TParamValue()
{
    if (ParamValue == this) {
        ParamValue = nullptr;
    }
}

void TParamValue::FormShow(TObject*)
{
    Name_LBL->SetCaption(FParameter != nullptr ? FParameter->Name() : std::string());
    Value_TXT->SetText(FParameter != nullptr ? FParameter->AsString() : std::string());
}

void TParamValue::Ok_BTNClick(TObject*)
{
    if (FParameter != nullptr) {
        FParameter->SetString(Value_TXT->Text());
    }
    SetModalResult(mrOk);
}

void TParamValue::Cancel_BTNClick(TObject*)
{
    SetModalResult(mrCancel);
}
