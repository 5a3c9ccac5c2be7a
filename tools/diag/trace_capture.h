// The module's trace lines during --deep. The module writes each failing
// step to the debugger output (OutputDebugStringA, behind "zelkenc: "). With
// no debugger attached, the system raises that text as an exception to the
// process's own handlers first; a vectored handler installed for the run
// reads it, keeps the module's lines and lets the exception go on, so a debug
// viewer still sees every line. With a debugger attached the system hands the
// text to the debugger instead, and the lines may be missing here.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "messages.h"

namespace zelkdiag {

class TraceCapture {
 public:
  // Installs the handler; one capture at a time.
  TraceCapture();
  // Removes it.
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // Why no lines can be captured (a debugger is attached, no handler): a
  // message number, or 0.
  UINT Unavailable() const { return unavailable_; }
  // The module's lines since the last call, without their line ends.
  std::vector<std::string> Take();

 private:
  void* handler_ = nullptr;
  UINT unavailable_ = 0;
};

}  // namespace zelkdiag
