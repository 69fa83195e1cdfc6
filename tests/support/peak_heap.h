// Test helper: the most heap a call takes, for the tests that bound memory on hostile input.
#pragma once

#include <cstdint>
#include <functional>

namespace kvtest {

// The most heap that call takes above what was in use before it, where the address sanitizer's
// allocator can tell; -1 elsewhere.
int64_t PeakHeapOf(const std::function<void()>& call);

} // namespace kvtest
