// The capture device as the module looks for it: its names, the device
// enumerator's list of one category, and the friendly-name comparison that
// picks the device out of that list.
#pragma once

#include <strmif.h>
#include <windows.h>

#include <cstddef>

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

}  // namespace zelk
