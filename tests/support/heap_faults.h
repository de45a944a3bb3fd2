// Failures of the ordinary heap for tests: the test binary replaces the global allocation
// functions (all on malloc and free), so that the next non-throwing allocation of a chosen
// size can be made to fail, as a heap out of memory would.
#pragma once

#include <cstddef>

namespace marltest {

// The next `new (std::nothrow)` of exactly `size` bytes answers null; 0 switches it off.
void FailNothrowNew(size_t size);

// Allocations (of every form of new) since the process started.
size_t HeapAllocations();

} // namespace marltest
