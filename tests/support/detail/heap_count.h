// The counting behind tests/support/peak_heap.h, fed by whatever sees the program's allocations:
// the replaced malloc of the plain test builds (tests/support/malloc/counting_malloc.cpp), or the
// sanitizer allocator's hooks. Both calls run inside the allocator: they never allocate.
#pragma once

#include <cstddef>

namespace kvtest::heapcount {

// A block of Bytes has just been handed out.
void Allocated(const void* Block, size_t Bytes);
// The block is about to be given back (its pages still belong to it).
void Releasing(const void* Block, size_t Bytes);

} // namespace kvtest::heapcount
