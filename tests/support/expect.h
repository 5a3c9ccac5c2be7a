// Builders of expected request-log lines. Each returns exactly the line that
// zelk::sim::Describe prints for that request, built from raw bytes, so a test
// writes its expected sequence as data:
//
//   EXPECT_EQ(rig.Lines(), (Lines{
//       RegRead(0x21, 0x03, 0x00),        // "G dev 89 [21 00 00 00 00 03 00 00 00] [00 00 00 00]"
//       RegWrite(0x21, 0x03, 0x20),       // "S dev 89 [21 00 00 00 01 03 00 00 00] [20 00 00 00]"
//       DevSet(94, {0x00, 0x02}),         // "S dev 94 [] [00 02]"
//       Failed(DevSet(41, Le32(1)), hr),  // "S dev 41 [] [01 00 00 00] -> 0x8007001F"
//   }));
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zelk::test {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// The four little-endian bytes of a 32-bit value.
Bytes Le32(uint32_t value);

// Register write (property 89 Set): instance = device, flags, register;
// payload = the value. Flags default to the write flag 0x01.
std::string RegWrite(uint32_t device, uint32_t reg, uint32_t value, uint8_t flags = 0x01);
// Register read (property 89 Get) that returned `value`. Flags default to 0x00.
std::string RegRead(uint32_t device, uint32_t reg, uint32_t value, uint8_t flags = 0x00);
// Register read that failed with hr: nothing came back.
std::string RegReadFailed(uint32_t device, uint32_t reg, HRESULT hr, uint8_t flags = 0x00);
// The tuner synthesiser write: device 0x60, flags 0x0B, band and control byte
// 0xC6 in the register bytes, the divider as value.
std::string TunerWrite(uint8_t band, uint32_t divider);

// Set / Get of the device property set without instance data.
std::string DevSet(ULONG id, const Bytes& payload);
std::string DevGet(ULONG id, const Bytes& returned);
std::string DevGetFailed(ULONG id, HRESULT hr);
// Set of the input property set without instance data.
std::string InpSet(ULONG id, const Bytes& payload);

// The line of a request that failed with hr (a Set keeps its payload).
std::string Failed(const std::string& line, HRESULT hr);

}  // namespace zelk::test
