// Internal state of the simulated board, shared by board.cpp (entry points,
// log, faults, scripting) and board_properties.cpp (the property handlers).
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "board.h"

#define ZELK_SIM_RETURN_IF_FAILED(expr) \
  do {                                  \
    const HRESULT simHr_ = (expr);      \
    if (FAILED(simHr_)) return simHr_;  \
  } while (0)

namespace zelk::sim {

inline constexpr uint32_t kDefaultBoardCode = 4096;

struct Board::State {
  mutable std::mutex lock;
  LARGE_INTEGER start{};
  LARGE_INTEGER frequency{};

  // Scripting.
  uint32_t boardCode = kDefaultBoardCode;
  std::array<uint8_t, 10> statusReport{};
  int decoderReadyAfter = 0;  // -1: never
  int decoderReads = 0;       // reads of the ready register since the last script
  std::map<uint64_t, uint32_t> registers;  // (device << 32 | register) -> value

  // Effects.
  bool firmwareLoaded = false;
  std::vector<uint8_t> firmware;
  std::vector<uint8_t> parameterBlock;
  std::vector<uint8_t> controlRecord;
  std::vector<uint8_t> inputNotification;
  std::map<ULONG, uint32_t> encoderProperties;
  std::optional<uint32_t> inputRouting;
  uint32_t tunerDivider = 0;
  uint8_t tunerBand = 0;

  // Log and faults.
  std::vector<LoggedRequest> log;
  uint64_t requests = 0;                                    // requests received so far
  std::vector<std::pair<uint64_t, HRESULT>> failAtRequest;  // request number -> result
  std::vector<std::pair<std::function<bool(const LoggedRequest&)>, HRESULT>> failWhen;

  // The encoder's output.
  DWORD streamFault = 0;
  uint64_t streamFaultFrom = 0;
  std::wstring clipFolder;
  SimStreamStatus streamStatus{};

  // A request to hold on arrival (HoldNextArrival).
  struct Hold {
    GUID set;
    ULONG id;
    HANDLE arrived;
    HANDLE resume;
  };
  std::optional<Hold> hold;

  bool HasDevice(uint32_t device) const;
  // Counts the request; the injected result for it, or S_OK.
  HRESULT InjectedFault(const LoggedRequest& request);
  // Carries out one request that passed fault injection. For a Get, `out`
  // receives the bytes to hand back (the caller's buffer is written only on
  // success).
  HRESULT Handle(const LoggedRequest& request, const void* data, std::vector<uint8_t>* out);
  // KSPROPERTY_SUPPORT_GET / _SET of one property.
  HRESULT Supported(const GUID& set, ULONG id, DWORD* support) const;

 private:
  HRESULT RegisterAccess(const LoggedRequest& request, const void* data, std::vector<uint8_t>* out);
  HRESULT DeviceSet(ULONG id, const uint8_t* data, ULONG length);
  HRESULT DeviceGet(ULONG id, std::vector<uint8_t>* out);
};

inline uint64_t RegisterKey(uint32_t device, uint32_t reg) { return (uint64_t{device} << 32) | reg; }

inline uint32_t LoadLe32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

}  // namespace zelk::sim
