#include "encoder/encoder_object.h"

#include "encoder/trace.h"
#include "module/module_state.h"

namespace zelk {

EncoderObject::EncoderObject(IUnknown* outer, HRESULT* /*result: neither read nor written*/)
    : outerUnknown(outer ? outer : InnerUnknown()) {
  // The nondelegating base ("ZelkEncModule") counts the object as live.
  InterlockedIncrement(&objectCount);
}

EncoderObject::~EncoderObject() {
  UninitializeEncoder();
  TC_Reserved1();
  notify.Reset();
  // The capture filter stays in the host's graph; only our reference goes.
  captureFilter.Reset();
  InterlockedDecrement(&objectCount);
  // GraphControl's destructor drops `graph`; the locks go with their members.
}

// --- IUnknown: everything goes to the controlling unknown -------------------

HRESULT EncoderObject::QueryInterface(REFIID iid, void** out) { return outerUnknown->QueryInterface(iid, out); }
ULONG EncoderObject::AddRef() { return outerUnknown->AddRef(); }
ULONG EncoderObject::Release() { return outerUnknown->Release(); }

// --- Nondelegating unknown --------------------------------------------------

HRESULT EncoderObject::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IEncoderModule)) {
    IEncoderModule* face = this;
    *out = face;
    face->AddRef();
    return S_OK;
  }
  if (IsEqualIID(iid, IID_IEncoderBoards)) {
    IEncoderBoards* face = this;
    *out = face;
    face->AddRef();
    return S_OK;
  }
  if (IsEqualIID(iid, IID_IUnknown)) {
    *out = InnerUnknown();
    InnerAddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG EncoderObject::InnerAddRef() {
  const LONG count = InterlockedIncrement(&refCount);
  return static_cast<ULONG>(count > 1 ? count : 1);
}

ULONG EncoderObject::InnerRelease() {
  const LONG count = InterlockedDecrement(&refCount);
  if (count == 0) {
    // Calls made while the object is torn down must not start a second destruction.
    refCount = 1;
    delete this;
    return 0;
  }
  return static_cast<ULONG>(count > 1 ? count : 1);
}

// --- Trivial slots ------------------------------------------------------------

HRESULT EncoderObject::Initialize(const char* registryKey, IUnknown* newNotify) {
  // The key name is only traced; the notification interface is kept, never called.
  TraceMessage("Initialize RegKey:%s, Notify:%08x\n", registryKey ? registryKey : "(null)",
               static_cast<unsigned>(reinterpret_cast<uintptr_t>(newNotify)));
  ComPtr<IUnknown> kept(newNotify);  // the new reference first,
  {
    LockGuard guard(objectLock);
    notify.Swap(kept);
  }
  return S_OK;  // the old one goes with `kept`, outside the lock: its Release is the host's code
}

HRESULT EncoderObject::Reserved5(int32_t /*value*/) { return S_OK; }
HRESULT EncoderObject::UninitializeEncoder() {
  LockGuard guard(objectLock);
  return state == kStateInitialized ? S_OK : E_FAIL;
}
HRESULT EncoderObject::Reserved11() { return E_NOTIMPL; }
HRESULT EncoderObject::Reserved12() { return E_NOTIMPL; }
HRESULT EncoderObject::Reserved25(int32_t, int32_t, int32_t, int32_t) { return E_NOTIMPL; }
HRESULT EncoderObject::GraphReserved1() { return E_NOTIMPL; }
HRESULT EncoderObject::GraphReserved2() { return E_NOTIMPL; }

// --- ITunerControl: forwarded to the front end ------------------------------------

HRESULT EncoderObject::TC_Reserved0() { return S_OK; }
HRESULT EncoderObject::TC_Reserved1() { return S_OK; }
HRESULT EncoderObject::TC_Reserved3(int32_t) { return E_NOTIMPL; }
HRESULT EncoderObject::TC_Reserved6(int32_t) { return E_NOTIMPL; }
HRESULT EncoderObject::TC_Reserved7(int32_t) { return E_NOTIMPL; }
HRESULT EncoderObject::TC_Reserved10(int32_t) { return E_NOTIMPL; }

HRESULT EncoderObject::TC_SetChannel(uint32_t channelCode) {
  return tuner::SetChannel(Properties(), FrontEnd(), channelCode);
}
HRESULT EncoderObject::TC_SetTunerMode(int32_t mode) { return tuner::SetTunerMode(Properties(), mode); }
HRESULT EncoderObject::TC_GetTunerStatus(int32_t* status) { return tuner::GetTunerStatus(Properties(), status); }
HRESULT EncoderObject::TC_SetBCSH(tuner::PictureValues* values) { return tuner::SetBCSH(Properties(), values); }
HRESULT EncoderObject::TC_GetBCSH(tuner::PictureValues* values) { return tuner::GetBCSH(Properties(), values); }

HRESULT EncoderObject::TC_SetInput(int32_t input) { return tuner::SetInput(Properties(), FrontEnd(), input); }
HRESULT EncoderObject::CtrlGr(uint32_t enable) { return tuner::CtrlGr(Properties(), enhancerPresent, enable); }
HRESULT EncoderObject::Ctrl3dyc(uint32_t enable) { return tuner::Ctrl3dyc(Properties(), enhancerPresent, enable); }
HRESULT EncoderObject::WriteFilterMode(const uint8_t* mode) { return tuner::WriteFilterMode(Properties(), mode); }
HRESULT EncoderObject::WriteVolume(int32_t value) { return tuner::WriteVolume(Properties(), value); }

}  // namespace zelk
