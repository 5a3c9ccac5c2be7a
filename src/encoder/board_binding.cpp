// Several boards in one PC: the host lists the boards and binds an object to
// one of them before LoadEncoder. A bound object attaches only that board;
// an unbound one takes the first board by its name, as it always has.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "encoder/device_search.h"
#include "encoder/encoder_object.h"
#include "encoder/trace.h"

namespace zelk {
namespace {

constexpr uint32_t kLargestBoardIndex = 8;
constexpr size_t kLongestDevicePath = 1023;

// A BSTR copy of `text` into `out` (when given): false when memory is exhausted.
bool CopyOut(const std::wstring& text, BSTR* out) {
  if (!out) return true;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out != nullptr;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c > 0 && c < 128 ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace

HRESULT EncoderObject::GetBoardCount(UINT32* count) {
  if (!count) return E_POINTER;
  std::vector<PresentBoard> boards;
  const HRESULT hr = ListBoards(boards);
  if (FAILED(hr)) return hr;
  *count = static_cast<UINT32>(boards.size());
  return S_OK;
}

HRESULT EncoderObject::GetBoard(UINT32 index, BSTR* name, BSTR* devicePath) {
  if (name) *name = nullptr;
  if (devicePath) *devicePath = nullptr;
  std::vector<PresentBoard> boards;
  const HRESULT hr = ListBoards(boards);
  if (FAILED(hr)) return hr;
  if (index == 0 || index > boards.size()) return E_INVALIDARG;
  if (!CopyOut(BoardName(index), name) || !CopyOut(boards[index - 1].devicePath, devicePath)) {
    if (name) SysFreeString(*name), *name = nullptr;
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT EncoderObject::BindBoardByIndex(UINT32 index) {
  if (index > kLargestBoardIndex) return E_INVALIDARG;
  LockGuard guard(objectLock);
  if (captureFilter || loading) return ZELK_E_BOARD_IN_USE;
  binding = BoardBinding{index, {}};
  return S_OK;
}

HRESULT EncoderObject::BindBoardByPath(const WCHAR* devicePath) {
  std::wstring path;
  if (devicePath) {
    const size_t length = wcsnlen(devicePath, kLongestDevicePath + 1);
    if (length > kLongestDevicePath) return E_INVALIDARG;
    path.assign(devicePath, length);  // copied before the lock: may throw only here
  }
  LockGuard guard(objectLock);
  if (captureFilter || loading) return ZELK_E_BOARD_IN_USE;
  binding = BoardBinding{0, std::move(path)};
  return S_OK;
}

HRESULT EncoderObject::GetBinding(UINT32* index, BSTR* devicePath) {
  BoardBinding now;
  {
    LockGuard guard(objectLock);
    now = binding;
  }
  if (index) *index = now.index;
  if (devicePath) {
    *devicePath = nullptr;
    if (!now.devicePath.empty() && !CopyOut(now.devicePath, devicePath)) return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT EncoderObject::AddBoundBoard(const BoardBinding& wanted, ComPtr<IBaseFilter>* filter) {
  ComPtr<IMoniker> device;
  uint32_t index = 0;
  const HRESULT hr = FindBoundBoard(wanted, device, &index);
  if (hr == ZELK_E_BOARD_GONE) {
    if (wanted.index != 0)
      TraceMessage("ERROR ---> LoadEncoder()  board gone: index=%u\n", static_cast<unsigned>(wanted.index));
    else
      TraceMessage("ERROR ---> LoadEncoder()  board gone: path=%s\n", Narrow(wanted.devicePath).c_str());
  }
  if (FAILED(hr)) return hr;
  return AddBoardFilter(device.Get(), BoardName(index).c_str(), filter);
}

}  // namespace zelk
