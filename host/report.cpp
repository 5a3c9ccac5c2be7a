#include "report.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace zelkhost {
namespace {

bool g_quiet = false;

std::string FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return {};
  std::vector<char> text(static_cast<size_t>(length) + 1);
  std::vsnprintf(text.data(), text.size(), format, args);
  return std::string(text.data(), static_cast<size_t>(length));
}

}  // namespace

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return text;
}

void SetQuiet(bool quiet) { g_quiet = quiet; }
bool Quiet() { return g_quiet; }

void Say(const char* format, ...) {
  if (g_quiet) return;
  va_list args;
  va_start(args, format);
  std::fputs(FormatV(format, args).c_str(), stdout);
  va_end(args);
}

void Always(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs(FormatV(format, args).c_str(), stdout);
  va_end(args);
}

void Error(const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "zelkhost: %s\n", text.c_str());
  std::fflush(stderr);
}

void Warning(const std::string& text) { Error("warning: " + text); }

}  // namespace zelkhost
