// Reading and atomically replacing small text files (settings stores).
#pragma once

#include <string>

namespace kvcore_detail {

enum class TReadResult
{
    Ok,
    Missing,
    Unreadable
};

// Reads the whole file; Missing when it does not exist, Unreadable on any other failure.
TReadResult ReadWholeFile(const std::string& FileName, std::string& Content);

// Replaces FileName with Content: a temporary file in the same folder is written, flushed to
// disk and renamed over it, so a crash leaves either the old or the new file whole. Missing
// folders are created. A file that existed keeps its permission bits; a new one gets Mode.
// Returns false (the old file untouched) on failure.
bool ReplaceFileAtomically(const std::string& FileName, const std::string& Content, unsigned Mode);

// Test seam: when set, called after the temporary file is written and before the rename; if it
// returns false the replacement is abandoned as if the process had died there.
extern bool (*gBeforeRenameHook)(const std::string& TempFileName);

} // namespace kvcore_detail
