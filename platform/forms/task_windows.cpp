// Disabling the application's forms around a modal operation.
#include "platform/forms/task_windows.h"

#include "platform/forms/application.h"
#include "platform/forms/form.h"

TTaskWindowsDisabler::TTaskWindowsDisabler()
{
    if (Screen == nullptr) {
        return;
    }
    if (TForm* active = Screen->ActiveForm()) {
        FActive = active->Handle();
    }
    for (int32_t i = 0; i < Screen->FormCount(); ++i) {
        TForm* form = Screen->Forms(i);
        if (form->Enabled()) {
            form->SetEnabled(false);
            FDisabled.push_back(form->Handle());
        }
    }
}

TTaskWindowsDisabler::~TTaskWindowsDisabler()
{
    for (HWND handle : FDisabled) {
        if (TWinControl* control = FindControl(handle)) {
            control->SetEnabled(true);
        }
    }
    if (auto* active = dynamic_cast<TForm*>(FindControl(FActive)); active != nullptr && active->Visible()) {
        active->BringToFront();
    }
}
