#include "trace_capture.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <utility>

namespace zelkdiag {
namespace {

constexpr char kModulePrefix[] = "zelkenc: ";
constexpr size_t kLongestLine = 4096;  // the module's lines are far shorter

// The handler's state: one capture at a time, lines from any thread.
std::mutex g_lock;
bool g_active = false;
std::vector<std::string> g_lines;
// Lines taken from a wide print exception, by thread: the system raises the
// same text once more as an ANSI print exception when nobody continued the
// wide one, and that second copy is not a line of its own.
std::vector<std::pair<DWORD, std::string>> g_pendingWide;

// The text of a print exception: [0] its length with the terminator, [1] the
// text (UTF-16 for the wide one, ANSI otherwise).
std::string PrintedText(const EXCEPTION_RECORD& record, bool wide) {
  const ULONG_PTR counted = record.ExceptionInformation[0];
  const size_t limit = counted ? std::min<size_t>(counted, kLongestLine) : kLongestLine;
  if (!wide) {
    const char* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
    return std::string(text, strnlen(text, limit));
  }
  const wchar_t* text = reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]);
  const int length = static_cast<int>(wcsnlen(text, limit));
  if (length == 0) return {};
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<size_t>(std::max(bytes, 0)), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, text, length, &ansi[0], bytes, nullptr, nullptr);
  return ansi;
}

void Keep(std::string text, bool wide) {
  if (text.compare(0, sizeof kModulePrefix - 1, kModulePrefix) != 0) return;
  text.erase(text.find_last_not_of("\r\n") + 1);
  const DWORD thread = GetCurrentThreadId();
  std::lock_guard<std::mutex> hold(g_lock);
  if (!g_active) return;
  const auto pending = std::find_if(g_pendingWide.begin(), g_pendingWide.end(),
                                    [thread](const auto& entry) { return entry.first == thread; });
  if (wide) {
    if (pending != g_pendingWide.end()) {
      pending->second = text;
    } else {
      g_pendingWide.emplace_back(thread, text);
    }
  } else if (pending != g_pendingWide.end()) {
    const bool repeated = pending->second == text;
    g_pendingWide.erase(pending);
    if (repeated) return;
  }
  g_lines.push_back(std::move(text));
}

// Reads the module's lines out of the print exceptions and always lets the
// exception go on: the system's own handling (a debug viewer) still gets them.
LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  const bool wide = record.ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C;
  if ((wide || record.ExceptionCode == DBG_PRINTEXCEPTION_C) && record.NumberParameters >= 2 &&
      record.ExceptionInformation[1]) {
    Keep(PrintedText(record, wide), wide);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

TraceCapture::TraceCapture() {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_active = true;
    g_lines.clear();
    g_pendingWide.clear();
  }
  handler_ = AddVectoredExceptionHandler(1, OnException);
  if (IsDebuggerPresent()) {
    unavailable_ = "a debugger is attached: the module's trace lines go to the debugger and may be missing here";
  } else if (!handler_) {
    unavailable_ = "the module's trace lines cannot be read here (no exception handler)";
  }
}

TraceCapture::~TraceCapture() {
  if (handler_) RemoveVectoredExceptionHandler(handler_);
  std::lock_guard<std::mutex> hold(g_lock);
  g_active = false;
  g_lines.clear();
  g_pendingWide.clear();
}

std::vector<std::string> TraceCapture::Take() {
  std::lock_guard<std::mutex> hold(g_lock);
  return std::exchange(g_lines, {});
}

}  // namespace zelkdiag
