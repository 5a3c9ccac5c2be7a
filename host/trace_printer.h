// The board traffic of a phase as text: a heading with the count, then one row
// per request. The start-up register tables fold into one line per table.
#pragma once

#include <string>

#include "board_log.h"

namespace zelkhost {

enum class Detail { Quiet, Normal, Verbose };

void PrintPhase(const PhaseRecord& phase, Detail detail);

// Where a phase failed on the board: "request 31 (Set register 0x21 decoder
// 0x88 input switch 0x00, start-up table index 26), which the board failed with
// 0x8007001F", or empty when every request of the phase succeeded.
std::string FailurePoint(const PhaseRecord& phase);

}  // namespace zelkhost
