// zelkenc.dll as a host sees it: loaded by name, CreateEncoder found by name,
// and nothing exported beyond the five entry points.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <zelk/encoder_module.h>

namespace {

class ModuleDll : public ::testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryW(L"zelkenc.dll");
    ASSERT_NE(module, nullptr);
  }
  void TearDown() override { FreeLibrary(module); }

  // Names in the export directory of the loaded image.
  std::vector<std::string> ExportNames() const {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) result.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    std::sort(result.begin(), result.end());
    return result;
  }

  HMODULE module = nullptr;
};

TEST_F(ModuleDll, CreateEncoderMakesAnObjectWithOneReference) {
  auto create = reinterpret_cast<PFN_CreateEncoder>(reinterpret_cast<void*>(GetProcAddress(module, "CreateEncoder")));
  ASSERT_NE(create, nullptr);
  IEncoderModule* encoder = create(nullptr);  // the HRESULT argument is never touched
  ASSERT_NE(encoder, nullptr);
  EXPECT_EQ(encoder->UninitializeEncoder(), E_FAIL);  // state 0
  EncoderStatus status{};
  EXPECT_EQ(encoder->GetEncStatus(&status), ZELK_E_NO_CAPTURE_FILTER);
  EXPECT_EQ(status.stateCode, 1);
  encoder->AddRef();
  EXPECT_EQ(encoder->Release(), 1u);
  EXPECT_EQ(encoder->Release(), 0u);
}

TEST_F(ModuleDll, ExportsExactlyTheFiveEntryPoints) {
  EXPECT_EQ(ExportNames(), (std::vector<std::string>{"CreateEncoder", "DllCanUnloadNow", "DllGetClassObject",
                                                     "DllRegisterServer", "DllUnregisterServer"}));
}

}  // namespace
