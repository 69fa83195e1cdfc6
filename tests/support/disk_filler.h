// A disk filled to its last block, as the user's own disk fills up.
#pragma once

#include <string>

namespace kvtest {

// Writes FileName until the file system that holds it has no block left; false when the file
// cannot be made.
bool FillDisk(const std::string& FileName);

} // namespace kvtest
