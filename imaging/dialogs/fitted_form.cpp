// TKVFittedForm: fitting a dialog again when its font or its screen's resolution changes.
#include "imaging/dialogs/fitted_form.h"

#include "imaging/dialogs/detail/fit_layout.h"

TKVFittedForm::TKVFittedForm(TComponent* AOwner)
    : TForm(AOwner), FLayout(std::make_unique<Kvdialogs::TFitLayout>())
{
}

TKVFittedForm::~TKVFittedForm() = default;

void TKVFittedForm::TakeDesign()
{
    FLayout->Arrange(this);
}

void TKVFittedForm::Refit()
{
    if (FLayout->Designed())
        FLayout->Arrange(this);
}

void TKVFittedForm::FontChanged()
{
    // The controls take the new font first.
    TForm::FontChanged();
    Refit();
}

void TKVFittedForm::ScreenResolutionChanged()
{
    Refit();
}
