#include "options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "module_files.h"

namespace zelkhost {
namespace {

// Whole-string decimal (or 0x-prefixed hex) number within [low, high].
bool ParseNumber(const char* text, long long low, long long high, long long* value) {
  if (!text || !*text) return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text, &end, 0);
  if (errno != 0 || !end || *end != '\0') return false;
  if (parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

struct FlagOption {
  const char* name;
  bool Options::*member;
};

constexpr FlagOption kFlags[] = {
    {"--enhancer", &Options::enhancer}, {"--catv", &Options::catv},
    {"--wide", &Options::wide},         {"--quiet", &Options::quiet},
    {"--verbose", &Options::verbose},   {"--decoder-never-ready", &Options::decoderNeverReady},
    {"--no-board", &Options::noBoard},
};

struct NumberOption {
  const char* name;
  long long low;
  long long high;
  const char* range;  // for the message
  std::optional<int32_t> Options::*member;
};

constexpr const char* kPictureRange = "a 32-bit signed number";
constexpr NumberOption kNumbers[] = {
    {"--input", 0, 2, "0 (composite), 1 (S-video) or 2 (tuner)", &Options::input},
    {"--channel", 1, 113, "1 to 62 (terrestrial) or 1 to 113 (--catv)", &Options::channel},
    {"--tuner-mode", 1, 4, "1 to 4", &Options::tunerMode},
    {"--brightness", INT32_MIN, INT32_MAX, kPictureRange, &Options::brightness},
    {"--contrast", INT32_MIN, INT32_MAX, kPictureRange, &Options::contrast},
    {"--saturation", INT32_MIN, INT32_MAX, kPictureRange, &Options::saturation},
    {"--hue", INT32_MIN, INT32_MAX, kPictureRange, &Options::hue},
    {"--volume", -10000, 0, "-10000 (lowest) to 0 (highest), in 1/100 dB", &Options::volume},
    {"--bitrate", 1, INT32_MAX, "a positive number of bits per second", &Options::bitRate},
    {"--filter-mode", 0, 2, "0, 1 or 2", &Options::filterMode},
    {"--seconds", 1, 86400, "1 to 86400 seconds", &Options::seconds},
    {"--board", 1, 8, "1 to 8, a board of the device list", &Options::board},
};

struct TextOption {
  const char* name;
  std::string Options::*member;
};

constexpr TextOption kTexts[] = {
    {"--firmware", &Options::firmwarePath}, {"--log", &Options::logPath}, {"--timeline", &Options::timelinePath},
    {"--record", &Options::recordPath}};

constexpr uint32_t kProcessingNeedsEnhancer = 0x3;  // 3D Y/C separation, ghost reduction
// A request the board cannot carry out: "A device attached to the system is not functioning".
constexpr HRESULT kDefaultInjectedFailure = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);

// "K" or "K:HRESULT", HRESULT a failure code.
bool ParseFailure(const std::string& text, InjectedFailure* failure) {
  const size_t colon = text.find(':');
  long long request = 0, result = kDefaultInjectedFailure;
  if (!ParseNumber(text.substr(0, colon).c_str(), 1, UINT32_MAX, &request)) return false;
  if (colon != std::string::npos &&
      (!ParseNumber(text.substr(colon + 1).c_str(), 0x80000000LL, 0xFFFFFFFFLL, &result))) {
    return false;
  }
  failure->request = static_cast<uint32_t>(request);
  failure->result = static_cast<HRESULT>(static_cast<uint32_t>(result));
  return true;
}

// 20 hex digits, optionally with spaces, ':' or '-' between the bytes.
bool ParseReport(const std::string& text, std::array<BYTE, 10>* report) {
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits += c;
    } else if (c != ' ' && c != ':' && c != '-') {
      return false;
    }
  }
  if (digits.size() != 2 * report->size()) return false;
  for (size_t i = 0; i < report->size(); ++i)
    (*report)[i] = static_cast<BYTE>(std::strtoul(digits.substr(2 * i, 2).c_str(), nullptr, 16));
  return true;
}

// One option and its value; false with *error when the value is bad.
bool ParseValued(const std::string& arg, const char* value, Options* parsed, std::string* error) {
  const std::string given = value ? value : "";
  for (const TextOption& option : kTexts) {
    if (arg != option.name) continue;
    if (given.empty()) {
      *error = arg + " needs a file name";
      return false;
    }
    parsed->*option.member = given;
    return true;
  }
  const bool known = arg == "--processing" || arg == "--fail-request" || arg == "--status-report" ||
                     std::any_of(std::begin(kNumbers), std::end(kNumbers),
                                 [&](const NumberOption& option) { return arg == option.name; });
  if (!known || !value) {
    *error = known ? arg + " needs a value" : "unknown option " + arg;
    return false;
  }
  long long n = 0;
  for (const NumberOption& option : kNumbers) {
    if (arg != option.name) continue;
    if (!ParseNumber(value, option.low, option.high, &n)) {
      *error = arg + " " + given + ": expected " + option.range;
      return false;
    }
    parsed->*option.member = static_cast<int32_t>(n);
    return true;
  }
  if (arg == "--processing") {
    if (!ParseNumber(value, 0, UINT32_MAX, &n)) {
      *error = arg + " " + given + ": expected a 32-bit unsigned number (bit 0: 3D Y/C separation, bit 1: ghost "
                                   "reduction)";
      return false;
    }
    parsed->processing = static_cast<uint32_t>(n);
  } else if (arg == "--fail-request") {
    InjectedFailure failure;
    if (!ParseFailure(given, &failure)) {
      *error = arg + " " + given + ": expected K or K:HRESULT, K the request number from 1, HRESULT a failure "
                                   "code such as 0x8007001F";
      return false;
    }
    parsed->failRequest = failure;
  } else if (arg == "--status-report") {
    std::array<BYTE, 10> report{};
    if (!ParseReport(given, &report)) {
      *error = arg + " " + given + ": expected the 10 bytes of the report as 20 hex digits";
      return false;
    }
    parsed->statusReport = report;
  }
  return true;
}

// Options that make sense only together, or not together.
bool CheckCombination(const Options& parsed, std::string* error) {
  // The terrestrial plan has 62 channels, the cable plan 113.
  if (parsed.channel && !parsed.catv && *parsed.channel > 62) {
    *error = "--channel " + std::to_string(*parsed.channel) +
             ": the terrestrial plan has channels 1 to 62 (add --catv for cable)";
  } else if (parsed.processing && (*parsed.processing & kProcessingNeedsEnhancer) && !parsed.enhancer) {
    *error = "--processing " + std::to_string(*parsed.processing) +
             ": 3D Y/C separation (bit 0) and ghost reduction (bit 1) need a board with the enhancer unit "
             "(add --enhancer)";
  } else if (parsed.quiet && parsed.verbose) {
    *error = "--quiet and --verbose exclude each other";
  } else if (parsed.noBoard && (parsed.failRequest || parsed.statusReport || parsed.decoderNeverReady)) {
    *error = "--no-board: the module then sends nothing, so the board cannot fail a request or report anything";
  } else if (parsed.seconds && parsed.recordPath.empty()) {
    *error = "--seconds: only with --record FILE.mpg";
  }
  return error->empty();
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error) {
  Options parsed;
  error->clear();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      parsed.help = true;
      continue;
    }
    bool flag = false;
    for (const FlagOption& option : kFlags) {
      if (arg == option.name) parsed.*option.member = flag = true;
    }
    if (flag) continue;
    const char* value = (i + 1 < argc) ? argv[i + 1] : nullptr;
    if (!ParseValued(arg, value, &parsed, error)) return false;
    ++i;
  }
  if (!CheckCombination(parsed, error)) return false;
  *options = parsed;
  return true;
}

bool CheckFiles(const Options& options, std::string* error, std::vector<std::string>* warnings) {
  if (options.firmwarePath.empty()) return true;
  const long long size = FileSize(Widen(options.firmwarePath));
  if (size < 0) {
    *error = "--firmware " + options.firmwarePath + ": no such file";
    return false;
  }
  if (size == 0) {
    warnings->push_back("the firmware file " + options.firmwarePath +
                        " is empty: the module sends it as a 0-byte image");
  }
  return true;
}

const char* UsageText() {
  return "Usage: zelkhost [options]\n"
         "Runs one recording on the capture board through zelkenc.dll and shows the board traffic.\n"
         "\n"
         "The recording:\n"
         "  --enhancer             board with the enhancer unit (board code 4721; default 4096)\n"
         "  --firmware PATH        use PATH as the firmware image instead of MbPciEncoder.rom\n"
         "  --input N              video input: 0 composite, 1 S-video, 2 tuner\n"
         "  --channel N            channel number (1-62 terrestrial, 1-113 with --catv)\n"
         "  --catv                 cable channel plan\n"
         "  --tuner-mode N         tuner mode 1 to 4\n"
         "  --brightness N         picture brightness (default 128)\n"
         "  --contrast N           picture contrast (default 68)\n"
         "  --saturation N         picture saturation (default 64)\n"
         "  --hue N                picture hue (default 0)\n"
         "  --volume N             volume in 1/100 dB, -10000 to 0 (default -2594)\n"
         "  --bitrate N            video bit rate in bits/s, also the peak rate (default 6000000)\n"
         "  --wide                 16:9 aspect (default 4:3)\n"
         "  --processing N         processing flags: bit 0 3D Y/C separation, bit 1 ghost reduction\n"
         "                         (both need --enhancer)\n"
         "  --filter-mode N        filter mode 0, 1 or 2 (default 1)\n"
         "  --board N              bind the encoder to board N of several (1 to 8; without it the\n"
         "                         module takes the first board, as a one-board host does)\n"
         "\n"
         "What is shown and saved:\n"
         "  --quiet                only the phase headings and the summary\n"
         "  --verbose              every request, the start-up register tables row by row\n"
         "  --log FILE             every request as one JSON object per line\n"
         "  --timeline FILE.svg    the phases on a time axis: requests as ticks, waits as bars\n"
         "  --record FILE.mpg      run the graph and write the board's stream to FILE.mpg through the\n"
         "                         system's File writer\n"
         "  --seconds N            how long --record runs the graph (default 5)\n"
         "\n"
         "How the simulated board misbehaves:\n"
         "  --fail-request K[:HR]  the board fails its K-th request (from 1) with HR (default 0x8007001F)\n"
         "  --status-report HEX    the encoder's 10-byte status report, as 20 hex digits\n"
         "  --decoder-never-ready  the video decoder never reports ready\n"
         "  --no-board             no capture board among the video-input devices\n"
         "\n"
         "  --help                 this text\n"
         "\n"
         "Exit code: 0 the recording ran, 1 it failed (the reason on standard error), 2 bad options.\n";
}

}  // namespace zelkhost
