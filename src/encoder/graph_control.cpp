// Graph-state requests through the graph's IMediaControl.
#include "encoder/graph_control.h"

#include <zelk/encoder_module.h>

namespace zelk {
namespace {

ComPtr<IMediaControl> MediaControlOf(const ComPtr<IFilterGraph>& graph) {
  ComPtr<IMediaControl> control;
  if (graph) graph.As(&control);
  return control;
}

}  // namespace

GraphControl::GraphControl() = default;

GraphControl::~GraphControl() { graph.Reset(); }

HRESULT GraphControl::Run() {
  LockGuard guard(graphLock);
  ComPtr<IMediaControl> control = MediaControlOf(graph);
  if (!control) return E_FAIL;
  HRESULT hr = control->Run();
  if (FAILED(hr)) {
    control->Stop();
    return hr;
  }
  if (hr != S_FALSE) return hr;
  // The graph is still changing state: wait for it to report running, but not
  // forever. A graph that never gets there is stopped again and reported.
  for (int poll = 0; poll < kRunPollLimit; ++poll) {
    OAFilterState filterState = State_Stopped;
    control->GetState(kRunPollMs, &filterState);
    if (filterState == State_Running) return S_OK;
  }
  control->Stop();
  return ZELK_E_GRAPH_RUN_TIMEOUT;
}

HRESULT GraphControl::Stop() {
  LockGuard guard(graphLock);
  ComPtr<IMediaControl> control = MediaControlOf(graph);
  if (!control) return E_FAIL;
  const HRESULT hr = control->Stop();
  OAFilterState ignored = State_Stopped;
  control->GetState(kStateWaitMs, &ignored);  // only waits for the transition
  return hr;
}

HRESULT GraphControl::Pause() {
  LockGuard guard(graphLock);
  ComPtr<IMediaControl> control = MediaControlOf(graph);
  if (!control) return E_FAIL;
  return control->Pause();
}

LONG GraphControl::GetState() {
  LockGuard guard(graphLock);
  if (!graph) return E_FAIL;
  ComPtr<IMediaControl> control = MediaControlOf(graph);
  if (!control) return State_Stopped;
  OAFilterState filterState = State_Stopped;
  control->GetState(kStateWaitMs, &filterState);
  return filterState;
}

BOOL GraphControl::IsRunning() {
  LockGuard guard(graphLock);
  if (!graph) return FALSE;
  return GetState() == State_Running ? TRUE : FALSE;
}

}  // namespace zelk
