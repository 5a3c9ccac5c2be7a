// The firmware download inside LoadEncoder: its time against a plain read and
// copy of the same file, and the private memory it takes, in images.
#pragma once

#include <string>

#include "figures.h"
#include "session.h"

namespace bench {

// Runs with the 4 MiB image and the capture filter already in the graph, so
// that the attachment costs little and alike in every run.
bool MeasureFirmware(Session& session, int runs, FirmwareFigures* figures, std::string* error);

}  // namespace bench
