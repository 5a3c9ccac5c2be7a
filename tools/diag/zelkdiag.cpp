// zelkdiag: tells a board owner what is wrong with their machine. It checks
// what zelkenc.dll needs, in the order the module needs it, and says for each
// check OK, WARN or FAIL, what it found and how to fix it, in the language of
// the user's Windows (English where the doctor has no table for it).
//
//   zelkdiag [--json] [--deep] [--module PATH] [--lang en|ja]
//
// Exit code 0 when nothing failed, 1 when a check failed, 2 for a bad option.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "checks.h"
#include "console.h"

namespace zelkdiag {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Options {
  bool json = false;
  bool deep = false;
  std::string modulePath;  // full path, or empty
};

// The usage lines. Messages end without a line end: whoever prints one adds it.
std::string Usage() { return Say(MSG_USAGE, {LanguageCodes()}).utf8 + "\n"; }

// False with a message on stderr for a bad command line. The language is
// chosen first, so that every complaint is in it.
bool ParseOptions(int argc, char** argv, Options& options, bool& help) {
  ChooseUserLanguage();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--lang") != 0) continue;
    const std::string code = i + 1 < argc ? argv[i + 1] : "";
    if (!ChooseLanguage(code)) {
      Write(stderr, Say(MSG_UNKNOWN_LANGUAGE, {code, LanguageCodes()}).utf8 + "\n");
      return false;
    }
  }
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
    } else if (option == "--lang") {
      ++i;  // chosen above
    } else if (option == "--help" || option == "-h" || option == "/?") {
      help = true;
    } else {
      Write(stderr, Say(option == "--module" ? MSG_MISSING_PATH : MSG_UNKNOWN_OPTION, {option}).utf8 + "\n" + Usage());
      return false;
    }
  }
  return true;
}

bool SamePath(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

int Run(const Options& options) {
  Report report;
  report.Note(Say(MSG_HEADER, {std::to_string(sizeof(void*) * 8)}));
  std::vector<ModuleUse> modules = CheckRegistration(report, options.modulePath);
  if (!options.modulePath.empty() && CheckModuleOption(report, options.modulePath)) {
    modules.push_back({"module", Verbatim("--module"), options.modulePath, options.modulePath});
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

  Write(stdout, options.json ? report.AsJson() : report.AsText());
  return report.Failed() ? kExitFailed : kExitOk;
}

}  // namespace
}  // namespace zelkdiag

int main(int argc, char** argv) {
  using namespace zelkdiag;
  Options options;
  bool help = false;
  int code = kExitOk;
  if (!ParseOptions(argc, argv, options, help)) {
    code = kExitUsage;
  } else if (help) {
    Write(stdout, Usage());
  } else {
    code = Run(options);
  }
  WaitIfOwnConsole(Say(MSG_PRESS_A_KEY).utf8);
  return code;
}
