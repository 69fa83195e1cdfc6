// The program's message boxes: every one carries the main window's caption.
#pragma once

#include "platform/forms/dialog_service.h"

#include <cstdint>
#include <string>

// The main window's caption, which every message box of the program carries.
inline constexpr const char* MainCaption = "Plimbet v1.0";

// Shows Text with the flags (MB_OK | MB_ICONSTOP for a failure, MB_YESNO | MB_ICONQUESTION for a
// confirmation) and returns the button chosen (IDOK, IDYES, IDNO, IDCANCEL).
int32_t ShowMessageBox(const std::string& Text, uint32_t Flags);
