#include "cycles_pass.h"

#include <cstdio>
#include <memory>

#include "encoder/com_support.h"
#include "encoder/device_search.h"
#include "encoder/graph_control.h"
#include "process_probes.h"

namespace bench {
namespace {

constexpr int kWarmUpCycles = 2;

// The module's graph operations without its object: no board requests, no state.
class GraphOperations : public zelk::GraphControl {
 public:
  HRESULT GraphReserved1() override { return E_NOTIMPL; }
  HRESULT GraphReserved2() override { return E_NOTIMPL; }
};

// What LoadEncoder and UnloadEncoder ask of Wine, through the module's own
// graph operations: find the board among the video-input devices, add its
// filter to the graph, look up the output pin, take the filter out again.
HRESULT EnumeratorCycle(IGraphBuilder* graph) {
  GraphOperations operations;
  operations.graph = graph;
  ComPtr<IBaseFilter> filter;
  ZELK_RETURN_IF_FAILED(operations.AddDeviceFilter(CLSID_VideoInputDeviceCategory, zelk::kCaptureDeviceNameAnsi,
                                                   zelk::kCaptureDeviceNameWide, std::addressof(filter)));
  if (!filter) return E_FAIL;
  zelk::GraphControl::FindPin(filter.Get(), zelk::kCaptureOutputPinName, PINDIR_OUTPUT);
  operations.RemoveFilterAndDownstream(filter.Get());
  return S_OK;
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

bool Counted(const ProcessCounts& counts) { return counts.handlesBefore >= 0 && counts.handlesAfter >= 0; }

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
  if (!Counted(figures->module) || !Counted(figures->enumerator)) {
    *error = "the process's handles cannot be counted: the system handle table cannot be read";
    return false;
  }
  return true;
}

}  // namespace bench
