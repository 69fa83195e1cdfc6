// How the real dialog service turns the class library's dialog texts into the platform's: file
// filters, and the page that a help topic stands for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace FormsDetail {

// "Text files|*.txt;*.text|All files|*.*" gives {"Text files (*.txt *.text)", "All files (*)"}:
// ";" between patterns becomes a blank, and "*.*" (every file on the original platform) "*".
std::vector<std::string> NameFiltersOf(const std::string& Filter);

// The page of a topic: a compiled help file "folder/name.chm" stands for the folder of HTML
// pages "folder/help/" beside it (a help "file" ending in "/" is that folder itself), and the
// topic is a page in that folder.
std::string HelpTopicPage(const std::string& HelpFile, const std::string& Topic);

// What closing a message box without choosing a button answers: IDOK for MB_OK, IDNO for
// MB_YESNO, IDABORT for MB_ABORTRETRYIGNORE, IDCANCEL otherwise.
int32_t MessageBoxCloseAnswer(uint32_t Flags);

} // namespace FormsDetail
