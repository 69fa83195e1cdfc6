// Memory blocks for pixels.
#include "imaging/core/detail/pixel_memory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace Daduvudez::detail {

namespace {

// A whole image taken in 4 KiB pages costs a fault per page on first touch; large blocks are
// aligned so that the kernel can back them with 2 MiB pages instead.
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
    if (size < kHugeBlockFrom)
        return TPixelBlock(static_cast<uint8_t*>(std::malloc(size_t(size > 0 ? size : 1))));
    const int64_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    auto* block = static_cast<uint8_t*>(std::aligned_alloc(size_t(kHugePage), size_t(rounded)));
    if (block != nullptr)
        madvise(block, size_t(rounded), MADV_HUGEPAGE);
    return TPixelBlock(block);
}

} // namespace Daduvudez::detail
