#include "board_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zelkhost {

namespace {

// {F766A10B-2D29-420F-A07F-11FFD3C98068}: the encoder board's own properties.
constexpr GUID kDeviceSet = {0xf766a10b, 0x2d29, 0x420f, {0xa0, 0x7f, 0x11, 0xff, 0xd3, 0xc9, 0x80, 0x68}};
// {A2713CE2-056E-4FBE-9436-7D6D73D1FDA3}: input routing.
constexpr GUID kInputSet = {0xa2713ce2, 0x056e, 0x4fbe, {0x94, 0x36, 0x7d, 0x6d, 0x73, 0xd1, 0xfd, 0xa3}};

constexpr ULONG kInputRouting = 14;
constexpr ULONG kRegister = 89;
constexpr ULONG kFirmware = 91;
constexpr ULONG kDeviceInfo = 90;

constexpr unsigned kWaitThresholdMs = 5;

const char* PropertyName(const GUID& set, ULONG id) {
  if (IsEqualGUID(set, kInputSet)) return id == kInputRouting ? "input routing" : nullptr;
  if (!IsEqualGUID(set, kDeviceSet)) return nullptr;
  switch (id) {
    case 27: return "video format";
    case 28: return "aspect";
    case 41: return "filter mode";
    case 44: return "peak rate";
    case 45: return "rate";
    case 88: return "parameter block";
    case 89: return "register";
    case 90: return "device info";
    case 91: return "firmware";
    case 93: return "status";
    case 94: return "input notify";
    case 99: return "control record";
    default: return nullptr;
  }
}

const char* DeviceName(uint32_t device) {
  switch (device) {
    case 0x12: return "ghost reducer";
    case 0x1B: return "volume";
    case 0x21: return "decoder";
    case 0x5B: return "tuner companion";
    case 0x5C: return "Y/C separator";
    case 0x60: return "tuner";
    default: return "unknown";
  }
}

uint32_t ReadLe32(const BYTE* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

// Bytes of the payload held inline.
ULONG InlineData(const SimLogEntry& entry) {
  return entry.dataSize < ZELK_SIM_LOG_DATA_MAX ? entry.dataSize : ZELK_SIM_LOG_DATA_MAX;
}

std::string HexBytes(const SimLogEntry& entry) {
  std::string text;
  const ULONG n = InlineData(entry);
  for (ULONG i = 0; i < n; ++i) text += Format(i ? " %02X" : "%02X", entry.data[i]);
  return text;
}

// A 36-byte record of nine 32-bit fields.
std::string Fields32(const SimLogEntry& entry) {
  std::string text;
  const ULONG n = InlineData(entry) / 4;
  for (ULONG i = 0; i < n; ++i) text += Format(i ? ",%u" : "%u", ReadLe32(entry.data + 4 * i));
  return text;
}

}  // namespace

RequestRow DescribeRequest(const SimLogEntry& entry, unsigned long* firmwareBytes) {
  RequestRow row;
  *firmwareBytes = 0;
  row.request = entry.isSet ? "Set" : "Get";
  const char* name = PropertyName(entry.set, entry.id);
  row.property = name ? name : Format("property %lu", entry.id);
  const ULONG dataBytes = InlineData(entry);

  if (IsEqualGUID(entry.set, kDeviceSet) && entry.id == kFirmware) {
    // An 8-byte header (image length, 1) before the image.
    unsigned long image = entry.dataSize >= 8 ? entry.dataSize - 8 : entry.dataSize;
    *firmwareBytes = image;
    row.value = Format("%lu bytes", image);
  } else if (IsEqualGUID(entry.set, kDeviceSet) && entry.id == kRegister && entry.instanceSize >= 9) {
    const uint32_t device = ReadLe32(entry.instance);
    const BYTE flags = entry.instance[4];
    const uint32_t reg = ReadLe32(entry.instance + 5);
    row.device = Format("0x%02X %s", device, DeviceName(device));
    row.reg = Format("0x%02X", reg);
    if (flags & ~1u) row.reg += Format(" (flags 0x%02X)", flags);
    if (dataBytes >= 4) {
      const uint32_t value = ReadLe32(entry.data);
      row.value = Format("0x%08X", value);
      if (device == 0x60) row.value += Format(" (%u)", value);  // the tuner's divider
    }
  } else if (IsEqualGUID(entry.set, kDeviceSet) && entry.id == kDeviceInfo && dataBytes >= 4) {
    row.value = Format("board code %u", ReadLe32(entry.data));
  } else if (IsEqualGUID(entry.set, kDeviceSet) && entry.id == 88) {
    row.value = Format("%lu bytes", entry.dataSize);
  } else if (IsEqualGUID(entry.set, kDeviceSet) && entry.id == 99) {
    row.value = Fields32(entry);
  } else if (dataBytes == 4) {
    row.value = Format("%u", ReadLe32(entry.data));
  } else {
    row.value = HexBytes(entry);
  }
  if (FAILED(entry.result)) {
    row.value += Format(" -> failed 0x%08lX", static_cast<unsigned long>(entry.result));
  }
  return row;
}

unsigned long BoardLog::Count() const {
  ULONG count = 0;
  if (!board_ || FAILED(board_->GetLogCount(&count))) return 0;
  return count;
}

void BoardLog::PrintPhase(const char* heading) {
  std::printf("\n== %s\n", heading);
  if (!board_) {
    std::printf("   (board traffic not available without the simulated board)\n");
    return;
  }
  const unsigned long count = Count();
  std::vector<SimLogEntry> entries;
  for (unsigned long i = printed_; i < count; ++i) {
    SimLogEntry entry{};
    if (FAILED(board_->GetLogEntry(i, &entry))) break;
    entries.push_back(entry);
  }
  printed_ += static_cast<unsigned long>(entries.size());
  if (entries.empty()) {
    std::printf("   (no requests)\n");
    return;
  }
  std::printf("   %4s  %-3s  %-15s  %-20s  %-20s  %-24s  %s\n", "#", "req", "property", "device", "register",
              "value", "wait");
  for (size_t i = 0; i < entries.size(); ++i) {
    unsigned long firmware = 0;
    const RequestRow row = DescribeRequest(entries[i], &firmware);
    firmwareBytes_ += firmware;
    std::string wait;
    if (i + 1 < entries.size()) {
      const LONGLONG gapMs = (entries[i + 1].timeUs - entries[i].timeUs) / 1000;
      if (gapMs >= kWaitThresholdMs) wait = Format("%lld ms", static_cast<long long>(gapMs));
    }
    std::printf("   %4lu  %-3s  %-15s  %-20s  %-20s  %-24s  %s\n",
                static_cast<unsigned long>(printed_ - entries.size() + i + 1), row.request.c_str(),
                row.property.c_str(), row.device.c_str(), row.reg.c_str(), row.value.c_str(), wait.c_str());
  }
}

}  // namespace zelkhost
