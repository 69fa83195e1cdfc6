// The largest block the imaging core asks of the allocator: the machine's physical memory.
#pragma once

#include <cstdint>

namespace Daduvudez::detail {

int64_t MaxMemoryBlock();

} // namespace Daduvudez::detail
