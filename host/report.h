// Where the demo's text goes: the trace and results to standard output (all of
// it but the phase headings and the summary silenced by --quiet), errors and
// warnings to standard error, one line each.
#pragma once

#include <cstdio>
#include <string>

#include "text.h"

// The C++ runtime's own printf (C99 conversions such as %zu and %lld).
#define ZELKHOST_PRINTF __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))

namespace zelkhost {

using zelktext::DescribeResult;
using zelktext::Narrow;

std::string Format(const char* format, ...) ZELKHOST_PRINTF;

void SetQuiet(bool quiet);
bool Quiet();

// Standard output unless --quiet.
void Say(const char* format, ...) ZELKHOST_PRINTF;
// Standard output always: phase headings and the summary.
void Always(const char* format, ...) ZELKHOST_PRINTF;
// "zelkhost: TEXT" on standard error, after what standard output holds so far.
void Error(const std::string& text);
void Warning(const std::string& text);  // "zelkhost: warning: TEXT"

}  // namespace zelkhost
