// Driving the program's modal windows in tests: an action runs as soon as a window shows
// modally, and a window that stays open after it is closed with a failure rather than hanging
// the suite.
#pragma once

#include "platform/forms/application.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/form.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

namespace apptest {

class WhenModal
{
public:
    WhenModal(TForm* Form, std::function<void()> Action) : FForm(Form), FAction(std::move(Action))
    {
        FTimer.SetInterval(1);
        FTimer.OnTimer = [this](TObject*) { Tick(); };
    }
    WhenModal(const WhenModal&) = delete;
    WhenModal& operator=(const WhenModal&) = delete;

    bool Ran() const { return FState != stWaiting; }

private:
    // Only a hang takes this long: a dialog closes within milliseconds of the action.
    static constexpr std::chrono::seconds Patience{5};

    void Tick()
    {
        if (FState == stWaiting && FForm->Modal()) {
            FState = stActed;
            FActedAt = std::chrono::steady_clock::now();
            FAction();
        } else if (FState == stActed) {
            if (!FForm->Modal()) {
                FState = stDone;
                FTimer.SetEnabled(false);
            } else if (std::chrono::steady_clock::now() - FActedAt > Patience) {
                ADD_FAILURE() << FForm->Name() << " stayed open after the test's action";
                FState = stDone;
                FTimer.SetEnabled(false);
                FForm->SetModalResult(mrAbort);
            }
        }
    }

    enum
    {
        stWaiting,
        stActed,
        stDone
    } FState = stWaiting;
    TForm* FForm;
    std::function<void()> FAction;
    std::chrono::steady_clock::time_point FActedAt;
    TTimer FTimer{nullptr};
};

// Clicks the first row of the list that shows Text, as the user picks it; false when none does.
inline bool ClickRow(TListBox* List, const std::string& Text)
{
    for (int32_t row = 0; row < List->Count(); ++row) {
        if (List->Items()->Strings(row) == Text) {
            const TRect rect = List->ItemRect(row);
            Simulate::Click(List, rect.Left + 5, rect.Top + 3);
            return true;
        }
    }
    return false;
}

// A window of the program made as the program makes it, freed when the test leaves the scope,
// also when an assertion ends the test early: a window left behind would keep its name taken.
template <class TWindow> class Owned
{
public:
    Owned() : FWindow(new TWindow(Application)) {}
    ~Owned() { FWindow->Free(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    TWindow* operator->() const { return FWindow; }
    TWindow* get() const { return FWindow; }

private:
    TWindow* FWindow;
};

} // namespace apptest
