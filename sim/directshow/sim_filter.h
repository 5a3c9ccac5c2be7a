// The simulator's filter and pin classes (internal to zelksim_core).
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board.h"
#include "sim_control.h"
#include "streamer.h"

namespace zelk::sim {

class SimFilter;

// The one media type every simulator pin offers and accepts: an MPEG-2
// program stream.
void FillStreamType(AM_MEDIA_TYPE* type);
bool IsStreamType(const AM_MEDIA_TYPE* type);
HRESULT CopyType(AM_MEDIA_TYPE* to, const AM_MEDIA_TYPE* from);
void FreeType(AM_MEDIA_TYPE* type);

class SimPin final : public IPin {
 public:
  SimPin(SimFilter* filter, const wchar_t* name, PIN_DIRECTION direction);
  ~SimPin();

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  const std::wstring& Name() const { return name_; }
  // The output pin of a filter with a board streams; other pins have none.
  Streamer* StreamOut() const { return streamer_.get(); }
  // Streams from `board` from now on (the filter is not in use yet).
  void UseBoard(const std::shared_ptr<Board>& board);

 private:
  void SetConnection(IPin* peer, const AM_MEDIA_TYPE* type);

  LONG refs_ = 0;
  SimFilter* const filter_;  // owner; counted while this pin has references
  const std::wstring name_;
  const PIN_DIRECTION direction_;
  std::mutex lock_;
  Microsoft::WRL::ComPtr<IPin> peer_;
  AM_MEDIA_TYPE type_{};
  std::unique_ptr<Streamer> streamer_;
};

struct PinInfo {
  const wchar_t* name;
  PIN_DIRECTION direction;
};

class SimFilter final : public IBaseFilter,
                        public IKsPropertySet,
                        public ISimBoardControl,
                        public IPersistPropertyBag {
 public:
  // `board` null: a filter without IKsPropertySet, ISimBoardControl and
  // IPersistPropertyBag.
  SimFilter(const CLSID& clsid, std::shared_ptr<Board> board, const std::vector<PinInfo>& pins);
  ~SimFilter();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IBaseFilter and IPersistPropertyBag (IPersist)
  STDMETHODIMP GetClassID(CLSID* clsid) override;

  // IPersistPropertyBag: a device moniker hands the filter its device's
  // property bag; "DevicePath" says which board the filter drives.
  STDMETHODIMP InitNew() override;
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

  // IKsPropertySet
  STDMETHODIMP Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                   DWORD dataLength) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                   DWORD dataLength, DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

  // ISimBoardControl (sim_board_control.cpp)
  STDMETHODIMP Reset() override;
  STDMETHODIMP SetBoardCode(DWORD code) override;
  STDMETHODIMP SetStatusReport(const BYTE* report10) override;
  STDMETHODIMP SetDecoderReadyAfterReads(LONG reads) override;
  STDMETHODIMP SetRegister(DWORD device, DWORD reg, DWORD value) override;
  STDMETHODIMP GetRegister(DWORD device, DWORD reg, DWORD* value) override;
  STDMETHODIMP GetEffects(SimBoardEffects* effects) override;
  STDMETHODIMP GetFirmware(BYTE* buffer, ULONG size, ULONG* copied) override;
  STDMETHODIMP GetLogCount(ULONG* count) override;
  STDMETHODIMP GetLogEntry(ULONG index, SimLogEntry* entry) override;
  STDMETHODIMP GetLogBytes(ULONG index, BOOL instance, BYTE* buffer, ULONG size, ULONG* copied) override;
  STDMETHODIMP ClearLog() override;
  STDMETHODIMP FailRequest(ULONG k, HRESULT hr) override;
  STDMETHODIMP FailMatching(const SimFaultMatch* match) override;
  STDMETHODIMP ClearFaults() override;
  STDMETHODIMP HoldNextArrival(const GUID* set, ULONG id, HANDLE arrived, HANDLE resume) override;
  STDMETHODIMP ScriptStream(DWORD fault, ULONG afterSamples) override;
  STDMETHODIMP SetClipFolder(LPCWSTR folder) override;
  STDMETHODIMP GetStreamStatus(SimStreamStatus* status) override;

  bool Stopped();
  const std::shared_ptr<Board>& BoardModel() const { return board_; }
  size_t PinCount() const { return pins_.size(); }
  SimPin* PinAt(size_t index) const { return pins_[index].get(); }

 private:
  LONG refs_ = 1;
  const CLSID clsid_;
  // Chosen before the filter is handed out (construction, then Load); fixed after.
  std::shared_ptr<Board> board_;
  std::vector<std::unique_ptr<SimPin>> pins_;
  std::mutex lock_;
  IFilterGraph* graph_ = nullptr;  // not counted: the graph holds the filter
  std::wstring name_;
  FILTER_STATE state_ = State_Stopped;
  Microsoft::WRL::ComPtr<IReferenceClock> clock_;
};

}  // namespace zelk::sim
