// Runs the demo host zelkhost.exe as a separate process, the way a user does,
// against the registered simulated board, and checks its exit code, its
// report and the files it saves.
#include <windows.h>
#include <msxml2.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/program_run.h"

namespace {

using Microsoft::WRL::ComPtr;

using zelk::test::TestFolder;
using HostRun = zelk::test::ProgramRun;

// zelkhost.exe from the test's folder; `output` holds standard output, `errors` standard error.
HostRun RunHost(const std::wstring& arguments) { return zelk::test::RunProgramSplit(L"zelkhost.exe", arguments); }

std::string Both(const HostRun& run) { return "--- stdout:\n" + run.output + "--- stderr:\n" + run.errors; }

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

bool Matches(const std::string& text, const std::string& pattern) {
  return std::regex_search(text, std::regex(pattern, std::regex::multiline));
}

// The text between a phase heading and the next heading.
std::string Phase(const std::string& output, const std::string& heading) {
  const size_t start = output.find("== " + heading);
  if (start == std::string::npos) return {};
  const size_t end = output.find("\n== ", start + 1);
  return output.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The request count of the "Summary:" line, or -1.
long SummaryCount(const std::string& output) {
  std::smatch match;
  static const std::regex summary(R"(\nSummary: (\d+) requests? sent)");
  return std::regex_search(output, match, summary) ? std::strtol(match[1].str().c_str(), nullptr, 10) : -1;
}

std::string ReadFileText(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// A file in the test's folder, removed when the test ends.
struct TempFile {
  explicit TempFile(const wchar_t* name, const char* content = nullptr) : path(TestFolder() + name) {
    DeleteFileW(path.c_str());
    if (content) std::ofstream(path.c_str(), std::ios::binary) << content;
  }
  ~TempFile() { DeleteFileW(path.c_str()); }
  std::wstring Quoted() const { return L"\"" + path + L"\""; }
  std::wstring path;
};

// Loads an XML file with the system's parser (it refuses what is not well-formed)
// and counts the SVG elements that match `xpath`, or -1.
long CountSvgElements(const std::wstring& path, const wchar_t* xpath) {
  // {F5078F32-C551-11D3-89B9-0000F81FE221}: the XML DOM document, version 3.
  static const CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
  // {2933BF95-7B36-11D2-B20E-00C04F983E60}: IXMLDOMDocument2 (not in this tool chain's import libraries).
  static const IID kDomDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
  ComPtr<IXMLDOMDocument2> document;
  HRESULT hr = CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kDomDocument2,
                                reinterpret_cast<void**>(document.GetAddressOf()));
  if (FAILED(hr)) return -1;
  document->put_async(VARIANT_FALSE);
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocString(path.c_str());
  VARIANT_BOOL loaded = VARIANT_FALSE;
  hr = document->load(source, &loaded);
  VariantClear(&source);
  if (FAILED(hr) || loaded != VARIANT_TRUE) return -1;
  VARIANT namespaces;
  VariantInit(&namespaces);
  namespaces.vt = VT_BSTR;
  namespaces.bstrVal = SysAllocString(L"xmlns:svg='http://www.w3.org/2000/svg'");
  BSTR property = SysAllocString(L"SelectionNamespaces");
  document->setProperty(property, namespaces);
  SysFreeString(property);
  VariantClear(&namespaces);
  ComPtr<IXMLDOMNodeList> nodes;
  BSTR query = SysAllocString(xpath);
  hr = document->selectNodes(query, nodes.GetAddressOf());
  SysFreeString(query);
  long count = -1;
  if (SUCCEEDED(hr) && nodes) nodes->get_length(&count);
  return count;
}

struct ComScope {
  ComScope() { CoInitialize(nullptr); }
  ~ComScope() { CoUninitialize(); }
};

TEST(DemoHost, RecordsOnThePlainBoardAndSavesLogAndTimeline) {
  const TempFile log(L"demo_test.jsonl"), timeline(L"demo_test.svg");
  const HostRun run = RunHost(L"--log " + log.Quoted() + L" --timeline " + timeline.Quoted());
  ASSERT_FALSE(run.timedOut) << Both(run);
  EXPECT_EQ(run.exitCode, 0u) << Both(run);
  EXPECT_EQ(run.errors, "");
  const long requests = SummaryCount(run.output);
  ASSERT_GT(requests, 0) << run.output;

  for (const char* heading : {"Attach and set-up (LoadEncoder)", "Initialise (InitializeEncoder)", "Start", "Status",
                              "Stop", "Detach"}) {
    EXPECT_NE(run.output.find(std::string("== ") + heading), std::string::npos) << heading;
  }
  // The start-up table is one line with its count and wait; the registers set later have names.
  const std::string attach = Phase(run.output, "Attach");
  EXPECT_TRUE(Matches(attach, R"(5-92\s+Set\s+register\s+start-up table, 88 writes: decoder 80, volume 8\s+\d{3,} ms)"))
      << attach;
  EXPECT_LT(std::count(attach.begin(), attach.end(), '\n'), 12) << attach;
  EXPECT_TRUE(Matches(Phase(run.output, "Initialise"), R"(0x21 decoder\s+0x0A brightness\s+0x80\b)")) << run.output;
  EXPECT_TRUE(Matches(Phase(run.output, "Status"), R"(0x1F status\s+0x00\s+([2-9]\d|\d{3,}) ms)")) << "the ready wait\n" << run.output;
  EXPECT_NE(Phase(run.output, "Stop").find("nothing sent: "), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("filters left in the graph: 0"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("no object left, it may be unloaded"), std::string::npos) << "a reference leaked";

  // The log: one object per request, numbered in order, as many as the summary counts.
  std::istringstream lines(ReadFileText(log.path));
  std::string line;
  long count = 0;
  bool named = false;
  while (std::getline(lines, line)) {
    ++count;
    EXPECT_TRUE(Matches(line, "^\\{\"n\":" + std::to_string(count) +
                                  R"re(,"phase":"[^"]+","time_us":\d+,"request":"(Set|Get)","set":"device","id":\d+,.*"result":"0x00000000","ok":true\}$)re"))
        << line;
    named = named || line.find(R"("register_name":"brightness","value":128)") != std::string::npos;
  }
  EXPECT_EQ(count, requests);
  EXPECT_TRUE(named) << "no named register write in the log";

  // The timeline: well-formed SVG with one tick per request and the waits as bars.
  ComScope com;
  EXPECT_EQ(CountSvgElements(timeline.path, L"//svg:line[@class='request']"), requests);
  EXPECT_GE(CountSvgElements(timeline.path, L"//svg:rect[@class='wait']"), 3);
}

TEST(DemoHost, TunerOnTheEnhancerBoardAndSettingsReachTheBoard) {
  const HostRun run = RunHost(L"--enhancer --input 2 --channel 13 --bitrate 8000000 --wide --volume -10000");
  ASSERT_FALSE(run.timedOut) << Both(run);
  EXPECT_EQ(run.exitCode, 0u) << Both(run);
  EXPECT_GT(SummaryCount(run.output), 0) << run.output;

  // The values as the module reports them back.
  EXPECT_NE(run.output.find("video input       2 (tuner)"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("channel           13, plan terrestrial"), std::string::npos) << run.output;

  const std::string attach = Phase(run.output, "Attach");
  EXPECT_NE(attach.find("board code 4721"), std::string::npos) << attach;
  EXPECT_TRUE(Matches(attach, R"(93-132\s+Set\s+register\s+enhancer table, 40 writes: ghost reducer 16, Y/C separator 24)"))
      << attach;

  // The tuner is written when the encoder is initialised, not before.
  EXPECT_EQ(attach.find("0x60 tuner"), std::string::npos) << attach;
  const std::string init = Phase(run.output, "Initialise");
  EXPECT_TRUE(Matches(init, R"(0x60 tuner\s+frequency\s+divider 8480, band 0x08 high, control 0xC6)")) << init;
  EXPECT_TRUE(Matches(init, R"(peak bit rate\s+8192\b)")) << init;
  EXPECT_TRUE(Matches(init, R"(aspect\s+3 \(16:9\))")) << init;
  EXPECT_TRUE(Matches(init, R"(0x1B volume\s+0x00 left level\s+0x00\b)")) << init;
}

// A run with --firmware works in a private module folder, named on the
// "Module:" line; it is gone again when the run ends, failed or not.
void ExpectModuleFolderRemoved(const std::string& output) {
  std::smatch match;
  ASSERT_TRUE(std::regex_search(output, match, std::regex(R"(Module:\s+(.*)\\zelkenc\.dll)"))) << output;
  EXPECT_EQ(GetFileAttributesA(match[1].str().c_str()), INVALID_FILE_ATTRIBUTES) << match[1] << " left behind";
}

TEST(DemoHost, EmptyFirmwareIsSentWithAWarningAndItsCopyRemoved) {
  const TempFile empty(L"demo_test_empty.rom", "");
  const HostRun run = RunHost(L"--firmware " + empty.Quoted());
  ASSERT_FALSE(run.timedOut) << Both(run);
  EXPECT_EQ(run.exitCode, 0u) << Both(run);
  EXPECT_TRUE(Matches(run.errors, R"(warning: the firmware file .*demo_test_empty\.rom is empty)")) << run.errors;
  EXPECT_TRUE(Matches(run.output, R"(\b1\s+Set\s+firmware\s+0-byte image)")) << run.output;
  ExpectModuleFolderRemoved(run.output);
}

// What a person at the machine sees in a debugger or debug viewer when the
// set-up fails: the failing steps, behind the module's name.
TEST(DemoHost, RefusedFirmwareShowsTheFailingStepsInTheDebuggerOutput) {
  const std::vector<std::string> lines = zelk::test::RunProgramUnderDebugger(L"zelkhost.exe", L"--fail-request 1");
  const auto at = [&lines](const std::string& line) { return std::find(lines.begin(), lines.end(), line); };
  const auto initEnc = at("zelkenc: ERROR -----> InitEnc()  step=3  idxAry=0  hr=0x8007001f\n");
  const auto load = at("zelkenc: ERROR ---> LoadEncoder()  step=2\n");
  std::string shown;
  for (const std::string& line : lines) shown += line;
  EXPECT_NE(initEnc, lines.end()) << shown;
  EXPECT_NE(load, lines.end()) << shown;
  EXPECT_LT(initEnc, load) << shown;
}

// One run per row: options, exit code, what standard output and standard error
// must show (regular expressions) and what standard output must not.
struct DemoCase {
  const wchar_t* arguments;
  DWORD exitCode;
  std::vector<const char*> out = {};
  std::vector<const char*> err = {};
  std::vector<const char*> notOut = {};
};

const DemoCase kCases[] = {
    // The board's device is taken out for the run and put back after it: the next row finds it.
    {L"--no-board", 1, {R"(Summary: 0 requests sent)"},
     {R"(^zelkhost: LoadEncoder found no capture board .* taken out with --no-board\); the host got 0x80004005)"}},
    // Only the headings with their counts, and the summary.
    {L"--quiet", 0, {R"(^== Attach and set-up \(LoadEncoder\): 92 requests, )", R"(^Summary: 120 requests sent)"}, {},
     {R"(^(?!== |Summary: |\r?$))"}},
    {L"--verbose", 0, {R"(\b31\s+Set\s+register\s+0x21 decoder\s+0x88 input switch\s+0x00\s+\d{3,} ms)",
                       R"(\b92\s+Set\s+register\s+0x1B volume\s+0x12\s+0x01)"}},
    // A failed row of the start-up table: the rows before it folded, it in full, nothing after it.
    {L"--fail-request 31", 1,
     {R"(5-30\s+Set\s+register\s+start-up table, 26 writes: decoder 26\s*$)",
      R"(\b31\s+Set\s+register\s+0x21 decoder\s+0x88 input switch\s+0x00 -> failed 0x8007001F\s+\d{3,} ms)"},
     {R"(^zelkhost: LoadEncoder failed at request 31 \(Set register 0x21 decoder 0x88 input switch 0x00, start-up table index 26\), which the board failed with 0x8007001F; the host got 0x8007001F)"},
     {"== Initialise"}},
    // A failed run with --firmware removes its private module folder as well.
    {L"--firmware MbPciEncoder.rom --fail-request 1:0x80070015", 1,
     {R"(\b1\s+Set\s+firmware\s+65536-byte image -> failed 0x80070015)"},
     {R"(LoadEncoder failed at request 1 \(Set firmware .*\), which the board failed with 0x80070015; the host got 0x80070015)"}},
    {L"--fail-request 110", 1, {R"(InitializeEncoder returned 0x8007001F)", "== Detach"},
     {R"(InitializeEncoder failed at request 110 \(Set video format 0\))"}, {"== Start"}},
    // A failed ready read is retried by the module: the run succeeds and says so.
    {L"--fail-request 114", 0, {R"(Summary: 121 requests sent \(1 failed\))"},
     {R"(warning: request 114 failed as asked, and the module went on)"}},
    {L"--status-report \"00000000 00 00 0000 0131\"", 1,
     {R"(Get\s+status\s+error value 0x00000000, flags 0x00 0x00, word 0x0000, detail 0x3101)"},
     {R"(GetEncStatus poll 1: the encoder reports error 0x87780028)"}},
    {L"--decoder-never-ready", 1, {R"(poll 1: .*flags 0x2)"}, {R"(the video decoder never reported ready)"}},
    // Option errors: said on standard error before anything runs.
    {L"--firmware no-such-firmware.rom", 2, {}, {R"(^zelkhost: --firmware no-such-firmware\.rom: no such file)"}},
    {L"--processing 1", 2, {}, {R"(--processing 1: .* need a board with the enhancer unit \(add --enhancer\))"}},
    {L"--input 3", 2, {}, {"Usage:"}},
    {L"--channel 63", 2, {}, {"Usage:"}},
    {L"--volume 5", 2, {}, {"Usage:"}},
    {L"--filter-mode x", 2, {}, {"Usage:"}},
    {L"--bitrate", 2, {}, {"Usage:"}},
    {L"--bogus", 2, {}, {"unknown option --bogus"}},
    {L"--quiet --verbose", 2, {}, {"exclude each other"}},
    {L"--status-report 12", 2, {}, {"20 hex digits"}},
    {L"--fail-request 0", 2, {}, {"K the request number from 1"}},
    {L"--no-board --decoder-never-ready", 2, {}, {"--no-board"}},
};

TEST(DemoHost, OptionsFailuresAndModes) {
  for (const DemoCase& row : kCases) {
    SCOPED_TRACE(Narrow(row.arguments));
    const HostRun run = RunHost(row.arguments);
    ASSERT_FALSE(run.timedOut) << Both(run);
    EXPECT_EQ(run.exitCode, row.exitCode) << Both(run);
    for (const char* pattern : row.out) EXPECT_TRUE(Matches(run.output, pattern)) << pattern << "\n" << Both(run);
    for (const char* pattern : row.err) EXPECT_TRUE(Matches(run.errors, pattern)) << pattern << "\n" << Both(run);
    for (const char* pattern : row.notOut) EXPECT_FALSE(Matches(run.output, pattern)) << pattern << "\n" << Both(run);
    // A failure is explained in one line; an option error leaves standard output empty.
    if (row.exitCode == 1) {
      EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
      if (std::wstring(row.arguments).find(L"--firmware") != std::wstring::npos) ExpectModuleFolderRemoved(run.output);
    } else if (row.exitCode == 2) {
      EXPECT_EQ(run.output, "") << Both(run);
    }
  }
}

}  // namespace
