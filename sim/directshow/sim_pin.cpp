// A simulator pin: connects through the filter graph with the stream type,
// one peer at a time. Its references are its own; while it has any, it holds
// one reference to its filter.
#include <vfwmsgs.h>

#include <cwchar>

#include "enumerators.h"
#include "sim_filter.h"

namespace zelk::sim {
namespace {

void CopyName(const std::wstring& name, WCHAR (&to)[MAX_PIN_NAME]) {
  wcsncpy(to, name.c_str(), MAX_PIN_NAME - 1);
  to[MAX_PIN_NAME - 1] = L'\0';
}

}  // namespace

SimPin::SimPin(SimFilter* filter, const wchar_t* name, PIN_DIRECTION direction)
    : filter_(filter), name_(name), direction_(direction) {
  if (direction == PINDIR_OUTPUT && filter->BoardModel()) streamer_ = std::make_unique<Streamer>(filter->BoardModel());
}

SimPin::~SimPin() { FreeType(&type_); }

void SimPin::UseBoard(const std::shared_ptr<Board>& board) {
  if (streamer_) streamer_ = std::make_unique<Streamer>(board);
}

STDMETHODIMP SimPin::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin)) {
    *out = static_cast<IPin*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) SimPin::AddRef() {
  const LONG refs = InterlockedIncrement(&refs_);
  if (refs == 1) filter_->AddRef();
  return refs;
}

STDMETHODIMP_(ULONG) SimPin::Release() {
  const LONG refs = InterlockedDecrement(&refs_);
  if (refs == 0) filter_->Release();  // may delete the filter and this pin
  return refs;
}

void SimPin::SetConnection(IPin* peer, const AM_MEDIA_TYPE* type) {
  std::lock_guard<std::mutex> guard(lock_);
  peer_ = peer;
  CopyType(&type_, type);
}

STDMETHODIMP SimPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (!receivePin) return E_POINTER;
  if (direction_ != PINDIR_OUTPUT) return E_UNEXPECTED;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (peer_) return VFW_E_ALREADY_CONNECTED;
  }
  if (!filter_->Stopped()) return VFW_E_NOT_STOPPED;

  // A complete type must be ours; a partial one (null GUIDs) is completed with ours.
  AM_MEDIA_TYPE offered;
  FillStreamType(&offered);
  if (type && !IsEqualGUID(type->majortype, GUID_NULL) && !IsEqualGUID(type->majortype, offered.majortype))
    return VFW_E_NO_ACCEPTABLE_TYPES;
  if (type && !IsEqualGUID(type->subtype, GUID_NULL) && !IsEqualGUID(type->subtype, offered.subtype))
    return VFW_E_NO_ACCEPTABLE_TYPES;

  HRESULT hr = receivePin->ReceiveConnection(this, &offered);
  if (FAILED(hr)) return hr;
  if (streamer_ && FAILED(hr = streamer_->Connect(receivePin))) {
    receivePin->Disconnect();
    return hr;
  }
  SetConnection(receivePin, &offered);
  return S_OK;
}

STDMETHODIMP SimPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (!connector || !type) return E_POINTER;
  if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (peer_) return VFW_E_ALREADY_CONNECTED;
  }
  if (!filter_->Stopped()) return VFW_E_NOT_STOPPED;
  PIN_DIRECTION other;
  if (FAILED(connector->QueryDirection(&other)) || other != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
  if (QueryAccept(type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  SetConnection(connector, type);
  return S_OK;
}

STDMETHODIMP SimPin::Disconnect() {
  Microsoft::WRL::ComPtr<IPin> peer;  // released outside the lock: it may free the peer's filter
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!peer_) return S_FALSE;
    if (!filter_->Stopped()) return VFW_E_NOT_STOPPED;
    peer.Swap(peer_);
    FreeType(&type_);
  }
  // Without the pin's lock: a thread still returning from downstream may ask this pin.
  if (streamer_) streamer_->Disconnect();
  return S_OK;
}

STDMETHODIMP SimPin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  *pin = nullptr;
  if (!peer_) return VFW_E_NOT_CONNECTED;
  return peer_.CopyTo(pin);
}

STDMETHODIMP SimPin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  if (!peer_) {
    *type = AM_MEDIA_TYPE{};
    return VFW_E_NOT_CONNECTED;
  }
  return CopyType(type, &type_);
}

STDMETHODIMP SimPin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = filter_;
  filter_->AddRef();
  info->dir = direction_;
  CopyName(name_, info->achName);
  return S_OK;
}

STDMETHODIMP SimPin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = direction_;
  return S_OK;
}

STDMETHODIMP SimPin::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  const size_t bytes = (name_.size() + 1) * sizeof(WCHAR);
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*id) return E_OUTOFMEMORY;
  CopyMemory(*id, name_.c_str(), bytes);
  return S_OK;
}

STDMETHODIMP SimPin::QueryAccept(const AM_MEDIA_TYPE* type) { return IsStreamType(type) ? S_OK : S_FALSE; }

STDMETHODIMP SimPin::EnumMediaTypes(IEnumMediaTypes** types) { return CreateTypeEnumerator(this, 0, types); }

STDMETHODIMP SimPin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }
// Ends of stream and flushes travel downstream: an output pin is never told.
STDMETHODIMP SimPin::EndOfStream() { return direction_ == PINDIR_INPUT ? S_OK : E_UNEXPECTED; }
STDMETHODIMP SimPin::BeginFlush() { return direction_ == PINDIR_INPUT ? S_OK : E_UNEXPECTED; }
STDMETHODIMP SimPin::EndFlush() { return direction_ == PINDIR_INPUT ? S_OK : E_UNEXPECTED; }
STDMETHODIMP SimPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

}  // namespace zelk::sim
