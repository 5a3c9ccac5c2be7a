#include "support/trace_capture.h"

#include <cstdlib>

#include "encoder/trace.h"

namespace zelk::test {

TraceCapture::TraceCapture() { SetTraceHookForTesting(&TraceCapture::Hook, this); }
TraceCapture::~TraceCapture() { SetTraceHookForTesting(nullptr, nullptr); }

void TraceCapture::Hook(const char* text, void* context) {
  static_cast<TraceCapture*>(context)->lines_.emplace_back(text);
}

int TraceCapture::LastStep() const {
  for (auto line = lines_.rbegin(); line != lines_.rend(); ++line) {
    const size_t at = line->find("step=");
    if (at != std::string::npos) return std::atoi(line->c_str() + at + 5);
  }
  return -1;
}

}  // namespace zelk::test
