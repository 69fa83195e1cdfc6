// TKVFittedForm: a dialog whose controls stand where they were designed for English texts in one
// font, fitted to the texts, font and screen it has now, and fitted again whenever its font
// changes or its window moves to a screen of another resolution, so that captions set earlier
// stay whole. The save-parameters, processing and print dialogs are such forms.
#pragma once

#include "platform/forms/form.h"

#include <memory>

namespace Kvdialogs {
class TFitLayout;
}

class TKVFittedForm : public TForm
{
public:
    explicit TKVFittedForm(TComponent* AOwner);
    ~TKVFittedForm() override;

protected:
    // Takes the places and sizes the controls have now as the design every fitting starts from.
    void TakeDesign();
    // Fits the controls to what they show now; nothing happens before the design was taken.
    virtual void Refit();
    Kvdialogs::TFitLayout& Layout() const { return *FLayout; }

    void FontChanged() override;
    void ScreenResolutionChanged() override;

private:
    std::unique_ptr<Kvdialogs::TFitLayout> FLayout;
};
