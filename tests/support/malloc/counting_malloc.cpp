// The test programs' malloc in the plain builds: glibc's own, with every block counted for
// tests/support/peak_heap.h. Everything allocates through these (operator new, the C libraries,
// glibc's own strdup and stdio), so every call of the family that hands out or takes back a
// block is replaced: one left to glibc would move a block unseen. The sanitizer builds count
// through their allocators' hooks and leave this file out.
#include "tests/support/detail/heap_count.h"

#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>

extern "C" {
void* __libc_malloc(size_t Bytes);
void __libc_free(void* Block);
void* __libc_calloc(size_t Count, size_t Bytes);
void* __libc_realloc(void* Block, size_t Bytes);
void* __libc_memalign(size_t Alignment, size_t Bytes);
}

namespace {

void* Counted(void* block)
{
    if (block != nullptr)
        kvtest::heapcount::Allocated(block, malloc_usable_size(block));
    return block;
}

size_t PageSize()
{
    static const size_t size = size_t(sysconf(_SC_PAGESIZE));
    return size;
}

} // namespace

extern "C" {

void* malloc(size_t Bytes) noexcept
{
    return Counted(__libc_malloc(Bytes));
}

void free(void* Block) noexcept
{
    if (Block != nullptr)
        kvtest::heapcount::Releasing(Block, malloc_usable_size(Block));
    __libc_free(Block);
}

void* calloc(size_t Count, size_t Bytes) noexcept
{
    return Counted(__libc_calloc(Count, Bytes));
}

void* realloc(void* Block, size_t Bytes) noexcept
{
    if (Block == nullptr)
        return malloc(Bytes);
    // Counted out before the move: its pages go with it.
    const size_t old = malloc_usable_size(Block);
    kvtest::heapcount::Releasing(Block, old);
    void* moved = __libc_realloc(Block, Bytes);
    if (moved != nullptr)
        return Counted(moved);
    // Size 0 freed the block; a failed move left it where it was.
    if (Bytes != 0)
        kvtest::heapcount::Allocated(Block, old);
    return nullptr;
}

void* reallocarray(void* Block, size_t Count, size_t Bytes) noexcept
{
    size_t total = 0;
    if (__builtin_mul_overflow(Count, Bytes, &total)) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(Block, total);
}

void* memalign(size_t Alignment, size_t Bytes) noexcept
{
    return Counted(__libc_memalign(Alignment, Bytes));
}

void* aligned_alloc(size_t Alignment, size_t Bytes) noexcept
{
    return memalign(Alignment, Bytes);
}

int posix_memalign(void** Block, size_t Alignment, size_t Bytes) noexcept
{
    if (Alignment == 0 || Alignment % sizeof(void*) != 0 || (Alignment & (Alignment - 1)) != 0)
        return EINVAL;
    void* block = memalign(Alignment, Bytes);
    if (block == nullptr)
        return ENOMEM;
    *Block = block;
    return 0;
}

void* valloc(size_t Bytes) noexcept
{
    return memalign(PageSize(), Bytes);
}

void* pvalloc(size_t Bytes) noexcept
{
    return memalign(PageSize(), (Bytes + PageSize() - 1) & ~(PageSize() - 1));
}

} // extern "C"
