// The doctor zelkdiag.exe, run as a separate process against Wine's real
// registry and device enumerator with the simulated board. Each row breaks
// the machine in one way, checks the verdict and remedy of the check that must
// catch it, and puts the machine back.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "json_reader.h"
#include "sim_control.h"
#include "support/program_run.h"

namespace zelk::test {
namespace {

constexpr char kServerKey[] = "CLSID\\{337E5D3E-AC5C-4C8E-AC22-B757C57CF1D7}\\InprocServer32";
constexpr char kClassKey[] = "{337E5D3E-AC5C-4C8E-AC22-B757C57CF1D7}";
constexpr wchar_t kBoardName[] = L"MB86393 PCI Capture";

// The rows break the doctor's own registry view, the one of its build, and the
// other one: the i686 doctor sees the machine from the 32-bit side.
#ifdef _WIN64
#define OWN_BITS "64"
#define OTHER_BITS "32"
constexpr REGSAM kOwnView = KEY_WOW64_64KEY, kOtherView = KEY_WOW64_32KEY;
constexpr WORD kOtherMachine = IMAGE_FILE_MACHINE_I386;
constexpr char kOwnRegsvr32[] = "%SystemRoot%\\System32\\regsvr32";
constexpr char kOtherRegsvr32[] = "%SystemRoot%\\SysWOW64\\regsvr32";
#else
#define OWN_BITS "32"
#define OTHER_BITS "64"
constexpr REGSAM kOwnView = KEY_WOW64_32KEY, kOtherView = KEY_WOW64_64KEY;
constexpr WORD kOtherMachine = IMAGE_FILE_MACHINE_AMD64;
constexpr char kOwnRegsvr32[] = "%SystemRoot%\\SysWOW64\\regsvr32";
constexpr char kOtherRegsvr32[] = "%SystemRoot%\\System32\\regsvr32";
#endif

std::string Narrow(const std::wstring& text) {
  std::string narrow(text.size() * 2 + 1, '\0');
  narrow.resize(static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0],
                                                        static_cast<int>(narrow.size()), nullptr, nullptr)) -
                1);
  return narrow;
}

// A DLL beside the test program, loaded for its exports.
class Dll {
 public:
  explicit Dll(const wchar_t* name) : module_(LoadLibraryW(name)) {}
  ~Dll() {
    if (module_) FreeLibrary(module_);
  }
  template <typename F>
  F Export(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }
  HRESULT Register() const { return Export<HRESULT(WINAPI*)()>("DllRegisterServer")(); }
  HRESULT Unregister() const { return Export<HRESULT(WINAPI*)()>("DllUnregisterServer")(); }

 private:
  HMODULE module_;
};

Dll* simulator = nullptr;
Dll* encoderModule = nullptr;

// The changes one row makes to the machine, undone in reverse order.
class Machine {
 public:
  Machine() = default;
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;
  ~Machine() {
    for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo) (*undo)();
  }
  void Undo(std::function<void()> undo) { undo_.push_back(std::move(undo)); }

  // The class registration of one registry view.
  void RemoveRegistration(REGSAM view) {
    HKEY classes = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_ALL_ACCESS | view, &classes), ERROR_SUCCESS);
    RegDeleteTreeA(classes, kClassKey);
    RegCloseKey(classes);
    Undo([] { EXPECT_EQ(encoderModule->Register(), S_OK); });
  }
  void Register(REGSAM view, const std::string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CLASSES_ROOT, kServerKey, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
    RegSetValueExA(key, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>("Both"), 5);
    RegCloseKey(key);
    if (view == kOtherView) {
      Undo([] {
        HKEY classes = nullptr;
        RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_ALL_ACCESS | kOtherView, &classes);
        RegDeleteTreeA(classes, kClassKey);
        RegCloseKey(classes);
      });
    } else {
      Undo([] { EXPECT_EQ(encoderModule->Register(), S_OK); });
    }
  }

  // A private folder (removed with its files afterwards).
  std::string Folder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "zelkdiag-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(++folders_) + "\\";
    EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    Undo([folder] {
      WIN32_FIND_DATAA found;
      const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
      if (search != INVALID_HANDLE_VALUE) {
        do DeleteFileA((folder + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
      }
      EXPECT_TRUE(RemoveDirectoryA(folder.c_str())) << folder;
    });
    return folder;
  }
  // A copy of zelkenc.dll in `folder`; `machine` other than 0 rewrites the PE machine type.
  static std::string CopyModule(const std::string& folder, WORD machine = 0) {
    const std::string copy = folder + "zelkenc.dll";
    EXPECT_TRUE(CopyFileA((Narrow(TestFolder()) + "zelkenc.dll").c_str(), copy.c_str(), FALSE));
    if (machine) {
      const HANDLE file =
          CreateFileA(copy.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      IMAGE_DOS_HEADER dos{};
      DWORD count = 0;
      ReadFile(file, &dos, sizeof dos, &count, nullptr);
      SetFilePointer(file, dos.e_lfanew + 4, nullptr, FILE_BEGIN);  // behind "PE\0\0"
      WriteFile(file, &machine, sizeof machine, &count, nullptr);
      CloseHandle(file);
    }
    return copy;
  }
  static void WriteFirmware(const std::string& folder, size_t bytes) {
    const HANDLE file =
        CreateFileA((folder + "MbPciEncoder.rom").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const std::string image(bytes, 'Z');
    DWORD written = 0;
    WriteFile(file, image.data(), static_cast<DWORD>(image.size()), &written, nullptr);
    CloseHandle(file);
  }

  // A further video-input device of the simulator.
  void AddDevice(const wchar_t* friendlyName, const wchar_t* instance, BOOL kind) {
    ASSERT_EQ(simulator->Export<PFN_SimRegisterDevice>("SimRegisterDevice")(friendlyName, instance, kind), S_OK);
    const std::wstring name = instance;
    Undo([name] { EXPECT_EQ(simulator->Export<PFN_SimUnregisterDevice>("SimUnregisterDevice")(name.c_str()), S_OK); });
  }
  void RemoveBoard() {
    ASSERT_EQ(simulator->Export<PFN_SimUnregisterDevice>("SimUnregisterDevice")(kBoardName), S_OK);
    Undo([] { EXPECT_EQ(simulator->Register(), S_OK); });
  }

 private:
  std::vector<std::function<void()>> undo_;
  int folders_ = 0;
};

// The words of the text report that frame a check, in each language.
struct Words {
  const wchar_t* option;  // in the doctor's arguments; the first row is the default
  std::vector<std::string> verdicts;
  std::string remedy;
};
const Words kWords[] = {
    {L"", {"OK", "WARN", "FAIL"}, "remedy: "},
    {L"--lang ja", {"正常", "注意", "異常"}, "対処: "},
};

const Words& WordsOf(const std::wstring& arguments) {
  for (const Words& words : kWords) {
    if (words.option[0] && arguments.find(words.option) != std::wstring::npos) return words;
  }
  return kWords[0];
}

// The verdict word that begins `line`, or empty.
std::string VerdictOf(const std::string& line, const Words& words) {
  for (const std::string& verdict : words.verdicts) {
    if (line.compare(0, verdict.size() + 1, verdict + " ") == 0) return verdict;
  }
  return {};
}

// One check line of the text report.
struct CheckLine {
  std::string verdict;
  std::string found;
  std::string remedy;
  std::vector<std::string> details;
};

// The line "VERDICT title: found", the detail lines and the remedy line
// under it; the verdict column is six console columns wide.
CheckLine FindCheck(const std::string& output, const std::string& title, const Words& words = kWords[0]) {
  const std::string indent(6, ' ');
  std::istringstream lines(output);
  std::string line;
  CheckLine check;
  bool inCheck = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (inCheck && line.rfind(indent + words.remedy, 0) == 0) {
      return check.remedy = line.substr(indent.size() + words.remedy.size()), check;
    }
    if (inCheck && line.rfind(indent + "- ", 0) == 0) check.details.push_back(line.substr(8));
    if (inCheck && line.rfind(indent, 0) != 0) return check;
    const std::string verdict = VerdictOf(line, words);
    const size_t start = line.find_first_not_of(' ', verdict.size());
    if (!verdict.empty() && start != std::string::npos && line.compare(start, title.size() + 2, title + ": ") == 0) {
      check.verdict = verdict;
      check.found = line.substr(start + title.size() + 2);
      inCheck = true;
    }
  }
  return check;
}

// The verdicts of every check line, in order.
std::vector<std::string> Verdicts(const std::string& output, const Words& words = kWords[0]) {
  std::vector<std::string> verdicts;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    const std::string verdict = VerdictOf(line, words);
    if (!verdict.empty()) verdicts.push_back(verdict);
  }
  return verdicts;
}

struct Row {
  const char* name;
  std::function<std::wstring(Machine&)> breakIt;  // returns the doctor's arguments
  // The exit code, and the check line that must catch the fault; for a bad
  // command line, `found` is a part of what the doctor says.
  DWORD exitCode;
  const char* title;  // the check that must catch it; null: every check is OK
  const char* verdict;
  const char* found;             // a part of what it found
  const char* remedy;            // a part of its remedy
  const char* detail = nullptr;  // a part of one of its detail lines
};

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  wide.resize(
      static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()))) -
      1);
  return wide;
}

// A further device of the board's name: the module takes it when its
// instance name sorts before the board's.
std::function<std::wstring(Machine&)> WithDevice(const wchar_t* instance, BOOL kind) {
  return [instance, kind](Machine& machine) {
    machine.AddDevice(kBoardName, instance, kind);
    return std::wstring();
  };
}

// A machine where every check is OK.
std::function<std::wstring(Machine&)> Healthy(const wchar_t* arguments) {
  return [arguments](Machine& machine) {
    const std::string folder = machine.Folder();
    Machine::WriteFirmware(folder, 4096);
    machine.Register(kOwnView, Machine::CopyModule(folder));
    return std::wstring(arguments);
  };
}

const Row kRows[] = {
    {"healthy machine", Healthy(L""), 0, nullptr, "OK", "", ""},
    {"healthy machine in Japanese", Healthy(L"--lang ja"), 0, nullptr, "正常", "", ""},
    {"healthy machine in English on request", Healthy(L"--lang en"), 0, nullptr, "OK", "", ""},
    {"the build's placeholder firmware beside the registered module", [](Machine&) { return std::wstring(); }, 0,
     "firmware (" OWN_BITS "-bit registration)", "WARN", "the build's placeholder", "from the driver CD beside"},
    {"deep check on the healthy machine", [](Machine&) { return std::wstring(L"--deep"); }, 0, "deep: GetEncStatus",
     "OK", "S_OK, state 2, flags 0", ""},
    {"bad option", [](Machine&) { return std::wstring(L"--no-such-option"); }, 2, nullptr, nullptr, "", ""},
    {"unknown language", [](Machine&) { return std::wstring(L"--lang xx"); }, 2, nullptr, nullptr, "en, ja", ""},
    {"language missing", [](Machine&) { return std::wstring(L"--lang"); }, 2, nullptr, nullptr, "en, ja", ""},
    {"not registered",
     [](Machine& machine) {
       machine.RemoveRegistration(kOwnView);
       return std::wstring();
     },
     1, "registration (" OWN_BITS "-bit view)", "FAIL", "not registered", kOwnRegsvr32},
    {"not registered, in Japanese",
     [](Machine& machine) {
       machine.RemoveRegistration(kOwnView);
       return std::wstring(L"--lang ja");
     },
     1, "登録 (" OWN_BITS " ビットのビュー)", "異常", "登録されていません", kOwnRegsvr32},
    {"registered path missing",
     [](Machine& machine) {
       machine.Register(kOwnView, "C:\\Moved\\zelkenc.dll");
       return std::wstring();
     },
     1, "registration (" OWN_BITS "-bit view)", "FAIL", "C:\\Moved\\zelkenc.dll is registered but does not exist",
     "or put it back at C:\\Moved\\zelkenc.dll"},
    {OTHER_BITS "-bit registration only, seen by the " OWN_BITS "-bit doctor",
     [](Machine& machine) {
       const std::string folder = machine.Folder();
       Machine::WriteFirmware(folder, 16);
       machine.RemoveRegistration(kOwnView);
       machine.Register(kOtherView, Machine::CopyModule(folder, kOtherMachine));
       return std::wstring();
     },
     1, "registration (" OWN_BITS "-bit view)", "FAIL", "only the other view has a registration",
     "register the " OWN_BITS "-bit zelkenc.dll"},
    {OWN_BITS "-bit DLL in the " OTHER_BITS "-bit view",
     [](Machine& machine) {
       machine.Register(kOtherView, Narrow(TestFolder()) + "zelkenc.dll");
       return std::wstring();
     },
     1, "registration (" OTHER_BITS "-bit view)", "FAIL", "is a " OWN_BITS "-bit DLL in the " OTHER_BITS "-bit view",
     kOtherRegsvr32},
    {"firmware missing beside the registered module",
     [](Machine& machine) {
       const std::string folder = machine.Folder();
       machine.Register(kOwnView, Machine::CopyModule(folder));
       return std::wstring();
     },
     1, "firmware (" OWN_BITS "-bit registration)", "FAIL", "MbPciEncoder.rom is missing",
     "copy MbPciEncoder.rom from the driver CD beside"},
    {"empty firmware beside the host's own copy",
     [](Machine& machine) {
       const std::string folder = machine.Folder();
       Machine::WriteFirmware(folder, 0);
       return L"--module \"" + Wide(Machine::CopyModule(folder)) + L"\"";
     },
     1, "firmware (--module)", "FAIL", "MbPciEncoder.rom is empty", "from the driver CD beside"},
    {"deep check with the firmware missing: the module's trace under its step",
     [](Machine& machine) { return L"--deep --module \"" + Wide(Machine::CopyModule(machine.Folder())) + L"\""; }, 1,
     "deep: LoadEncoder", "FAIL", "0x80004005", "correct the first FAIL above", "LoadEncoder()  step=2"},
    {"no board",
     [](Machine& machine) {
       machine.RemoveBoard();
       return std::wstring();
     },
     1, "video-input devices", "FAIL", "no video-input device", "install the board's driver"},
    {"two boards", WithDevice(L"MB86393 PCI Capture 2", ZELK_SIM_BOARD), 0, "video-input devices", "OK", "2 of", "",
     "<- board 2"},
    {"two boards: the second one checked too", WithDevice(L"MB86393 PCI Capture 2", ZELK_SIM_BOARD), 0,
     "capture filter (board 2)", "OK", "board 2 at @device", ""},
    {"the board's filter without its pin", WithDevice(L"0 MB86393 without pin", ZELK_SIM_BOARD_WITHOUT_PIN), 1,
     "output pin", "FAIL", "no output pin \"Video/Muxed Out\"; the filter has \"Video In\" (in)",
     "install the board's own driver"},
    {"a filter without the property interface",
     WithDevice(L"0 MB86393 without properties", ZELK_SIM_BOARD_WITHOUT_PROPERTIES), 1, "property interface", "FAIL",
     "no IKsPropertySet", "kernel-streaming properties"},
};

class Doctor : public ::testing::TestWithParam<Row> {
 protected:
  static void SetUpTestSuite() {
    simulator = new Dll(L"zelksim.dll");
    encoderModule = new Dll(L"zelkenc.dll");
    ASSERT_EQ(simulator->Register(), S_OK);
    ASSERT_EQ(encoderModule->Register(), S_OK);
  }
  static void TearDownTestSuite() {
    // The class is left unregistered, as the other tests expect to find it.
    EXPECT_EQ(encoderModule->Unregister(), S_OK);
    delete encoderModule;
    delete simulator;
  }
};

TEST_P(Doctor, CatchesTheFaultAndSaysHowToFixIt) {
  const Row& row = GetParam();
  ProgramRun run;
  std::wstring arguments;
  {
    Machine machine;
    arguments = row.breakIt(machine);
    ASSERT_FALSE(HasFatalFailure());
    run = RunProgram(L"zelkdiag.exe", arguments);
  }
  const Words& words = WordsOf(arguments);
  ASSERT_FALSE(run.timedOut) << run.output;
  EXPECT_EQ(run.exitCode, row.exitCode) << run.output;
  // Every message the doctor says is in its tables.
  EXPECT_EQ(run.output.find("(message "), std::string::npos) << run.output;
  if (!row.verdict) {
    EXPECT_NE(run.output.find(row.found), std::string::npos) << run.output;
    return;
  }
  if (!row.title) {
    const std::vector<std::string> verdicts = Verdicts(run.output, words);
    EXPECT_GE(verdicts.size(), 8u) << run.output;
    EXPECT_EQ(verdicts, std::vector<std::string>(verdicts.size(), row.verdict)) << run.output;
    return;
  }
  const CheckLine check = FindCheck(run.output, row.title, words);
  EXPECT_EQ(check.verdict, row.verdict) << run.output;
  EXPECT_NE(check.found.find(row.found), std::string::npos) << check.found;
  if (check.verdict == words.verdicts[0]) {
    EXPECT_EQ(check.remedy, "");
  } else {
    EXPECT_NE(check.remedy.find(row.remedy), std::string::npos) << check.remedy;
  }
  if (row.detail) {
    EXPECT_TRUE(std::any_of(check.details.begin(), check.details.end(), [&row](const std::string& detail) {
      return detail.find(row.detail) != std::string::npos;
    })) << run.output;
  }
}

// The row's name as a test name.
std::string RowName(const ::testing::TestParamInfo<Row>& row) {
  std::string name;
  for (const char* c = row.param.name; *c; ++c) name += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Machines, Doctor, ::testing::ValuesIn(kRows), RowName);

// Each board is a check of its own in the JSON report, with its path.
TEST_F(Doctor, JsonListsEveryBoard) {
  ProgramRun json;
  {
    Machine machine;
    machine.AddDevice(kBoardName, L"MB86393 PCI Capture 2", ZELK_SIM_BOARD);
    json = RunProgram(L"zelkdiag.exe", L"--json --lang en");
  }
  Json report;
  ASSERT_TRUE(ParseJson(json.output, report)) << json.output;
  std::vector<std::string> boards;
  for (const Json& check : report["checks"].items)
    if (check["id"].text.rfind("capture-filter", 0) == 0) boards.push_back(check["found"].text.substr(0, 11));
  EXPECT_EQ(boards, (std::vector<std::string>{"board 1 at ", "board 2 at "})) << json.output;
}

// The names of an object's members and, for the checks, of theirs.
std::vector<std::string> Keys(const Json& report) {
  std::vector<std::string> keys;
  for (const auto& member : report.members) keys.push_back(member.first);
  for (const Json& check : report["checks"].items) {
    for (const auto& member : check.members) keys.push_back("checks." + member.first);
  }
  return keys;
}

// In each language the JSON says what the text says; the keys, the check ids
// and the verdict codes are the same in every language, the texts are not.
TEST_F(Doctor, JsonSaysWhatTheTextSays) {
  std::vector<Json> reports;
  for (const Words& words : kWords) {
    const std::wstring language = words.option;
    const ProgramRun text = RunProgram(L"zelkdiag.exe", language);
    const ProgramRun json = RunProgram(L"zelkdiag.exe", L"--json " + language);
    EXPECT_EQ(json.exitCode, 0u) << json.output;
    Json report;
    ASSERT_TRUE(ParseJson(json.output, report)) << json.output;
    EXPECT_EQ(report["tool"].text, "zelkdiag");
    EXPECT_EQ(report["exitCode"].number, 0);
    EXPECT_EQ(report["summary"]["fail"].number, 0);

    std::set<std::string> ids;
    std::vector<std::string> verdicts;
    for (const Json& check : report["checks"].items) {
      EXPECT_TRUE(ids.insert(check["id"].text).second) << "two checks named " << check["id"].text;
      const CheckLine line = FindCheck(text.output, check["title"].text, words);
      const size_t verdict = std::find(words.verdicts.begin(), words.verdicts.end(), line.verdict) - words.verdicts.begin();
      EXPECT_EQ(check["verdict"].text, kWords[0].verdicts[std::min<size_t>(verdict, 2)]) << check["title"].text;
      EXPECT_EQ(check["found"].text, line.found) << check["title"].text;
      verdicts.push_back(line.verdict);
    }
    EXPECT_EQ(verdicts, Verdicts(text.output, words));
    // The device list goes with the devices check.
    EXPECT_EQ(ids.count("devices"), 1u) << "no check named devices";
    reports.push_back(report);
  }
  const Json& english = reports[0];
  const Json& japanese = reports[1];
  EXPECT_EQ(Keys(japanese), Keys(english));
  ASSERT_EQ(japanese["checks"].items.size(), english["checks"].items.size());
  for (size_t i = 0; i < english["checks"].items.size(); ++i) {
    const Json& en = english["checks"].items[i];
    const Json& ja = japanese["checks"].items[i];
    EXPECT_EQ(ja["id"].text, en["id"].text);
    EXPECT_EQ(ja["verdict"].text, en["verdict"].text) << en["id"].text;
    EXPECT_NE(ja["title"].text, en["title"].text) << en["id"].text;
    if (en["id"].text == "devices") {
      ASSERT_FALSE(en["details"].items.empty());
      EXPECT_NE(en["details"].items[0].text.find("<- the module takes this one"), std::string::npos);
      EXPECT_NE(ja["details"].items[0].text.find("<- モジュールはこれを使います"), std::string::npos);
    }
  }
  EXPECT_EQ(english["language"].text, "en");
  EXPECT_EQ(japanese["language"].text, "ja");
}

// Started in a console window of its own, as a double-click starts it, the
// doctor ends by itself when its input is not a console.
TEST_F(Doctor, WaitsForAKeyOnlyWithAConsoleToReadIt) {
  const ProgramRun run = RunProgramInOwnConsole(L"zelkdiag.exe", L"--lang ja", 60000);
  ASSERT_FALSE(run.timedOut) << run.output;
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("結果: "), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("キーを押す"), std::string::npos) << run.output;
}

// Every message of the English table, the reference, is in every other
// table, with the same arguments {1}..{9}: a message the lead or another
// engineer adds to English alone fails here.
class Messages {
 public:
  Messages() : module_(LoadLibraryExW(L"zelkdiag.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    if (module_) EnumResourceNamesW(module_, RT_STRING, Block, reinterpret_cast<LONG_PTR>(this));
  }
  ~Messages() {
    if (module_) FreeLibrary(module_);
  }
  std::map<LANGID, std::map<UINT, std::wstring>> tables;

 private:
  static BOOL CALLBACK Block(HMODULE module, LPCWSTR, LPWSTR name, LONG_PTR self) {
    EnumResourceLanguagesW(module, RT_STRING, name, Language, self);
    return TRUE;
  }
  static BOOL CALLBACK Language(HMODULE module, LPCWSTR, LPCWSTR name, WORD language, LONG_PTR self) {
    const HRSRC found = FindResourceExW(module, RT_STRING, name, language);
    const auto* data = static_cast<const WCHAR*>(LockResource(LoadResource(module, found)));
    const WCHAR* const end = data + SizeofResource(module, found) / sizeof(WCHAR);
    const UINT first = (static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)) - 1) * 16;
    for (UINT i = 0; i < 16 && data < end; ++i, data += 1 + *data) {
      if (*data) reinterpret_cast<Messages*>(self)->tables[language][first + i].assign(data + 1, *data);
    }
    return TRUE;
  }
  HMODULE module_;
};

std::multiset<wchar_t> Arguments(const std::wstring& message) {
  std::multiset<wchar_t> arguments;
  for (size_t i = 0; i + 2 < message.size(); ++i) {
    if (message[i] == L'{' && message[i + 2] == L'}' && message[i + 1] >= L'1' && message[i + 1] <= L'9') {
      arguments.insert(message[i + 1]);
    }
  }
  return arguments;
}

TEST(DoctorMessages, EveryTableHasEveryEnglishMessage) {
  const Messages messages;
  const LANGID englishId = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  ASSERT_EQ(messages.tables.count(englishId), 1u);
  ASSERT_EQ(messages.tables.count(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN)), 1u);
  const auto& english = messages.tables.at(englishId);
  EXPECT_GE(english.size(), 100u);
  for (const auto& table : messages.tables) {
    for (const auto& message : english) {
      const auto other = table.second.find(message.first);
      if (other == table.second.end()) {
        ADD_FAILURE() << "language " << std::hex << table.first << std::dec << " has no message " << message.first;
        continue;
      }
      EXPECT_EQ(Arguments(other->second), Arguments(message.second))
          << "language " << std::hex << table.first << std::dec << ", message " << message.first;
    }
    for (const auto& message : table.second) {
      EXPECT_EQ(english.count(message.first), 1u)
          << "language " << std::hex << table.first << std::dec << ": message " << message.first << " is not English";
    }
  }
}

}  // namespace
}  // namespace zelk::test
