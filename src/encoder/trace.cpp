#include "trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace zelk {
namespace {
TraceHook g_hook = nullptr;
void* g_hookContext = nullptr;

// Every line goes to the debugger output behind the module's name, so a debug
// viewer can filter the module's lines from the rest.
constexpr char kLinePrefix[] = "zelkenc: ";
constexpr size_t kPrefixLength = sizeof kLinePrefix - 1;
}  // namespace

void TraceMessage(const char* format, ...) {
  char line[kPrefixLength + 512];
  std::memcpy(line, kLinePrefix, kPrefixLength);
  char* const text = line + kPrefixLength;
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof line - kPrefixLength, format, args);
  va_end(args);
  OutputDebugStringA(line);
  if (g_hook) g_hook(text, g_hookContext);
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
