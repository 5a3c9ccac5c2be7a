// The device property channel: every exchange with the board is a
// kernel-streaming property request on the capture filter. Each request takes
// the filter's IKsPropertySet, makes one Set or Get and releases it before the
// result is used; nothing is cached between requests.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstddef>
#include <cstdint>

#include "com_support.h"

namespace zelk {

// {F766A10B-2D29-420F-A07F-11FFD3C98068}: the encoder board's own properties.
inline constexpr GUID DevicePropertySet = {
    0xf766a10b, 0x2d29, 0x420f, {0xa0, 0x7f, 0x11, 0xff, 0xd3, 0xc9, 0x80, 0x68}};
// {A2713CE2-056E-4FBE-9436-7D6D73D1FDA3}: the input routing property.
inline constexpr GUID InputPropertySet = {
    0xa2713ce2, 0x056e, 0x4fbe, {0x94, 0x36, 0x7d, 0x6d, 0x73, 0xd1, 0xfd, 0xa3}};

// Property IDs of DevicePropertySet (payload sizes beside them).
enum DeviceProperty : ULONG {
  kPropVideoFormat = 27,     // Set, 4 bytes
  kPropAspect = 28,          // Set, 4 bytes
  kPropFilterMode = 41,      // Set, 4 bytes (one byte, zero-extended)
  kPropPeakBitRate = 44,     // Set, 4 bytes
  kPropBitRate = 45,         // Set, 4 bytes
  kPropParameterBlock = 88,  // Set, 341 bytes
  kPropRegisterAccess = 89,  // Get = read, Set = write; 9-byte instance, 4 bytes
  kPropDeviceInfo = 90,      // Get, 30 bytes
  kPropFirmware = 91,        // Set, 8-byte header + image
  kPropEncoderStatus = 93,   // Get, 10 bytes
  kPropInputNotify = 94,     // Set, 2 bytes
  kPropControlRecord = 99,   // Set, 36 bytes
};
// Property ID of InputPropertySet.
inline constexpr ULONG kPropInputRouting = 14;  // Set, 4 bytes

// Device addresses on the board's register bus.
enum BoardDevice : uint32_t {
  kDevGhostReducer = 0x12,
  kDevVolume = 0x1B,
  kDevDecoder = 0x21,
  kDevTunerCompanion = 0x5B,
  kDevYcSeparator = 0x5C,
  kDevTuner = 0x60,
};

inline constexpr uint8_t kAccessRead = 0x00;
inline constexpr uint8_t kAccessWrite = 0x01;

#pragma pack(push, 1)
// Instance data of property 89.
struct RegisterAccessInstance {
  uint32_t device;
  uint8_t flags;  // bit 0 set for a write
  uint32_t reg;
};
#pragma pack(pop)
static_assert(sizeof(RegisterAccessInstance) == 9, "RegisterAccessInstance is 9 packed bytes");

// One row of a fixed register table.
struct RegisterWriteEntry {
  uint32_t device;
  uint32_t flags;
  uint32_t reg;
  uint32_t value;
  uint32_t waitMs;  // wait after the write, 0 = none
};

class PropertyChannel {
 public:
  // The property channel follows the object's captureFilter: a request made while it is
  // empty is not sent and fails with ZELK_E_NO_CAPTURE_FILTER. The object's
  // lock is held while a channel is in use, so the filter is never released
  // under a request.
  explicit PropertyChannel(const ComPtr<IBaseFilter>& captureFilter) : filter_(captureFilter) {}

  HRESULT Set(const GUID& set, ULONG id, const void* instance, ULONG instanceLength, const void* data,
              ULONG dataLength, DWORD waitMs = 0) const;
  HRESULT Get(const GUID& set, ULONG id, const void* instance, ULONG instanceLength, void* data,
              ULONG dataLength, ULONG* returned = nullptr, DWORD waitMs = 0) const;

  // Set of DevicePropertySet without instance data.
  HRESULT SetDeviceProperty(ULONG id, const void* data, ULONG size) const;
  // Register read: the value starts at 0 and the caller's flags go unchanged.
  HRESULT ReadDeviceRegister(uint32_t device, uint8_t flags, uint32_t reg, uint32_t* value,
                             DWORD waitMs) const;
  // Register write: bit 0 of the flags is set.
  HRESULT WriteDeviceRegister(uint32_t device, uint8_t flags, uint32_t reg, uint32_t value,
                              DWORD waitMs) const;

  // Writes the rows in order, each followed by its wait (also after a failed
  // write), and stops at the first failing row. Returns the HRESULT of the last
  // write made; *failedRow receives the index of the failing row, or count.
  HRESULT WriteRegisterTable(const RegisterWriteEntry* rows, size_t count, size_t* failedRow) const;
  // The same for a whole table, whose length comes with it.
  template <size_t N>
  HRESULT WriteRegisterTable(const RegisterWriteEntry (&rows)[N], size_t* failedRow) const {
    return WriteRegisterTable(rows, N, failedRow);
  }

 private:
  const ComPtr<IBaseFilter>& filter_;
};

}  // namespace zelk
