// A test seam of the file writer (platform/core/safe_file_writer.h).
#pragma once

#include <chrono>
#include <string>

namespace kvcore_detail {

// When set, called after a content is complete beside its file and before it is renamed over it;
// false abandons the save there as if the process had died: the content's file stays.
extern bool (*gBeforeRenameHook)(const std::string& TempFileName);
// How long a copy into a file waits for another holder of the file's lock before it fails.
extern std::chrono::milliseconds gLockWait;

} // namespace kvcore_detail
