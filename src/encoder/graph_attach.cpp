// Graph operations that attach the capture filter to the host's graph and
// tear it down again.
#include <windows.h>
#include <dshow.h>

#include <cwchar>
#include <utility>

#include "encoder/device_search.h"
#include "encoder/graph_control.h"

namespace zelk {
namespace {

// Pin information carries a reference to the pin's filter: the returned
// pointer owns it.
bool PinInfoOf(IPin* pin, PIN_INFO* info, ComPtr<IBaseFilter>& filter) {
  if (FAILED(pin->QueryPinInfo(info))) return false;
  Adopt(filter, info->pFilter);
  return true;
}

}  // namespace

HRESULT GraphControl::AddDeviceFilter(const GUID& category, const char* ansiName, const wchar_t* wideName,
                                      ComPtr<IBaseFilter>* filter) {
  return AddFilterOf(nullptr, category, ansiName, wideName, filter);
}

HRESULT GraphControl::AddBoardFilter(IMoniker* device, const wchar_t* wideName, ComPtr<IBaseFilter>* filter) {
  if (!device) return E_POINTER;
  return AddFilterOf(device, CLSID_VideoInputDeviceCategory, nullptr, wideName, filter);
}

HRESULT GraphControl::AddFilterOf(IMoniker* device, const GUID& category, const char* ansiName,
                                  const wchar_t* wideName, ComPtr<IBaseFilter>* filter) {
  HRESULT hr = FindFilterInGraph(wideName, filter);
  if (SUCCEEDED(hr)) return hr;  // in the graph already

  ComPtr<IBaseFilter> bound;
  IBaseFilter* toAdd = filter && *filter ? filter->Get() : nullptr;
  if (!toAdd) {
    ComPtr<IMoniker> moniker(device);
    if (!moniker) hr = FindDeviceMoniker(category, ansiName, moniker);
    // Without a name the category's first device will do; with one, only that device.
    if (!device && (FAILED(hr) || (hr == 1 && ansiName))) return E_FAIL;
    if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(bound.GetAddressOf()))) ||
        !bound) {
      return E_FAIL;
    }
    toAdd = bound.Get();
  }
  if (!graph) return E_FAIL;
  hr = graph->AddFilter(toAdd, wideName);
  if (hr != S_OK) return hr;
  if (filter && !*filter) *filter = toAdd;
  return S_OK;
}

HRESULT GraphControl::FindFilterInGraph(const wchar_t* wideName, ComPtr<IBaseFilter>* filter) {
  if (!graph) return E_FAIL;
  ComPtr<IBaseFilter> found;
  const HRESULT hr = graph->FindFilterByName(wideName, found.GetAddressOf());
  if (FAILED(hr) || !found) return FAILED(hr) ? hr : E_FAIL;
  if (!filter || !*filter || filter->Get() == found.Get()) {
    if (filter && !*filter) *filter = std::move(found);
    return S_OK;
  }
  return S_FALSE;  // the slot keeps its own, different filter
}

HRESULT GraphControl::FindDeviceMoniker(const GUID& category, const char* ansiName, ComPtr<IMoniker>& moniker) {
  ComPtr<IEnumMoniker> monikers;
  const HRESULT hr = EnumerateDevices(category, monikers);
  if (hr != S_OK) return hr;

  monikers->Reset();
  moniker.Reset();
  char name[kFriendlyNameBytes];
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    if (!moniker) continue;
    ComPtr<IPropertyBag> bag;
    ReadFriendlyName(moniker.Get(), name, bag);
    if (DeviceNameMatches(ansiName, name)) return S_OK;
  }
  moniker.Reset();

  // Fallback: the category's first device.
  monikers->Reset();
  if (SUCCEEDED(monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr)) && moniker) return S_FALSE;
  moniker.Reset();
  return E_FAIL;
}

ComPtr<IPin> GraphControl::FindPin(IBaseFilter* filter, const wchar_t* name, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  if (!filter || filter->EnumPins(pins.GetAddressOf()) != S_OK || !pins) return nullptr;
  pins->Reset();
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    if (!pin) continue;
    PIN_INFO info;
    ComPtr<IBaseFilter> owner;
    if (!PinInfoOf(pin.Get(), &info, owner)) continue;
    if (info.dir == direction && std::wcscmp(info.achName, name) == 0) return pin;
  }
  return nullptr;
}

HRESULT GraphControl::RemoveFilterAndDownstream(IBaseFilter* filter) {
  ComPtr<IFilterGraph> held = graph;  // kept for the duration of the walk
  if (!held || !filter) return S_OK;
  HRESULT result = S_OK;
  bool inputConnected = false;
  ComPtr<IEnumPins> pins;
  if (SUCCEEDED(filter->EnumPins(pins.GetAddressOf())) && pins) {
    pins->Reset();
    ComPtr<IPin> pin;
    while (SUCCEEDED(pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr)) && pin) {
      PIN_INFO info{};
      ComPtr<IBaseFilter> owner;
      if (!PinInfoOf(pin.Get(), &info, owner)) continue;
      if (info.dir != PINDIR_INPUT) {
        const HRESULT hr = RemoveDownstreamOfPin(pin.Get());
        if (SUCCEEDED(result)) result = hr;
      } else if (!inputConnected) {
        ComPtr<IPin> peer;
        inputConnected = SUCCEEDED(pin->ConnectedTo(peer.GetAddressOf())) && peer;
      }
    }
  }
  pins.Reset();
  // A filter still fed from elsewhere stays in the graph; so does one whose
  // downstream could not be taken apart, so that a second call finds it.
  if (!inputConnected && SUCCEEDED(result)) result = held->RemoveFilter(filter);
  return result;
}

HRESULT GraphControl::RemoveDownstreamOfPin(IPin* pin) {
  ComPtr<IFilterGraph> held = graph;
  if (!held || !pin) return S_OK;
  ComPtr<IPin> peer;
  if (FAILED(pin->ConnectedTo(peer.GetAddressOf())) || !peer) return S_OK;
  HRESULT hr = held->Disconnect(peer.Get());
  if (SUCCEEDED(hr)) hr = held->Disconnect(pin);
  if (FAILED(hr)) return hr;  // a filter not stopped keeps its connection
  PIN_INFO info{};
  ComPtr<IBaseFilter> downstream;
  if (PinInfoOf(peer.Get(), &info, downstream) && downstream) return RemoveFilterAndDownstream(downstream.Get());
  return S_OK;
}

}  // namespace zelk
