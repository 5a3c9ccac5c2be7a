// Where the demo finds zelkenc.dll and its firmware.
#pragma once

#include <windows.h>

#include <string>

namespace zelkhost {

inline constexpr wchar_t kModuleFile[] = L"zelkenc.dll";
inline constexpr wchar_t kFirmwareFile[] = L"MbPciEncoder.rom";

// Folder of the running program, with a trailing backslash.
std::wstring ProgramFolder();

bool FileExists(const std::wstring& path);
// File size in bytes, or -1 when it cannot be opened.
long long FileSize(const std::wstring& path);

std::wstring Widen(const std::string& text);

// The module loads its firmware from its own folder. To run it with another
// firmware image, a private folder holds a copy of zelkenc.dll and the image
// under the expected name; the folder is removed again on destruction (after
// the module has been freed).
class ModuleFolder {
 public:
  ModuleFolder() = default;
  ModuleFolder(const ModuleFolder&) = delete;
  ModuleFolder& operator=(const ModuleFolder&) = delete;
  ~ModuleFolder() { Remove(); }

  // Uses the program's own folder.
  void UseProgramFolder() { folder_ = ProgramFolder(); }
  // Creates a private folder with zelkenc.dll and, when `firmware` exists, a
  // copy of it named MbPciEncoder.rom. On failure returns false with *error.
  bool CreateWithFirmware(const std::wstring& firmware, std::string* error);
  // Deletes the private folder and its files (nothing for the program folder).
  void Remove();

  const std::wstring& Folder() const { return folder_; }
  std::wstring ModulePath() const { return folder_ + kModuleFile; }
  std::wstring FirmwarePath() const { return folder_ + kFirmwareFile; }

 private:
  std::wstring folder_;
  bool temporary_ = false;
};

}  // namespace zelkhost
