// Keeps the memory that the JPEG 2000 library frees after one window of a picture for the next.
#include "imaging/codecs/j2k/detail/window_heap.h"

#include <cstdlib>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace Kvj2000::detail {

namespace {

// glibc raises its thresholds for a freed block of at most 32 MiB, its own header and the
// rounding to pages included.
constexpr size_t RaisingBlockBytes = (size_t(32) << 20) - (size_t(64) << 10);

} // namespace

TWindowHeap::TWindowHeap(bool manyWindows) : FManyWindows(manyWindows)
{
#ifdef __GLIBC__
    if (FManyWindows) {
        // Stored where the compiler must keep it, so that the block is allocated at all; its
        // pages are never touched.
        void* volatile block = std::malloc(RaisingBlockBytes);
        std::free(block);
    }
#endif
}

TWindowHeap::~TWindowHeap()
{
#ifdef __GLIBC__
    if (FManyWindows) {
        malloc_trim(0);
    }
#endif
}

} // namespace Kvj2000::detail
