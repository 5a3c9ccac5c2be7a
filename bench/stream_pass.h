// The simulated board streaming into the system's File writer while the graph
// runs: bytes delivered per second against the clip's own rate, the CPU time
// of the board's streaming thread, and the process's handles and committed
// memory from the first second to the end, the highest of each on the way.
#pragma once

#include <string>

#include "figures.h"
#include "session.h"

namespace bench {

bool MeasureStreaming(Session& session, int seconds, StreamFigures* figures, std::string* error);

}  // namespace bench
