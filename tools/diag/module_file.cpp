#include "module_file.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace zelkdiag {
namespace {

struct FileCloser {
  void operator()(HANDLE file) const { CloseHandle(file); }
};
using UniqueFile = std::unique_ptr<void, FileCloser>;

bool ReadAt(HANDLE file, LONG offset, void* buffer, DWORD size) {
  DWORD got = 0;
  return SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
         ReadFile(file, buffer, size, &got, nullptr) && got == size;
}

// Version number and product name from the version resource.
std::string VersionOf(const std::string& path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return {};
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return {};
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || !fixed) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(HIWORD(fixed->dwFileVersionMS)),
                static_cast<unsigned>(LOWORD(fixed->dwFileVersionMS)),
                static_cast<unsigned>(HIWORD(fixed->dwFileVersionLS)),
                static_cast<unsigned>(LOWORD(fixed->dwFileVersionLS)));
  std::string version = text;

  struct Translation {
    WORD language;
    WORD codePage;
  }* translation = nullptr;
  if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
      translation && length >= sizeof *translation) {
    char key[64];
    std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\ProductName", translation->language,
                  translation->codePage);
    char* product = nullptr;
    if (VerQueryValueA(data.data(), key, reinterpret_cast<void**>(&product), &length) && product && length > 1) {
      version += std::string(" (") + product + ")";
    }
  }
  return version;
}

}  // namespace

ModuleFile InspectModule(const std::string& path) {
  ModuleFile module;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return module;

  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    module.state = FileState::kUnreadable;
    module.error = GetLastError();
    module.problem = MSG_FILE_UNREADABLE;
    return module;
  }
  IMAGE_DOS_HEADER dos{};
  DWORD signature = 0;
  IMAGE_FILE_HEADER header{};
  if (!ReadAt(file.get(), 0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0 ||
      !ReadAt(file.get(), dos.e_lfanew, &signature, sizeof signature) || signature != IMAGE_NT_SIGNATURE ||
      !ReadAt(file.get(), dos.e_lfanew + static_cast<LONG>(sizeof signature), &header, sizeof header)) {
    module.state = FileState::kNotADll;
    module.problem = MSG_FILE_NOT_A_PROGRAM;
    return module;
  }
  if (!(header.Characteristics & IMAGE_FILE_DLL)) {
    module.state = FileState::kNotADll;
    module.problem = MSG_FILE_NOT_A_DLL;
    return module;
  }
  module.state = FileState::kPresent;
  module.machine = header.Machine;
  module.version = VersionOf(path);
  return module;
}

std::string HostFilePath(const std::string& path, int viewBits) {
  constexpr int kToolBits = sizeof(void*) == 8 ? 64 : 32;
  if (viewBits == kToolBits) return path;
  char folder[MAX_PATH];
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || path.size() <= length || path[length] != '\\' ||
      CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str(), static_cast<int>(length), folder,
                     static_cast<int>(length)) != CSTR_EQUAL) {
    return path;
  }
  const std::string rest = path.substr(length);
  // A 32-bit doctor sees another view only under WOW64.
  if (kToolBits == 32) {
    length = GetSystemWindowsDirectoryA(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? path : std::string(folder) + "\\Sysnative" + rest;
  }
  length = GetSystemWow64DirectoryA(folder, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? path : std::string(folder) + rest;
}

Text MachineName(WORD machine) {
  switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
      return Say(MSG_MACHINE_32);
    case IMAGE_FILE_MACHINE_AMD64:
      return Say(MSG_MACHINE_64);
    case IMAGE_FILE_MACHINE_ARM64:
      return Say(MSG_MACHINE_ARM64);
    default: {
      char text[16];
      std::snprintf(text, sizeof text, "0x%04X", machine);
      return Say(MSG_MACHINE_OTHER, {text});
    }
  }
}

Text FileProblem(const std::string& path, const ModuleFile& file) {
  return Say(file.problem, {path, std::to_string(file.error)});
}

}  // namespace zelkdiag
