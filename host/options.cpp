#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zelkhost {

namespace {

// Whole-string decimal (or 0x-prefixed hex) number within [low, high].
bool ParseNumber(const char* text, long long low, long long high, long long* value) {
  if (!text || !*text) return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(text, &end, 0);
  if (errno != 0 || !end || *end != '\0') return false;
  if (parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

struct NumericOption {
  long long low;
  long long high;
  const char* range;  // for the message
};

constexpr NumericOption kInput{0, 2, "0 (composite), 1 (S-video) or 2 (tuner)"};
constexpr NumericOption kChannel{1, 113, "1 to 62 (terrestrial) or 1 to 113 (--catv)"};
constexpr NumericOption kTunerMode{1, 4, "1 to 4"};
constexpr NumericOption kPicture{INT32_MIN, INT32_MAX, "a 32-bit signed number"};
constexpr NumericOption kVolume{-10000, 0, "-10000 (lowest) to 0 (highest), in 1/100 dB"};
constexpr NumericOption kBitRate{1, INT32_MAX, "a positive number of bits per second"};
constexpr NumericOption kProcessing{0, UINT32_MAX,
                                    "a 32-bit unsigned number (bit 0: 3D Y/C separation, bit 1: ghost reduction)"};
constexpr NumericOption kFilterMode{0, 2, "0, 1 or 2"};

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error) {
  Options parsed;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      parsed.help = true;
      continue;
    }
    if (arg == "--enhancer") {
      parsed.enhancer = true;
      continue;
    }
    if (arg == "--catv") {
      parsed.catv = true;
      continue;
    }
    if (arg == "--wide") {
      parsed.wide = true;
      continue;
    }

    // Every other option takes one value.
    const char* value = (i + 1 < argc) ? argv[i + 1] : nullptr;
    auto number = [&](const NumericOption& rule, long long* out) {
      if (!value) {
        *error = arg + " needs a value";
        return false;
      }
      if (!ParseNumber(value, rule.low, rule.high, out)) {
        *error = arg + " " + value + ": expected " + rule.range;
        return false;
      }
      ++i;
      return true;
    };
    long long n = 0;
    if (arg == "--firmware") {
      if (!value || !*value) {
        *error = "--firmware needs a file name";
        return false;
      }
      parsed.firmwarePath = value;
      ++i;
    } else if (arg == "--input") {
      if (!number(kInput, &n)) return false;
      parsed.input = static_cast<int32_t>(n);
    } else if (arg == "--channel") {
      if (!number(kChannel, &n)) return false;
      parsed.channel = static_cast<int32_t>(n);
    } else if (arg == "--tuner-mode") {
      if (!number(kTunerMode, &n)) return false;
      parsed.tunerMode = static_cast<int32_t>(n);
    } else if (arg == "--brightness") {
      if (!number(kPicture, &n)) return false;
      parsed.brightness = static_cast<int32_t>(n);
    } else if (arg == "--contrast") {
      if (!number(kPicture, &n)) return false;
      parsed.contrast = static_cast<int32_t>(n);
    } else if (arg == "--saturation") {
      if (!number(kPicture, &n)) return false;
      parsed.saturation = static_cast<int32_t>(n);
    } else if (arg == "--hue") {
      if (!number(kPicture, &n)) return false;
      parsed.hue = static_cast<int32_t>(n);
    } else if (arg == "--volume") {
      if (!number(kVolume, &n)) return false;
      parsed.volume = static_cast<int32_t>(n);
    } else if (arg == "--bitrate") {
      if (!number(kBitRate, &n)) return false;
      parsed.bitRate = static_cast<int32_t>(n);
    } else if (arg == "--processing") {
      if (!number(kProcessing, &n)) return false;
      parsed.processing = static_cast<uint32_t>(n);
    } else if (arg == "--filter-mode") {
      if (!number(kFilterMode, &n)) return false;
      parsed.filterMode = static_cast<int32_t>(n);
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  // The terrestrial plan has 62 channels, the cable plan 113.
  if (parsed.channel && !parsed.catv && *parsed.channel > 62) {
    *error = "--channel " + std::to_string(*parsed.channel) + ": the terrestrial plan has channels 1 to 62 (add --catv for cable)";
    return false;
  }
  *options = parsed;
  return true;
}

const char* UsageText() {
  return "Usage: zelkhost [options]\n"
         "Runs one recording on the capture board through zelkenc.dll and shows the board traffic.\n"
         "\n"
         "  --enhancer           board with the enhancer unit (board code 4721; default 4096)\n"
         "  --firmware PATH      use PATH as the firmware image instead of MbPciEncoder.rom\n"
         "  --input N            video input: 0 composite, 1 S-video, 2 tuner\n"
         "  --channel N          channel number (1-62 terrestrial, 1-113 with --catv)\n"
         "  --catv               cable channel plan\n"
         "  --tuner-mode N       tuner mode 1 to 4\n"
         "  --brightness N       picture brightness (default 128)\n"
         "  --contrast N         picture contrast (default 68)\n"
         "  --saturation N       picture saturation (default 64)\n"
         "  --hue N              picture hue (default 0)\n"
         "  --volume N           volume in 1/100 dB, -10000 to 0 (default -2594)\n"
         "  --bitrate N          video bit rate in bits/s, also the peak rate (default 6000000)\n"
         "  --wide               16:9 aspect (default 4:3)\n"
         "  --processing N       processing flags: bit 0 3D Y/C separation, bit 1 ghost reduction\n"
         "                       (both need --enhancer)\n"
         "  --filter-mode N      filter mode 0, 1 or 2 (default 1)\n"
         "  --help               this text\n"
         "\n"
         "Exit code: 0 success, 1 failure, 2 bad options.\n";
}

}  // namespace zelkhost
