// Collects the simulated board's request log phase by phase, with each
// phase's start and end on the board's own clock.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "sim_control.h"

namespace zelkhost {

// One step of the recording as the trace shows it.
struct PhaseKind {
  const char* heading;
  const char* idleReason;  // why the phase may send nothing
  bool holdsSetUpTables;   // the register writes after the control record are the start-up tables
};

struct PhaseRecord {
  const PhaseKind* kind = nullptr;
  LONGLONG startUs = 0;  // the board's clock: microseconds since it was reset
  LONGLONG endUs = 0;
  ULONG firstNumber = 1;  // log position of the first request, from 1
  std::vector<SimLogEntry> requests;
};

// The wait after request i of a phase: the gap to the next request (or to the
// end of the phase) when it is 5 ms or more, else 0 (shorter gaps are the
// requests' own time).
LONGLONG WaitAfterUs(const PhaseRecord& phase, size_t i);

class BoardLog {
 public:
  // Resets the board (if there is one) and starts its clock and the host's together.
  explicit BoardLog(Microsoft::WRL::ComPtr<ISimBoardControl> board);

  bool Available() const { return board_ != nullptr; }
  ISimBoardControl* Board() const { return board_.Get(); }
  HRESULT ResetResult() const { return resetResult_; }

  void BeginPhase();
  // Ends the phase begun last: takes the requests logged since then.
  const PhaseRecord& EndPhase(const PhaseKind& kind);

  const std::vector<PhaseRecord>& Phases() const { return phases_; }
  unsigned long Requests() const;
  unsigned long Failed() const;
  unsigned long long FirmwareBytes() const;
  // The request at a position of the board's log (from 1), or null.
  const SimLogEntry* Request(ULONG number) const;

 private:
  LONGLONG NowUs() const;

  Microsoft::WRL::ComPtr<ISimBoardControl> board_;
  HRESULT resetResult_ = S_OK;
  LARGE_INTEGER epoch_{};
  LARGE_INTEGER frequency_{};
  LONGLONG phaseStartUs_ = 0;
  ULONG taken_ = 0;
  std::vector<PhaseRecord> phases_;
};

}  // namespace zelkhost
