// zelkenc.dll registered and unregistered by the system's regsvr32, then
// created through the system's COM runtime. Each test leaves the class
// unregistered, as it found it.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include <zelk/encoder_module.h>

#include "encoder/com_support.h"
#include "module/registration.h"

namespace zelk {
namespace {

constexpr char kClassKey[] = "CLSID\\{337E5D3E-AC5C-4C8E-AC22-B757C57CF1D7}";
constexpr char kServerKey[] = "CLSID\\{337E5D3E-AC5C-4C8E-AC22-B757C57CF1D7}\\InprocServer32";

// zelkenc.dll lies beside the test program.
std::string ModulePathBesideTest() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path, length);
  return text.substr(0, text.find_last_of('\\') + 1) + "zelkenc.dll";
}

// Runs regsvr32 with the given switches on zelkenc.dll and returns its exit code.
DWORD RunRegsvr32(const std::string& switches) {
  std::string command = "regsvr32.exe " + switches + " \"" + ModulePathBesideTest() + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    ADD_FAILURE() << "cannot start " << command << ": " << GetLastError();
    return ~0u;
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD exitCode = ~0u;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode;
}

// view: 0 for the process's own registry view, or KEY_WOW64_32KEY / KEY_WOW64_64KEY.
bool KeyExists(const char* name, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, name, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// A REG_SZ value of a key under HKEY_CLASSES_ROOT; "<missing>" when absent.
std::string ReadString(const char* keyName, const char* valueName) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
  char data[MAX_PATH * 2] = {};
  DWORD size = sizeof(data) - 1;
  DWORD type = 0;
  const LONG error = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (error != ERROR_SUCCESS) return "<missing>";
  if (type != REG_SZ) return "<not REG_SZ>";
  return data;
}

// Subkeys and values of a key under HKEY_CLASSES_ROOT.
std::pair<DWORD, DWORD> CountEntries(const char* keyName) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return {~0u, ~0u};
  DWORD subkeys = 0;
  DWORD values = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                   nullptr, nullptr);
  RegCloseKey(key);
  return {subkeys, values};
}

// The class key's name exactly as stored (key names compare without case).
std::string StoredClassKeyName() {
  HKEY classes = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &classes) != ERROR_SUCCESS) return {};
  std::string found;
  char name[MAX_PATH];
  for (DWORD index = 0;; ++index) {
    DWORD length = MAX_PATH;
    if (RegEnumKeyExA(classes, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (lstrcmpiA(name, kClassKey + 6) == 0) {
      found = name;
      break;
    }
  }
  RegCloseKey(classes);
  return found;
}

class Regsvr32 : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(RunRegsvr32("/u /s"), 0u); }
  void TearDown() override {
    EXPECT_EQ(RunRegsvr32("/u /s"), 0u);
    EXPECT_FALSE(KeyExists(kClassKey));
  }
};

TEST_F(Regsvr32, WritesTheClassKeysOnceHoweverOftenItRuns) {
  ASSERT_EQ(RunRegsvr32("/s"), 0u);
  EXPECT_EQ(StoredClassKeyName(), "{337E5D3E-AC5C-4C8E-AC22-B757C57CF1D7}");
  EXPECT_EQ(ReadString(kClassKey, nullptr), "ZelkEncoderMb86393");
  EXPECT_EQ(lstrcmpiA(ReadString(kServerKey, nullptr).c_str(), ModulePathBesideTest().c_str()), 0)
      << ReadString(kServerKey, nullptr);
  EXPECT_EQ(ReadString(kServerKey, "ThreadingModel"), "Both");
  // A 64-bit host must not find the i686 DLL, nor a 32-bit host the x86_64 one:
  // each lands in its own architecture's view (the 32-bit one is WOW6432Node).
#ifdef _WIN64
  const REGSAM ownView = KEY_WOW64_64KEY, otherView = KEY_WOW64_32KEY;
#else
  const REGSAM ownView = KEY_WOW64_32KEY, otherView = KEY_WOW64_64KEY;
#endif
  EXPECT_TRUE(KeyExists(kServerKey, ownView));
  EXPECT_FALSE(KeyExists(kClassKey, otherView));

  ASSERT_EQ(RunRegsvr32("/s"), 0u);
  EXPECT_EQ(CountEntries(kClassKey), std::make_pair(DWORD{1}, DWORD{1}));
  EXPECT_EQ(CountEntries(kServerKey), std::make_pair(DWORD{0}, DWORD{2}));
  EXPECT_EQ(ReadString(kClassKey, nullptr), "ZelkEncoderMb86393");
  EXPECT_EQ(ReadString(kServerKey, "ThreadingModel"), "Both");
}

TEST_F(Regsvr32, UnregisterRemovesTheWholeTreeAndSucceedsWhenNothingIsThere) {
  ASSERT_EQ(RunRegsvr32("/s"), 0u);
  // Keys that someone else added below the class key go with it.
  HKEY extra = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, (std::string(kServerKey) + "\\Extra\\Deeper").c_str(), &extra),
            ERROR_SUCCESS);
  RegCloseKey(extra);
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\Sibling").c_str(), &extra),
            ERROR_SUCCESS);
  RegCloseKey(extra);

  EXPECT_EQ(RunRegsvr32("/u /s"), 0u);
  EXPECT_FALSE(KeyExists(kClassKey));
  EXPECT_EQ(RunRegsvr32("/u /s"), 0u);
}

// Unregistering from a thread that is already in the multithreaded apartment:
// registration's own COM initialisation fails there and must not tear down the
// caller's.
TEST_F(Regsvr32, RegistrationKeepsTheCallersApartment) {
  std::thread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(RegisterModule(false), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);  // still initialised
    CoUninitialize();
    CoUninitialize();
  }).join();
}

bool ModuleLoaded() { return GetModuleHandleA("zelkenc.dll") != nullptr; }

// COM asks the module itself (DllCanUnloadNow) whether it may go. For a class
// registered "Both", Wine's CoFreeUnusedLibraries does not unload a module
// that agrees at once, even from a single-threaded apartment: it waits out a
// grace period (against threads still running in the module), and neither a
// second call nor a second's wait is enough. CoFreeUnusedLibrariesEx with no
// delay makes the same DllCanUnloadNow check without that period.
void FreeUnusedLibraries() { CoFreeUnusedLibrariesEx(0, 0); }

TEST_F(Regsvr32, CreatedThroughComAndUnloadedOnlyWhenNothingHoldsIt) {
  ASSERT_EQ(RunRegsvr32("/s"), 0u);
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  {
    ComPtr<IEncoderModule> encoder;
    ASSERT_EQ(CoCreateInstance(CLSID_ZelkEncoder, nullptr, CLSCTX_INPROC_SERVER, IID_IEncoderModule,
                               reinterpret_cast<void**>(encoder.GetAddressOf())),
              S_OK);
    EXPECT_EQ(encoder->UninitializeEncoder(), E_FAIL);  // state 0
    EXPECT_EQ(encoder->Reserved5(7), S_OK);
    EXPECT_TRUE(ModuleLoaded());

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_ZelkEncoder, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(factory.GetAddressOf())),
              S_OK);
    FreeUnusedLibraries();
    EXPECT_TRUE(ModuleLoaded()) << "an object lives";

    encoder.Reset();
    FreeUnusedLibraries();
    EXPECT_TRUE(ModuleLoaded()) << "a factory lives";

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    FreeUnusedLibraries();
    EXPECT_TRUE(ModuleLoaded()) << "the server is locked";

    ASSERT_EQ(CoGetClassObject(CLSID_ZelkEncoder, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(factory.GetAddressOf())),
              S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  }
  FreeUnusedLibraries();
  EXPECT_FALSE(ModuleLoaded());
  CoUninitialize();
}

}  // namespace
}  // namespace zelk
