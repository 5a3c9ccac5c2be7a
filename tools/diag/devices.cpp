// The board's device as the module finds it: every video-input device, the
// first one of the board's name (the one the module takes), its filter, its
// output pin, its property interface, and, read-only, the board's own answer.
#include <windows.h>
#include <dshow.h>
#include <oleauto.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "board_protocol.h"
#include "checks.h"
#include "encoder/device_search.h"
#include "encoder/graph_control.h"
#include "encoder/property_channel.h"
#include "encoder/setup_tables.h"

namespace zelkdiag {
namespace {

using zelk::ComPtr;

const std::string kBoardName = std::string("\"") + zelk::kCaptureDeviceNameAnsi + "\"";
const std::string kPinName = "\"" + Narrow(zelk::kCaptureOutputPinName) + "\"";

struct Device {
  Text name;
  Text path;
  bool boardName;  // the module accepts its friendly name
  ComPtr<IMoniker> moniker;
};

// The device's path where the driver gives one, else the moniker's display name.
Text DevicePath(IMoniker* moniker, IPropertyBag* bag) {
  std::string path;
  VARIANT value;
  VariantInit(&value);
  if (bag && SUCCEEDED(bag->Read(L"DevicePath", &value, nullptr)) && value.vt == VT_BSTR) path = Narrow(value.bstrVal);
  VariantClear(&value);
  if (!path.empty()) return Verbatim(path);
  ComPtr<IBindCtx> context;
  LPOLESTR name = nullptr;
  if (SUCCEEDED(CreateBindCtx(0, context.GetAddressOf())) &&
      SUCCEEDED(moniker->GetDisplayName(context.Get(), nullptr, &name)) && name) {
    path = Narrow(name);
    CoTaskMemFree(name);
  }
  return path.empty() ? Say(MSG_DEV_NO_PATH) : Verbatim(path);
}

// Every video-input device in the enumerator's order; `taken` is the index of
// the first one whose friendly name the module accepts, or npos.
HRESULT ListDevices(std::vector<Device>& devices, size_t& taken, int& named) {
  taken = std::string::npos;
  named = 0;
  ComPtr<IEnumMoniker> monikers;
  const HRESULT hr = zelk::EnumerateDevices(CLSID_VideoInputDeviceCategory, monikers);
  if (hr != S_OK) return FAILED(hr) ? hr : S_OK;  // S_FALSE: the category is empty
  monikers->Reset();
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    if (!moniker) continue;
    char name[zelk::kFriendlyNameBytes];
    ComPtr<IPropertyBag> bag;
    zelk::ReadFriendlyName(moniker.Get(), name, bag);
    const bool boardName = zelk::DeviceNameMatches(zelk::kCaptureDeviceNameAnsi, name);
    if (boardName && named++ == 0) taken = devices.size();
    devices.push_back(
        {name[0] ? Verbatim(name) : Say(MSG_DEV_NO_NAME), DevicePath(moniker.Get(), bag.Get()), boardName, moniker});
  }
  return S_OK;
}

Text PinList(IBaseFilter* filter) {
  std::string list;
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.GetAddressOf())) || !pins) return Say(MSG_DEV_NO_PINS);
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK && pin) {
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info))) continue;
    ComPtr<IBaseFilter> owner;
    zelk::Adopt(owner, info.pFilter);  // the pin's information carries a reference to its filter
    list += (list.empty() ? "" : ", ") + Say(info.dir == PINDIR_INPUT ? MSG_DEV_PIN_IN : MSG_DEV_PIN_OUT,
                                             {Narrow(info.achName)})
                                             .utf8;
  }
  return list.empty() ? Say(MSG_DEV_NO_PINS) : Text{list};
}

// Whether the module treats the board code as a variant with the enhancer unit.
bool EnhancerBoard(uint32_t code) {
  return std::find(std::begin(zelk::setup::kEnhancerBoardCodes), std::end(zelk::setup::kEnhancerBoardCodes), code) !=
         std::end(zelk::setup::kEnhancerBoardCodes);
}

// The device-information property, read without firmware: nothing is written.
void CheckBoard(Report& report, const ComPtr<IBaseFilter>& filter) {
  namespace board = zelk::board;
  const board::PropertyInfo* property = board::FindProperty(board::kDevicePropertySet, board::kPropDeviceInfo);
  std::vector<uint8_t> info(property->payloadSize);
  ULONG returned = 0;
  const zelk::PropertyChannel properties(filter);
  const HRESULT hr = properties.Get(board::kDevicePropertySet, board::kPropDeviceInfo, nullptr, 0, info.data(),
                                    static_cast<ULONG>(info.size()), &returned);
  const Text title = Say(MSG_BOARD_TITLE);
  const Text later = Say(MSG_BOARD_LATER);
  if (FAILED(hr)) {
    report.Warn("board", title, Say(MSG_BOARD_NO_ANSWER, {property->name, DescribeResult(hr)}), later);
    return;
  }
  uint32_t code = 0;
  if (returned < sizeof code) {
    report.Warn("board", title, Say(MSG_BOARD_SHORT_ANSWER, {property->name, std::to_string(returned)}), later);
    return;
  }
  std::memcpy(&code, info.data(), sizeof code);
  report.Ok("board", title,
            Say(EnhancerBoard(code) ? MSG_BOARD_ENHANCER : MSG_BOARD_NO_ENHANCER, {std::to_string(code)}));
}

// The filter of the device the module takes, and what the module needs of it.
void CheckFilter(Report& report, IMoniker* moniker) {
  ComPtr<IBaseFilter> filter;
  const HRESULT hr =
      moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
  if (FAILED(hr) || !filter) {
    report.Fail("capture-filter", Say(MSG_FILTER_TITLE), Say(MSG_FILTER_NO_BIND, {DescribeResult(hr)}),
                Say(MSG_FILTER_NO_BIND_REMEDY));
    return;
  }
  CLSID clsid{};
  wchar_t clsidText[40] = L"?";
  if (SUCCEEDED(filter->GetClassID(&clsid))) StringFromGUID2(clsid, clsidText, 40);
  report.Ok("capture-filter", Say(MSG_FILTER_TITLE), Say(MSG_FILTER_CLASS, {Narrow(clsidText)}));

  if (zelk::GraphControl::FindPin(filter.Get(), zelk::kCaptureOutputPinName, PINDIR_OUTPUT)) {
    report.Ok("output-pin", Say(MSG_PIN_TITLE), Verbatim(kPinName));
  } else {
    report.Fail("output-pin", Say(MSG_PIN_TITLE), Say(MSG_PIN_MISSING, {kPinName, PinList(filter.Get())}),
                Say(MSG_PIN_MISSING_REMEDY));
  }

  ComPtr<IKsPropertySet> properties;
  if (FAILED(filter.As(&properties)) || !properties) {
    report.Fail("property-interface", Say(MSG_PROPS_TITLE), Say(MSG_PROPS_MISSING), Say(MSG_PROPS_MISSING_REMEDY));
    return;
  }
  properties.Reset();
  report.Ok("property-interface", Say(MSG_PROPS_TITLE), Verbatim("IKsPropertySet"));
  CheckBoard(report, filter);
}

}  // namespace

void CheckDevices(Report& report) {
  std::vector<Device> devices;
  size_t taken = std::string::npos;
  int named = 0;
  const HRESULT hr = ListDevices(devices, taken, named);
  const Text title = Say(MSG_DEV_TITLE);
  if (FAILED(hr)) {
    report.Fail("devices", title, Say(MSG_DEV_ENUM_FAILS, {DescribeResult(hr)}), Say(MSG_REPAIR_DIRECTSHOW));
    return;
  }
  const Text count =
      devices.size() == 1 ? Say(MSG_DEV_COUNT_ONE) : Say(MSG_DEV_COUNT, {std::to_string(devices.size())});
  Check* check = nullptr;
  if (named == 0) {
    check = &report.Fail("devices", title,
                         devices.empty() ? Say(MSG_DEV_NONE_AT_ALL) : Say(MSG_DEV_NONE_NAMED, {count, kBoardName}),
                         Say(MSG_DEV_INSTALL_DRIVER, {kBoardName}));
  } else if (named == 1) {
    check = &report.Ok("devices", title, Say(MSG_DEV_FOUND, {kBoardName, devices[taken].path, count}));
  } else {
    check = &report.Warn("devices", title,
                         Say(MSG_DEV_SEVERAL, {std::to_string(named), count, kBoardName, devices[taken].path}),
                         Say(MSG_DEV_SEVERAL_REMEDY));
  }
  for (size_t i = 0; i < devices.size(); ++i) {
    const UINT line = i == taken ? MSG_DEV_TAKEN : devices[i].boardName ? MSG_DEV_NOT_TAKEN : MSG_DEV_OTHER;
    check->details.push_back(Say(line, {devices[i].name, devices[i].path}).utf8);
  }
  if (taken != std::string::npos) CheckFilter(report, devices[taken].moniker.Get());
}

}  // namespace zelkdiag
