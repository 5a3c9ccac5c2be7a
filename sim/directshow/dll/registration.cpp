// Registration of zelksim.dll: the classes under HKCR\CLSID, and the
// devices in the video-input category through the filter mapper (the system
// device enumerator lists what the mapper registered there). Each virtual
// board's device also gets its "DevicePath", as a capture driver's device
// has, which names the board (board_devices.h).
//   regsvr32 zelksim.dll        board 1, as a machine with one board
//   regsvr32 /i:N zelksim.dll   boards 1 to N (DllInstall), the others removed
//   regsvr32 /u zelksim.dll     every board and the classes removed
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>

#include <board_devices.h>
#include <sim_control.h>

extern HMODULE simModule;

namespace {

struct ClassInfo {
  const CLSID* clsid;
  const wchar_t* description;
};

const ClassInfo kClasses[] = {
    {&CLSID_ZelkSimCapture, L"MB86393 PCI Capture (simulated board)"},
    {&CLSID_ZelkSimOtherCamera, L"Simulated other camera"},
    {&CLSID_ZelkSimCaptureWithoutPin, L"MB86393 PCI Capture without its output pin (simulated)"},
    {&CLSID_ZelkSimCaptureWithoutProperties, L"MB86393 PCI Capture without IKsPropertySet (simulated)"},
};

// The class of each device kind of SimRegisterDevice, indexed by the ZELK_SIM_*
// kinds of sim_control.h.
const CLSID* const kDeviceKinds[] = {&CLSID_ZelkSimOtherCamera, &CLSID_ZelkSimCapture,
                                     &CLSID_ZelkSimCaptureWithoutPin, &CLSID_ZelkSimCaptureWithoutProperties};

std::wstring ClassKey(const CLSID& clsid) {
  wchar_t text[40];
  StringFromGUID2(clsid, text, 40);
  return std::wstring(L"CLSID\\") + text;
}

HRESULT SetValue(HKEY key, const wchar_t* name, const std::wstring& value) {
  const LONG status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  return HRESULT_FROM_WIN32(status);
}

HRESULT SetKey(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key;
  const LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                      &key, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  const HRESULT hr = SetValue(key, name, value);
  RegCloseKey(key);
  return hr;
}

HRESULT RegisterClasses() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(simModule, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return E_FAIL;
  for (const ClassInfo& info : kClasses) {
    const std::wstring key = ClassKey(*info.clsid);
    HRESULT hr = SetKey(key, nullptr, info.description);
    if (SUCCEEDED(hr)) hr = SetKey(key + L"\\InprocServer32", nullptr, path);
    if (SUCCEEDED(hr)) hr = SetKey(key + L"\\InprocServer32", L"ThreadingModel", L"Both");
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

void UnregisterClasses() {
  for (const ClassInfo& info : kClasses) RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(*info.clsid).c_str());
}

// COM for the duration of a registration call (regsvr32 may not have it).
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }

 private:
  HRESULT hr_;
};

using Microsoft::WRL::ComPtr;

HRESULT Mapper(IFilterMapper2** mapper) {
  return CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(mapper));
}

HRESULT RegisterDevice(const CLSID& clsid, const wchar_t* friendlyName, const wchar_t* instanceName) {
  ComScope com;
  ComPtr<IFilterMapper2> mapper;
  HRESULT hr = Mapper(mapper.ReleaseAndGetAddressOf());
  if (FAILED(hr)) return hr;
  const REGPINTYPES type = {&MEDIATYPE_Stream, &MEDIASUBTYPE_MPEG2_PROGRAM};
  REGFILTERPINS2 pin{};
  pin.dwFlags = REG_PINFLAG_B_OUTPUT;
  pin.cInstances = 1;
  pin.nMediaTypes = 1;
  pin.lpMediaType = &type;
  pin.clsPinCategory = &PIN_CATEGORY_CAPTURE;
  REGFILTER2 filter{};
  filter.dwVersion = 2;
  filter.dwMerit = MERIT_DO_NOT_USE;
  filter.cPins2 = 1;
  filter.rgPins2 = &pin;
  return mapper->RegisterFilter(clsid, friendlyName, nullptr, &CLSID_VideoInputDeviceCategory, instanceName,
                                &filter);
}

// Where the filter mapper keeps a device of the video-input category.
std::wstring DeviceKey(const wchar_t* instanceName) {
  wchar_t category[40];
  StringFromGUID2(CLSID_VideoInputDeviceCategory, category, 40);
  return std::wstring(L"CLSID\\") + category + L"\\Instance\\" + instanceName;
}

HRESULT RegisterBoard(int board) {
  const std::wstring instance = zelk::sim::InstanceNameOf(board);
  const HRESULT hr = RegisterDevice(CLSID_ZelkSimCapture, ZELK_SIM_DEVICE_NAME, instance.c_str());
  if (FAILED(hr)) return hr;
  return SetKey(DeviceKey(instance.c_str()), L"DevicePath", zelk::sim::DevicePathOf(board));
}

HRESULT UnregisterDevice(const wchar_t* instanceName) {
  ComScope com;
  ComPtr<IFilterMapper2> mapper;
  HRESULT hr = Mapper(mapper.ReleaseAndGetAddressOf());
  if (FAILED(hr)) return hr;
  return mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, instanceName, CLSID_ZelkSimCapture);
}

void UnregisterBoardsFrom(int first) {
  for (int board = first; board <= zelk::sim::kMaxBoards; ++board)
    UnregisterDevice(zelk::sim::InstanceNameOf(board).c_str());  // absent ones fail harmlessly
}

}  // namespace

STDAPI DllRegisterServer() {
  const HRESULT hr = RegisterClasses();
  if (FAILED(hr)) return hr;
  return RegisterBoard(1);
}

STDAPI DllUnregisterServer() {
  const HRESULT hr = UnregisterDevice(zelk::sim::InstanceNameOf(1).c_str());
  UnregisterBoardsFrom(2);
  UnregisterClasses();
  return hr;
}

// regsvr32 /i:N: N virtual boards (1 to 8); without N, one. /u /i: boards 2 on
// go (DllUnregisterServer takes board 1 and the classes).
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
  if (!install) {
    UnregisterBoardsFrom(2);
    return S_OK;
  }
  int count = 1;
  if (commandLine && *commandLine) {
    wchar_t* end = nullptr;
    const long asked = wcstol(commandLine, &end, 10);
    if (*end != L'\0' || asked < 1 || asked > zelk::sim::kMaxBoards) return E_INVALIDARG;
    count = static_cast<int>(asked);
  }
  HRESULT hr = RegisterClasses();
  for (int board = 1; board <= count && SUCCEEDED(hr); ++board) hr = RegisterBoard(board);
  if (FAILED(hr)) return hr;
  UnregisterBoardsFrom(count + 1);
  return S_OK;
}


extern "C" HRESULT WINAPI SimRegisterDevice(LPCWSTR friendlyName, LPCWSTR instanceName, BOOL kind) {
  if (!friendlyName || !instanceName) return E_POINTER;
  if (kind < 0 || kind >= static_cast<BOOL>(sizeof kDeviceKinds / sizeof kDeviceKinds[0])) return E_INVALIDARG;
  const HRESULT hr = RegisterClasses();
  if (FAILED(hr)) return hr;
  return RegisterDevice(*kDeviceKinds[kind], friendlyName, instanceName);
}

extern "C" HRESULT WINAPI SimUnregisterDevice(LPCWSTR instanceName) {
  if (!instanceName) return E_POINTER;
  return UnregisterDevice(instanceName);
}
