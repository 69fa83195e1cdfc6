// Small files read and written whole (the settings stores, pictures of the class library).
#pragma once

#include <string>
#include <sys/types.h>

namespace kvcore_detail {

enum class TReadResult
{
    Ok,
    Missing,
    Unreadable
};

// Reads the whole file; Missing when it does not exist, Unreadable on any other failure.
TReadResult ReadWholeFile(const std::string& FileName, std::string& Content);

// Replaces FileName with Content through TSafeFileWriter, so a crash leaves the old file or the
// new one whole; missing folders are created, and a file that does not exist yet gets Mode, less
// the umask. False when it cannot be written; the file is then as it was.
bool WriteWholeFile(const std::string& FileName, const std::string& Content, mode_t Mode);

} // namespace kvcore_detail
