// The firmware image file: its name, where it lies (the module's own folder),
// how it is opened, and the largest image the download request can describe.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace zelk {

inline constexpr char kFirmwareFileName[] = "MbPciEncoder.rom";
inline constexpr uint32_t kFirmwareHeaderBytes = 8;
// The request carries image and header with a 32-bit length: from 4 GiB - 8
// bytes on, an image cannot be described.
inline constexpr ULONGLONG kFirmwareLimitBytes = 0x100000000ull - kFirmwareHeaderBytes;

inline bool FirmwareSizeAccepted(ULONGLONG bytes) { return bytes < kFirmwareLimitBytes; }

// Drive and folder of a module path, then the firmware file name. Empty when
// the path is empty or cannot be split: the firmware is never looked for
// elsewhere.
std::string FirmwarePathBeside(const char* modulePath);

// Opens the image for reading the way the module does (others may read it
// at the same time); INVALID_HANDLE_VALUE with the system's error otherwise.
HANDLE OpenFirmwareFile(const std::string& path);

}  // namespace zelk
