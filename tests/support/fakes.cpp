#include "support/fakes.h"

namespace zelk::test {

HRESULT CountingUnknown::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown)) {
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT OuterUnknown::QueryInterface(REFIID iid, void** out) {
  ++queries;
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown)) {
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  if (inner) return inner->QueryInterface(iid, out);
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT FakeGraph::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IFilterGraph)) {
    *out = static_cast<IFilterGraph*>(this);
  } else if (offersMediaControl && IsEqualIID(iid, IID_IMediaControl)) {
    *out = static_cast<IMediaControl*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT FakeGraph::Run() {
  calls.push_back("Run");
  return runResult;
}

HRESULT FakeGraph::Pause() {
  calls.push_back("Pause");
  return pauseResult;
}

HRESULT FakeGraph::Stop() {
  calls.push_back("Stop");
  return stopResult;
}

HRESULT FakeGraph::GetState(LONG timeoutMs, OAFilterState* state) {
  calls.push_back("GetState");
  getStateTimeouts.push_back(timeoutMs);
  const int poll = static_cast<int>(getStateTimeouts.size());
  if (getStateWritesState) {
    const bool running = runningAfterPolls >= 0 && poll >= runningAfterPolls;
    *state = running ? static_cast<OAFilterState>(State_Running) : reportedState;
  }
  return getStateResult;
}

}  // namespace zelk::test
