// Attaching the board's capture filter to the host's graph, and detaching it.
#include <dshow.h>
#include <vfwmsgs.h>

#include <memory>

#include "encoder/device_search.h"
#include "encoder/encoder_object.h"
#include "encoder/trace.h"

namespace zelk {
namespace {

constexpr int32_t kLoadValueA = 0;
constexpr int32_t kLoadValueB = 8;

// Holds the host's graph in `graph` for the duration of one call.
class BorrowedGraph {
 public:
  BorrowedGraph(ComPtr<IFilterGraph>& slot, IFilterGraph* graph) : slot_(slot) { slot_ = graph; }
  ~BorrowedGraph() { slot_.Reset(); }
  BorrowedGraph(const BorrowedGraph&) = delete;
  BorrowedGraph& operator=(const BorrowedGraph&) = delete;

 private:
  ComPtr<IFilterGraph>& slot_;
};

}  // namespace

// Both operations hold graphLock from start to end, so they run one after
// another, and call into the host's graph without objectLock: a host thread
// that holds a lock around its graph and calls the object never waits for a
// graph call. Only the attached filter changes hands under objectLock.
HRESULT EncoderObject::LoadEncoder(IFilterGraph* hostGraph, IPin** pin, int32_t* valueA, int32_t* valueB) {
  // Without a graph or the out-arguments there is nothing sound to do.
  if (!hostGraph || !pin || !valueA || !valueB) return E_POINTER;
  LockGuard attaching(graphLock);
  BorrowedGraph borrowed(graph, hostGraph);

  // Only this operation and UnloadEncoder change captureFilter, both under
  // graphLock: the copy stays current while the graph is asked.
  // The binding is read once; binding is refused until this load ends.
  ComPtr<IBaseFilter> filter;
  BoardBinding board;
  {
    LockGuard guard(objectLock);
    filter = captureFilter;
    board = binding;
    loading = true;
  }
  // An unbound object takes the first board by its name, as it always has.
  HRESULT hr = board.Bound() ? AddBoundBoard(board, std::addressof(filter))
                             : AddDeviceFilter(CLSID_VideoInputDeviceCategory, kCaptureDeviceNameAnsi,
                                               kCaptureDeviceNameWide, std::addressof(filter));
  // The pin is looked up on the filter itself, outside objectLock.
  ComPtr<IPin> outputPin;
  if (SUCCEEDED(hr)) outputPin = FindPin(filter.Get(), kCaptureOutputPinName, PINDIR_OUTPUT);

  LockGuard guard(objectLock);
  captureFilter = filter;
  loading = false;
  if (FAILED(hr)) return FailStep(kLoadEncoderTrace, 1, hr);
  // The graph took the filter under another name: we hold no filter to drive.
  if (!captureFilter) return FailStep(kLoadEncoderTrace, 1, E_FAIL);

  *pin = outputPin.Detach();
  *valueA = kLoadValueA;
  *valueB = kLoadValueB;

  hr = InitEnc();
  if (FAILED(hr)) return FailStep(kLoadEncoderTrace, 2, hr);
  state = kStateAttached;
  return hr;
}

// The capture filter must be stopped: a running filter keeps its
// connections, and a filter left streaming in the graph is not detached. On a
// failure the object keeps its filter and the graph what it still holds, so
// the host can stop the graph and call again.
HRESULT EncoderObject::UnloadEncoder(IFilterGraph* hostGraph) {
  LockGuard detaching(graphLock);
  BorrowedGraph borrowed(graph, hostGraph);
  ComPtr<IBaseFilter> attached;
  {
    LockGuard guard(objectLock);
    attached = captureFilter;
  }
  if (attached && hostGraph) {
    FILTER_STATE filterState = State_Stopped;
    const HRESULT hr = attached->GetState(0, &filterState);
    if (SUCCEEDED(hr) && filterState != State_Stopped) return VFW_E_NOT_STOPPED;
    const HRESULT removed = RemoveFilterAndDownstream(attached.Get());
    if (FAILED(removed)) return removed;
  }
  // From here on no request reaches the board.
  ComPtr<IBaseFilter> detached;
  {
    LockGuard guard(objectLock);
    detached.Swap(captureFilter);
  }
  detached.Reset();
  return S_OK;
}

}  // namespace zelk
