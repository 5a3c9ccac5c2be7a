#include "module_files.h"

#include <cstdio>
#include <vector>

#include "text.h"

namespace zelkhost {

std::wstring ProgramFolder() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return L".\\";
    if (length < buffer.size()) break;
    buffer.resize(buffer.size() * 2);
  }
  std::wstring path(buffer.data());
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L".\\" : path.substr(0, slash + 1);
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length) - 1);
  return wide;
}

bool ModuleFolder::CreateWithFirmware(const std::wstring& firmware, std::string* error) {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) {
    *error = "no temporary folder";
    return false;
  }
  // A name of our own: program id and tick count, retried on a clash.
  std::wstring folder;
  for (unsigned attempt = 0;; ++attempt) {
    wchar_t name[64];
    std::swprintf(name, 64, L"zelkhost-%lu-%lu-%u", GetCurrentProcessId(), GetTickCount(), attempt);
    folder = std::wstring(temp) + name;
    if (CreateDirectoryW(folder.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS || attempt >= 100) {
      *error = "cannot create a temporary folder in " + zelktext::Narrow(temp);
      return false;
    }
  }
  folder_ = folder + L"\\";
  temporary_ = true;

  const std::wstring source = ProgramFolder() + kModuleFile;
  if (!CopyFileW(source.c_str(), ModulePath().c_str(), TRUE)) {
    *error = "cannot copy " + zelktext::Narrow(source) + " to " + zelktext::Narrow(folder_);
    return false;
  }
  // A missing image is left missing: the module reports it when it loads.
  if (FileExists(firmware) && !CopyFileW(firmware.c_str(), FirmwarePath().c_str(), TRUE)) {
    *error = "cannot copy " + zelktext::Narrow(firmware) + " to " + zelktext::Narrow(FirmwarePath());
    return false;
  }
  return true;
}

void ModuleFolder::Remove() {
  if (!temporary_) return;
  temporary_ = false;
  const std::wstring files[] = {ModulePath(), FirmwarePath()};
  for (const std::wstring& file : files) {
    if (FileExists(file) && !DeleteFileW(file.c_str())) {
      std::fprintf(stderr, "zelkhost: could not delete %s\n", zelktext::Narrow(file).c_str());
    }
  }
  if (!RemoveDirectoryW(folder_.c_str())) {
    std::fprintf(stderr, "zelkhost: could not remove %s\n", zelktext::Narrow(folder_).c_str());
  }
}

}  // namespace zelkhost
