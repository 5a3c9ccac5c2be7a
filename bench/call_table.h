// Every call of the encoder interface a host makes, each prepared the way a
// host gets there and timed on its own against the simulated board.
#pragma once

#include <string>
#include <vector>

#include "figures.h"
#include "session.h"

namespace bench {

// Runs every call `repeats` times, round by round (one warm-up round first),
// so that a change in the machine's load falls on all calls alike; each round
// also sleeps once for every wait the protocol knows, to show what Wine's
// Sleep adds to it meanwhile. False with *error when a call or its
// preparation fails or a request to the board fails.
bool MeasureCalls(Session& session, int repeats, std::vector<CallFigures>* calls, std::vector<SleepFigures>* sleeps,
                  std::string* error);

}  // namespace bench
