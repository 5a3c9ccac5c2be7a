// The class keys of the in-process server under HKEY_CLASSES_ROOT: writing
// them at registration and removing the whole tree at unregistration.
#pragma once

#include <windows.h>

namespace zelk {

// Registry calls used to remove a key tree; tests replace them to produce
// keys that cannot be removed.
struct RegistryApi {
  decltype(&RegOpenKeyExA) openKey;
  decltype(&RegEnumKeyExA) enumKey;
  decltype(&RegDeleteKeyA) deleteKey;
  decltype(&RegCloseKey) closeKey;
};
const RegistryApi& SystemRegistry();

// A Win32 (registry) error code as an HRESULT: 0x80070000 | low 16 bits.
HRESULT RegistryErrorToHresult(LONG code);

// Writes HKCR\CLSID\{clsid} = description and, under it, the server-type
// subkey with the path as default value and "ThreadingModel". Every key opened
// is closed again, also when a step fails.
HRESULT RegisterClassKeys(REFCLSID clsid, const wchar_t* description, const wchar_t* path,
                          const wchar_t* threadingModel, const wchar_t* serverType);

// Removes HKCR\CLSID\{clsid} with everything under it; S_OK whatever happened.
HRESULT RemoveClassKeys(REFCLSID clsid);

// Removes a key and all its subkeys. E_FAIL for an empty name; S_OK when the
// key cannot be opened (nothing to remove) or was removed; the converted
// error when a key in the tree could not be deleted. The walk then stops
// instead of meeting the same subkey again and again.
HRESULT DeleteKeyTree(HKEY parent, const char* name, const RegistryApi& api = SystemRegistry());

}  // namespace zelk
