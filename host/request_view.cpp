#include "request_view.h"

#include "board_protocol.h"
#include "report.h"

namespace zelkhost {

namespace board = zelk::board;

uint32_t ReadLe32(const BYTE* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

uint16_t ReadLe16(const BYTE* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

bool RequestView::Is(ULONG id) const {
  return IsEqualGUID(entry->set, board::kDevicePropertySet) && entry->id == id;
}

ULONG RequestView::InlineBytes() const {
  return entry->dataSize < ZELK_SIM_LOG_DATA_MAX ? entry->dataSize : ZELK_SIM_LOG_DATA_MAX;
}

RequestView ViewRequest(const SimLogEntry& entry, ULONG number) {
  RequestView view;
  view.entry = &entry;
  view.number = number;
  if (IsEqualGUID(entry.set, board::kDevicePropertySet)) view.setName = "device";
  if (IsEqualGUID(entry.set, board::kInputPropertySet)) view.setName = "input";
  const board::PropertyInfo* info = board::FindProperty(entry.set, entry.id);
  view.known = info != nullptr;
  view.property = info ? info->name : Format("property %lu", entry.id);

  if (view.Is(board::kPropRegisterAccess) && entry.instanceSize >= sizeof(board::RegisterAccessInstance)) {
    view.isRegister = true;
    view.device = ReadLe32(entry.instance);
    view.flags = entry.instance[4];
    view.reg = ReadLe32(entry.instance + 5);
    view.deviceName = board::DeviceName(view.device);
    view.isTunerWrite = view.device == board::kDevTuner && view.flags == board::kAccessTunerFrequency;
    if (!view.isTunerWrite) view.registerName = board::RegisterName(view.device, view.reg);
  }
  if (view.InlineBytes() == 4) {
    view.hasValue = true;
    view.value = ReadLe32(entry.data);
  }
  return view;
}

std::string RegisterValueText(uint32_t value) {
  if (value <= 0xFF) return Format("0x%02X", value);
  if (value <= 0xFFFF) return Format("0x%04X", value);
  return Format("0x%08X", value);
}

std::string PayloadHex(const RequestView& view, const char* separator) {
  std::string text;
  for (ULONG i = 0; i < view.InlineBytes(); ++i) text += Format(i ? "%s%02X" : "%.0s%02X", separator, view.entry->data[i]);
  return text;
}

}  // namespace zelkhost
