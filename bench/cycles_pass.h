// Many LoadEncoder / UnloadEncoder cycles: the handles and committed private
// memory of the process before and after, beside the same counts for what
// those calls ask of Wine's device enumerator and graph alone.
#pragma once

#include <string>

#include "figures.h"
#include "session.h"

namespace bench {

bool MeasureCycles(Session& session, int cycles, CycleFigures* figures, std::string* error);

}  // namespace bench
