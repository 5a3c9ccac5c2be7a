// What the benchmark reads about its own process: the clock, the calling
// thread's CPU time, the handles it holds and its committed private memory.
// Wine's own counters for the last two are unreliable (GetProcessHandleCount
// answers 0 there), so handles are counted in the system handle table and
// memory is summed over the address-space map.
#pragma once

#include <cstdint>

namespace bench {

// QueryPerformanceCounter in microseconds (the simulated board's log uses the
// same counter).
int64_t NowUs();

// User plus kernel time of the calling thread. Under Wine it advances in
// scheduler ticks (10 ms), so only sums over many calls mean something.
int64_t ThreadCpuUs();

// Handles of this process in the system handle table; -1 if it cannot be read.
long HandleCount();

// Committed private memory (heaps, stacks, VirtualAlloc) over the whole
// address space, in bytes.
uint64_t PrivateCommittedBytes();

}  // namespace bench
