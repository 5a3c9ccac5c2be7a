// Captures the trace lines of the code under test for the lifetime of the object.
#pragma once

#include <string>
#include <vector>

namespace zelk::test {

class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  const std::vector<std::string>& Lines() const { return lines_; }
  // The step number of the last line that carries "step=", or -1.
  int LastStep() const;
  void Clear() { lines_.clear(); }

 private:
  static void Hook(const char* text, void* context);
  std::vector<std::string> lines_;
};

}  // namespace zelk::test
