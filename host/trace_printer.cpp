#include "trace_printer.h"

#include <utility>
#include <vector>

#include "board_protocol.h"
#include "report.h"
#include "request_view.h"

namespace zelkhost {
namespace {

namespace board = zelk::board;

constexpr const char* kRowFormat = "   %7s  %-3s  %-15s  %-20s  %-18s  %-36s %s\n";
// A folded table: its summary spans the device, register and value columns.
constexpr const char* kFoldFormat = "   %7s  %-3s  %-15s  %-78s %s\n";

std::string Ms(LONGLONG us) { return Format("%lld ms", static_cast<long long>((us + 500) / 1000)); }

// A run of the start-up register tables: the register writes right after the
// control record, one run per table (the enhancer unit's devices have their own).
struct TableRun {
  size_t first = 0;
  size_t rows = 0;
  bool enhancer = false;
  bool endsInFailure = false;
  // Of the rows that succeeded: device and rows, in order; the waits after them.
  std::vector<std::pair<uint32_t, unsigned>> devices;
  LONGLONG waitUs = 0;
  const char* Name() const { return enhancer ? "enhancer table" : "start-up table"; }
};

bool IsEnhancerDevice(uint32_t device) {
  for (const board::DeviceInfo& info : board::kDevices)
    if (info.device == device) return info.enhancerUnit;
  return false;
}

std::vector<TableRun> SetUpTables(const PhaseRecord& phase) {
  std::vector<TableRun> runs;
  if (!phase.kind->holdsSetUpTables) return runs;
  size_t i = 0;
  while (i < phase.requests.size() && !ViewRequest(phase.requests[i], 0).Is(board::kPropControlRecord)) ++i;
  for (++i; i < phase.requests.size(); ++i) {
    const RequestView view = ViewRequest(phase.requests[i], 0);
    if (!view.isRegister || !view.IsSet() || view.isTunerWrite) break;
    const bool enhancer = IsEnhancerDevice(view.device);
    if (runs.empty() || runs.back().enhancer != enhancer) {
      runs.emplace_back();
      runs.back().first = i;
      runs.back().enhancer = enhancer;
    }
    TableRun& run = runs.back();
    ++run.rows;
    if (view.Failed()) {  // the last row: it is shown on its own
      run.endsInFailure = true;
      break;
    }
    run.waitUs += WaitAfterUs(phase, i);
    if (run.devices.empty() || run.devices.back().first != view.device) run.devices.emplace_back(view.device, 0);
    ++run.devices.back().second;
  }
  return runs;
}

const char* AspectName(uint32_t code) { return code == 2 ? "4:3" : code == 3 ? "16:9" : "unknown"; }

std::string DeviceText(const RequestView& view) {
  if (!view.isRegister) return {};
  return Format("0x%02X %s", view.device, view.deviceName ? view.deviceName : "unknown device");
}

std::string RegisterText(const RequestView& view) {
  if (!view.isRegister) return {};
  if (view.isTunerWrite) return "frequency";
  std::string text = Format("0x%02X", view.reg);
  if (view.registerName) text += Format(" %s", view.registerName);
  const uint8_t expected = view.IsSet() ? board::kAccessWrite : board::kAccessRead;
  if (view.flags != expected) text += Format(" (flags 0x%02X)", view.flags);
  return text;
}

std::string TunerText(const RequestView& view) {
  const unsigned band = view.reg & 0xFF;
  const char* bandName = band == board::kTunerBandLow ? " low" : band == board::kTunerBandHigh ? " high" : "";
  return Format("divider %u, band 0x%02X%s, control 0x%02X", view.value, band, bandName, (view.reg >> 8) & 0xFF);
}

// Nine fields; the aspect code by name, a tail of equal fields folded.
std::string ControlRecordText(const RequestView& view) {
  if (view.InlineBytes() < 4 * board::kControlRecordFields) return PayloadHex(view);
  uint32_t fields[board::kControlRecordFields];
  for (size_t i = 0; i < board::kControlRecordFields; ++i) fields[i] = ReadLe32(view.entry->data + 4 * i);
  size_t tail = board::kControlRecordFields;
  while (tail > board::kControlRecordAspectField + 2 && fields[tail - 2] == fields[board::kControlRecordFields - 1])
    --tail;
  std::string text;
  for (size_t i = 0; i < tail - 1; ++i) {
    text += i == board::kControlRecordAspectField ? Format("aspect %u (%s), ", fields[i], AspectName(fields[i]))
                                                  : Format("f%zu %u, ", i, fields[i]);
  }
  const size_t last = board::kControlRecordFields - 1;
  return text + (tail - 1 == last ? Format("f%zu %u", last, fields[last])
                                  : Format("f%zu-f%zu %u", tail - 1, last, fields[last]));
}

std::string StatusReportText(const RequestView& view) {
  if (view.InlineBytes() < sizeof(board::EncoderStatusReport)) return PayloadHex(view);
  const BYTE* data = view.entry->data;
  const uint32_t value = ReadLe32(data);
  const uint16_t word = ReadLe16(data + 6), detail = ReadLe16(data + 8);
  if (!value && !data[4] && !data[5] && !word && !detail) return "no error";
  return Format("error value 0x%08X, flags 0x%02X 0x%02X, word 0x%04X, detail 0x%04X", value, data[4], data[5], word,
                detail);
}

std::string ValueText(const RequestView& view) {
  std::string text;
  const ULONG bytes = view.entry->dataSize;
  if (view.Is(board::kPropFirmware)) {
    text = bytes >= board::kFirmwareHeaderSize ? Format("%lu-byte image", bytes - board::kFirmwareHeaderSize)
                                               : Format("%lu bytes, no header", bytes);
  } else if (view.isTunerWrite && view.hasValue) {
    text = TunerText(view);
  } else if (view.isRegister) {
    text = view.hasValue ? RegisterValueText(view.value) : "";
  } else if (view.Is(board::kPropDeviceInfo) && view.InlineBytes() >= 4) {
    const uint32_t code = ReadLe32(view.entry->data);
    text = Format("board code %u (%s)", code, board::HasEnhancerUnit(code) ? "enhancer unit fitted" : "no enhancer unit");
  } else if (view.Is(board::kPropParameterBlock)) {
    text = Format("%lu bytes", bytes);
  } else if (view.Is(board::kPropControlRecord)) {
    text = ControlRecordText(view);
  } else if (view.Is(board::kPropEncoderStatus)) {
    text = view.InlineBytes() ? StatusReportText(view) : "";
  } else if (view.Is(board::kPropInputNotify) && view.InlineBytes() == 2) {
    text = PayloadHex(view) + (view.entry->data[0] ? " (tuner selected)" : " (tuner not selected)");
  } else if ((view.Is(board::kPropPeakBitRate) || view.Is(board::kPropBitRate)) && view.hasValue) {
    text = Format("%u (%.2f Mbit/s)", view.value, view.value / 1024.0);  // unit: 1/1024 Mbit/s
  } else if (view.Is(board::kPropAspect) && view.hasValue) {
    text = Format("%u (%s)", view.value, AspectName(view.value));
  } else if (view.hasValue) {
    text = Format("%u", view.value);
  } else {
    text = PayloadHex(view);
  }
  if (view.Failed()) text += Format("%sfailed 0x%08lX", text.empty() ? "" : " -> ", static_cast<unsigned long>(view.entry->result));
  return text;
}

void PrintRow(const PhaseRecord& phase, size_t i) {
  const RequestView view = ViewRequest(phase.requests[i], phase.firstNumber + static_cast<ULONG>(i));
  const LONGLONG wait = WaitAfterUs(phase, i);
  Always(kRowFormat, std::to_string(view.number).c_str(), view.IsSet() ? "Set" : "Get", view.property.c_str(),
         DeviceText(view).c_str(), RegisterText(view).c_str(), ValueText(view).c_str(), wait ? Ms(wait).c_str() : "");
}

// One line for the rows of a table that succeeded; a failed row follows in full.
void PrintFolded(const PhaseRecord& phase, const TableRun& run) {
  const size_t rows = run.rows - (run.endsInFailure ? 1 : 0);
  if (rows == 0) return;
  std::string text = Format("%s, %zu writes:", run.Name(), rows);
  for (const auto& [device, count] : run.devices) {
    const char* name = board::DeviceName(device);
    text += Format("%s %s %u", text.back() == ':' ? "" : ",", name ? name : "device", count);
  }
  const ULONG first = phase.firstNumber + static_cast<ULONG>(run.first);
  Always(kFoldFormat, Format("%lu-%lu", first, first + static_cast<ULONG>(rows) - 1).c_str(), "Set", "register",
         text.c_str(), run.waitUs ? Ms(run.waitUs).c_str() : "");
}

std::string Heading(const PhaseRecord& phase) {
  const size_t count = phase.requests.size();
  size_t failed = 0;
  LONGLONG waits = 0;
  for (size_t i = 0; i < count; ++i) {
    failed += FAILED(phase.requests[i].result) ? 1 : 0;
    waits += WaitAfterUs(phase, i);
  }
  std::string text = count == 0 ? "no requests" : Format("%zu request%s", count, count == 1 ? "" : "s");
  if (failed) text += Format(" (%zu failed)", failed);
  text += ", " + Ms(phase.endUs - phase.startUs);
  if (waits) text += ", waits " + Ms(waits);
  return Format("== %s: %s", phase.kind->heading, text.c_str());
}

}  // namespace

void PrintPhase(const PhaseRecord& phase, Detail detail) {
  Always(detail == Detail::Quiet ? "%s\n" : "\n%s\n", Heading(phase).c_str());
  if (detail == Detail::Quiet) return;
  if (phase.requests.empty()) {
    Always("   nothing sent: %s\n", phase.kind->idleReason);
    return;
  }
  Always(kRowFormat, "#", "req", "property", "device", "register", "value", "wait");
  const std::vector<TableRun> runs = detail == Detail::Verbose ? std::vector<TableRun>() : SetUpTables(phase);
  size_t nextRun = 0;
  for (size_t i = 0; i < phase.requests.size(); ++i) {
    if (nextRun < runs.size() && runs[nextRun].first == i) {
      const TableRun& run = runs[nextRun++];
      PrintFolded(phase, run);
      i += run.rows - 1;
      if (!run.endsInFailure) continue;
    }
    PrintRow(phase, i);
  }
}

std::string FailurePoint(const PhaseRecord& phase) {
  for (size_t i = 0; i < phase.requests.size(); ++i) {
    if (SUCCEEDED(phase.requests[i].result)) continue;
    const RequestView view = ViewRequest(phase.requests[i], phase.firstNumber + static_cast<ULONG>(i));
    std::string text = Format("request %lu (%s %s", view.number, view.IsSet() ? "Set" : "Get", view.property.c_str());
    if (view.isRegister) text += " " + DeviceText(view) + " " + RegisterText(view);
    if (view.IsSet() && view.InlineBytes()) {
      const std::string value = ValueText(view);
      text += " " + value.substr(0, value.find(" -> "));
    }
    for (const TableRun& run : SetUpTables(phase)) {
      if (i >= run.first && i < run.first + run.rows) text += Format(", %s index %zu", run.Name(), i - run.first);
    }
    return text + Format("), which the board failed with 0x%08lX", static_cast<unsigned long>(view.entry->result));
  }
  return {};
}

}  // namespace zelkhost
