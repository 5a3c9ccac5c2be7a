// The simulated board's request log: every property request in order, with
// its bytes and a timestamp, so tests can check whole sequences byte by byte.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zelk::sim {

struct LoggedRequest {
  bool isSet = false;             // Set (true) or Get (false)
  GUID set{};                     // property set
  ULONG id = 0;                   // property ID
  std::vector<uint8_t> instance;  // instance bytes as sent
  std::vector<uint8_t> data;      // Set: payload sent; Get: bytes handed back to the caller
  ULONG dataLength = 0;           // length of the caller's payload buffer
  HRESULT result = S_OK;          // what the board answered
  int64_t timeUs = 0;             // microseconds since the board was created, when the request arrived
};

// One line per request, the form tests compare against:
//   "S dev 89 [21 00 00 00 01 88 00 00 00] [B8 00 00 00]"
// S or G; "dev" for the device property set, "inp" for the input property set,
// the set's GUID text otherwise; the ID in decimal; the instance bytes; the
// payload bytes (Set: sent; Get: returned). Payloads longer than 48 bytes are
// shown as their first 16 bytes followed by " ... (N bytes)". A request that
// failed ends in " -> 0x%08X".
std::string Describe(const LoggedRequest& request);
std::vector<std::string> Describe(const std::vector<LoggedRequest>& log);

// Hex text of bytes, "01 02 AB".
std::string HexBytes(const uint8_t* bytes, size_t count);

}  // namespace zelk::sim
