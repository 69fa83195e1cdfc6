#include "tests/support/peak_heap.h"

#include <atomic>
#include <cstddef>
#include <fstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
extern "C" {
size_t __sanitizer_get_current_allocated_bytes();
int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, size_t),
                                              void (*freeHook)(const volatile void*));
}
#endif

namespace kvtest {

namespace {

std::atomic<bool> gTrackingHeap{false};
std::atomic<size_t> gHeapPeak{0};

} // namespace

int64_t PeakHeapOf(const std::function<void()>& call)
{
#if defined(__SANITIZE_ADDRESS__)
    // The allocator calls the hook after every allocation, with its count of bytes in use
    // already raised by it.
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(
                                      [](const volatile void*, size_t) {
                                          if (!gTrackingHeap) {
                                              return;
                                          }
                                          const size_t now = __sanitizer_get_current_allocated_bytes();
                                          size_t peak = gHeapPeak;
                                          while (now > peak && !gHeapPeak.compare_exchange_weak(peak, now)) {
                                          }
                                      },
                                      [](const volatile void*) {}) != 0;
    const size_t before = __sanitizer_get_current_allocated_bytes();
    gHeapPeak = before;
    gTrackingHeap = installed;
    call();
    gTrackingHeap = false;
    return installed ? int64_t(gHeapPeak - before) : -1;
#else
    call();
    return -1;
#endif
}

int64_t PeakResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoll(line.substr(6));
        }
    }
    return -1;
}

void ResetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

int64_t ResidentGrowthOf(const std::function<void()>& call)
{
    ResetPeakResident();
    const int64_t startKb = PeakResidentKb();
    const int64_t heap = PeakHeapOf(call);
    const int64_t grownKb = PeakResidentKb() - startKb;
    return heap > 0 ? grownKb - heap / 8 / 1024 : grownKb;
}

} // namespace kvtest
