// Counting fakes for the COM objects the module takes references on. Each
// fake's `refs` starts at 1 (the test's own reference); a test that ends with
// refs == 1 has seen every reference taken by the code under test given back.
#pragma once

#include <windows.h>
#include <control.h>
#include <strmif.h>

#include <vector>

namespace zelk::test {

// A plain IUnknown that only counts.
class CountingUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs); }
  volatile LONG refs = 1;
};

// An outer unknown for aggregation: counts its own references and hands out
// the inner object's faces through `inner`.
class OuterUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { ++addRefs; return InterlockedIncrement(&refs); }
  ULONG STDMETHODCALLTYPE Release() override { ++releases; return InterlockedDecrement(&refs); }
  volatile LONG refs = 1;
  int addRefs = 0;
  int releases = 0;
  int queries = 0;
  IUnknown* inner = nullptr;  // the aggregated object's nondelegating unknown
};

// A filter graph whose IMediaControl answers from a script.
class FakeGraph : public IFilterGraph, public IMediaControl {
 public:
  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs); }
  // IFilterGraph (unused by the state operations)
  HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Disconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return E_NOTIMPL; }
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  // IMediaControl
  HRESULT STDMETHODCALLTYPE Run() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE GetState(LONG timeoutMs, OAFilterState* state) override;
  HRESULT STDMETHODCALLTYPE RenderFile(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddSourceFilter(BSTR, IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FilterCollection(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RegFilterCollection(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE StopWhenReady() override { return E_NOTIMPL; }

  // Script.
  bool offersMediaControl = true;
  HRESULT runResult = S_OK;
  HRESULT stopResult = S_OK;
  HRESULT pauseResult = S_OK;
  int runningAfterPolls = 0;     // GetState reports running from this poll on (-1: never)
  HRESULT getStateResult = S_OK;
  bool getStateWritesState = true;
  OAFilterState reportedState = State_Stopped;  // what GetState reports when not running yet

  // What happened.
  volatile LONG refs = 1;
  std::vector<const char*> calls;
  std::vector<LONG> getStateTimeouts;
};

}  // namespace zelk::test
