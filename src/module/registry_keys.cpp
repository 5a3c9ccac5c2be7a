#include "module/registry_keys.h"

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>

namespace zelk {

namespace {

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// The class identifier as text: braces, upper-case hex, 38 characters.
constexpr int kClsidTextLength = 39;
// Longest key or value text written: "CLSID\" and a path of MAX_PATH characters.
constexpr int kAnsiTextLength = MAX_PATH + 8;

const RegistryApi kSystemRegistry{&RegOpenKeyExA, &RegEnumKeyExA, &RegDeleteKeyA, &RegCloseKey};

// Wide text to ANSI text in the system code page, the inverse of the
// conversion the module path went through; a text that does not fit fails.
HRESULT ToAnsi(const wchar_t* text, char (&out)[kAnsiTextLength]) {
  if (WideCharToMultiByte(CP_ACP, 0, text, -1, out, kAnsiTextLength, nullptr, nullptr) == 0) {
    const DWORD error = GetLastError();
    return error ? RegistryErrorToHresult(static_cast<LONG>(error)) : E_FAIL;
  }
  return S_OK;
}

HRESULT ClassKeyName(REFCLSID clsid, char (&keyName)[kAnsiTextLength]) {
  wchar_t clsidText[kClsidTextLength];
  if (StringFromGUID2(clsid, clsidText, kClsidTextLength) == 0) return E_FAIL;
  char ansiClsid[kAnsiTextLength];
  const HRESULT hr = ToAnsi(clsidText, ansiClsid);
  if (FAILED(hr)) return hr;
  std::snprintf(keyName, kAnsiTextLength, "CLSID\\%s", ansiClsid);
  return S_OK;
}

LONG SetString(HKEY key, const char* valueName, const char* text) {
  return RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(std::strlen(text) + 1));
}

}  // namespace

const RegistryApi& SystemRegistry() { return kSystemRegistry; }

HRESULT RegistryErrorToHresult(LONG code) {
  return static_cast<HRESULT>(0x80070000u | (static_cast<ULONG>(code) & 0xFFFFu));
}

HRESULT RegisterClassKeys(REFCLSID clsid, const wchar_t* description, const wchar_t* path,
                          const wchar_t* threadingModel, const wchar_t* serverType) {
  char keyName[kAnsiTextLength];
  char ansiDescription[kAnsiTextLength];
  char ansiPath[kAnsiTextLength];
  char ansiModel[kAnsiTextLength];
  char ansiServer[kAnsiTextLength];
  HRESULT hr = ClassKeyName(clsid, keyName);
  if (SUCCEEDED(hr)) hr = ToAnsi(description, ansiDescription);
  if (SUCCEEDED(hr)) hr = ToAnsi(path, ansiPath);
  if (SUCCEEDED(hr)) hr = ToAnsi(threadingModel, ansiModel);
  if (SUCCEEDED(hr)) hr = ToAnsi(serverType, ansiServer);
  if (FAILED(hr)) return hr;

  HKEY opened = nullptr;
  LONG error = RegCreateKeyA(HKEY_CLASSES_ROOT, keyName, &opened);
  if (error != ERROR_SUCCESS) return RegistryErrorToHresult(error);
  const UniqueKey classKey(opened);
  error = SetString(classKey.get(), nullptr, ansiDescription);
  if (error != ERROR_SUCCESS) return RegistryErrorToHresult(error);

  error = RegCreateKeyA(classKey.get(), ansiServer, &opened);
  if (error != ERROR_SUCCESS) return RegistryErrorToHresult(error);
  const UniqueKey serverKey(opened);
  error = SetString(serverKey.get(), nullptr, ansiPath);
  if (error == ERROR_SUCCESS) error = SetString(serverKey.get(), "ThreadingModel", ansiModel);
  return error == ERROR_SUCCESS ? S_OK : RegistryErrorToHresult(error);
}

HRESULT RemoveClassKeys(REFCLSID clsid) {
  char keyName[kAnsiTextLength];
  if (SUCCEEDED(ClassKeyName(clsid, keyName))) DeleteKeyTree(HKEY_CLASSES_ROOT, keyName);
  return S_OK;
}

HRESULT DeleteKeyTree(HKEY parent, const char* name, const RegistryApi& api) {
  if (!name || !name[0]) return E_FAIL;
  HKEY key = nullptr;
  if (api.openKey(parent, name, 0, MAXIMUM_ALLOWED, &key) != ERROR_SUCCESS) return S_OK;

  // Each pass removes the first subkey, so the next one moves to index 0. A
  // subkey that stays (it could not be deleted, or not even opened) would come
  // back at index 0 for ever: the walk stops there, and this key, which still
  // has a subkey, cannot be deleted either.
  char previous[MAX_PATH] = "";
  for (;;) {
    char subkey[MAX_PATH];
    DWORD length = MAX_PATH;
    if (api.enumKey(key, 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (std::strcmp(subkey, previous) == 0) break;
    if (FAILED(DeleteKeyTree(key, subkey, api))) break;
    std::strcpy(previous, subkey);
  }
  api.closeKey(key);
  const LONG error = api.deleteKey(parent, name);
  return error == ERROR_SUCCESS ? S_OK : RegistryErrorToHresult(error);
}

}  // namespace zelk
