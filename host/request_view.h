// One request of the simulated board's log in a board engineer's terms: the
// property by name, and for the register bus the device, the register and the
// value. The trace, the JSON log and the timeline all read requests this way.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "sim_control.h"

namespace zelkhost {

struct RequestView {
  const SimLogEntry* entry = nullptr;
  ULONG number = 0;                // position in the board's log, from 1
  const char* setName = "other";   // "device" or "input" property set
  std::string property;            // "register", "firmware", ... or "property N"
  bool known = false;              // a property the driver knows

  // Property 89, the register bus.
  bool isRegister = false;
  uint32_t device = 0;
  uint8_t flags = 0;
  uint32_t reg = 0;
  const char* deviceName = nullptr;
  const char* registerName = nullptr;  // null for a register only the start-up tables set
  bool isTunerWrite = false;           // the tuner's frequency write: reg holds band and control

  // A register value, or a 4-byte payload.
  bool hasValue = false;
  uint32_t value = 0;

  bool Failed() const { return FAILED(entry->result); }
  bool IsSet() const { return entry->isSet != FALSE; }
  bool Is(ULONG id) const;  // a property of the device set
  // Payload bytes held in the entry (a long payload holds only its start).
  ULONG InlineBytes() const;
};

RequestView ViewRequest(const SimLogEntry& entry, ULONG number);

// "0x80" for a value that fits a byte, "0x1234" or "0xFFFFFF00" for wider ones.
std::string RegisterValueText(uint32_t value);

// Hex text of the payload held in the entry, "00 02".
std::string PayloadHex(const RequestView& view, const char* separator = " ");

uint32_t ReadLe32(const BYTE* bytes);
uint16_t ReadLe16(const BYTE* bytes);

}  // namespace zelkhost
