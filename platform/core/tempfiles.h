// Temporary files: the system's temporary folder and unique, newly created file names in it.
#pragma once

#include <string>

// $TMPDIR when set, else "/tmp/"; always ends in "/".
std::string GetTempPath();
// Creates a new, empty file in Folder whose name starts with Prefix (e.g. "korvane") and returns
// its full name; "" when it cannot be created.
std::string GetTempFileName(const std::string& Folder, const std::string& Prefix);
