#include "trace_capture.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
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

// The module writes only through OutputDebugStringA, which raises the ANSI
// print exception: [0] the text's length with the terminator, [1] the text.
std::string PrintedText(const EXCEPTION_RECORD& record) {
  const ULONG_PTR counted = record.ExceptionInformation[0];
  const size_t limit = counted ? std::min<size_t>(counted, kLongestLine) : kLongestLine;
  const char* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
  return std::string(text, strnlen(text, limit));
}

void Keep(std::string text) {
  if (text.compare(0, sizeof kModulePrefix - 1, kModulePrefix) != 0) return;
  text.erase(text.find_last_not_of("\r\n") + 1);
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_active) g_lines.push_back(std::move(text));
}

// Reads the module's lines out of the print exceptions and always lets the
// exception go on: the system's own handling (a debug viewer) still gets them.
LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2 &&
      record.ExceptionInformation[1]) {
    Keep(PrintedText(record));
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

TraceCapture::TraceCapture() {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_active = true;
    g_lines.clear();
  }
  handler_ = AddVectoredExceptionHandler(1, OnException);
  if (IsDebuggerPresent()) {
    unavailable_ = MSG_DEEP_DEBUGGER;
  } else if (!handler_) {
    unavailable_ = MSG_DEEP_NO_HANDLER;
  }
}

TraceCapture::~TraceCapture() {
  if (handler_) RemoveVectoredExceptionHandler(handler_);
  std::lock_guard<std::mutex> hold(g_lock);
  g_active = false;
  g_lines.clear();
}

std::vector<std::string> TraceCapture::Take() {
  std::lock_guard<std::mutex> hold(g_lock);
  return std::exchange(g_lines, {});
}

}  // namespace zelkdiag
