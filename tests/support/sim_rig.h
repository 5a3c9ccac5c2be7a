// One simulated board wired to a PropertyChannel, for tests of everything that
// talks to the board:
//
//   SimRig rig;                       // board + capture filter + property channel
//   rig.DownloadFirmware();           // the encoder answers from now on
//   rig.board->SetBoardCode(4721);    // script the board
//   rig.ClearLog();
//   ... run the code under test with rig.filter / rig.properties ...
//   EXPECT_EQ(rig.Lines(), (Lines{RegWrite(0x12, 0x00, 0x40)}));
#pragma once

#include <windows.h>
#include <strmif.h>

#include <memory>
#include <string>
#include <vector>

#include <board.h>
#include <encoder/property_channel.h>

namespace zelk::test {

struct SimRig {
  // withInputPin: the capture filter also gets its "Video In" pin.
  explicit SimRig(bool withInputPin = false);
  ~SimRig();
  SimRig(const SimRig&) = delete;
  SimRig& operator=(const SimRig&) = delete;

  // Sends a firmware image of `size` bytes (pattern 0, 1, 2, ...) through
  // property 91 and clears the log.
  void DownloadFirmware(size_t size = 16);
  void ClearLog() const { board->ClearLog(); }
  // The log as Describe lines.
  std::vector<std::string> Lines() const;
  // Microseconds between the arrival of log entries `from` and `to`.
  int64_t MicrosecondsBetween(size_t from, size_t to) const;

  std::shared_ptr<sim::Board> board;
  ComPtr<IBaseFilter> filter;  // the capture filter on `board`
  PropertyChannel properties;  // follows `filter`
};

}  // namespace zelk::test
