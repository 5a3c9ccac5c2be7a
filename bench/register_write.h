// One register write through the module's property channel to an in-process
// simulated board (IKsPropertySet query, Set, log entry, release).
#pragma once

namespace bench {

// Median over `runs` runs of 1000 writes, in microseconds per write; negative
// when a write fails.
double RegisterWriteUs(int runs);

}  // namespace bench
