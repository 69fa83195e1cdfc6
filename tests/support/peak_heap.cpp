// Test helpers: the memory a call takes, counted from the blocks the program allocates and frees,
// with the pages of large blocks asked of the kernel (pagemap, else mincore) for the resident measure.
#include "tests/support/peak_heap.h"

#include "tests/support/detail/heap_count.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KV_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KV_SANITIZER_ALLOCATOR 1
#endif
#endif

namespace kvtest {

namespace {

// What a measure that could not be taken returns: past every bound, with room to subtract from.
constexpr int64_t kUnmeasured = int64_t(1) << 60;
// Blocks from this size on count by their resident pages, smaller ones whole.
constexpr size_t kPagedFrom = size_t(1) << 20;
constexpr size_t kMostPagedBlocks = 4096;

// The allocator's hooks may not take a lock the sanitizers watch or that may allocate.
class TSpinLock
{
public:
    void lock()
    {
        while (FFlag.test_and_set(std::memory_order_acquire)) {
        }
    }
    void unlock() { FFlag.clear(std::memory_order_release); }

private:
    std::atomic_flag FFlag = ATOMIC_FLAG_INIT;
};

std::atomic<bool> gCounted{false};
std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};
std::atomic<int32_t> gHeapWatchers{0};

// The resident measure, from ResetPeakResident on.
struct TPagedBlock
{
    uintptr_t Begin;
    size_t Bytes;
};
struct TResident
{
    TPagedBlock Paged[kMostPagedBlocks];
    size_t PagedCount = 0;
    bool Overflowed = false;
    int MincoreError = 0;
    // The small blocks' bytes since the reset (less when older ones are freed), and the most of
    // them since the last sample.
    int64_t Small = 0;
    int64_t SmallHigh = 0;
    int64_t Peak = 0;
};
std::atomic<bool> gResidentOn{false};
TSpinLock gResidentLock;
TResident gResident;

void Raise(std::atomic<int64_t>& peak, int64_t value)
{
    int64_t seen = peak.load(std::memory_order_relaxed);
    while (value > seen && !peak.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

// /proc/self/pagemap, opened outside the allocator's hooks; -1 where it cannot be read.
int gPagemap = -1;

// The pages of the block that hold the program's data: present and mapped by this process alone,
// or swapped out. A page that was only read maps the kernel's shared zero page, which takes no
// memory (nor counts as resident set) but which mincore reports as resident. -1 when the pagemap
// cannot be read.
int64_t PagemapBytes(const TPagedBlock& block, uintptr_t page)
{
    static uint64_t entries[4096];
    constexpr uint64_t present = uint64_t(1) << 63, swapped = uint64_t(1) << 62,
                       exclusive = uint64_t(1) << 56;
    const uintptr_t last = (block.Begin + block.Bytes - 1) / page;
    int64_t resident = 0;
    for (uintptr_t at = block.Begin / page; at <= last;) {
        const size_t count = std::min<uintptr_t>(last - at + 1, std::size(entries));
        const ssize_t bytes = ssize_t(count * sizeof entries[0]);
        if (pread(gPagemap, entries, size_t(bytes), off_t(at * sizeof entries[0])) != bytes)
            return -1;
        for (size_t i = 0; i < count; ++i) {
            const bool own =
                (entries[i] & swapped) != 0 || (entries[i] & (present | exclusive)) == (present | exclusive);
            resident += own ? int64_t(page) : 0;
        }
        at += count;
    }
    return resident;
}

int64_t ResidentBytes(const TPagedBlock& block)
{
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    if (gPagemap >= 0) {
        const int64_t own = PagemapBytes(block, page);
        if (own >= 0)
            return own;
    }
    static unsigned char pages[16384];
    int64_t resident = 0;
    const uintptr_t end = block.Begin + block.Bytes;
    for (uintptr_t at = block.Begin & ~(page - 1); at < end; at += sizeof pages * page) {
        const size_t length = std::min<uintptr_t>(end - at, sizeof pages * page);
        if (mincore(reinterpret_cast<void*>(at), length, pages) != 0) {
            gResident.MincoreError = errno;
            return 0;
        }
        for (size_t i = 0; i < (length + page - 1) / page; ++i)
            resident += (pages[i] & 1) * int64_t(page);
    }
    return resident;
}

// Between two samples the paged blocks' resident pages only grow, so the most held since the
// last sample is at most the small blocks' high mark and the paged blocks' pages now.
void SampleLocked()
{
    int64_t paged = 0;
    for (size_t i = 0; i < gResident.PagedCount; ++i)
        paged += ResidentBytes(gResident.Paged[i]);
    gResident.Peak = std::max(gResident.Peak, std::max(gResident.SmallHigh, gResident.Small) + paged);
    gResident.SmallHigh = gResident.Small;
}

void ResidentAllocated(const void* block, size_t bytes)
{
    std::lock_guard<TSpinLock> lock(gResidentLock);
    if (bytes < kPagedFrom) {
        gResident.Small += int64_t(bytes);
        gResident.SmallHigh = std::max(gResident.SmallHigh, gResident.Small);
    } else if (gResident.PagedCount < kMostPagedBlocks) {
        gResident.Paged[gResident.PagedCount++] = {reinterpret_cast<uintptr_t>(block), bytes};
    } else {
        gResident.Overflowed = true;
    }
}

void ResidentReleasing(const void* block, size_t bytes)
{
    std::lock_guard<TSpinLock> lock(gResidentLock);
    if (bytes < kPagedFrom) {
        gResident.Small -= int64_t(bytes);
        return;
    }
    TPagedBlock* const paged = gResident.Paged;
    TPagedBlock* const end = paged + gResident.PagedCount;
    TPagedBlock* found = std::find_if(
        paged, end, [&](const TPagedBlock& b) { return b.Begin == reinterpret_cast<uintptr_t>(block); });
    if (found != end) {
        SampleLocked();
        *found = end[-1];
        --gResident.PagedCount;
    }
}

bool CountsAllocations(const char* measure)
{
    if (gCounted.load())
        return true;
    ADD_FAILURE() << measure
                  << ": this test program does not count its allocations (a plain build links "
                     "tests/support/malloc/counting_malloc.cpp into it; a sanitizer build hooks its "
                     "allocator, which failed here), so the bound cannot be checked";
    return false;
}

#if KV_SANITIZER_ALLOCATOR
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, size_t),
                                              void (*freeHook)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* block);
int __sanitizer_get_ownership(const volatile void* block);
}

// The sanitizers' allocators cannot be replaced; they tell of every block instead. The free hook
// runs while the block is still allocated.
[[maybe_unused]] const bool gHooked = __sanitizer_install_malloc_and_free_hooks(
    [](const volatile void* block, size_t bytes) {
        heapcount::Allocated(const_cast<const void*>(block), bytes);
    },
    [](const volatile void* block) {
        if (block != nullptr && __sanitizer_get_ownership(block))
            heapcount::Releasing(const_cast<const void*>(block), __sanitizer_get_allocated_size(block));
    });
#endif

} // namespace

namespace heapcount {

void Allocated(const void* Block, size_t Bytes)
{
    if (!gCounted.load(std::memory_order_relaxed))
        gCounted.store(true);
    const int64_t live = gLive.fetch_add(int64_t(Bytes), std::memory_order_relaxed) + int64_t(Bytes);
    if (gHeapWatchers.load(std::memory_order_relaxed) > 0)
        Raise(gPeak, live);
    if (gResidentOn.load(std::memory_order_acquire))
        ResidentAllocated(Block, Bytes);
}

void Releasing(const void* Block, size_t Bytes)
{
    gLive.fetch_sub(int64_t(Bytes), std::memory_order_relaxed);
    if (gResidentOn.load(std::memory_order_acquire))
        ResidentReleasing(Block, Bytes);
}

} // namespace heapcount

int64_t PeakHeapOf(const std::function<void()>& call)
{
    if (!CountsAllocations("PeakHeapOf")) {
        call();
        return kUnmeasured;
    }
    ++gHeapWatchers;
    const int64_t before = gLive.load();
    gPeak = before;
    call();
    const int64_t peak = gPeak.load();
    --gHeapWatchers;
    return std::max<int64_t>(peak - before, 0);
}

void ResetPeakResident()
{
    CountsAllocations("ResetPeakResident");
    static const int pagemap = open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
    std::lock_guard<TSpinLock> lock(gResidentLock);
    gPagemap = pagemap;
    gResident.PagedCount = 0;
    gResident.Overflowed = false;
    gResident.MincoreError = 0;
    gResident.Small = gResident.SmallHigh = gResident.Peak = 0;
    gResidentOn = true;
}

int64_t PeakResidentKb()
{
    if (!gResidentOn.load()) {
        ADD_FAILURE() << "PeakResidentKb: ResetPeakResident was not called first";
        return kUnmeasured;
    }
    if (!CountsAllocations("PeakResidentKb"))
        return kUnmeasured;
    bool overflowed = false;
    int mincoreError = 0;
    int64_t peak = 0;
    {
        // Reporting allocates: not while the allocator's hooks would wait for the lock.
        std::lock_guard<TSpinLock> lock(gResidentLock);
        SampleLocked();
        overflowed = gResident.Overflowed;
        mincoreError = gResident.MincoreError;
        peak = gResident.Peak;
    }
    if (overflowed) {
        ADD_FAILURE() << "PeakResidentKb: more than " << kMostPagedBlocks
                      << " blocks of a megabyte or more were live at once; the rest went unmeasured";
        return kUnmeasured;
    }
    if (mincoreError != 0) {
        ADD_FAILURE() << "PeakResidentKb: the kernel does not tell which pages are resident (mincore: "
                      << std::strerror(mincoreError) << ")";
        return kUnmeasured;
    }
    return peak / 1024;
}

int64_t ResidentGrowthOf(const std::function<void()>& call)
{
    ResetPeakResident();
    call();
    const int64_t kb = PeakResidentKb();
    gResidentOn = false;
    return kb;
}

bool ReadsOfUnwrittenMemoryAreFree()
{
    // Told by the resident set of a fresh mapping of 64 MB read whole, as /proc/self/statm gives it.
    const auto residentPages = [] {
        char text[128] = {};
        const int statm = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
        const ssize_t got = statm < 0 ? -1 : ::read(statm, text, sizeof text - 1);
        if (statm >= 0) {
            ::close(statm);
        }
        long size = 0, resident = 0;
        return got > 0 && std::sscanf(text, "%ld %ld", &size, &resident) == 2 ? resident : 0L;
    };
    constexpr size_t bytes = size_t(64) << 20;
    const long page = ::sysconf(_SC_PAGESIZE);
    void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        return true;
    }
    const long before = residentPages();
    unsigned sum = 0;
    for (size_t at = 0; at < bytes; at += size_t(page)) {
        sum += static_cast<volatile unsigned char*>(block)[at];
    }
    const long grown = residentPages() - before;
    ::munmap(block, bytes);
    return sum == 0 && grown * page < long(bytes / 2);
}

} // namespace kvtest
