#include "runtime/memory.h"

#include <cstdlib>

namespace runtime {
namespace {
int allocations_until_failure = 0;
}

void* Allocate(std::size_t size) {
  if (allocations_until_failure > 0 && --allocations_until_failure == 0) return nullptr;
  return std::calloc(size == 0 ? 1 : size, 1);
}

void Release(void* block) { std::free(block); }

void FailAllocationAfter(int count) { allocations_until_failure = count > 0 ? count : 0; }

}  // namespace runtime
