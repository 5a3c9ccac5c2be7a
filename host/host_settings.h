// The settings given on the command line, applied through the module's
// settings operations.
#pragma once

#include <string>

#include "options.h"
#include "zelk/encoder_module.h"

namespace zelkhost {

struct SettingsReport {
  std::string echo;     // each value as the module reports it back, one line each
  std::string problem;  // the first refusal, or empty
};

// The settings the module stores before the board is attached. False when the
// module refused one.
bool ApplyStoredSettings(IEncoderModule* encoder, const Options& options, SettingsReport* report);

// Video processing needs to know whether the board has the enhancer unit, so
// it is set once the board is attached.
bool ApplyProcessing(IEncoderModule* encoder, const Options& options, SettingsReport* report);

}  // namespace zelkhost
