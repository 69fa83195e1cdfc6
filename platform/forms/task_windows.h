// Keeps the user away from the application's windows while a modal operation runs a message loop
// of its own: every enabled form is disabled for the guard's lifetime.
#pragma once

#include <vector>

#include "platform/forms/messages.h"

class TTaskWindowsDisabler
{
public:
    TTaskWindowsDisabler();
    // Enables the forms again (those still alive) and activates the form that was active.
    ~TTaskWindowsDisabler();
    TTaskWindowsDisabler(const TTaskWindowsDisabler&) = delete;
    TTaskWindowsDisabler& operator=(const TTaskWindowsDisabler&) = delete;

private:
    // Handles, not pointers: a form freed meanwhile is simply not found again.
    std::vector<HWND> FDisabled;
    HWND FActive = 0;
};
