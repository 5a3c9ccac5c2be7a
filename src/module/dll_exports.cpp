// The module entry routine and the exports of zelkenc.dll: the plain
// CreateEncoder and the four exports of the COM in-process server.
#include <windows.h>

#include <zelk/encoder_module.h>

#include "module/class_factory.h"
#include "module/create_encoder.h"
#include "module/factory_template.h"
#include "module/module_state.h"
#include "module/registration.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  // The path is recorded on every notification, before anything else.
  zelk::RecordModulePath(module);
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(module);
    zelk::moduleInstance = module;
  }
  if (reason == DLL_PROCESS_ATTACH || reason == DLL_PROCESS_DETACH) {
    for (const zelk::FactoryTemplate& entry : zelk::kFactoryTemplates) {
      if (entry.init) entry.init(reason == DLL_PROCESS_ATTACH, entry.clsid);
    }
  }
  return TRUE;
}

extern "C" IEncoderModule* WINAPI CreateEncoder(HRESULT* result) {
  return zelk::CreateEncoderObject(result);
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) { return zelk::GetClassObject(clsid, iid, out); }

STDAPI DllCanUnloadNow() { return zelk::CanUnloadNow(); }

STDAPI DllRegisterServer() { return zelk::RegisterModule(true); }

STDAPI DllUnregisterServer() { return zelk::RegisterModule(false); }
