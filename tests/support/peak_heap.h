// Test helpers: the most memory a call takes, for the tests that bound memory. Counted from the
// test program's own allocations (malloc and all that is built on it, C libraries included), so
// that a bound measures the same on every kernel, in the plain build and under the sanitizers. A
// measure that cannot be taken fails the test and says why; it never passes unmeasured.
#pragma once

#include <cstdint>
#include <functional>

namespace kvtest {

// The most heap, in bytes, that call takes above what was in use before it.
int64_t PeakHeapOf(const std::function<void()>& call);

// The most memory, in kB, that the blocks allocated since the last ResetPeakResident held
// resident at once: a block of a megabyte or more by its pages written (a huge bitmap of which a
// few rows were written counts those rows; where the kernel's page map cannot be read, pages only
// read count too), a smaller one whole.
int64_t PeakResidentKb();
void ResetPeakResident();

// PeakResidentKb of the blocks the call allocates.
int64_t ResidentGrowthOf(const std::function<void()>& call);

// Whether reading memory that nothing wrote maps the kernel's shared zero page, as most kernels do,
// so that such reads cost no memory; some kernels give the process pages of its own for them,
// which are then resident as written ones are, and counted so.
bool ReadsOfUnwrittenMemoryAreFree();

} // namespace kvtest
