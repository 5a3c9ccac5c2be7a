// The simulated board as the demo uses it: reached through its control
// interface, reset, set to the board variant and scripted to misbehave as the
// options ask.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <string>

#include "options.h"
#include "sim_control.h"

namespace zelkhost {

// The control interface of board `board` (1 = the first of the video-input
// devices named "MB86393 PCI Capture"), or null (with the reason said) when
// the simulator is not registered or has fewer boards.
Microsoft::WRL::ComPtr<ISimBoardControl> ReachBoard(int board = 1);

// Board code, decoder readiness, status report and an injected failure.
// Call after the board's log was reset. Returns false with *error.
bool ScriptBoard(ISimBoardControl* board, const Options& options, std::string* error);

// --no-board: takes the board's device out of the video-input category for the
// lifetime of the object and puts it back on destruction, so later programs in
// the same Wine prefix still find it.
class HiddenDevice {
 public:
  HiddenDevice() = default;
  HiddenDevice(const HiddenDevice&) = delete;
  HiddenDevice& operator=(const HiddenDevice&) = delete;
  ~HiddenDevice();

  // Needs the simulator loaded in this process (ReachBoard did that).
  bool Hide(std::string* error);
  bool Hidden() const { return hidden_; }

 private:
  HMODULE simulator_ = nullptr;
  bool hidden_ = false;
};

constexpr DWORD kBoardCodePlain = 4096;
constexpr DWORD kBoardCodeEnhancer = 4721;

}  // namespace zelkhost
