// The second way of making a temporary file without a name, open to tests.
#pragma once

#include <string>

namespace kvcore_detail {

// For file systems that cannot make a file without a name: one is made under a unique name that
// starts with Prefix and removed at once, keeping the descriptor; -1 (errno set) when it cannot.
int OpenNamedThenRemovedTempFile(const std::string& Folder, const std::string& Prefix);

} // namespace kvcore_detail
