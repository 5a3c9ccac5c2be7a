// The board's property protocol as its driver sees it: the two property sets,
// every property ID with its direction and sizes, the devices on the
// register bus and the names of the registers the module uses. One copy for
// everything outside the module: the simulator, the demo host, the doctor and
// the tests. The module keeps its own copy on purpose, so that a wrong value on
// one side is caught by comparing the two.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace zelk::board {

// The encoder board's own properties, {F766A10B-2D29-420F-A07F-11FFD3C98068}, and
// the input routing property, {A2713CE2-056E-4FBE-9436-7D6D73D1FDA3}.
constexpr GUID kDevicePropertySet = {0xf766a10b, 0x2d29, 0x420f, {0xa0, 0x7f, 0x11, 0xff, 0xd3, 0xc9, 0x80, 0x68}};
constexpr GUID kInputPropertySet = {0xa2713ce2, 0x056e, 0x4fbe, {0x94, 0x36, 0x7d, 0x6d, 0x73, 0xd1, 0xfd, 0xa3}};

// Property IDs of the device set (kProperties below gives each its name, direction and sizes).
enum DeviceProperty : ULONG {
  kPropVideoFormat = 27, kPropAspect = 28, kPropFilterMode = 41, kPropPeakBitRate = 44, kPropBitRate = 45,
  kPropParameterBlock = 88, kPropRegisterAccess = 89, kPropDeviceInfo = 90, kPropFirmware = 91,
  kPropEncoderStatus = 93, kPropInputNotify = 94, kPropControlRecord = 99,
};
// Property ID of the input set.
inline constexpr ULONG kPropInputRouting = 14;

inline constexpr ULONG kAnySize = 0xFFFFFFFF;  // the firmware: checked against its own header

// One property as the driver accepts it.
struct PropertyInfo {
  bool inputSet;       // false: the device set
  ULONG id;
  const char* name;    // what a board engineer calls it
  bool get;
  bool set;
  ULONG instanceSize;
  ULONG payloadSize;   // Set: exact; Get: at least (the driver fills this many)
  bool needsFirmware;  // the encoder chip answers only once its firmware runs
};

inline constexpr PropertyInfo kProperties[] = {
    {false, kPropVideoFormat, "video format", false, true, 0, 4, true},
    {false, kPropAspect, "aspect", false, true, 0, 4, true},
    {false, kPropFilterMode, "filter mode", false, true, 0, 4, false},
    {false, kPropPeakBitRate, "peak bit rate", false, true, 0, 4, true},
    {false, kPropBitRate, "bit rate", false, true, 0, 4, true},
    {false, kPropParameterBlock, "parameter block", false, true, 0, 341, true},
    {false, kPropRegisterAccess, "register", true, true, 9, 4, false},
    {false, kPropDeviceInfo, "device info", true, false, 0, 30, false},
    {false, kPropFirmware, "firmware", false, true, 0, kAnySize, false},
    {false, kPropEncoderStatus, "status", true, false, 0, 10, true},
    {false, kPropInputNotify, "input notify", false, true, 0, 2, false},
    {false, kPropControlRecord, "control record", false, true, 0, 36, true},
    {true, kPropInputRouting, "input routing", false, true, 0, 4, false},
};

// Whether the driver knows the property set at all.
inline bool IsPropertySet(const GUID& set) {
  return IsEqualGUID(set, kDevicePropertySet) || IsEqualGUID(set, kInputPropertySet);
}

// The property of a set, or null when the driver does not know it.
inline const PropertyInfo* FindProperty(const GUID& set, ULONG id) {
  if (!IsPropertySet(set)) return nullptr;
  const bool inputSet = IsEqualGUID(set, kInputPropertySet);
  for (const PropertyInfo& property : kProperties)
    if (property.inputSet == inputSet && property.id == id) return &property;
  return nullptr;
}

// Devices on the board's register bus (the device address of property 89).
enum Device : uint32_t {
  kDevGhostReducer = 0x12, kDevVolume = 0x1B, kDevDecoder = 0x21,
  kDevTunerCompanion = 0x5B, kDevYcSeparator = 0x5C, kDevTuner = 0x60,
};

struct DeviceInfo {
  Device device;
  const char* name;
  bool enhancerUnit;  // fitted only on the boards with the enhancer unit
};

inline constexpr DeviceInfo kDevices[] = {
    {kDevGhostReducer, "ghost reducer", true}, {kDevVolume, "volume", false},
    {kDevDecoder, "decoder", false},           {kDevTunerCompanion, "tuner companion", false},
    {kDevYcSeparator, "Y/C separator", true},  {kDevTuner, "tuner", false},
};

inline const char* DeviceName(uint32_t device) {
  for (const DeviceInfo& info : kDevices)
    if (info.device == device) return info.name;
  return nullptr;
}

// Board codes of property 90 whose boards carry the enhancer unit.
inline constexpr uint32_t kEnhancerBoardCodes[] = {4721, 5632};

inline bool HasEnhancerUnit(uint32_t boardCode) {
  for (uint32_t code : kEnhancerBoardCodes)
    if (code == boardCode) return true;
  return false;
}

// Access flags of the register-access instance: bit 0 is the bus direction.
inline constexpr uint8_t kAccessRead = 0x00;
inline constexpr uint8_t kAccessWrite = 0x01;
// The tuner's synthesiser write: the "register" bytes carry the band-switch
// byte and the control byte, the value the divider.
inline constexpr uint8_t kAccessTunerFrequency = 0x0B;

// Registers the module reads or writes after start-up, with their names.
inline constexpr uint32_t kDecoderInputMode = 0x02;
inline constexpr uint32_t kDecoderInputControl = 0x03;
inline constexpr uint32_t kDecoderBrightness = 0x0A;
inline constexpr uint32_t kDecoderStatus = 0x1F;  // bit 0: decoder ready
inline constexpr uint32_t kDecoderReadyBit = 0x01;
inline constexpr uint32_t kCompanionStatus = 0x00;
inline constexpr uint32_t kCompanionMode = 0x80;
inline constexpr uint32_t kEnhancerControl = 0x00;

struct RegisterInfo {
  uint32_t device;
  uint32_t reg;
  const char* name;
};

inline constexpr RegisterInfo kRegisters[] = {
    {kDevDecoder, kDecoderInputMode, "input mode"},
    {kDevDecoder, kDecoderInputControl, "input control"},
    {kDevDecoder, 0x09, "chroma path"},
    {kDevDecoder, kDecoderBrightness, "brightness"},
    {kDevDecoder, 0x0B, "contrast"},
    {kDevDecoder, 0x0C, "saturation"},
    {kDevDecoder, 0x0D, "hue"},
    {kDevDecoder, 0x0E, "luma path"},
    {kDevDecoder, kDecoderStatus, "status"},
    {kDevDecoder, 0x88, "input switch"},
    {kDevVolume, 0x00, "left level"},
    {kDevVolume, 0x02, "right level"},
    {kDevTunerCompanion, kCompanionStatus, "status"},
    {kDevTunerCompanion, kCompanionMode, "mode"},
    {kDevTunerCompanion, 0x81, "mode clear"},
    {kDevGhostReducer, kEnhancerControl, "control"},
    {kDevYcSeparator, kEnhancerControl, "control"},
};

// The name of a register, or null for one the module only sets up at start.
inline const char* RegisterName(uint32_t device, uint32_t reg) {
  for (const RegisterInfo& entry : kRegisters)
    if (entry.device == device && entry.reg == reg) return entry.name;
  return nullptr;
}

// The register-access instance of property 89: 9 packed bytes.
#pragma pack(push, 1)
struct RegisterAccessInstance {
  uint32_t device;
  uint8_t flags;
  uint32_t reg;
};
#pragma pack(pop)
static_assert(sizeof(RegisterAccessInstance) == 9, "the register-access instance is 9 packed bytes");

// The firmware download: an 8-byte header (image length, then 1), the image behind it.
inline constexpr uint32_t kFirmwareHeaderSize = 8;
inline constexpr uint32_t kFirmwareHeaderTag = 1;

// The tuner's frequency write: the register field carries the band-switch byte
// (bits 0-7) and the control byte (bits 8-15), the value the synthesiser
// divider in steps of 62.5 kHz.
inline constexpr uint32_t kTunerStepHz = 62500;
inline constexpr uint8_t kTunerBandLow = 0x02;   // carriers up to 343.25 MHz
inline constexpr uint8_t kTunerBandHigh = 0x08;  // carriers above

// The control record of property 99: nine 32-bit fields; the fourth carries
// the aspect code (2 = 4:3, 3 = 16:9), the others are fixed.
inline constexpr size_t kControlRecordFields = 9;
inline constexpr size_t kControlRecordAspectField = 3;

// The encoder's status report of property 93: 10 packed bytes.
#pragma pack(push, 1)
struct EncoderStatusReport {
  uint32_t errorValue;   // non-zero: the encoder's own error code
  uint8_t errorFlag1;
  uint8_t errorFlag2;    // bit 3 selects a code of its own
  uint16_t errorWord;
  uint16_t errorDetail;  // 0x2204, 0x2205, 0x3100, 0x3101 select a code of their own
};
#pragma pack(pop)
static_assert(sizeof(EncoderStatusReport) == 10, "the status report is 10 packed bytes");

}  // namespace zelk::board
