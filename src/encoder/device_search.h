// The capture device as the module looks for it: its names, the device
// enumerator's list of one category, and the friendly-name comparison that
// picks the device out of that list.
#pragma once

#include <strmif.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "com_support.h"

namespace zelk {

// The capture filter's friendly name among the video-input devices (ANSI code
// page), the same text as the filter's name in the graph, and its output pin.
inline constexpr char kCaptureDeviceNameAnsi[] = "MB86393 PCI Capture";
inline constexpr wchar_t kCaptureDeviceNameWide[] = L"MB86393 PCI Capture";
inline constexpr wchar_t kCaptureOutputPinName[] = L"Video/Muxed Out";

// Friendly names are read into 80 ANSI bytes.
inline constexpr size_t kFriendlyNameBytes = 80;

// The system device enumerator's monikers of one category: S_OK with the
// enumerator, S_FALSE (no enumerator) when the category is empty, or the
// failure of creating either.
HRESULT EnumerateDevices(const GUID& category, ComPtr<IEnumMoniker>& monikers);

// The device's friendly name in the ANSI code page; empty when it cannot be
// read or does not fit. `bag` keeps the device's property bag.
void ReadFriendlyName(IMoniker* moniker, char (&name)[kFriendlyNameBytes], ComPtr<IPropertyBag>& bag);

// Whether a friendly name read that way is the wanted one: compared over at
// most 30 characters. An absent or empty wanted name matches nothing.
bool DeviceNameMatches(const char* wanted, const char* name);

// The boards of the machine: the video-input devices with the capture
// filter's friendly name, in the enumerator's order (board n at n - 1).
struct PresentBoard {
  ComPtr<IMoniker> moniker;
  std::wstring devicePath;  // the device's "DevicePath", empty when it has none
};
HRESULT ListBoards(std::vector<PresentBoard>& boards);

// What a host named when it bound an object: an index (1 on) or a device
// path; neither means the first board, found by name as always.
struct BoardBinding {
  uint32_t index = 0;
  std::wstring devicePath;
  bool Bound() const { return index != 0 || !devicePath.empty(); }
};
// The bound board's moniker and its index; ZELK_E_BOARD_GONE when no board
// matches, another failure when the devices cannot be listed.
HRESULT FindBoundBoard(const BoardBinding& binding, ComPtr<IMoniker>& moniker, uint32_t* index);

// A board's name for people and for the graph: "MB86393 PCI Capture #n".
std::wstring BoardName(uint32_t index);

}  // namespace zelk
