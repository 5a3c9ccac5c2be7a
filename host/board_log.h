// Reads the simulated board's request log and prints it as a table, one phase
// at a time.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <string>

#include "sim_control.h"

namespace zelkhost {

// One request as the table shows it.
struct RequestRow {
  std::string request;   // "Set" or "Get"
  std::string property;  // short name
  std::string device;    // "0x21 decoder", or empty
  std::string reg;       // "0x1F", or empty
  std::string value;
};

// Describes one logged request. `firmwareBytes` receives the image size for a
// firmware download, 0 otherwise.
RequestRow DescribeRequest(const SimLogEntry& entry, unsigned long* firmwareBytes);

class BoardLog {
 public:
  explicit BoardLog(Microsoft::WRL::ComPtr<ISimBoardControl> board) : board_(std::move(board)) {}

  bool Available() const { return board_ != nullptr; }
  ISimBoardControl* Board() const { return board_.Get(); }

  // Prints the requests logged since the last call under `heading`.
  void PrintPhase(const char* heading);

  // Requests in the board's log now (0 without a board).
  unsigned long Count() const;
  // Requests printed so far.
  unsigned long Printed() const { return printed_; }
  unsigned long long FirmwareBytes() const { return firmwareBytes_; }

 private:
  Microsoft::WRL::ComPtr<ISimBoardControl> board_;
  unsigned long printed_ = 0;
  unsigned long long firmwareBytes_ = 0;
};

}  // namespace zelkhost
