// zelkdiag: tells a board owner what is wrong with their machine. It checks
// what zelkenc.dll needs, in the order the module needs it, and says for each
// check OK, WARN or FAIL, what it found and how to fix it.
//
//   zelkdiag [--json] [--deep] [--module PATH]
//
// Exit code 0 when nothing failed, 1 when a check failed, 2 for a bad option.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "checks.h"

namespace zelkdiag {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: zelkdiag [--json] [--deep] [--module PATH]\n"
    "  --json         print the report as one JSON document\n"
    "  --deep         also run the module on the board (downloads firmware, changes the board's state)\n"
    "  --module PATH  also check the zelkenc.dll at PATH (a host's own copy); --deep then runs that one\n";

struct Options {
  bool json = false;
  bool deep = false;
  std::string modulePath;  // full path, or empty
};

// False with a message on stderr for a bad command line.
bool ParseOptions(int argc, char** argv, Options& options, bool& help) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--json") {
      options.json = true;
    } else if (option == "--deep") {
      options.deep = true;
    } else if (option == "--module" && i + 1 < argc && argv[i + 1][0]) {
      char full[MAX_PATH];
      const DWORD length = GetFullPathNameA(argv[++i], MAX_PATH, full, nullptr);
      options.modulePath = length > 0 && length < MAX_PATH ? full : argv[i];
    } else if (option == "--help" || option == "-h" || option == "/?") {
      help = true;
    } else {
      std::fprintf(stderr, "zelkdiag: %s %s\n%s", option == "--module" ? "missing path after" : "unknown option",
                   option.c_str(), kUsage);
      return false;
    }
  }
  return true;
}

bool SamePath(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

int Run(const Options& options) {
  Report report;
  report.Note("zelkdiag (" + std::to_string(sizeof(void*) * 8) +
              "-bit): what zelkenc.dll needs, in the order it needs it");
  std::vector<ModuleUse> modules = CheckRegistration(report, options.modulePath);
  if (!options.modulePath.empty() && CheckModuleOption(report, options.modulePath)) {
    modules.push_back({"module", "--module", options.modulePath, options.modulePath});
  }
  for (size_t i = 0; i < modules.size(); ++i) {
    bool seen = false;
    for (size_t j = 0; j < i; ++j) seen |= SamePath(modules[i].filePath, modules[j].filePath);
    if (!seen) CheckFirmware(report, modules[i]);
  }

  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CheckDevices(report);
  if (options.deep) CheckDeep(report, options.modulePath);
  if (SUCCEEDED(com)) CoUninitialize();

  if (options.json) {
    report.PrintJson(stdout);
  } else {
    report.PrintText(stdout);
  }
  return report.Failed() ? kExitFailed : kExitOk;
}

}  // namespace
}  // namespace zelkdiag

int main(int argc, char** argv) {
  zelkdiag::Options options;
  bool help = false;
  if (!zelkdiag::ParseOptions(argc, argv, options, help)) return zelkdiag::kExitUsage;
  if (help) {
    std::fputs(zelkdiag::kUsage, stdout);
    return zelkdiag::kExitOk;
  }
  return zelkdiag::Run(options);
}
