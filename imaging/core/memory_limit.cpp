// The largest block the imaging core asks of the allocator.
#include "imaging/core/detail/memory_limit.h"

#include <unistd.h>

namespace Daduvudez::detail {

int64_t MaxMemoryBlock()
{
    static const int64_t limit = [] {
        const long pages = sysconf(_SC_PHYS_PAGES);
        const long pageSize = sysconf(_SC_PAGESIZE);
        if (pages <= 0 || pageSize <= 0)
            return int64_t(1) << 40;
        return int64_t(pages) * pageSize;
    }();
    return limit;
}

} // namespace Daduvudez::detail
