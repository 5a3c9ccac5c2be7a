#include "allocation_failure.h"

#include <atomic>
#include <cstddef>
#include <new>

namespace {
std::atomic<bool> failNothrow{false};
std::atomic<long> nothrowCalls{0};
}  // namespace

// Replaces the program's nothrow allocation function.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++nothrowCalls;
  if (failNothrow) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace zelk::test {

NothrowAllocationFailure::NothrowAllocationFailure() { failNothrow = true; }
NothrowAllocationFailure::~NothrowAllocationFailure() { failNothrow = false; }
long NothrowAllocations() { return nothrowCalls; }

}  // namespace zelk::test
