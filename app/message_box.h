// The program's message boxes: every one carries the main window's caption. A failure shows the
// message and, below it, the system's reason.
#pragma once

#include "platform/forms/dialog_service.h"

#include <cstdint>
#include <string>

// The main window's caption, which every message box of the program carries.
inline constexpr const char* MainCaption = "Plimbet v1.0";

// Shows Text with the flags (MB_OK | MB_ICONSTOP for a failure, MB_YESNO | MB_ICONQUESTION for a
// confirmation) and returns the button chosen (IDOK, IDYES, IDNO, IDCANCEL).
int32_t ShowMessageBox(const std::string& Text, uint32_t Flags);

// A message with the reason for it, as a message box shows it: the message, a line break and the
// reason ("Can't create the file: /g/index.html\nNo space left on device"); the message alone when
// no reason is known.
std::string WithReason(const std::string& Text, const std::string& Reason);
// The same on one line, as the errors window lists its lines: "p10.jpg: cannot be written (No
// space left on device)".
std::string WithReasonInLine(const std::string& Text, const std::string& Reason);

// A file's or folder's name as a message shows it, on one line and readable whatever its bytes:
// a line break, a tab or another control character (C0, DEL, C1, and the line and paragraph
// separators), a backslash and every byte that is not part of well-formed UTF-8 are written as
// escapes ("\n", "\t", "\\", "\x9f", "\u2028"); every other character stays as it is.
std::string ShownName(const std::string& Name);

// The system's reason in the message of a failed open, create or write of FileName, as the file
// streams and the file writer raise it (Cannot write file "<name>". <reason>.): what follows the
// file's name, without the closing full stop. A message that names no such file is all reason.
std::string ReasonIn(const std::string& Message, const std::string& FileName);
