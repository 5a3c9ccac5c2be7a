// What the object's lock costs a host: the wait of a call queued behind a
// channel scan on another thread, and an uncontended lock and unlock.
#pragma once

#include <string>

#include "figures.h"
#include "session.h"

namespace bench {

// `tries` calls queued behind a scan of SetChannel calls with the report,
// each arriving at another point of the call ahead; false with `error` set
// when a call fails.
bool MeasureLock(Session& session, int tries, LockFigures* figures, std::string* error);

}  // namespace bench
