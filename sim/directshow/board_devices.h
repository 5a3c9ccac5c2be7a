// The virtual boards of a machine: one board model per device, found by the
// device path that the device's property bag carries.
//
// A machine may have up to kMaxBoards virtual boards. Board n is registered in
// the video-input category under the friendly name "MB86393 PCI Capture" (all
// boards alike, as identical cards are) and the instance name
// "MB86393 PCI Capture" for board 1, "MB86393 PCI Capture #n" for the others.
// Its "DevicePath" names it for good:
//   \\?\root#zelksim#000n#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\global
// A filter made from the device's moniker reads that path in
// IPersistPropertyBag::Load and drives board n; a filter made any other way
// drives board 1.
#pragma once

#include <memory>
#include <string>

#include "board.h"

namespace zelk::sim {

inline constexpr int kMaxBoards = 8;

std::wstring DevicePathOf(int board);
std::wstring InstanceNameOf(int board);
// The board a device path names, or 0 when it names none of ours.
int BoardOfDevicePath(const wchar_t* path);
// The process-wide model of board `board` (1 to kMaxBoards), made on first use.
std::shared_ptr<Board> DeviceBoard(int board);

}  // namespace zelk::sim
