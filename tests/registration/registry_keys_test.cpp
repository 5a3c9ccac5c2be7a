// Writing and removing class keys in the system registry, the removal of key
// trees, and reading the module path, in-process against the core library.
#include <gtest/gtest.h>

#include <string>

#include "module/module_state.h"
#include "module/registration.h"
#include "module/registry_keys.h"

namespace zelk {
namespace {

constexpr char kTestRoot[] = "Software\\ZelkEncoderTests";

void CreateKey(const std::string& name) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, name.c_str(), &key), ERROR_SUCCESS) << name;
  RegCloseKey(key);
}

bool KeyExists(HKEY parent, const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

class KeyTree : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteKeyTree(HKEY_CURRENT_USER, kTestRoot);
    for (const char* sub : {"\\A\\A1\\A11", "\\A\\A2", "\\B", "\\Stuck\\Inner", "\\Z"}) {
      CreateKey(std::string(kTestRoot) + sub);
    }
  }
  void TearDown() override {
    EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, kTestRoot), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestRoot));
  }
};

TEST_F(KeyTree, RemovesEveryLevelAndAcceptsAMissingKey) {
  EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, kTestRoot), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestRoot));
  EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, kTestRoot), S_OK);
  EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, ""), E_FAIL);
  EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, nullptr), E_FAIL);
}

// The system registry here lets every key that can be opened be deleted, so a
// stubborn key is made through the registry calls the walk uses.
int enumCalls = 0;
LONG WINAPI CountingEnum(HKEY key, DWORD index, LPSTR name, LPDWORD length, LPDWORD reserved, LPSTR cls,
                         LPDWORD classLength, PFILETIME time) {
  // Far more calls than the tree has keys: the walk is going round in circles.
  if (++enumCalls > 100) return ERROR_NO_MORE_ITEMS;
  return RegEnumKeyExA(key, index, name, length, reserved, cls, classLength, time);
}
LONG WINAPI DeleteAllButStuck(HKEY parent, LPCSTR name) {
  if (lstrcmpiA(name, "Stuck") == 0) return ERROR_ACCESS_DENIED;
  return RegDeleteKeyA(parent, name);
}
LONG WINAPI OpenAllButStuck(HKEY parent, LPCSTR name, DWORD options, REGSAM access, PHKEY key) {
  if (lstrcmpiA(name, "Stuck") == 0) return ERROR_ACCESS_DENIED;
  return RegOpenKeyExA(parent, name, options, access, key);
}

TEST_F(KeyTree, StopsAtASubkeyThatCannotBeDeleted) {
  enumCalls = 0;
  const RegistryApi stubborn{&RegOpenKeyExA, &CountingEnum, &DeleteAllButStuck, &RegCloseKey};
  EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, kTestRoot, stubborn), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_LT(enumCalls, 20);
  // Keys before the stubborn one are gone, the rest of the tree stays.
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string(kTestRoot) + "\\A"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(kTestRoot) + "\\Stuck"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kTestRoot));
}

TEST_F(KeyTree, StopsAtASubkeyThatCannotBeOpened) {
  enumCalls = 0;
  const RegistryApi locked{&OpenAllButStuck, &CountingEnum, &RegDeleteKeyA, &RegCloseKey};
  EXPECT_TRUE(FAILED(DeleteKeyTree(HKEY_CURRENT_USER, kTestRoot, locked)));
  EXPECT_LT(enumCalls, 20);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(kTestRoot) + "\\Stuck\\Inner"));
}

// {6B0E7D52-3A41-4F9C-8E17-C2D5A4B3F690}: a class used only by this test.
constexpr CLSID kTestClass = {0x6b0e7d52, 0x3a41, 0x4f9c, {0x8e, 0x17, 0xc2, 0xd5, 0xa4, 0xb3, 0xf6, 0x90}};
constexpr char kTestClassKey[] = "CLSID\\{6B0E7D52-3A41-4F9C-8E17-C2D5A4B3F690}";

TEST(ClassKeys, WrittenAsTextOfTheAnsiCodePageAndRemovedWhole) {
  // A path with a character beyond ASCII that the Western code page holds.
  const wchar_t path[] = L"C:\\Programme\\Z\u00e9lk\\zelkenc.dll";
  ASSERT_EQ(RegisterClassKeys(kTestClass, L"Test class", path, L"Both", L"InprocServer32"), S_OK);
  wchar_t stored[MAX_PATH] = {};
  DWORD size = sizeof(stored);
  ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{6B0E7D52-3A41-4F9C-8E17-C2D5A4B3F690}\\InprocServer32",
                         nullptr, RRF_RT_REG_SZ, nullptr, stored, &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(stored, path);

  EXPECT_EQ(RemoveClassKeys(kTestClass), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTestClassKey));
  EXPECT_EQ(RemoveClassKeys(kTestClass), S_OK);
}

DWORD WINAPI CutPath(HMODULE, LPSTR buffer, DWORD size) {
  for (DWORD i = 0; i + 1 < size; ++i) buffer[i] = 'x';
  buffer[size - 1] = '\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}
DWORD WINAPI FailWithoutReason(HMODULE, LPSTR, DWORD) {
  SetLastError(ERROR_SUCCESS);
  return 0;
}

TEST(ModulePath, ReadWholeOrNotAtAll) {
  wchar_t path[MAX_PATH];
  wchar_t expected[MAX_PATH];
  ASSERT_EQ(ReadModulePath(nullptr, path), S_OK);
  GetModuleFileNameW(nullptr, expected, MAX_PATH);
  EXPECT_STREQ(path, expected);

  EXPECT_EQ(ReadModulePath(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10)), path),
            HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(ReadModulePath(nullptr, path, &CutPath), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(ReadModulePath(nullptr, path, &FailWithoutReason), E_FAIL);
}

TEST(ModulePath, UnreadablePathRefusesRegistrationButNotRemoval) {
  const HINSTANCE saved = moduleInstance;
  moduleInstance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10));  // no such module
  EXPECT_EQ(RegisterModule(true), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{337E5D3E-AC5C-4C8E-AC22-B757C57CF1D7}"));
  EXPECT_EQ(RegisterModule(false), S_OK);  // removing keys needs no path
  moduleInstance = saved;
}

}  // namespace
}  // namespace zelk
