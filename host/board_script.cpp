#include "board_script.h"

#include <dshow.h>
#include <oleauto.h>

#include <cwchar>

#include "report.h"

namespace zelkhost {

using Microsoft::WRL::ComPtr;

namespace {
constexpr wchar_t kSimulatorFile[] = L"zelksim.dll";
}  // namespace

namespace {

// A filter of the board-th device named as the board (each device of the
// simulator drives its own board; its moniker tells the filter which).
HRESULT BindBoardDevice(int board, ComPtr<IUnknown>& filter) {
  ComPtr<ICreateDevEnum> devices;
  ComPtr<IEnumMoniker> monikers;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(devices.GetAddressOf()));
  if (SUCCEEDED(hr)) hr = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.GetAddressOf(), 0);
  if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_NOT_FOUND;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    VARIANT name;
    VariantInit(&name);
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf()))) ||
        FAILED(bag->Read(L"FriendlyName", &name, nullptr)))
      continue;
    const bool isBoard = name.vt == VT_BSTR && name.bstrVal && wcscmp(name.bstrVal, ZELK_SIM_DEVICE_NAME) == 0;
    VariantClear(&name);
    if (isBoard && --board == 0)
      return moniker->BindToObject(nullptr, nullptr, IID_IUnknown, reinterpret_cast<void**>(filter.GetAddressOf()));
  }
  return VFW_E_NOT_FOUND;
}

}  // namespace

ComPtr<ISimBoardControl> ReachBoard(int boardNumber) {
  ComPtr<IUnknown> filter;
  HRESULT hr = boardNumber == 1 ? CoCreateInstance(CLSID_ZelkSimCapture, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                                   reinterpret_cast<void**>(filter.GetAddressOf()))
                                : BindBoardDevice(boardNumber, filter);
  ComPtr<ISimBoardControl> board;
  if (SUCCEEDED(hr)) hr = filter.As(&board);
  if (FAILED(hr)) {
    const std::string what = boardNumber > 1 && hr == VFW_E_NOT_FOUND
                                 ? "simulated board " + std::to_string(boardNumber) +
                                       " is not among the video-input devices (regsvr32 /i:N zelksim.dll)"
                                 : "the simulated board (zelksim.dll) is not registered";
    Warning(what + ": " + DescribeResult(hr) + "; going on without it, the board traffic cannot be shown");
    return nullptr;
  }
  return board;
}

bool ScriptBoard(ISimBoardControl* board, const Options& options, std::string* error) {
  HRESULT hr = board->SetBoardCode(options.enhancer ? kBoardCodeEnhancer : kBoardCodePlain);
  if (SUCCEEDED(hr) && options.decoderNeverReady) hr = board->SetDecoderReadyAfterReads(-1);
  if (SUCCEEDED(hr) && options.statusReport) hr = board->SetStatusReport(options.statusReport->data());
  if (SUCCEEDED(hr) && options.failRequest)
    hr = board->FailRequest(options.failRequest->request, options.failRequest->result);
  if (FAILED(hr)) *error = "the simulated board could not be prepared: " + DescribeResult(hr);
  return SUCCEEDED(hr);
}

bool HiddenDevice::Hide(std::string* error) {
  // A reference of our own: the destructor still calls the simulator.
  if (!GetModuleHandleExW(0, kSimulatorFile, &simulator_)) simulator_ = nullptr;
  auto unregister = simulator_ ? reinterpret_cast<PFN_SimUnregisterDevice>(reinterpret_cast<void*>(
                                     GetProcAddress(simulator_, "SimUnregisterDevice")))
                               : nullptr;
  if (!unregister) {
    *error = "--no-board needs the simulated board (zelksim.dll) loaded";
    return false;
  }
  const HRESULT hr = unregister(ZELK_SIM_DEVICE_NAME);
  if (FAILED(hr)) {
    *error = "--no-board: the board's device could not be taken out: " + DescribeResult(hr);
    return false;
  }
  hidden_ = true;
  return true;
}

HiddenDevice::~HiddenDevice() {
  if (hidden_) {
    auto reregister = reinterpret_cast<PFN_SimRegisterDevice>(
        reinterpret_cast<void*>(GetProcAddress(simulator_, "SimRegisterDevice")));
    const HRESULT hr =
        reregister ? reregister(ZELK_SIM_DEVICE_NAME, ZELK_SIM_DEVICE_NAME, ZELK_SIM_BOARD) : E_NOINTERFACE;
    if (FAILED(hr)) {
      Error("the board's device could not be put back (" + DescribeResult(hr) +
            "); run regsvr32 on zelksim.dll again");
    }
  }
  if (simulator_) FreeLibrary(simulator_);
}

}  // namespace zelkhost
