// The boards' devices as the module finds them: every video-input device,
// those of the board's name (the first is the one an unbound module object
// takes; a host may bind an object to any of them), and for each board its
// filter, its output pin, its property interface and, read-only, the board's
// own answer.
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
const std::string kOwnDriver = "install the board's own driver from the driver CD";

// The texts of the report on several boards, in one place.
namespace several {
constexpr const char* kAreNamed = " are named ";           // "2 of 3 video-input devices" ... the name
constexpr const char* kEachABoard = ": each is a board; an object not bound to one takes board 1, ";
constexpr const char* kBoardTitle = " (board ";              // "capture filter (board 2)"
constexpr const char* kBoardFound = "board ";               // "board 2 at <path>: " before what was found
constexpr const char* kAt = " at ";
constexpr const char* kTakenUnbound = "  <- the module takes this one unless bound: board 1";
constexpr const char* kBoardDetail = "  <- board ";
}  // namespace several

// How the checks of board `number` are named: board 1 as on a machine with
// one board, the others with the board's number.
struct BoardLabel {
  int number;
  int boards;  // how many the machine has
  std::string path;
  std::string Id(const std::string& id) const { return number == 1 ? id : id + "-" + std::to_string(number); }
  std::string Title(const std::string& title) const {
    return number == 1 ? title : title + several::kBoardTitle + std::to_string(number) + ")";
  }
  std::string Found(const std::string& found) const {
    return boards < 2 ? found : several::kBoardFound + std::to_string(number) + several::kAt + path + ": " + found;
  }
};

struct Device {
  std::string name;
  std::string path;
  bool boardName;  // the module accepts its friendly name
  ComPtr<IMoniker> moniker;
};

// The device's path where the driver gives one, else the moniker's display name.
std::string DevicePath(IMoniker* moniker, IPropertyBag* bag) {
  std::string path;
  VARIANT value;
  VariantInit(&value);
  if (bag && SUCCEEDED(bag->Read(L"DevicePath", &value, nullptr)) && value.vt == VT_BSTR) path = Narrow(value.bstrVal);
  VariantClear(&value);
  if (!path.empty()) return path;
  ComPtr<IBindCtx> context;
  LPOLESTR name = nullptr;
  if (SUCCEEDED(CreateBindCtx(0, context.GetAddressOf())) &&
      SUCCEEDED(moniker->GetDisplayName(context.Get(), nullptr, &name)) && name) {
    path = Narrow(name);
    CoTaskMemFree(name);
  }
  return path.empty() ? "(no device path)" : path;
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
        {name[0] ? name : "(no readable name)", DevicePath(moniker.Get(), bag.Get()), boardName, moniker});
  }
  return S_OK;
}

std::string PinList(IBaseFilter* filter) {
  std::string list;
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.GetAddressOf())) || !pins) return "no pins";
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK && pin) {
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info))) continue;
    ComPtr<IBaseFilter> owner;
    zelk::Adopt(owner, info.pFilter);  // the pin's information carries a reference to its filter
    list += (list.empty() ? "\"" : ", \"") + Narrow(info.achName) + (info.dir == PINDIR_INPUT ? "\" (in)" : "\" (out)");
  }
  return list.empty() ? "no pins" : list;
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
  const std::string later =
      "not a fault by itself: the module asks for it only after its firmware download; run `zelkdiag --deep` to see "
      "that";
  if (FAILED(hr)) {
    report.Warn(label.Id("board"), label.Title("board"),
                label.Found("the driver does not answer the " + std::string(property->name) + " before firmware (" +
                            DescribeResult(hr) + "): board code and enhancer unit unknown"),
                later);
    return;
  }
  uint32_t code = 0;
  if (returned < sizeof code) {
    report.Warn(label.Id("board"), label.Title("board"),
                label.Found("the driver answers the " + std::string(property->name) + " with " +
                            std::to_string(returned) + " bytes, too few for the board code"),
                later);
    return;
  }
  std::memcpy(&code, info.data(), sizeof code);
  report.Ok(label.Id("board"), label.Title("board"),
            label.Found("board code " + std::to_string(code) +
                        (EnhancerBoard(code) ? ", enhancer unit fitted (ghost reducer, 3D Y/C separator)"
                                             : ", no enhancer unit")));
}

// The filter of the device the module takes, and what the module needs of it.
void CheckFilter(Report& report, IMoniker* moniker, const BoardLabel& label) {
  ComPtr<IBaseFilter> filter;
  const HRESULT hr =
      moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
  if (FAILED(hr) || !filter) {
    report.Fail(label.Id("capture-filter"), label.Title("capture filter"),
                label.Found("the device does not bind to a filter: " + DescribeResult(hr)),
                kOwnDriver + " and check that Device Manager shows the board without a warning sign");
    return;
  }
  CLSID clsid{};
  wchar_t clsidText[40] = L"?";
  if (SUCCEEDED(filter->GetClassID(&clsid))) StringFromGUID2(clsid, clsidText, 40);
  report.Ok(label.Id("capture-filter"), label.Title("capture filter"),
            label.Found("binds to a filter of class " + Narrow(clsidText)));

  if (zelk::GraphControl::FindPin(filter.Get(), zelk::kCaptureOutputPinName, PINDIR_OUTPUT)) {
    report.Ok(label.Id("output-pin"), label.Title("output pin"), label.Found(kPinName));
  } else {
    report.Fail(label.Id("output-pin"), label.Title("output pin"),
                label.Found("no output pin " + kPinName + "; the filter has " + PinList(filter.Get())),
                kOwnDriver + ": the module hands this pin to the host, and other drivers do not provide it");
  }

  ComPtr<IKsPropertySet> properties;
  if (FAILED(filter.As(&properties)) || !properties) {
    report.Fail(label.Id("property-interface"), label.Title("property interface"),
                label.Found("the filter has no IKsPropertySet: the module cannot reach the board"),
                kOwnDriver + ": the module controls the board only through its kernel-streaming properties");
    return;
  }
  properties.Reset();
  report.Ok(label.Id("property-interface"), label.Title("property interface"), label.Found("IKsPropertySet"));
  CheckBoard(report, filter, label);
}

}  // namespace

void CheckDevices(Report& report) {
  std::vector<Device> devices;
  size_t taken = std::string::npos;
  int named = 0;
  const HRESULT hr = ListDevices(devices, taken, named);
  if (FAILED(hr)) {
    report.Fail("devices", "video-input devices", "the system device enumerator fails: " + DescribeResult(hr),
                "repair the system's DirectShow runtime (run `sfc /scannow` from an elevated prompt)");
    return;
  }
  const std::string count = std::to_string(devices.size()) + " video-input device" + (devices.size() == 1 ? "" : "s");
  Check* check = nullptr;
  if (named == 0) {
    check = &report.Fail("devices", "video-input devices",
                         devices.empty() ? "the system has no video-input device at all"
                                         : "none of the " + count + " is named " + kBoardName,
                         "install the board's driver from the driver CD and restart; Device Manager must then show " +
                             kBoardName + " without a warning sign");
  } else if (named == 1) {
    check =
        &report.Ok("devices", "video-input devices", kBoardName + " is " + devices[taken].path + " (" + count + ")");
  } else {
    check = &report.Ok("devices", "video-input devices",
                       std::to_string(named) + " of " + count + several::kAreNamed + kBoardName + several::kEachABoard +
                           devices[taken].path);
  }
  int board = 0;
  for (size_t i = 0; i < devices.size(); ++i) {
    std::string mark;
    if (devices[i].boardName && ++board == 1)
      mark = named == 1 ? "  <- the module takes this one" : several::kTakenUnbound;
    else if (devices[i].boardName)
      mark = several::kBoardDetail + std::to_string(board);
    check->details.push_back("\"" + devices[i].name + "\" " + devices[i].path + mark);
  }
  // Every board, in the order of the list.
  board = 0;
  for (const Device& device : devices) {
    if (!device.boardName) continue;
    ++board;
    CheckFilter(report, device.moniker.Get(), BoardLabel{board, named, device.path});
  }
}

}  // namespace zelkdiag
