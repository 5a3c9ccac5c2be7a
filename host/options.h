// Command-line options of the demo host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zelkhost {

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

  bool AnyPicture() const { return brightness || contrast || saturation || hue; }
  bool AnyVideoSettings() const { return bitRate.has_value() || wide; }
  bool AnyProcessing() const { return processing || filterMode; }
};

// Parses argv[1..]. On a bad option or value returns false and puts the reason
// in *error.
bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error);

const char* UsageText();

}  // namespace zelkhost
