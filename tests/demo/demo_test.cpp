// Runs the demo host zelkhost.exe as a separate process, the way a user does,
// against the registered simulated board, and checks its exit code and report.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "support/program_run.h"

namespace {

using zelk::test::TestFolder;
using HostRun = zelk::test::ProgramRun;

HostRun RunHost(const std::wstring& arguments) { return zelk::test::RunProgram(L"zelkhost.exe", arguments); }

// The text between a phase heading and the next heading.
std::string Phase(const std::string& output, const std::string& heading) {
  const size_t start = output.find("== " + heading);
  if (start == std::string::npos) return {};
  const size_t end = output.find("\n== ", start + 1);
  return output.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string SummaryLine(const std::string& output) {
  std::smatch match;
  static const std::regex summary(R"((^|\n)(Summary:[^\r\n]*))");
  return std::regex_search(output, match, summary) ? match[2].str() : std::string();
}

// The longest wait shown in a table, in ms.
long LongestWait(const std::string& text) {
  static const std::regex wait(R"(\s(\d+) ms\r?\n)");
  long longest = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), wait); it != std::sregex_iterator(); ++it) {
    longest = std::max(longest, std::strtol((*it)[1].str().c_str(), nullptr, 10));
  }
  return longest;
}

long long FirmwareFileSize() {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW((TestFolder() + L"MbPciEncoder.rom").c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST(DemoHost, RecordsOnThePlainBoardAndReportsEveryPhase) {
  const HostRun run = RunHost(L"");
  ASSERT_FALSE(run.timedOut) << run.output;
  EXPECT_EQ(run.exitCode, 0u) << run.output;

  const std::string summary = SummaryLine(run.output);
  ASSERT_FALSE(summary.empty()) << run.output;
  EXPECT_NE(summary.find(std::to_string(FirmwareFileSize()) + " bytes of firmware"), std::string::npos) << summary;
  EXPECT_EQ(summary.find("Summary: 0 requests"), std::string::npos) << summary;

  for (const char* heading : {"Attach and set-up (LoadEncoder)", "Initialise (InitializeEncoder)", "Start", "Status",
                              "Stop", "Detach"}) {
    EXPECT_NE(run.output.find(std::string("== ") + heading), std::string::npos) << heading;
  }
  const std::string attach = Phase(run.output, "Attach");
  EXPECT_NE(attach.find("board code 4096"), std::string::npos) << attach;
  EXPECT_NE(attach.find("pin \"Video/Muxed Out\""), std::string::npos) << attach;
  EXPECT_EQ(attach.find("ghost reducer"), std::string::npos) << "enhancer table sent to a plain board";
  EXPECT_GE(LongestWait(attach), 100) << "the start-up table's wait is not visible\n" << attach;
  // The first status poll waits for the decoder in 20 ms steps.
  EXPECT_GE(LongestWait(Phase(run.output, "Status")), 20) << run.output;
  EXPECT_NE(run.output.find("filters left in the graph: 0"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("no object left, it may be unloaded"), std::string::npos) << "a reference leaked";
}

TEST(DemoHost, TunerOnTheEnhancerBoardAndSettingsReachTheBoard) {
  const HostRun run = RunHost(L"--enhancer --input 2 --channel 13 --bitrate 8000000 --wide --volume -10000");
  ASSERT_FALSE(run.timedOut) << run.output;
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_FALSE(SummaryLine(run.output).empty()) << run.output;

  // The values as the module reports them back.
  EXPECT_NE(run.output.find("video input       2 (tuner)"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("channel           13, plan terrestrial"), std::string::npos) << run.output;

  const std::string attach = Phase(run.output, "Attach");
  EXPECT_NE(attach.find("board code 4721"), std::string::npos) << attach;
  EXPECT_NE(attach.find("0x5C Y/C separator"), std::string::npos) << "enhancer table missing\n" << attach;

  // The tuner is written when the encoder is initialised, not before.
  EXPECT_EQ(attach.find("0x60 tuner"), std::string::npos) << attach;
  const std::string init = Phase(run.output, "Initialise");
  EXPECT_NE(init.find("0x60 tuner"), std::string::npos) << init;
  EXPECT_TRUE(std::regex_search(init, std::regex(R"(peak rate\s+8192\b)"))) << init;
  EXPECT_TRUE(std::regex_search(init, std::regex(R"(aspect\s+3\b)"))) << init;
  EXPECT_TRUE(std::regex_search(init, std::regex(R"(0x1B volume\s+0x00\s+0x00000000)"))) << init;
}

TEST(DemoHost, MissingFirmwareFailsClearlyAndCleansUp) {
  const std::wstring missing = TestFolder() + L"no-such-firmware.rom";
  const HostRun run = RunHost(L"--firmware \"" + missing + L"\"");
  ASSERT_FALSE(run.timedOut) << run.output;
  EXPECT_EQ(run.exitCode, 1u) << run.output;
  EXPECT_NE(run.output.find("Firmware MbPciEncoder.rom not found beside zelkenc.dll"), std::string::npos)
      << run.output;
  EXPECT_NE(SummaryLine(run.output).find("Summary: 0 requests sent"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("== Initialise"), std::string::npos) << "went on after the failed set-up";

  // The private module folder is gone again.
  std::smatch match;
  ASSERT_TRUE(std::regex_search(run.output, match, std::regex(R"(Module:\s+(.*)\\zelkenc\.dll)"))) << run.output;
  const std::string folder = match[1].str();
  EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES) << folder << " left behind";
}

// What a person at the machine sees in a debugger or debug viewer when the
// set-up fails: the failing steps, behind the module's name.
TEST(DemoHost, MissingFirmwareShowsTheFailingStepsInTheDebuggerOutput) {
  const std::wstring missing = TestFolder() + L"no-such-firmware.rom";
  const std::vector<std::string> lines =
      zelk::test::RunProgramUnderDebugger(L"zelkhost.exe", L"--firmware \"" + missing + L"\"");
  const auto at = [&lines](const std::string& line) { return std::find(lines.begin(), lines.end(), line); };
  const auto initEnc = at("zelkenc: ERROR -----> InitEnc()  step=1  idxAry=0  hr=0x0\n");
  const auto load = at("zelkenc: ERROR ---> LoadEncoder()  step=2\n");
  std::string shown;
  for (const std::string& line : lines) shown += line;
  EXPECT_NE(initEnc, lines.end()) << shown;
  EXPECT_NE(load, lines.end()) << shown;
  EXPECT_LT(initEnc, load) << shown;
}

TEST(DemoHost, RejectsBadOptionValuesWithUsage) {
  for (const wchar_t* arguments : {L"--input 3", L"--channel 63", L"--volume 5", L"--filter-mode x", L"--bogus",
                                   L"--bitrate"}) {
    const HostRun run = RunHost(arguments);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 2u) << run.output;
    EXPECT_NE(run.output.find("Usage:"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Summary:"), std::string::npos) << "ran despite a bad option";
  }
}

}  // namespace
