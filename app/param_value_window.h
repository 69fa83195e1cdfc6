// The parameter value window: the value of one of the template's own parameters.
#pragma once

#include "platform/forms/form.h"

class TButton;
class TEdit;
class TLabel;
class TVqValue;

class TParamValue : public TForm
{
public:
    explicit TParamValue(TComponent* AOwner);
    ~TParamValue() override;

    // Shows the parameter's name and its value as text.
    void FormShow(TObject* Sender);
    // Stores the text as it stands, empty included, as the parameter's value.
    void Ok_BTNClick(TObject* Sender);
    // Leaves the parameter as it was.
    void Cancel_BTNClick(TObject* Sender);

    // The parameter to edit, set before the window is shown; not owned.
    TVqValue* Parameter() const { return FParameter; }
    void SetParameter(TVqValue* Value) { FParameter = Value; }

    TLabel* Name_LBL = nullptr;
    TEdit* Value_TXT = nullptr;
    TButton* Cancel_BTN = nullptr;
    TButton* Ok_BTN = nullptr;

private:
    TVqValue* FParameter = nullptr;
};

// The parameter value window of the program.
extern TParamValue* ParamValue;
