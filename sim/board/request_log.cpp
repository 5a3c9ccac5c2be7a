#include "request_log.h"

#include <cstdio>

#include "board_protocol.h"

namespace zelk::sim {
namespace {

std::string SetName(const GUID& set) {
  if (IsEqualGUID(set, board::kDevicePropertySet)) return "dev";
  if (IsEqualGUID(set, board::kInputPropertySet)) return "inp";
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
