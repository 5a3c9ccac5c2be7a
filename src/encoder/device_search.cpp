#include "encoder/device_search.h"

#include <dshow.h>
#include <oleauto.h>

#include <cstring>

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

}  // namespace zelk
