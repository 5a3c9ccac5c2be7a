#include "cycles_pass.h"

#include <cstdio>
#include <cwchar>

#include "encoder/com_support.h"
#include "process_probes.h"
#include "sim_control.h"

namespace bench {
namespace {

constexpr int kWarmUpCycles = 2;
constexpr wchar_t kDeviceName[] = ZELK_SIM_DEVICE_NAME;

// What LoadEncoder and UnloadEncoder ask of Wine, done by the host itself:
// enumerate the video-input devices, read their names, create the named one,
// add it to the graph and take it out again.
HRESULT EnumeratorCycle(IGraphBuilder* graph) {
  ComPtr<ICreateDevEnum> devices;
  ZELK_RETURN_IF_FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                         reinterpret_cast<void**>(devices.GetAddressOf())));
  ComPtr<IEnumMoniker> monikers;
  if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.GetAddressOf(), 0) != S_OK) {
    return E_FAIL;
  }
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf())))) {
      continue;
    }
    VARIANT name;
    VariantInit(&name);
    name.vt = VT_BSTR;
    const bool match = SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR &&
                       std::wcscmp(name.bstrVal, kDeviceName) == 0;
    VariantClear(&name);
    if (!match) continue;
    ComPtr<IBaseFilter> filter;
    ZELK_RETURN_IF_FAILED(
        moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())));
    ZELK_RETURN_IF_FAILED(graph->AddFilter(filter.Get(), kDeviceName));
    ComPtr<IPin> pin;
    filter->FindPin(ZELK_SIM_OUTPUT_PIN, pin.GetAddressOf());
    return graph->RemoveFilter(filter.Get());
  }
  return E_FAIL;
}

template <typename Cycle>
HRESULT Count(Session& session, int cycles, ProcessCounts* counts, Cycle cycle) {
  for (int i = -kWarmUpCycles; i < cycles; ++i) {
    if (i == 0) {
      counts->handlesBefore = HandleCount();
      counts->bytesBefore = PrivateCommittedBytes();
    }
    ZELK_RETURN_IF_FAILED(session.BeginRun(session.plain));
    ZELK_RETURN_IF_FAILED(cycle());
    // The simulator's log is the board's memory, not the process's.
    ZELK_RETURN_IF_FAILED(session.Board()->ClearLog());
  }
  counts->handlesAfter = HandleCount();
  counts->bytesAfter = PrivateCommittedBytes();
  return S_OK;
}

}  // namespace

bool MeasureCycles(Session& session, int cycles, CycleFigures* figures, std::string* error) {
  figures->cycles = cycles;
  Subject subject{kPlainBoard, 0, 0};
  HRESULT hr = session.UseImage(kSmallImage);
  if (SUCCEEDED(hr)) hr = session.NewEncoder(subject.encoder);
  if (SUCCEEDED(hr)) hr = session.FreshGraph(subject);
  if (SUCCEEDED(hr)) {
    hr = Count(session, cycles, &figures->module, [&] {
      const HRESULT loaded = session.Load(subject);
      return FAILED(loaded) ? loaded : session.Unload(subject);
    });
  }
  if (SUCCEEDED(hr)) {
    hr = Count(session, cycles, &figures->enumerator, [&] { return EnumeratorCycle(subject.graph.Get()); });
  }
  if (FAILED(hr)) {
    char text[100];
    std::snprintf(text, sizeof text, "a load/unload cycle failed: 0x%08lX", static_cast<unsigned long>(hr));
    *error = text;
    return false;
  }
  return true;
}

}  // namespace bench
