// What a DLL file says about itself: whether it is there, its machine type
// from the PE header, and its version resource.
#pragma once

#include <windows.h>

#include <string>

namespace zelkdiag {

enum class FileState { kPresent, kMissing, kUnreadable, kNotADll };

struct ModuleFile {
  FileState state = FileState::kMissing;
  std::string problem;  // why it is unreadable or not a DLL
  WORD machine = 0;     // IMAGE_FILE_MACHINE_*
  std::string version;  // "1.0.0.0 (ZelkEncoderMb86393)"; empty without a version resource
};

ModuleFile InspectModule(const std::string& path);

// "32-bit", "64-bit" or "ARM64" for the machine types a DLL of this module can have.
std::string MachineName(WORD machine);

}  // namespace zelkdiag
