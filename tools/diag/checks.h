// The doctor's checks, in the order the module needs things: its registration,
// its firmware, the board's device and filter, the board itself, and (opt-in)
// the module run on the board.
#pragma once

#include <string>
#include <vector>

#include "report.h"

namespace zelkdiag {

// A module file whose firmware is checked: one per registration, and the
// module given on the command line.
struct ModuleUse {
  std::string id;        // suffix of the check ids: "64", "32", "module"
  Text where;            // "64-bit registration", "--module", as the report says it
  std::string path;      // as registered or given
  std::string filePath;  // where this process reaches that file (HostFilePath)
};

// Both registry views (the 64-bit one only where the system has it). Returns
// the registered modules whose file exists. `modulePath` (may be empty) is
// named in the remedies as the file to register.
std::vector<ModuleUse> CheckRegistration(Report& report, const std::string& modulePath);
// The module given with --module: false when there is no DLL at that path.
bool CheckModuleOption(Report& report, const std::string& modulePath);
void CheckFirmware(Report& report, const ModuleUse& module);
// The video-input devices, the one the module takes, its filter, its output
// pin, its property interface and, read-only, the board behind it.
void CheckDevices(Report& report);
// Runs the module on the board in a private graph: the registered class, or
// the module at `modulePath` when one is given.
void CheckDeep(Report& report, const std::string& modulePath);

}  // namespace zelkdiag
