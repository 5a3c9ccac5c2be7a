#include "module/class_factory.h"

#include <new>

#include "encoder/com_support.h"
#include "encoder/encoder_object.h"
#include "module/module_state.h"

namespace zelk {

ClassFactory::ClassFactory(const FactoryTemplate& factoryTemplate) : factoryTemplate_(factoryTemplate) {
  InterlockedIncrement(&objectCount);
}

ClassFactory::~ClassFactory() { InterlockedDecrement(&objectCount); }

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
  *out = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE ClassFactory::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&refCount_));
}

ULONG STDMETHODCALLTYPE ClassFactory::Release() {
  const LONG count = InterlockedDecrement(&refCount_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  // An aggregated object may hand its outer object only its inner unknown.
  if (outer && !IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;

  HRESULT result = S_OK;
  IUnknown* created = factoryTemplate_.create(outer, &result);
  if (!created) return FAILED(result) ? result : E_OUTOFMEMORY;
  // The create function hands out the object's nondelegating unknown typed as
  // IUnknown: the same pointer, whose first three slots are InnerQueryInterface,
  // InnerAddRef and InnerRelease, followed by the virtual destructor.
  if (FAILED(result)) {
    delete reinterpret_cast<INonDelegatingUnknown*>(created);
    return result;
  }
  // Taking the reference goes through InnerAddRef, the lookup through
  // InnerQueryInterface; dropping it (InnerRelease) destroys the object when
  // the lookup failed and leaves the caller the one reference otherwise.
  ComPtr<IUnknown> inner(created);
  return inner->QueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock) {
  if (lock) {
    InterlockedIncrement(&serverLockCount);
  } else {
    InterlockedDecrement(&serverLockCount);
  }
  return S_OK;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
  const FactoryTemplate* entry = FindFactoryTemplate(clsid);
  if (!entry) return CLASS_E_CLASSNOTAVAILABLE;
  ClassFactory* factory = new (std::nothrow) ClassFactory(*entry);
  if (!factory) return E_OUTOFMEMORY;
  factory->AddRef();
  *out = static_cast<IClassFactory*>(factory);
  return S_OK;
}

HRESULT CanUnloadNow() {
  return (serverLockCount > 0 || objectCount != 0) ? S_FALSE : S_OK;
}

}  // namespace zelk
