// The class factory COM hands out for the module's class, and the two exports
// that COM's runtime calls to get a factory and to ask whether the module may
// be unloaded.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "module/factory_template.h"

namespace zelk {

// One factory per DllGetClassObject call. A live factory counts in
// objectCount, so it keeps the module loaded. The class is registered with
// ThreadingModel "Both": the count and the server lock change by interlocked
// operations, as clients may use one factory from several threads.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const FactoryTemplate& factoryTemplate);
  ~ClassFactory();
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  const FactoryTemplate& factoryTemplate_;
  volatile LONG refCount_ = 0;
};

// DllGetClassObject: a new factory with one reference for a class the module
// serves. Order of checks: E_POINTER, E_NOINTERFACE (only IUnknown and
// IClassFactory are offered), CLASS_E_CLASSNOTAVAILABLE, E_OUTOFMEMORY.
// *out is null on every failure but E_POINTER.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);

// DllCanUnloadNow: S_FALSE while an object or a factory lives or the server is
// locked (a negative lock count does not hold it), S_OK otherwise.
HRESULT CanUnloadNow();

}  // namespace zelk
