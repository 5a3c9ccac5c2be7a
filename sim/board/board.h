// The simulated MB86393 capture board: a plain C++ model of what the board's
// driver answers to property requests (no COM). Unit tests use it directly;
// the capture filter of zelksim.dll wraps one process-wide instance.
//
// Thread-safe: every member takes the board's lock.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "request_log.h"
#include "sim_control.h"

namespace zelk::sim {

class Board {
 public:
  // `number`: which board of the machine this is (1 = the first). It picks
  // the board's picture, so that a recording shows which board made it.
  explicit Board(int number = 1);
  int Number() const { return number_; }

  // Back to the state of a board just powered on: scripting, registers,
  // firmware, effects, log and faults all cleared; the log clock restarts.
  void Reset();

  // The driver's entry points (what IKsPropertySet::Set/Get/QuerySupported reach).
  HRESULT Set(const GUID& set, ULONG id, const void* instance, ULONG instanceLength, const void* data,
              ULONG dataLength);
  HRESULT Get(const GUID& set, ULONG id, const void* instance, ULONG instanceLength, void* data,
              ULONG dataLength, ULONG* returned);
  HRESULT QuerySupported(const GUID& set, ULONG id, DWORD* support);

  // --- Scripting -----------------------------------------------------------
  // Board code returned by property 90 (bytes 0-3). 4721 and 5632 mean the
  // enhancer unit (devices 0x12 and 0x5C) is fitted. Default: 4096, no unit.
  void SetBoardCode(uint32_t code);
  // The 10-byte report property 93 returns. Default: all zero.
  void SetStatusReport(const std::array<uint8_t, 10>& report);
  // Decoder ready bit (register 0x1F bit 0 of device 0x21): the first `reads`
  // reads of that register report not ready, later ones ready. 0 = ready at
  // once (default), -1 = never ready. Counting restarts with each call.
  void SetDecoderReadyAfterReads(int reads);
  // Any register of any device the board has.
  void SetRegister(uint32_t device, uint32_t reg, uint32_t value);
  uint32_t Register(uint32_t device, uint32_t reg) const;
  bool HasDevice(uint32_t device) const;

  // --- Effects -------------------------------------------------------------
  bool FirmwareLoaded() const;
  std::vector<uint8_t> Firmware() const;            // image bytes after the 8-byte header
  std::vector<uint8_t> ParameterBlock() const;      // last property 88 payload (341 bytes)
  std::vector<uint8_t> ControlRecord() const;       // last property 99 payload (36 bytes)
  std::optional<uint32_t> EncoderProperty(ULONG id) const;  // last 4-byte Set of 27, 28, 41, 44, 45
  std::vector<uint8_t> InputNotification() const;   // last property 94 payload (2 bytes)
  std::optional<uint32_t> InputRouting() const;     // last property 14 of the input set
  uint32_t TunerDivider() const;                    // last tuner frequency write
  uint8_t TunerBand() const;                        // its band-switch byte

  // --- Log -----------------------------------------------------------------
  std::vector<LoggedRequest> Log() const;
  size_t LogCount() const;
  // One entry by index (false when out of range).
  bool LogEntry(size_t index, LoggedRequest* entry) const;
  void ClearLog();

  // --- Fault injection -----------------------------------------------------
  // Fails the k-th request from now (1 = the next one) with hr.
  void FailRequest(size_t k, HRESULT hr);
  // Fails every request that matches the predicate (it sees the request as it
  // arrives: set, id, instance and, for a Set, the payload) with hr. The
  // predicate runs under the board's lock: it must not call the board.
  void FailWhen(std::function<bool(const LoggedRequest&)> predicate, HRESULT hr);
  void ClearFaults();

  // --- The encoder's output ----------------------------------------------
  // What the streaming pin needs of the board, read at once.
  struct StreamView {
    bool firmwareLoaded;
    bool configured;         // the control record (InitializeEncoder's last request) arrived
    uint8_t aspectCode;      // its aspect field: 2 = 4:3, 3 = 16:9
    int input;               // 0 composite, 1 S-video, 2 tuner, from the decoder and input notification
    DWORD fault;             // ZELK_SIM_STREAM_* of sim_control.h
    uint64_t faultFromSample;
    std::wstring clipFolder;  // empty: beside zelksim.dll
    int boardNumber;          // picks the board's own picture
  };
  StreamView ForStream() const;
  void ScriptStream(DWORD fault, uint64_t afterSamples);
  void SetClipFolder(std::wstring folder);
  SimStreamStatus StreamStatus() const;
  // Changes the status under the board's lock; `update` must not call the board.
  void UpdateStreamStatus(const std::function<void(SimStreamStatus&)>& update);

  // --- Benchmarks ----------------------------------------------------------
  // Holds the next request of property `id` of `set` as it arrives, before
  // the board looks at it: signals `arrived`, then waits for `resume` (at most
  // kHoldLimitMs). The caller's buffers are then still only the caller's, so a
  // benchmark can inspect the calling process while the request is in flight.
  // Holds one request; Reset drops a hold not yet met.
  static constexpr DWORD kHoldLimitMs = 10000;
  void HoldNextArrival(const GUID& set, ULONG id, HANDLE arrived, HANDLE resume);

 private:
  void HoldIfAsked(const GUID& set, ULONG id);
  HRESULT Serve(bool isSet, const GUID& set, ULONG id, const void* instance, ULONG instanceLength, void* data,
                ULONG dataLength, ULONG* returned);
  // Implementation-defined state (the simulator's own design).
  struct State;
  int number_;
  std::shared_ptr<State> state_;
};

}  // namespace zelk::sim
