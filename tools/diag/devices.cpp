// The boards' devices as the module finds them: every video-input device,
// each one of the board's name (the first is the one an object takes unless a
// host binds it to another), its filter, its output pin, its property
// interface, and, read-only, the board's own answer.
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

// How the checks of board `number` are named: board 1 as on a machine with
// one board, the others with the board's number.
struct BoardLabel {
  int number;
  int boards;  // how many the machine has
  Text path;
  std::string Id(const std::string& id) const { return number == 1 ? id : id + "-" + std::to_string(number); }
  Text Title(UINT title) const {
    return number == 1 ? Say(title) : Say(MSG_BOARD_LABEL_TITLE, {Say(title), std::to_string(number)});
  }
  Text Found(const Text& found) const {
    return boards < 2 ? found : Say(MSG_BOARD_LABEL_FOUND, {std::to_string(number), path, found});
  }
};

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
void CheckBoard(Report& report, const ComPtr<IBaseFilter>& filter, const BoardLabel& label) {
  namespace board = zelk::board;
  const board::PropertyInfo* property = board::FindProperty(board::kDevicePropertySet, board::kPropDeviceInfo);
  std::vector<uint8_t> info(property->payloadSize);
  ULONG returned = 0;
  const zelk::PropertyChannel properties(filter);
  const HRESULT hr = properties.Get(board::kDevicePropertySet, board::kPropDeviceInfo, nullptr, 0, info.data(),
                                    static_cast<ULONG>(info.size()), &returned);
  const std::string id = label.Id("board");
  const Text title = label.Title(MSG_BOARD_TITLE);
  const Text later = Say(MSG_BOARD_LATER);
  if (FAILED(hr)) {
    report.Warn(id, title, label.Found(Say(MSG_BOARD_NO_ANSWER, {property->name, DescribeResult(hr)})), later);
    return;
  }
  uint32_t code = 0;
  if (returned < sizeof code) {
    report.Warn(id, title, label.Found(Say(MSG_BOARD_SHORT_ANSWER, {property->name, std::to_string(returned)})),
                later);
    return;
  }
  std::memcpy(&code, info.data(), sizeof code);
  report.Ok(id, title,
            label.Found(Say(EnhancerBoard(code) ? MSG_BOARD_ENHANCER : MSG_BOARD_NO_ENHANCER, {std::to_string(code)})));
}

// The filter of one board's device, and what the module needs of it.
void CheckFilter(Report& report, IMoniker* moniker, const BoardLabel& label) {
  ComPtr<IBaseFilter> filter;
  const HRESULT hr =
      moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
  if (FAILED(hr) || !filter) {
    report.Fail(label.Id("capture-filter"), label.Title(MSG_FILTER_TITLE),
                label.Found(Say(MSG_FILTER_NO_BIND, {DescribeResult(hr)})), Say(MSG_FILTER_NO_BIND_REMEDY));
    return;
  }
  CLSID clsid{};
  wchar_t clsidText[40] = L"?";
  if (SUCCEEDED(filter->GetClassID(&clsid))) StringFromGUID2(clsid, clsidText, 40);
  report.Ok(label.Id("capture-filter"), label.Title(MSG_FILTER_TITLE),
            label.Found(Say(MSG_FILTER_CLASS, {Narrow(clsidText)})));

  if (zelk::GraphControl::FindPin(filter.Get(), zelk::kCaptureOutputPinName, PINDIR_OUTPUT)) {
    report.Ok(label.Id("output-pin"), label.Title(MSG_PIN_TITLE), label.Found(Verbatim(kPinName)));
  } else {
    report.Fail(label.Id("output-pin"), label.Title(MSG_PIN_TITLE),
                label.Found(Say(MSG_PIN_MISSING, {kPinName, PinList(filter.Get())})), Say(MSG_PIN_MISSING_REMEDY));
  }

  ComPtr<IKsPropertySet> properties;
  if (FAILED(filter.As(&properties)) || !properties) {
    report.Fail(label.Id("property-interface"), label.Title(MSG_PROPS_TITLE), label.Found(Say(MSG_PROPS_MISSING)),
                Say(MSG_PROPS_MISSING_REMEDY));
    return;
  }
  properties.Reset();
  report.Ok(label.Id("property-interface"), label.Title(MSG_PROPS_TITLE), label.Found(Verbatim("IKsPropertySet")));
  CheckBoard(report, filter, label);
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
    check = &report.Ok("devices", title,
                       Say(MSG_DEV_SEVERAL, {std::to_string(named), count, kBoardName, devices[taken].path}));
  }
  // Each device with its board's number; every board is checked, in the order of the list.
  int board = 0;
  for (const Device& device : devices) {
    if (!device.boardName) {
      check->details.push_back(Say(MSG_DEV_OTHER, {device.name, device.path}).utf8);
      continue;
    }
    ++board;
    const Text line = board > 1     ? Say(MSG_DEV_BOARD_N, {device.name, device.path, std::to_string(board)})
                      : named == 1 ? Say(MSG_DEV_TAKEN, {device.name, device.path})
                                   : Say(MSG_DEV_TAKEN_UNBOUND, {device.name, device.path});
    check->details.push_back(line.utf8);
  }
  board = 0;
  for (const Device& device : devices) {
    if (device.boardName) CheckFilter(report, device.moniker.Get(), BoardLabel{++board, named, device.path});
  }
}

}  // namespace zelkdiag
