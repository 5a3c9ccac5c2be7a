#include "request_log.h"

#include <cstdio>
#include <cstring>

namespace zelk::sim {
namespace {

// {F766A10B-2D29-420F-A07F-11FFD3C98068} and {A2713CE2-056E-4FBE-9436-7D6D73D1FDA3}.
constexpr GUID kDeviceSet = {0xf766a10b, 0x2d29, 0x420f, {0xa0, 0x7f, 0x11, 0xff, 0xd3, 0xc9, 0x80, 0x68}};
constexpr GUID kInputSet = {0xa2713ce2, 0x056e, 0x4fbe, {0x94, 0x36, 0x7d, 0x6d, 0x73, 0xd1, 0xfd, 0xa3}};

std::string SetName(const GUID& set) {
  if (std::memcmp(&set, &kDeviceSet, sizeof set) == 0) return "dev";
  if (std::memcmp(&set, &kInputSet, sizeof set) == 0) return "inp";
  char text[48];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(set.Data1), set.Data2, set.Data3, set.Data4[0], set.Data4[1],
                set.Data4[2], set.Data4[3], set.Data4[4], set.Data4[5], set.Data4[6], set.Data4[7]);
  return text;
}

std::string Payload(const std::vector<uint8_t>& data) {
  if (data.size() <= 48) return HexBytes(data.data(), data.size());
  return HexBytes(data.data(), 16) + " ... (" + std::to_string(data.size()) + " bytes)";
}

}  // namespace

std::string HexBytes(const uint8_t* bytes, size_t count) {
  std::string text;
  char byte[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", bytes[i]);
    text += byte;
  }
  return text;
}

std::string Describe(const LoggedRequest& request) {
  std::string line = request.isSet ? "S " : "G ";
  line += SetName(request.set) + " " + std::to_string(request.id);
  line += " [" + HexBytes(request.instance.data(), request.instance.size()) + "]";
  line += " [" + Payload(request.data) + "]";
  if (FAILED(request.result)) {
    char code[24];
    std::snprintf(code, sizeof code, " -> 0x%08lX", static_cast<unsigned long>(request.result));
    line += code;
  }
  return line;
}

std::vector<std::string> Describe(const std::vector<LoggedRequest>& log) {
  std::vector<std::string> lines;
  lines.reserve(log.size());
  for (const LoggedRequest& request : log) lines.push_back(Describe(request));
  return lines;
}

}  // namespace zelk::sim
