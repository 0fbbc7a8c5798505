#pragma once
// The runtime's one allocator. Every block is zero-filled; a request that cannot be met gives
// null instead of throwing, so callers can keep their promises when memory runs out.
#include <cstddef>

namespace runtime {

// A zero-filled block of `size` bytes (at least one byte is reserved for size 0), or null.
void* Allocate(std::size_t size);

// Releases a block from Allocate; null is ignored.
void Release(void* block);

// For tests: the `count`-th allocation from now fails (1 = the next one) and every later one
// succeeds again. 0 switches the failure off.
void FailAllocationAfter(int count);

}  // namespace runtime
