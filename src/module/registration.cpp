#include "module/registration.h"

#include <objbase.h>
#include <strmif.h>
#include <uuids.h>

#include "encoder/com_support.h"
#include "module/factory_template.h"
#include "module/module_state.h"
#include "module/registry_keys.h"

namespace zelk {

namespace {

// The filter mapper of the media framework: the newer one, or the older one
// where the newer is missing. Its result is the running result of the
// registration. No class here carries filter set-up data, so nothing is sent
// through the mapper; it is created and released all the same.
HRESULT RunFilterMapperStep() {
  ComPtr<IFilterMapper2> mapper2;
  HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                reinterpret_cast<void**>(mapper2.GetAddressOf()));
  if (FAILED(hr)) {
    ComPtr<IFilterMapper> mapper;
    hr = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                          reinterpret_cast<void**>(mapper.GetAddressOf()));
  }
  return hr;
}

}  // namespace

HRESULT ReadModulePath(HMODULE module, wchar_t (&path)[MAX_PATH], ModuleFileNameFunction moduleFileName) {
  char ansiPath[MAX_PATH];
  SetLastError(ERROR_SUCCESS);
  const DWORD length = moduleFileName(module, ansiPath, MAX_PATH);
  const DWORD error = GetLastError();
  // A length of MAX_PATH means the platform cut the path to fit the buffer.
  if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  if (length == 0) return error ? RegistryErrorToHresult(static_cast<LONG>(error)) : E_FAIL;
  if (MultiByteToWideChar(CP_ACP, 0, ansiPath, -1, path, MAX_PATH) == 0) {
    const DWORD convertError = GetLastError();
    return convertError ? RegistryErrorToHresult(static_cast<LONG>(convertError)) : E_FAIL;
  }
  return S_OK;
}

HRESULT RegisterModule(bool registering) {
  if (registering) {
    // The keys must name this very file: a path that cannot be read or was
    // cut is refused. Removing the keys needs no path.
    wchar_t path[MAX_PATH];
    ZELK_RETURN_IF_FAILED(ReadModulePath(moduleInstance, path));
    for (const FactoryTemplate& entry : kFactoryTemplates) {
      ZELK_RETURN_IF_FAILED(RegisterClassKeys(*entry.clsid, entry.name, path, kThreadingModel, kServerType));
    }
  }

  // A caller whose thread is already in another apartment keeps it: COM is
  // uninitialised only when this initialisation succeeded.
  const bool comInitialised = SUCCEEDED(CoInitialize(nullptr));
  HRESULT hr = RunFilterMapperStep();
  CoFreeUnusedLibraries();
  if (comInitialised) CoUninitialize();

  if (!registering && SUCCEEDED(hr)) {
    for (const FactoryTemplate& entry : kFactoryTemplates) {
      hr = RemoveClassKeys(*entry.clsid);
      if (FAILED(hr)) return hr;
    }
  }
  return hr;
}

}  // namespace zelk
