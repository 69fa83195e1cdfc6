// Test helpers: the most heap and resident memory a call takes, for the tests that bound memory.
#pragma once

#include <cstdint>
#include <functional>

namespace kvtest {

// The most heap that call takes above what was in use before it, where the address sanitizer's
// allocator can tell; -1 elsewhere.
int64_t PeakHeapOf(const std::function<void()>& call);

// Peak resident kB since the last ResetPeakResident: the pages written or read, not blocks handed out.
int64_t PeakResidentKb();
void ResetPeakResident();

// How many kB resident memory peaks above where it stood during call, less the eighth of the call's
// heap that the address sanitizer's shadow writes however little of a block is used.
int64_t ResidentGrowthOf(const std::function<void()>& call);

} // namespace kvtest
