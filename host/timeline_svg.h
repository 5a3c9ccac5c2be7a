// Draws the run as an SVG picture: one row per phase on a common time axis,
// every request a tick (red when it failed), every wait a bar.
#pragma once

#include <cstdio>

#include "board_log.h"

namespace zelkhost {

// Each request is one <line class="request"> carrying a <title>, each wait one
// <rect class="wait">. Returns false when writing failed.
bool WriteTimeline(std::FILE* file, const BoardLog& log);

}  // namespace zelkhost
