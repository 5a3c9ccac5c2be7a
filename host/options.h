// Command-line options of the demo host, and the checks made before anything runs.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelkhost {

// --fail-request K[:HRESULT]: the board fails its K-th request.
struct InjectedFailure {
  uint32_t request = 0;  // 1 = the first request of the run
  HRESULT result = 0;
};

struct Options {
  bool help = false;
  bool enhancer = false;          // board code 4721 instead of 4096
  std::string firmwarePath;       // empty: the firmware beside zelkenc.dll
  std::optional<int32_t> input;   // 0 composite, 1 S-video, 2 tuner
  std::optional<int32_t> channel;
  bool catv = false;
  std::optional<int32_t> tunerMode;
  std::optional<int32_t> brightness;
  std::optional<int32_t> contrast;
  std::optional<int32_t> saturation;
  std::optional<int32_t> hue;
  std::optional<int32_t> volume;
  std::optional<int32_t> bitRate;
  bool wide = false;
  std::optional<uint32_t> processing;
  std::optional<int32_t> filterMode;

  // What is shown and saved.
  bool quiet = false;
  bool verbose = false;
  std::string logPath;       // --log: one JSON object per request
  std::string timelinePath;  // --timeline: SVG picture of the phases
  std::string recordPath;    // --record: the stream through the File writer into this file
  std::optional<int32_t> board;    // --board: which of several boards (1 on); unbound without it
  std::optional<int32_t> seconds;  // --seconds: how long --record runs the graph

  // How the simulated board misbehaves.
  std::optional<InjectedFailure> failRequest;
  std::optional<std::array<BYTE, 10>> statusReport;
  bool decoderNeverReady = false;
  bool noBoard = false;

  bool AnyPicture() const { return brightness || contrast || saturation || hue; }
  bool AnyVideoSettings() const { return bitRate.has_value() || wide; }
  bool AnyProcessing() const { return processing || filterMode; }
  bool AnyStored() const {
    return input || AnyVideoSettings() || channel || tunerMode || volume || AnyPicture();
  }
};

// Parses argv[1..]. On a bad option or value, or options that contradict each
// other, returns false and puts the reason in *error.
bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error);

// Checks what the options name on disk: the firmware file must exist (an
// empty one only earns a warning). Returns false with *error otherwise.
bool CheckFiles(const Options& options, std::string* error, std::vector<std::string>* warnings);

const char* UsageText();

}  // namespace zelkhost
