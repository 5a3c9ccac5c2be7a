// A simulator filter: IBaseFilter with a fixed set of pins; with a board it
// also answers IKsPropertySet and ISimBoardControl.
#include "sim_filter.h"

#include <oleauto.h>
#include <vfwmsgs.h>

#include <cwchar>
#include <new>

#include "board_devices.h"
#include "enumerators.h"
#include "sim_filters.h"

namespace zelk::sim {
namespace {

LONG liveObjects = 0;

HRESULT NewFilter(const CLSID& clsid, std::shared_ptr<Board> board, const std::vector<PinInfo>& pins,
                  IBaseFilter** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) SimFilter(clsid, std::move(board), pins);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

LONG LiveObjects() { return InterlockedCompareExchange(&liveObjects, 0, 0); }
void AddLiveObject() { InterlockedIncrement(&liveObjects); }
void RemoveLiveObject() { InterlockedDecrement(&liveObjects); }

HRESULT CreateSimCaptureFilter(std::shared_ptr<Board> board, bool withInputPin, IBaseFilter** out) {
  if (!board) return E_INVALIDARG;
  std::vector<PinInfo> pins;
  if (withInputPin) pins.push_back({ZELK_SIM_INPUT_PIN, PINDIR_INPUT});
  pins.push_back({ZELK_SIM_OUTPUT_PIN, PINDIR_OUTPUT});
  return NewFilter(CLSID_ZelkSimCapture, std::move(board), pins, out);
}

HRESULT CreateCaptureWithoutPin(std::shared_ptr<Board> board, IBaseFilter** out) {
  if (!board) return E_INVALIDARG;
  return NewFilter(CLSID_ZelkSimCaptureWithoutPin, std::move(board), {{ZELK_SIM_INPUT_PIN, PINDIR_INPUT}}, out);
}

HRESULT CreateCaptureWithoutProperties(IBaseFilter** out) {
  return NewFilter(CLSID_ZelkSimCaptureWithoutProperties, nullptr,
                   {{ZELK_SIM_INPUT_PIN, PINDIR_INPUT}, {ZELK_SIM_OUTPUT_PIN, PINDIR_OUTPUT}}, out);
}

HRESULT CreateTestFilter(bool withOutputPin, IBaseFilter** out) {
  std::vector<PinInfo> pins{{L"Sink In", PINDIR_INPUT}};
  if (withOutputPin) pins.push_back({L"Sink Out", PINDIR_OUTPUT});
  return NewFilter(CLSID_ZelkSimTestFilter, nullptr, pins, out);
}

HRESULT CreateMixerFilter(IBaseFilter** out) {
  return NewFilter(CLSID_ZelkSimTestFilter, nullptr,
                   {{L"Mix In 1", PINDIR_INPUT}, {L"Mix In 2", PINDIR_INPUT}, {L"Mix Out", PINDIR_OUTPUT}}, out);
}

HRESULT CreateOtherCameraFilter(IBaseFilter** out) {
  return NewFilter(CLSID_ZelkSimOtherCamera, nullptr, {{L"Capture", PINDIR_OUTPUT}}, out);
}

SimFilter::SimFilter(const CLSID& clsid, std::shared_ptr<Board> board, const std::vector<PinInfo>& pins)
    : clsid_(clsid), board_(std::move(board)) {
  for (const PinInfo& pin : pins) pins_.push_back(std::make_unique<SimPin>(this, pin.name, pin.direction));
  AddLiveObject();
}

// The pins (and their streams) go first: the DLL may unload once the count
// says nothing is left.
SimFilter::~SimFilter() {
  pins_.clear();
  RemoveLiveObject();
}

STDMETHODIMP SimFilter::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IMediaFilter) ||
      IsEqualIID(iid, IID_IBaseFilter))
    *out = static_cast<IBaseFilter*>(this);
  else if (board_ && IsEqualIID(iid, IID_IKsPropertySet))
    *out = static_cast<IKsPropertySet*>(this);
  else if (board_ && IsEqualIID(iid, IID_ISimBoardControl))
    *out = static_cast<ISimBoardControl*>(this);
  else if (board_ && IsEqualIID(iid, IID_IPersistPropertyBag))
    *out = static_cast<IPersistPropertyBag*>(this);
  if (!*out) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) SimFilter::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) SimFilter::Release() {
  const LONG refs = InterlockedDecrement(&refs_);
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP SimFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

STDMETHODIMP SimFilter::InitNew() { return S_OK; }

STDMETHODIMP SimFilter::Load(IPropertyBag* bag, IErrorLog* log) {
  if (!bag) return E_POINTER;
  VARIANT path;
  VariantInit(&path);
  path.vt = VT_BSTR;
  path.bstrVal = nullptr;  // a bag may free what the variant held before it writes
  // A device without a path of ours (an older registration) is board 1.
  const bool read = SUCCEEDED(bag->Read(L"DevicePath", &path, log)) && path.vt == VT_BSTR;
  const int number = read ? BoardOfDevicePath(path.bstrVal) : 0;
  VariantClear(&path);
  if (number == 0 || number == board_->Number()) return S_OK;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (graph_ || state_ != State_Stopped) return E_UNEXPECTED;  // in use: too late to change boards
  }
  board_ = DeviceBoard(number);
  for (const auto& pin : pins_) pin->UseBoard(board_);
  return S_OK;
}

STDMETHODIMP SimFilter::Save(IPropertyBag*, BOOL, BOOL) { return E_NOTIMPL; }

bool SimFilter::Stopped() {
  std::lock_guard<std::mutex> guard(lock_);
  return state_ == State_Stopped;
}

// The streaming pin follows the filter's state outside the filter's lock:
// Stop waits for a sample in delivery, and the downstream filter may call
// back into this one meanwhile. The filter's state changes only once the
// stream has taken the new one on.
STDMETHODIMP SimFilter::Stop() {
  for (const auto& pin : pins_)
    if (pin->StreamOut()) pin->StreamOut()->Stop();
  std::lock_guard<std::mutex> guard(lock_);
  state_ = State_Stopped;
  return S_OK;
}

STDMETHODIMP SimFilter::Pause() {
  Microsoft::WRL::ComPtr<IReferenceClock> clock;
  {
    std::lock_guard<std::mutex> guard(lock_);
    clock = clock_;
  }
  for (const auto& pin : pins_) {
    if (!pin->StreamOut()) continue;
    const HRESULT hr = pin->StreamOut()->Pause(clock.Get());
    if (FAILED(hr)) return hr;
  }
  std::lock_guard<std::mutex> guard(lock_);
  state_ = State_Paused;
  return S_OK;
}

STDMETHODIMP SimFilter::Run(REFERENCE_TIME start) {
  if (Stopped()) {
    const HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  for (const auto& pin : pins_) {
    if (!pin->StreamOut()) continue;
    const HRESULT hr = pin->StreamOut()->Run(start);
    if (FAILED(hr)) return hr;
  }
  std::lock_guard<std::mutex> guard(lock_);
  state_ = State_Running;
  return S_OK;
}

// A capture board is a live source: paused, it holds no data back for the
// renderers to cue on, and says so, so that a graph runs without waiting for
// a first sample that only comes once it runs.
STDMETHODIMP SimFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  bool live = false;
  for (const auto& pin : pins_) live |= pin->StreamOut() != nullptr;
  std::lock_guard<std::mutex> guard(lock_);
  *state = state_;
  return live && state_ == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP SimFilter::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::mutex> guard(lock_);
  clock_ = clock;
  return S_OK;
}

STDMETHODIMP SimFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  *clock = nullptr;
  if (clock_) clock_.CopyTo(clock);
  return S_OK;
}

STDMETHODIMP SimFilter::EnumPins(IEnumPins** pins) { return CreatePinEnumerator(this, 0, pins); }

STDMETHODIMP SimFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  *pin = nullptr;
  for (const auto& candidate : pins_) {
    if (candidate->Name() == id) {
      *pin = candidate.get();
      candidate->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP SimFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  wcsncpy(info->achName, name_.c_str(), MAX_FILTER_NAME - 1);
  info->achName[MAX_FILTER_NAME - 1] = L'\0';
  info->pGraph = graph_;
  if (graph_) graph_->AddRef();
  return S_OK;
}

STDMETHODIMP SimFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  std::lock_guard<std::mutex> guard(lock_);
  graph_ = graph;
  name_ = graph && name ? name : L"";
  return S_OK;
}

STDMETHODIMP SimFilter::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

STDMETHODIMP SimFilter::Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                            DWORD dataLength) {
  return board_->Set(set, id, instance, instanceLength, data, dataLength);
}

STDMETHODIMP SimFilter::Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                            DWORD dataLength, DWORD* returned) {
  ULONG count = 0;
  const HRESULT hr = board_->Get(set, id, instance, instanceLength, data, dataLength, &count);
  if (returned) *returned = count;
  return hr;
}

STDMETHODIMP SimFilter::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  return board_->QuerySupported(set, id, support);
}

}  // namespace zelk::sim
