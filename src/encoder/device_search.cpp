#include "encoder/device_search.h"

#include <dshow.h>
#include <oleauto.h>

#include <cstring>

#include <zelk/encoder_module.h>

namespace zelk {
namespace {

constexpr size_t kComparedLength = 30;  // friendly names are compared over at most 30 characters

}  // namespace

HRESULT EnumerateDevices(const GUID& category, ComPtr<IEnumMoniker>& monikers) {
  ComPtr<ICreateDevEnum> devices;
  const HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                      reinterpret_cast<void**>(devices.GetAddressOf()));
  if (hr != S_OK) return hr;
  return devices->CreateClassEnumerator(category, monikers.ReleaseAndGetAddressOf(), 0);
}

void ReadFriendlyName(IMoniker* moniker, char (&name)[kFriendlyNameBytes], ComPtr<IPropertyBag>& bag) {
  name[0] = '\0';
  if (FAILED(
          moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf()))) ||
      !bag) {
    return;
  }
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = nullptr;
  if (FAILED(bag->Read(L"FriendlyName", &value, nullptr))) return;
  if (value.vt == VT_BSTR && value.bstrVal) {
    if (WideCharToMultiByte(CP_ACP, 0, value.bstrVal, -1, name, kFriendlyNameBytes, nullptr, nullptr) == 0) {
      name[0] = '\0';  // a name that does not fit counts as unreadable
    }
  }
  VariantClear(&value);
}

bool DeviceNameMatches(const char* wanted, const char* name) {
  return wanted && wanted[0] && std::strncmp(wanted, name, kComparedLength) == 0;
}

namespace {

std::wstring ReadDevicePath(IPropertyBag* bag) {
  std::wstring path;
  if (!bag) return path;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = nullptr;
  if (SUCCEEDED(bag->Read(L"DevicePath", &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal)
    path = value.bstrVal;
  VariantClear(&value);
  return path;
}

}  // namespace

HRESULT ListBoards(std::vector<PresentBoard>& boards) {
  boards.clear();
  ComPtr<IEnumMoniker> monikers;
  const HRESULT hr = EnumerateDevices(CLSID_VideoInputDeviceCategory, monikers);
  if (hr == S_FALSE) return S_OK;  // an empty category: no boards
  if (FAILED(hr)) return hr;
  monikers->Reset();
  ComPtr<IMoniker> moniker;
  char name[kFriendlyNameBytes];
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    if (!moniker) continue;
    ComPtr<IPropertyBag> bag;
    ReadFriendlyName(moniker.Get(), name, bag);
    if (!DeviceNameMatches(kCaptureDeviceNameAnsi, name)) continue;
    boards.push_back({moniker, ReadDevicePath(bag.Get())});
  }
  return S_OK;
}

HRESULT FindBoundBoard(const BoardBinding& binding, ComPtr<IMoniker>& moniker, uint32_t* index) {
  std::vector<PresentBoard> boards;
  const HRESULT hr = ListBoards(boards);
  if (FAILED(hr)) return hr;
  for (size_t i = 0; i < boards.size(); ++i) {
    const bool match = binding.index != 0 ? binding.index == i + 1
                                          : !boards[i].devicePath.empty() &&
                                                CompareStringOrdinal(binding.devicePath.c_str(), -1,
                                                                     boards[i].devicePath.c_str(), -1,
                                                                     TRUE) == CSTR_EQUAL;
    if (match) {
      moniker = boards[i].moniker;
      *index = static_cast<uint32_t>(i + 1);
      return S_OK;
    }
  }
  return ZELK_E_BOARD_GONE;
}

std::wstring BoardName(uint32_t index) {
  return std::wstring(kCaptureDeviceNameWide) + L" #" + std::to_wstring(index);
}

}  // namespace zelk
