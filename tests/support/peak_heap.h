// Test helpers: the most heap a call takes and the peak of resident memory, for the tests that bound
// memory on hostile input or on pictures larger than memory.
#pragma once

#include <cstdint>
#include <functional>

namespace kvtest {

// The most heap that call takes above what was in use before it, where the address sanitizer's
// allocator can tell; -1 elsewhere.
int64_t PeakHeapOf(const std::function<void()>& call);

// The process's peak resident memory in kB since the last ResetPeakResident (or its start): unlike
// the heap, it counts only the pages that were written or read, not blocks that were handed out.
int64_t PeakResidentKb();
void ResetPeakResident();

// How far resident memory peaks during call above where it stood, in kB: the pages the call writes
// or reads. The address sanitizer writes the shadow of every block it hands out, an eighth of the
// block, however little of the block is used; that shadow of the heap the call takes is left out.
int64_t ResidentGrowthOf(const std::function<void()>& call);

} // namespace kvtest
