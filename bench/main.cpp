// bench_calls: what each call of the encoder interface costs a host. Loads
// zelkenc.dll as a host does, drives the simulated board in Wine's real filter
// graph and, for every call, sets the time it blocks against the waits the
// board's protocol requires for the requests it sent. Also the firmware
// download against a plain read of the file, and many load/unload cycles
// against what Wine's device enumerator keeps, and the wait of a call queued
// behind another thread's channel scan. Last, the simulated board streaming
// into the File writer: its rate, CPU, handles and memory.
//
//   bench_calls [--quick] [--json FILE] [--repeats N] [--cycles N] [--stream-seconds N | --long]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "call_table.h"
#include "cycles_pass.h"
#include "firmware_pass.h"
#include "lock_pass.h"
#include "register_write.h"
#include "report.h"
#include "session.h"
#include "stream_pass.h"

namespace bench {
namespace {

struct Options {
  bool quick = false;
  std::string json;
  int repeats = 21;
  int cycles = 500;
  int streamSeconds = 10;
};

constexpr char kUsage[] =
    "usage: bench_calls [--quick] [--json FILE] [--repeats N] [--cycles N] [--stream-seconds N | --long]\n"
    "  --quick             3 runs per call, 5 load/unload cycles, 2 s of streaming (a check, not a measurement)\n"
    "  --json FILE         also write every figure to FILE\n"
    "  --repeats N         runs per call (default 21)\n"
    "  --cycles N          load/unload cycles (default 500)\n"
    "  --stream-seconds N  how long the board streams (default 10)\n"
    "  --long              stream for 10 minutes: memory and handles over a long recording\n";

bool Positive(const char* text, int* value) {
  char* end = nullptr;
  const long number = std::strtol(text, &end, 10);
  if (!*text || *end || number < 1 || number > 100000) return false;
  *value = static_cast<int>(number);
  return true;
}

bool Parse(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (!std::strcmp(argv[i], "--quick")) {
      options->quick = true;
      options->repeats = 3;
      options->cycles = 5;
      options->streamSeconds = 2;
    } else if (!std::strcmp(argv[i], "--long")) {
      options->streamSeconds = 600;
    } else if (!std::strcmp(argv[i], "--stream-seconds") && hasValue) {
      if (!Positive(argv[++i], &options->streamSeconds)) return false;
    } else if (!std::strcmp(argv[i], "--json") && hasValue) {
      options->json = argv[++i];
    } else if (!std::strcmp(argv[i], "--repeats") && hasValue) {
      if (!Positive(argv[++i], &options->repeats)) return false;
    } else if (!std::strcmp(argv[i], "--cycles") && hasValue) {
      if (!Positive(argv[++i], &options->cycles)) return false;
    } else {
      return false;
    }
  }
  return true;
}

int Failed(const std::string& error) {
  std::fflush(stdout);
  std::fprintf(stderr, "ERROR: %s\n", error.c_str());
  return 1;
}

int Run(const Options& options) {
  Session session;
  std::string error;
  if (!session.Open(&error)) return Failed(error);
  Report report;
  report.quick = options.quick;
  report.repeats = options.repeats;
  std::printf("bench_calls: %d runs per call, %d load/unload cycles%s; absolute times vary by machine\n\n",
              options.repeats, options.cycles, options.quick ? " (quick)" : "");
  if (!MeasureCalls(session, options.repeats, &report.calls, &report.sleeps, &error) ||
      !MeasureFirmware(session, options.repeats, &report.firmware, &error) ||
      !MeasureCycles(session, options.cycles, &report.cycles, &error) ||
      !MeasureLock(session, options.quick ? 3 : 20, &report.lock, &error) ||
      !MeasureStreaming(session, options.streamSeconds, &report.streaming, &error)) {
    return Failed(error);
  }
  report.registerWriteUs = RegisterWriteUs(options.quick ? 5 : 101);
  if (report.registerWriteUs < 0) return Failed("a register write to the in-process board failed");
  PrintReport(report);
  if (!options.json.empty() && !WriteJson(report, options.json)) return Failed("cannot write " + options.json);
  return 0;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  bench::Options options;
  if (!bench::Parse(argc, argv, &options)) {
    std::fprintf(stderr, "%s", bench::kUsage);
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) {
    std::fprintf(stderr, "ERROR: COM could not be initialised\n");
    return 1;
  }
  const int exitCode = bench::Run(options);
  CoUninitialize();
  std::fflush(stdout);
  return exitCode;
}
