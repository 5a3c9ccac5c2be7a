// The module's class registration in each registry view: a host of one
// bitness reads only its own view, and loads only a DLL of its own bitness.
#include "module/registration.h"

#include <windows.h>
#include <objbase.h>

#include <zelk/encoder_module.h>

#include "checks.h"
#include "module_file.h"

namespace zelkdiag {
namespace {

constexpr int kToolBits = sizeof(void*) == 8 ? 64 : 32;

struct View {
  int bits;
  REGSAM access;         // the view's registry flag
  WORD machine;          // the DLLs a host reading this view loads
  const char* regsvr32;  // the system's regsvr32 that writes this view
};

std::vector<View> SystemViews() {
  BOOL wow64 = FALSE;
  if (kToolBits == 32 && !(IsWow64Process(GetCurrentProcess(), &wow64) && wow64)) {
    return {{32, 0, IMAGE_FILE_MACHINE_I386, "regsvr32"}};  // a 32-bit system has one view
  }
  return {{64, KEY_WOW64_64KEY, IMAGE_FILE_MACHINE_AMD64, "%SystemRoot%\\System32\\regsvr32"},
          {32, KEY_WOW64_32KEY, IMAGE_FILE_MACHINE_I386, "%SystemRoot%\\SysWOW64\\regsvr32"}};
}

struct Registration {
  LONG error = ERROR_FILE_NOT_FOUND;  // of opening the server key
  std::string path;
  std::string threadingModel;
};

// A text value; empty when it is missing or not text.
std::string StringValue(HKEY key, const char* name) {
  char text[MAX_PATH * 2] = {};
  DWORD size = sizeof text - 1;
  DWORD type = REG_NONE;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) return {};
  if (type == REG_SZ) return text;
  if (type != REG_EXPAND_SZ) return {};
  char expanded[MAX_PATH * 2];
  const DWORD length = ExpandEnvironmentStringsA(text, expanded, sizeof expanded);
  return length > 0 && length <= sizeof expanded ? expanded : text;
}

Registration ReadRegistration(const View& view) {
  wchar_t clsid[40];
  StringFromGUID2(CLSID_ZelkEncoder, clsid, 40);
  const std::string keyName = "CLSID\\" + Narrow(clsid) + "\\" + Narrow(zelk::kServerType);
  Registration registration;
  HKEY key = nullptr;
  registration.error = RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_QUERY_VALUE | view.access, &key);
  if (registration.error != ERROR_SUCCESS) return registration;
  registration.path = StringValue(key, nullptr);
  registration.threadingModel = StringValue(key, "ThreadingModel");
  RegCloseKey(key);
  return registration;
}

// The zelkenc.dll a remedy names: the --module one, else the one beside the
// doctor when it fits the view; empty when there is none.
std::string ModuleToRegister(const std::string& modulePath, const View& view) {
  if (!modulePath.empty()) return modulePath;
  char program[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::string beside(program, length);
  beside = beside.substr(0, beside.find_last_of('\\') + 1) + "zelkenc.dll";
  const ModuleFile file = InspectModule(beside);
  return file.state == FileState::kPresent && file.machine == view.machine ? beside : std::string();
}

// The remedy's first half: the board's package registered the module, and
// only its repair writes the keys it keeps track of. A copy installed
// without the package (a host's own setup) is registered with regsvr32.
constexpr char kRepairPackage[] =
    "repair the installed package (run its .msi again); a module installed without it: ";

// Checks one view; adds its module to `modules` when a host could load it.
void CheckView(Report& report, const View& view, const Registration& registration, bool otherRegistered,
               const std::string& modulePath, std::vector<ModuleUse>& modules) {
  const std::string bits = std::to_string(view.bits);
  const std::string id = "registration-" + bits;
  const std::string title = "registration (" + bits + "-bit view)";
  const std::string suggested = ModuleToRegister(modulePath, view);
  const std::string target = suggested.empty() ? "<path of the " + bits + "-bit zelkenc.dll>" : suggested;
  const std::string registerIt = "run `" + std::string(view.regsvr32) + " " + target + "` from an elevated prompt";

  if (registration.error == ERROR_FILE_NOT_FOUND) {
    if (view.bits != kToolBits) {
      report.Ok(id, title, "not registered (only " + bits + "-bit hosts need it)");
    } else if (otherRegistered) {
      report.Fail(id, title,
                  "not registered; only the other view has a registration, which " + bits + "-bit hosts never see",
                  kRepairPackage + ("register the " + bits + "-bit zelkenc.dll: " + registerIt));
    } else {
      report.Fail(id, title, "not registered: hosts cannot create the module",
                  kRepairPackage + registerIt + " (where the module stays, with MbPciEncoder.rom beside it)");
    }
    return;
  }
  if (registration.error != ERROR_SUCCESS) {
    report.Fail(id, title, "the class key cannot be read: " + DescribeResult(HRESULT_FROM_WIN32(registration.error)),
                kRepairPackage + registerIt);
    return;
  }
  if (registration.path.empty()) {
    report.Fail(id, title, "registered without a path", kRepairPackage + registerIt);
    return;
  }
  const std::string& path = registration.path;
  const std::string filePath = HostFilePath(path, view.bits);
  const ModuleFile file = InspectModule(filePath);
  if (file.state == FileState::kMissing) {
    report.Fail(id, title, path + " is registered but does not exist (moved or deleted?)",
                kRepairPackage + ("run `" + std::string(view.regsvr32) + " ") +
                    (suggested.empty() ? "<path of zelkenc.dll where it lies now>" : suggested) +
                    "` from an elevated prompt, or put it back at " + path);
    return;
  }
  if (file.state != FileState::kPresent) {
    report.Fail(id, title, path + " " + file.problem, kRepairPackage + ("reinstall zelkenc.dll, then " + registerIt));
    return;
  }
  if (file.machine != view.machine) {
    report.Fail(id, title,
                path + " is a " + MachineName(file.machine) + " DLL in the " + bits + "-bit view: " + bits +
                    "-bit hosts cannot load it",
                kRepairPackage + ("register the " + bits + "-bit zelkenc.dll instead: " + registerIt));
    return;
  }

  modules.push_back({bits, bits + "-bit registration", path, filePath});
  std::string found = path + ", " + MachineName(file.machine) + " DLL, ThreadingModel " +
                      (registration.threadingModel.empty() ? "missing" : registration.threadingModel) + ", " +
                      (file.version.empty() ? "no version resource" : "version " + file.version);
  const std::string expectedModel = Narrow(zelk::kThreadingModel);
  if (registration.threadingModel != expectedModel) {
    report.Warn(id, title, found,
                kRepairPackage + ("run `" + std::string(view.regsvr32) + " " + path) +
                    "` again from an elevated prompt: the module registers ThreadingModel " + expectedModel);
  } else if (file.version.empty()) {
    report.Warn(id, title, found,
                "this may not be the board's module: " + (kRepairPackage + ("reinstall zelkenc.dll from the driver CD, "
                                                                            "then " + registerIt)));
  } else {
    report.Ok(id, title, found);
  }
}

}  // namespace

std::vector<ModuleUse> CheckRegistration(Report& report, const std::string& modulePath) {
  const std::vector<View> views = SystemViews();
  std::vector<Registration> registrations;
  for (const View& view : views) registrations.push_back(ReadRegistration(view));
  std::vector<ModuleUse> modules;
  for (size_t i = 0; i < views.size(); ++i) {
    bool otherRegistered = false;
    for (size_t j = 0; j < views.size(); ++j) otherRegistered |= j != i && registrations[j].error == ERROR_SUCCESS;
    CheckView(report, views[i], registrations[i], otherRegistered, modulePath, modules);
  }
  return modules;
}

bool CheckModuleOption(Report& report, const std::string& modulePath) {
  const char* const id = "module";
  const char* const title = "module (--module)";
  const ModuleFile file = InspectModule(modulePath);
  if (file.state == FileState::kMissing) {
    report.Fail(id, title, modulePath + " does not exist", "give the full path of zelkenc.dll with --module");
    return false;
  }
  if (file.state != FileState::kPresent) {
    report.Fail(id, title, modulePath + " " + file.problem, "give the path of zelkenc.dll with --module");
    return false;
  }
  const std::string found = modulePath + ", " + MachineName(file.machine) + " DLL, " +
                            (file.version.empty() ? "no version resource" : "version " + file.version);
  const WORD toolMachine = kToolBits == 64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
  if (file.machine != toolMachine) {
    report.Warn(id, title, found,
                "its hosts are not " + std::to_string(kToolBits) + "-bit: run the zelkdiag.exe of the module's " +
                    "bitness to check it as they see it");
  } else {
    report.Ok(id, title, found);
  }
  return true;
}

}  // namespace zelkdiag
