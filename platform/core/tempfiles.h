// Temporary files: the system's temporary folder, unique newly created file names in it, and files
// that have no name at all.
#pragma once

#include <string>

// $TMPDIR when set, else "/tmp/"; always ends in "/".
std::string GetTempPath();
// Creates a new, empty file in Folder whose name starts with Prefix (e.g. "korvane") and returns
// its full name; "" when it cannot be created.
std::string GetTempFileName(const std::string& Folder, const std::string& Prefix);

// Opens a new, empty file in Folder for reading and writing that has no name, so that it goes
// away with its last descriptor however the process ends (a kill, a crash, a sanitizer's exit).
// Where the file system cannot make a file without a name, one is made under a unique name that
// starts with Prefix and removed at once. The caller closes the descriptor; -1 (errno set) when
// no file can be made.
int OpenUnnamedTempFile(const std::string& Folder, const std::string& Prefix);
