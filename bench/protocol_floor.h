// The floor the board's protocol puts under a call: the waits it requires
// between requests, as data, applied to the requests a call actually sent
// (the simulated board's log). Nothing here knows which call sent them.
#pragma once

#include <cstdint>
#include <vector>

#include "request_log.h"

namespace bench {

struct Floor {
  int64_t waitUs = 0;        // least time the requests can take, all in zero time but the waits
  std::vector<int> waitsMs;  // the waits behind it, one per wait the protocol requires
  // Where each wait lies: from request `first` to request `second` (the
  // request count: to the end of the call).
  std::vector<std::pair<size_t, size_t>> spans;
};

// Schedules the requests as early as the timing rules allow and returns where
// the last one (or a wait that must follow it) ends.
Floor MandatedWait(const std::vector<zelk::sim::LoggedRequest>& requests);

// The time the call actually spent inside those waits: the gaps between
// consecutive requests (and from the last one to `callEndUs`, on the log's
// clock) that lie in a span of the floor.
int64_t WaitedUs(const Floor& floor, const std::vector<zelk::sim::LoggedRequest>& requests, int64_t callEndUs);

struct RuleText {
  const char* what;
  int waitMs;
};
// The timing rules, as the report lists them.
std::vector<RuleText> TimingRules();

}  // namespace bench
