#include "json_log.h"

#include <string>

#include "report.h"
#include "request_view.h"

namespace zelkhost {
namespace {

constexpr ULONG kPayloadStartBytes = 16;

// Phase and property names are ASCII.
std::string Quoted(const std::string& text) { return zelktext::JsonString(text); }

std::string Line(const RequestView& view, const char* phase) {
  const SimLogEntry& entry = *view.entry;
  std::string line = Format("{\"n\":%lu,\"phase\":%s,\"time_us\":%lld,\"request\":\"%s\",\"set\":\"%s\",\"id\":%lu,"
                            "\"property\":%s,\"bytes\":%lu",
                            view.number, Quoted(phase).c_str(), static_cast<long long>(entry.timeUs),
                            view.IsSet() ? "Set" : "Get", view.setName, entry.id, Quoted(view.property).c_str(),
                            entry.dataSize);
  if (view.isRegister) {
    line += Format(",\"device\":%u", view.device);
    if (view.deviceName) line += ",\"device_name\":" + Quoted(view.deviceName);
    line += Format(",\"flags\":%u", view.flags);
    if (view.isTunerWrite) {
      line += Format(",\"band\":%u,\"control\":%u", view.reg & 0xFF, (view.reg >> 8) & 0xFF);
      if (view.hasValue) line += Format(",\"divider\":%u", view.value);
    } else {
      line += Format(",\"register\":%u", view.reg);
      if (view.registerName) line += ",\"register_name\":" + Quoted(view.registerName);
      if (view.hasValue) line += Format(",\"value\":%u", view.value);
    }
  } else if (view.hasValue) {
    line += Format(",\"value\":%u", view.value);
  } else if (entry.dataSize > 0) {
    const bool whole = entry.dataSize == view.InlineBytes();
    std::string hex = PayloadHex(view, "");
    if (!whole) hex.resize(2 * kPayloadStartBytes);
    line += Format(",\"%s\":\"%s\"", whole ? "payload" : "payload_start", hex.c_str());
  }
  return line + Format(",\"result\":\"0x%08lX\",\"ok\":%s}\n", static_cast<unsigned long>(entry.result),
                       SUCCEEDED(entry.result) ? "true" : "false");
}

}  // namespace

bool WriteJsonLog(std::FILE* file, const BoardLog& log) {
  for (const PhaseRecord& phase : log.Phases()) {
    for (size_t i = 0; i < phase.requests.size(); ++i) {
      const RequestView view = ViewRequest(phase.requests[i], phase.firstNumber + static_cast<ULONG>(i));
      if (std::fputs(Line(view, phase.kind->heading).c_str(), file) < 0) return false;
    }
  }
  return std::fflush(file) == 0;
}

}  // namespace zelkhost
