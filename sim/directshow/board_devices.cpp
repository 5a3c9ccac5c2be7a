#include "board_devices.h"

#include <cwchar>
#include <mutex>

namespace zelk::sim {
namespace {

constexpr wchar_t kPathPrefix[] = L"\\\\?\\root#zelksim#";
// The kernel-streaming capture category, as in a capture driver's interface path.
constexpr wchar_t kPathSuffix[] = L"#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";

}  // namespace

std::wstring DevicePathOf(int board) {
  wchar_t number[8];
  swprintf(number, 8, L"%04d", board);
  return std::wstring(kPathPrefix) + number + kPathSuffix;
}

std::wstring InstanceNameOf(int board) {
  std::wstring name = ZELK_SIM_DEVICE_NAME;
  if (board != 1) name += L" #" + std::to_wstring(board);
  return name;
}

int BoardOfDevicePath(const wchar_t* path) {
  if (!path) return 0;
  for (int board = 1; board <= kMaxBoards; ++board)
    if (_wcsicmp(path, DevicePathOf(board).c_str()) == 0) return board;
  return 0;
}

std::shared_ptr<Board> DeviceBoard(int board) {
  if (board < 1 || board > kMaxBoards) return nullptr;
  static std::mutex lock;
  static std::shared_ptr<Board> boards[kMaxBoards];
  std::lock_guard<std::mutex> guard(lock);
  auto& slot = boards[board - 1];
  if (!slot) slot = std::make_shared<Board>(board);
  return slot;
}

}  // namespace zelk::sim
