// A test seam of the file writer (platform/core/safe_file_writer.h).
#pragma once

#include <string>

namespace kvcore_detail {

// When set, called after a content is complete beside its file and before it is renamed over it;
// false abandons the save there as if the process had died: the content's file stays.
extern bool (*gBeforeRenameHook)(const std::string& TempFileName);

} // namespace kvcore_detail
