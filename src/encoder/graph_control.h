// GraphControl: holds the host's filter graph while LoadEncoder or
// UnloadEncoder runs, turns the graph-state requests into IMediaControl
// requests, and carries the graph operations that attach and detach the
// capture filter.
//
// graphLock guards `graph` and every call into the host's graph: LoadEncoder
// and UnloadEncoder hold it from start to end, the graph-state requests while
// they run. It is taken before the object's own lock, never while holding it.
// Like that lock it gives turns in arrival order: a thread that loads the
// board again and again cannot hold off another thread's UnloadEncoder.
#pragma once

#include <windows.h>
#include <control.h>
#include <strmif.h>

#include "com_support.h"
#include "fair_lock.h"

namespace zelk {

// Run polls the graph every 100 ms after S_FALSE; after this many polls without
// the running state it stops the graph and fails with ZELK_E_GRAPH_RUN_TIMEOUT.
inline constexpr int kRunPollLimit = 100;
inline constexpr DWORD kRunPollMs = 100;
inline constexpr DWORD kStateWaitMs = 1000;

class GraphControl {
 public:
  GraphControl();
  virtual ~GraphControl();
  GraphControl(const GraphControl&) = delete;
  GraphControl& operator=(const GraphControl&) = delete;

  virtual HRESULT GraphReserved1() = 0;
  virtual HRESULT GraphReserved2() = 0;
  virtual BOOL IsRunning();
  virtual HRESULT Run();
  virtual HRESULT Stop();
  virtual HRESULT Pause();
  virtual LONG GetState();  // a filter state (0, 1, 2), or E_FAIL without a graph

  // Graph operations of the capture filter attachment (use `graph`). A filter
  // slot is passed as std::addressof(slot): a ComPtr's operator& empties it.
  HRESULT AddDeviceFilter(const GUID& category, const char* ansiName, const wchar_t* wideName,
                          ComPtr<IBaseFilter>* filter);
  // The same for a device chosen beforehand (a bound board): its moniker
  // instead of the search by name.
  HRESULT AddBoardFilter(IMoniker* device, const wchar_t* wideName, ComPtr<IBaseFilter>* filter);
  HRESULT FindFilterInGraph(const wchar_t* wideName, ComPtr<IBaseFilter>* filter);
  HRESULT FindDeviceMoniker(const GUID& category, const char* ansiName, ComPtr<IMoniker>& moniker);
  static ComPtr<IPin> FindPin(IBaseFilter* filter, const wchar_t* name, PIN_DIRECTION direction);
  // The first failure of the graph's Disconnect or RemoveFilter, S_OK when none.
  HRESULT RemoveFilterAndDownstream(IBaseFilter* filter);
  HRESULT RemoveDownstreamOfPin(IPin* pin);

  // AddDeviceFilter and AddBoardFilter: `device` null searches by `ansiName`.
  HRESULT AddFilterOf(IMoniker* device, const GUID& category, const char* ansiName, const wchar_t* wideName,
                      ComPtr<IBaseFilter>* filter);

  // The borrowed graph: set on entry to LoadEncoder/UnloadEncoder, emptied before they return.
  ComPtr<IFilterGraph> graph;
  FairLock graphLock;
};

}  // namespace zelk
