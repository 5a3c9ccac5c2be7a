// The firmware image beside a module: present under its exact name, readable
// to its end, not empty, small enough for the download request, and not the
// build's placeholder.
#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

#include "checks.h"
#include "encoder/firmware_file.h"

namespace zelkdiag {
namespace {

struct FileCloser {
  void operator()(HANDLE file) const {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
};
using UniqueFile = std::unique_ptr<void, FileCloser>;

// The build writes a placeholder image beside the module (cmake/romgen.pl)
// that begins with this tag. The simulated board takes any image; a real
// board needs the image from its driver CD.
constexpr char kPlaceholderTag[] = "ZELK-PLACEHOLDER";
constexpr DWORD kPlaceholderTagBytes = sizeof kPlaceholderTag - 1;

// A file in the folder that looks like the image under another name.
std::string RenamedImage(const std::string& folder) {
  for (const char* pattern : {"MbPciEncoder*", "*.rom"}) {
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((folder + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) continue;
    std::string name;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) name = found.cFileName;
    } while (name.empty() && FindNextFileA(search, &found));
    FindClose(search);
    if (!name.empty()) return name;
  }
  return {};
}

// Reads the whole file as the module does; the failure, or S_OK.
HRESULT ReadToEnd(HANDLE file, ULONGLONG size) {
  std::vector<char> buffer(64 * 1024);
  ULONGLONG total = 0;
  while (total < size) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
      return HRESULT_FROM_WIN32(GetLastError());
    if (got == 0) return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);  // shorter than its size says
    total += got;
  }
  return S_OK;
}

bool IsPlaceholder(HANDLE file) {
  char head[kPlaceholderTagBytes];
  DWORD got = 0;
  return SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && ReadFile(file, head, sizeof head, &got, nullptr) &&
         got == sizeof head && std::memcmp(head, kPlaceholderTag, sizeof head) == 0;
}

}  // namespace

void CheckFirmware(Report& report, const ModuleUse& module) {
  const std::string id = "firmware-" + module.id;
  const Text title = Say(MSG_FW_TITLE, {module.where});
  const Text fromCd = Say(MSG_FW_COPY, {module.path});
  const Text fromCdAgain = Say(MSG_FW_COPY_AGAIN, {module.path});
  const std::string path = zelk::FirmwarePathBeside(module.path.c_str());
  const std::string filePath = zelk::FirmwarePathBeside(module.filePath.c_str());  // opened; `path` is reported
  if (path.empty() || filePath.empty()) {
    report.Fail(id, title, Say(MSG_FW_NO_FOLDER, {module.path}), Say(MSG_FW_REGISTER_FULL_PATH));
    return;
  }

  UniqueFile file(zelk::OpenFirmwareFile(filePath));
  if (file.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      report.Fail(id, title, Say(MSG_FW_CANNOT_OPEN, {path, DescribeResult(HRESULT_FROM_WIN32(error))}),
                  Say(MSG_FW_GIVE_ACCESS, {path}));
      return;
    }
    const std::string renamed =
        RenamedImage(filePath.substr(0, filePath.size() - std::strlen(zelk::kFirmwareFileName)));
    if (renamed.empty()) {
      report.Fail(id, title, Say(MSG_FW_MISSING, {path}), fromCd);
    } else {
      report.Fail(id, title, Say(MSG_FW_MISSING_RENAMED, {path, renamed}), Say(MSG_FW_RENAME, {renamed, fromCd}));
    }
    return;
  }

  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) {
    report.Fail(id, title, Say(MSG_FW_SIZE_UNREADABLE, {path, DescribeResult(HRESULT_FROM_WIN32(GetLastError()))}),
                fromCdAgain);
    return;
  }
  const ULONGLONG bytes = static_cast<ULONGLONG>(size.QuadPart);
  if (bytes == 0) {
    report.Fail(id, title, Say(MSG_FW_EMPTY, {path}), fromCdAgain);
    return;
  }
  if (!zelk::FirmwareSizeAccepted(bytes)) {
    report.Fail(id, title,
                Say(MSG_FW_TOO_LARGE, {path, std::to_string(bytes), std::to_string(zelk::kFirmwareLimitBytes)}),
                Say(MSG_FW_NOT_THE_IMAGE, {fromCd}));
    return;
  }
  const HRESULT hr = ReadToEnd(file.get(), bytes);
  if (FAILED(hr)) {
    report.Fail(id, title, Say(MSG_FW_READ_FAILED, {path, DescribeResult(hr)}), fromCdAgain);
    return;
  }
  if (IsPlaceholder(file.get())) {
    report.Warn(id, title, Say(MSG_FW_PLACEHOLDER, {path}), Say(MSG_FW_PLACEHOLDER_REMEDY, {fromCd}));
    return;
  }
  report.Ok(id, title, Say(MSG_FW_OK, {path, std::to_string(bytes)}));
}

}  // namespace zelkdiag
