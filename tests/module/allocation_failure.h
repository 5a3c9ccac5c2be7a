// Makes `new (std::nothrow)` in this test program fail on demand, and counts
// its calls, so tests can reach the out-of-memory paths and prove that nothing
// was allocated.
#pragma once

namespace zelk::test {

// While alive, every nothrow allocation returns null.
class NothrowAllocationFailure {
 public:
  NothrowAllocationFailure();
  ~NothrowAllocationFailure();
  NothrowAllocationFailure(const NothrowAllocationFailure&) = delete;
  NothrowAllocationFailure& operator=(const NothrowAllocationFailure&) = delete;
};

// Nothrow allocations made so far (failed ones included).
long NothrowAllocations();

}  // namespace zelk::test
