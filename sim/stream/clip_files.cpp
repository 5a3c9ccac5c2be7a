#include "clip_files.h"

#include <vfwmsgs.h>

#include <iterator>
#include <map>
#include <mutex>
#include <new>
#include <vector>

namespace zelk::sim {
namespace {

constexpr const wchar_t* kClipNames[] = {L"zelksim_composite.mpg", L"zelksim_svideo.mpg", L"zelksim_tuner.mpg"};
static_assert(std::size(kClipNames) == 3, "one clip per video input: composite, S-video, tuner");
constexpr LONGLONG kLargestClip = 256LL << 20;
// The pictures of the even boards carry this before ".mpg".
constexpr wchar_t kEvenBoardSuffix[] = L"_board2";

std::wstring ModuleFolder() {
  HMODULE module = nullptr;
  wchar_t path[MAX_PATH] = {};
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&ModuleFolder), &module) ||
      !GetModuleFileNameW(module, path, MAX_PATH))
    return L".";
  std::wstring folder = path;
  const size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"." : folder.substr(0, slash);
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

LoadedClip Failed(HRESULT hr, const std::wstring& path, const std::string& what) {
  return {nullptr, hr, "clip " + Narrow(path) + ": " + what, Narrow(path)};
}

LoadedClip ReadClip(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return Failed(HRESULT_FROM_WIN32(error), path, "cannot be opened (error " + std::to_string(error) + ")");
  }
  LARGE_INTEGER size{};
  std::vector<uint8_t> bytes;
  DWORD error = ERROR_SUCCESS;
  if (!GetFileSizeEx(file, &size)) {
    error = GetLastError();
  } else if (size.QuadPart <= 0 || size.QuadPart > kLargestClip) {
    error = ERROR_INVALID_DATA;
  } else {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
      error = GetLastError();
    else if (read != bytes.size())
      error = ERROR_HANDLE_EOF;
  }
  CloseHandle(file);
  if (error != ERROR_SUCCESS)
    return Failed(HRESULT_FROM_WIN32(error), path, "cannot be read (error " + std::to_string(error) + ")");
  auto clip = std::make_shared<ProgramStream>();
  const std::string problem = ParseProgramStream(bytes.data(), bytes.size(), clip.get());
  if (!problem.empty()) return Failed(VFW_E_INVALID_FILE_FORMAT, path, "not a usable program stream: " + problem);
  return {std::move(clip), S_OK, "", Narrow(path)};
}

}  // namespace

std::wstring ClipFileName(int input, int board) {
  std::wstring name =
      input >= 0 && input < static_cast<int>(std::size(kClipNames)) ? kClipNames[input] : kClipNames[0];
  if (board > 0 && board % 2 == 0) name.insert(name.size() - 4, kEvenBoardSuffix);
  return name;
}

// A clip stays loaded while a stream plays it; the file is read and checked
// without the cache's lock, so one slow clip holds up no other.
LoadedClip LoadClip(const std::wstring& folder, int input, int board) {
  static std::mutex lock;
  static std::map<std::wstring, std::weak_ptr<const ProgramStream>> loaded;
  try {
    const std::wstring path = (folder.empty() ? ModuleFolder() : folder) + L"\\" + ClipFileName(input, board);
    {
      std::lock_guard<std::mutex> guard(lock);
      if (const auto found = loaded.find(path); found != loaded.end()) {
        if (auto clip = found->second.lock()) return {std::move(clip), S_OK, "", Narrow(path)};
        loaded.erase(found);
      }
    }
    LoadedClip result = ReadClip(path);
    if (result.clip) {
      std::lock_guard<std::mutex> guard(lock);
      loaded[path] = result.clip;
    }
    return result;
  } catch (const std::bad_alloc&) {
    return {nullptr, E_OUTOFMEMORY, "a clip does not fit into memory", ""};
  }
}

}  // namespace zelk::sim
