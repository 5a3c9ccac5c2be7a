// --record: the board's stream written to a file through the system's File
// writer filter while the graph runs for the given seconds.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <string>

#include "sim_control.h"

namespace zelkhost {

struct FileRecordingResult {
  bool ok = false;
  std::string failure;  // why not, when !ok
  std::string lines;    // what was recorded, for the report
};

// Adds the File writer to `graph`, connects `pin` to it, runs the graph for
// `seconds`, stops it and tells what was recorded (bytes in the file, and
// with `board` the seconds of stream and the samples the board delivered).
FileRecordingResult RecordToFile(IGraphBuilder* graph, IPin* pin, const std::string& path, int seconds,
                                 ISimBoardControl* board);

}  // namespace zelkhost
