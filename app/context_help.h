// Help for the window in front: F1 anywhere opens the help topic of the active window.
#pragma once

#include <string>

// Opens the topic of the application's active form in the program's help: "main.htm" for the
// main window, "options.htm", "temporg.htm" (organizer and template properties), "temppar.htm"
// (template parameters), and "decription.htm" for every other window. Forms are told apart by
// their names ("Main", "Options", "TempOrg", "TempName", "TempParam").
void ShowContextHelp();

// The help topic path: ProgramFolder + "plimbet.chm::/" + Topic.
std::string HelpTopicPath(const std::string& Topic);
