// What a DLL file says about itself: whether it is there, its machine type
// from the PE header, and its version resource.
#pragma once

#include <windows.h>

#include <string>

#include "language.h"

namespace zelkdiag {

enum class FileState { kPresent, kMissing, kUnreadable, kNotADll };

struct ModuleFile {
  FileState state = FileState::kMissing;
  UINT problem = 0;     // why it is unreadable or not a DLL: a message of the path ({1}) and error ({2})
  DWORD error = 0;
  WORD machine = 0;     // IMAGE_FILE_MACHINE_*
  std::string version;  // "1.0.0.0 (ZelkEncoderMb86393)"; empty without a version resource
};

ModuleFile InspectModule(const std::string& path);

// Where this process reaches the file that a host of `viewBits` bits opens at
// `path`. The system redirects a 32-bit process's accesses to the system
// folder (System32) to SysWOW64: a 32-bit doctor reaches a 64-bit host's
// System32 through the Sysnative alias, a 64-bit doctor finds a 32-bit host's
// in SysWOW64. Any other path is the same for both.
std::string HostFilePath(const std::string& path, int viewBits);

// "32-bit", "64-bit" or "ARM64" for the machine types a DLL of this module can have.
Text MachineName(WORD machine);
// What the report says of a file that is not a usable DLL.
Text FileProblem(const std::string& path, const ModuleFile& file);

}  // namespace zelkdiag
