// zelkhost: the demo host. Does what a recording application does with
// zelkenc.dll: loads it, creates an encoder, hands it a filter graph, applies
// the settings given on the command line, attaches and sets up the board,
// initialises, starts, polls the status, stops and detaches, and prints the
// board traffic of each phase as the simulated board logged it.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "board_log.h"
#include "board_script.h"
#include "json_log.h"
#include "module_files.h"
#include "options.h"
#include "recording.h"
#include "report.h"
#include "timeline_svg.h"
#include "zelk/encoder_module.h"

namespace zelkhost {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// An output file named by an option, created before anything runs.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() {
    if (file_) std::fclose(file_);
  }
  bool Open(const char* option, const std::string& path, std::string* error) {
    if (path.empty()) return true;
    path_ = path;
    file_ = _wfopen(Widen(path).c_str(), L"wb");
    if (!file_) *error = std::string(option) + " " + path + ": cannot create the file";
    return file_ != nullptr;
  }
  // Writes with `write` and closes; false (with the reason said) on failure.
  template <typename Write>
  bool Save(Write&& write, const BoardLog& log) {
    if (!file_) return true;
    const bool written = write(file_, log);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed) Error(path_ + ": could not be written");
    return written && closed;
  }

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
};

double Seconds(LONGLONG us) { return static_cast<double>(us) / 1e6; }

// A failure injected with --fail-request that did not end the recording.
void NoteAbsorbedFailure(const Options& options, const BoardLog& log) {
  if (!options.failRequest || !log.Available()) return;
  const uint32_t k = options.failRequest->request;
  if (!log.Request(k)) {
    Warning(Format("--fail-request %u: the run sent only %lu requests, so none was failed", k, log.Requests()));
  } else {
    Warning(Format("request %u failed as asked, and the module went on without reporting a failure", k));
  }
}

void PrintSummary(const BoardLog& log) {
  const std::vector<PhaseRecord>& phases = log.Phases();
  const LONGLONG us = phases.empty() ? 0 : phases.back().endUs - phases.front().startUs;
  std::string failed = log.Failed() ? Format(" (%lu failed)", log.Failed()) : "";
  Always("\nSummary: %lu request%s sent%s, %llu bytes of firmware, %.2f s%s\n", log.Requests(), log.Requests() == 1 ? "" : "s",
         failed.c_str(), log.FirmwareBytes(), Seconds(us), log.Available() ? "" : " (no simulated board: traffic not seen)");
}

int Run(const Options& options, OutputFile& logFile, OutputFile& timelineFile) {
  ModuleFolder module;
  if (options.firmwarePath.empty()) {
    module.UseProgramFolder();
  } else {
    std::string error;
    if (!module.CreateWithFirmware(Widen(options.firmwarePath), &error)) {
      Error("cannot prepare a module folder for --firmware: " + error);
      return kExitFailed;
    }
  }
  const std::string firmware = options.firmwarePath.empty() ? Narrow(module.FirmwarePath()) : options.firmwarePath;
  Say("Module:   %s\n", Narrow(module.ModulePath()).c_str());
  Say("Firmware: %s (%lld bytes)\n", firmware.c_str(), FileSize(module.FirmwarePath()));

  BoardLog log(ReachBoard(options.board.value_or(1)));
  HiddenDevice hidden;
  std::string error;
  if (log.Available() && (FAILED(log.ResetResult()) || !ScriptBoard(log.Board(), options, &error) ||
                          (options.noBoard && !hidden.Hide(&error)))) {
    Error(error.empty() ? "the simulated board could not be reset: " + DescribeResult(log.ResetResult()) : error);
    return kExitFailed;
  }
  if (log.Available()) {
    Say("Board:    simulated, board code %lu (%s)%s\n", options.enhancer ? kBoardCodeEnhancer : kBoardCodePlain,
        options.enhancer ? "enhancer unit fitted" : "no enhancer unit",
        options.noBoard ? ", hidden from the device list" : "");
  }

  HMODULE library = LoadLibraryExW(module.ModulePath().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!library) {
    Error("cannot load " + Narrow(module.ModulePath()) + ": " + DescribeResult(HRESULT_FROM_WIN32(GetLastError())));
    return kExitFailed;
  }
  Recording recording(options, log, firmware, hidden.Hidden());
  auto createEncoder =
      reinterpret_cast<PFN_CreateEncoder>(reinterpret_cast<void*>(GetProcAddress(library, "CreateEncoder")));
  std::string failure = "zelkenc.dll has no CreateEncoder export";
  if (createEncoder) {
    recording.Run(createEncoder);
    failure = recording.Failure();
  }
  // Every object is released by now: the module must agree that it may go.
  auto canUnloadNow =
      reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
  if (canUnloadNow && canUnloadNow() == S_OK) {
    Say("\nModule:   no object left, it may be unloaded\n");
  } else if (failure.empty()) {
    failure = "the module still holds live objects after the last Release";
  }
  FreeLibrary(library);

  PrintSummary(log);
  bool saved = logFile.Save(WriteJsonLog, log);
  saved = timelineFile.Save(WriteTimeline, log) && saved;
  if (!failure.empty()) {
    Error(failure);
    return kExitFailed;
  }
  NoteAbsorbedFailure(options, log);
  return saved ? kExitOk : kExitFailed;
}

}  // namespace
}  // namespace zelkhost

int main(int argc, char** argv) {
  using namespace zelkhost;
  Options options;
  std::string error;
  std::vector<std::string> warnings;
  OutputFile logFile, timelineFile;
  if (!ParseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "zelkhost: %s\nUsage: zelkhost [options]; zelkhost --help lists them.\n", error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::printf("%s", UsageText());
    return kExitOk;
  }
  if (!CheckFiles(options, &error, &warnings) || !logFile.Open("--log", options.logPath, &error) ||
      !timelineFile.Open("--timeline", options.timelinePath, &error)) {
    Error(error);
    return kExitUsage;
  }
  SetQuiet(options.quiet);
  for (const std::string& warning : warnings) Warning(warning);

  const HRESULT hr = CoInitialize(nullptr);
  if (FAILED(hr)) {
    Error("COM could not be initialised: " + DescribeResult(hr));
    return kExitFailed;
  }
  const int exitCode = Run(options, logFile, timelineFile);
  CoUninitialize();
  std::fflush(stdout);
  return exitCode;
}
