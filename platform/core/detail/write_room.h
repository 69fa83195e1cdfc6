// A test seam under every write of a THandleStream, which file copies and page writers use too.
#pragma once

#include <cstdint>

namespace kvcore_detail {

// When set, every THandleStream write first asks it how many of Count bytes the file open as
// Handle has room for; a write given fewer stops there with ENOSPC, as on a full disk.
extern int64_t (*gWriteRoomHook)(int Handle, int64_t Count);

} // namespace kvcore_detail
