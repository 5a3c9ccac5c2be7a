#include "trace.h"

#include <cstdarg>
#include <cstdio>

namespace zelk {
namespace {
TraceHook g_hook = nullptr;
void* g_hookContext = nullptr;
}  // namespace

void TraceMessage(const char* format, ...) {
  // The product discards every trace line; only a test hook sees them.
  if (!g_hook) return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  g_hook(text, g_hookContext);
}

void SetTraceHookForTesting(TraceHook hook, void* context) {
  g_hook = hook;
  g_hookContext = context;
}

HRESULT FailStep(const StepFormat& format, int step, HRESULT kept, int index) {
  switch (format.args) {
    case StepArgs::Step:
      TraceMessage(format.text, step);
      break;
    case StepArgs::StepHr:
      TraceMessage(format.text, step, static_cast<unsigned>(kept));
      break;
    case StepArgs::StepIndexHr:
      TraceMessage(format.text, step, index, static_cast<unsigned>(kept));
      break;
  }
  return kept;
}

}  // namespace zelk
