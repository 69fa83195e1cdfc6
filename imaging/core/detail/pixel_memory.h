// Memory blocks for pixels: the largest block the imaging core asks for, and large blocks
// backed by huge pages where the system offers them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

namespace Daduvudez::detail {

// The machine's physical memory: no single image block may be larger.
int64_t MaxMemoryBlock();

struct TPixelBlockFree
{
    void operator()(uint8_t* block) const noexcept { std::free(block); }
};
using TPixelBlock = std::unique_ptr<uint8_t[], TPixelBlockFree>;

// Zero-filled; nullptr when the block cannot be had.
TPixelBlock AllocatePixelBlock(int64_t size);

// A container allocator for pixels that the system clears: a large block comes as fresh pages,
// which take no memory until a row of them is written, and value-initialising an element leaves
// the cleared memory alone instead of writing each byte. Only for containers made at their size:
// one shrunk and grown again within its capacity would keep the old values.
template <typename T> struct TZeroedAllocator
{
    using value_type = T;

    TZeroedAllocator() = default;
    template <typename U> TZeroedAllocator(const TZeroedAllocator<U>&) noexcept {}

    T* allocate(std::size_t count)
    {
        if (auto* block = static_cast<T*>(std::calloc(count > 0 ? count : 1, sizeof(T))))
            return block;
        throw std::bad_alloc();
    }
    void deallocate(T* block, std::size_t) noexcept { std::free(block); }

    template <typename U> void construct(U*) noexcept {}
    template <typename U, typename... TArgs> void construct(U* place, TArgs&&... args)
    {
        ::new (static_cast<void*>(place)) U(std::forward<TArgs>(args)...);
    }

    friend bool operator==(const TZeroedAllocator&, const TZeroedAllocator&) noexcept { return true; }
};

} // namespace Daduvudez::detail
