// Self-registration of the in-process server: what DllRegisterServer and
// DllUnregisterServer do.
#pragma once

#include <windows.h>

namespace zelk {

// What the class key says about the server: an in-process server that runs in
// any apartment.
inline constexpr wchar_t kServerType[] = L"InprocServer32";
inline constexpr wchar_t kThreadingModel[] = L"Both";

using ModuleFileNameFunction = decltype(&GetModuleFileNameA);

// Reads the module's full path and converts it to UTF-16 with the ANSI code
// page. A path the platform cut at MAX_PATH characters, or one it could not
// read, is a failure (never S_OK), so no wrong path is ever registered.
HRESULT ReadModulePath(HMODULE module, wchar_t (&path)[MAX_PATH],
                       ModuleFileNameFunction moduleFileName = &GetModuleFileNameA);

// Registering (true) writes the class keys of every class the module serves,
// then runs the filter-mapper step; unregistering (false) runs the mapper
// step, then removes the class keys. COM is initialised around the mapper
// step.
HRESULT RegisterModule(bool registering);

}  // namespace zelk
