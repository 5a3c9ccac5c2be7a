// zelksim.dll as a COM in-process server: the class factories of the
// simulated capture board, its faulty variants and the other camera, and the
// unload rule. Every capture filter instance of one device shares that
// device's board: a new instance drives board 1 until the device's moniker
// loads it with its property bag (board_devices.h).
#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <memory>
#include <new>

#include <board_devices.h>
#include <sim_filters.h>

namespace {

LONG serverLocks = 0;

std::shared_ptr<zelk::sim::Board> SharedBoard() { return zelk::sim::DeviceBoard(1); }

// The DLL's filter classes.
struct FilterClass {
  const CLSID* clsid;
  HRESULT (*create)(IBaseFilter** filter);
};

const FilterClass kFilterClasses[] = {
    {&CLSID_ZelkSimCapture,
     [](IBaseFilter** filter) { return zelk::sim::CreateSimCaptureFilter(SharedBoard(), true, filter); }},
    {&CLSID_ZelkSimOtherCamera, [](IBaseFilter** filter) { return zelk::sim::CreateOtherCameraFilter(filter); }},
    {&CLSID_ZelkSimCaptureWithoutPin,
     [](IBaseFilter** filter) { return zelk::sim::CreateCaptureWithoutPin(SharedBoard(), filter); }},
    {&CLSID_ZelkSimCaptureWithoutProperties,
     [](IBaseFilter** filter) { return zelk::sim::CreateCaptureWithoutProperties(filter); }},
};

const FilterClass* FindFilterClass(const CLSID& clsid) {
  for (const FilterClass& entry : kFilterClasses)
    if (IsEqualCLSID(clsid, *entry.clsid)) return &entry;
  return nullptr;
}

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const FilterClass& filterClass) : class_(filterClass) { zelk::sim::AddLiveObject(); }
  ~ClassFactory() { zelk::sim::RemoveLiveObject(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return refs;
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Microsoft::WRL::ComPtr<IBaseFilter> filter;
    const HRESULT hr = class_.create(filter.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    return filter->QueryInterface(iid, out);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock)
      InterlockedIncrement(&serverLocks);
    else
      InterlockedDecrement(&serverLocks);
    return S_OK;
  }

 private:
  LONG refs_ = 1;
  const FilterClass& class_;
};

}  // namespace

HMODULE simModule = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    simModule = module;
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const FilterClass* filterClass = FindFilterClass(clsid);
  if (!filterClass) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) ClassFactory(*filterClass);
  if (!factory) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

STDAPI DllCanUnloadNow() {
  return zelk::sim::LiveObjects() == 0 && InterlockedCompareExchange(&serverLocks, 0, 0) == 0 ? S_OK : S_FALSE;
}
