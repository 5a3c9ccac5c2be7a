#include "encoder/firmware_file.h"

#include <cstdlib>

namespace zelk {

std::string FirmwarePathBeside(const char* modulePath) {
  char drive[_MAX_DRIVE] = {};
  char dir[_MAX_DIR] = {};
  if (!modulePath || modulePath[0] == '\0' ||
      _splitpath_s(modulePath, drive, sizeof drive, dir, sizeof dir, nullptr, 0, nullptr, 0) != 0) {
    return {};
  }
  return std::string(drive) + dir + kFirmwareFileName;
}

HANDLE OpenFirmwareFile(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

}  // namespace zelk
