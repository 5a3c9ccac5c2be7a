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
Text RepairFirst(const Text& remedy) { return Say(MSG_REG_REPAIR_FIRST, {remedy}); }

// Checks one view; adds its module to `modules` when a host could load it.
void CheckView(Report& report, const View& view, const Registration& registration, bool otherRegistered,
               const std::string& modulePath, std::vector<ModuleUse>& modules) {
  const std::string bits = std::to_string(view.bits);
  const std::string id = "registration-" + bits;
  const Text title = Say(MSG_REG_TITLE, {bits});
  const std::string suggested = ModuleToRegister(modulePath, view);
  const Arg target = suggested.empty() ? Arg(Say(MSG_REG_PATH_PLACEHOLDER, {bits})) : Arg(suggested);
  const Text registerIt = Say(MSG_REG_RUN_REGSVR32, {view.regsvr32, target});

  if (registration.error == ERROR_FILE_NOT_FOUND) {
    if (view.bits != kToolBits) {
      report.Ok(id, title, Say(MSG_REG_OTHER_VIEW_ONLY, {bits}));
    } else if (otherRegistered) {
      report.Fail(id, title, Say(MSG_REG_NOT_REGISTERED_OTHER, {bits}), RepairFirst(Say(MSG_REG_REGISTER_BITS, {bits, registerIt})));
    } else {
      report.Fail(id, title, Say(MSG_REG_NOT_REGISTERED), RepairFirst(Say(MSG_REG_REGISTER_WHERE_IT_STAYS, {registerIt})));
    }
    return;
  }
  if (registration.error != ERROR_SUCCESS) {
    report.Fail(id, title, Say(MSG_REG_KEY_UNREADABLE, {DescribeResult(HRESULT_FROM_WIN32(registration.error))}),
                RepairFirst(registerIt));
    return;
  }
  if (registration.path.empty()) {
    report.Fail(id, title, Say(MSG_REG_NO_PATH), RepairFirst(registerIt));
    return;
  }
  const std::string& path = registration.path;
  const std::string filePath = HostFilePath(path, view.bits);
  const ModuleFile file = InspectModule(filePath);
  if (file.state == FileState::kMissing) {
    const Arg now = suggested.empty() ? Arg(Say(MSG_REG_PATH_NOW_PLACEHOLDER)) : Arg(suggested);
    report.Fail(id, title, Say(MSG_REG_MISSING, {path}), RepairFirst(Say(MSG_REG_RUN_OR_PUT_BACK, {view.regsvr32, now, path})));
    return;
  }
  if (file.state != FileState::kPresent) {
    report.Fail(id, title, FileProblem(path, file), RepairFirst(Say(MSG_REG_REINSTALL, {registerIt})));
    return;
  }
  if (file.machine != view.machine) {
    report.Fail(id, title, Say(MSG_REG_WRONG_MACHINE, {path, MachineName(file.machine), bits}),
                RepairFirst(Say(MSG_REG_REGISTER_INSTEAD, {bits, registerIt})));
    return;
  }

  modules.push_back({bits, Say(MSG_REG_WHERE, {bits}), path, filePath});
  const Text found = Say(MSG_REG_FOUND, {path, MachineName(file.machine),
                                         registration.threadingModel.empty() ? Arg(Say(MSG_REG_MODEL_MISSING))
                                                                             : Arg(registration.threadingModel),
                                         file.version.empty() ? Say(MSG_REG_NO_VERSION)
                                                              : Say(MSG_REG_VERSION, {file.version})});
  const std::string expectedModel = Narrow(zelk::kThreadingModel);
  if (registration.threadingModel != expectedModel) {
    report.Warn(id, title, found, RepairFirst(Say(MSG_REG_WRONG_MODEL, {view.regsvr32, path, expectedModel})));
  } else if (file.version.empty()) {
    report.Warn(id, title, found, Say(MSG_REG_NO_VERSION_REMEDY, {registerIt}));
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
  const Text title = Say(MSG_MOD_TITLE);
  const ModuleFile file = InspectModule(modulePath);
  if (file.state == FileState::kMissing) {
    report.Fail(id, title, Say(MSG_MOD_MISSING, {modulePath}), Say(MSG_MOD_GIVE_FULL_PATH));
    return false;
  }
  if (file.state != FileState::kPresent) {
    report.Fail(id, title, FileProblem(modulePath, file), Say(MSG_MOD_GIVE_PATH));
    return false;
  }
  const Text found =
      Say(MSG_MOD_FOUND, {modulePath, MachineName(file.machine),
                          file.version.empty() ? Say(MSG_REG_NO_VERSION) : Say(MSG_REG_VERSION, {file.version})});
  const WORD toolMachine = kToolBits == 64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
  if (file.machine != toolMachine) {
    report.Warn(id, title, found, Say(MSG_MOD_OTHER_BITNESS, {std::to_string(kToolBits)}));
  } else {
    report.Ok(id, title, found);
  }
  return true;
}

}  // namespace zelkdiag
