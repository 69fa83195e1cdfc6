// Memory blocks for pixels.
#include "imaging/core/detail/pixel_memory.h"

#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace Daduvudez::detail {

namespace {

// A whole image taken in 4 KiB pages costs a fault per page on first touch; the kernel backs the
// 2 MiB-aligned part of a large block with 2 MiB pages instead.
constexpr int64_t kHugePage = int64_t(2) << 20;
constexpr int64_t kHugeBlockFrom = int64_t(8) << 20;

} // namespace

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

TPixelBlock AllocatePixelBlock(int64_t size)
{
    if (size < 0 || size > MaxMemoryBlock())
        return nullptr;
    // A large block comes as the system's fresh pages, which are zero until written: clearing it
    // costs nothing, and rows that are never written take no memory.
    auto* block = static_cast<uint8_t*>(std::calloc(size_t(size > 0 ? size : 1), 1));
    if (block != nullptr && size >= kHugeBlockFrom) {
        const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) / kHugePage * kHugePage;
        const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + uintptr_t(size)) / kHugePage * kHugePage;
        if (end > first)
            madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
    return TPixelBlock(block);
}

} // namespace Daduvudez::detail
