// Runs a program that lies beside the test program as a separate process, the
// way a user does, and collects what it prints.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zelk::test {

struct ProgramRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;  // stdout and stderr together, or stdout alone (RunProgramSplit)
  std::string errors;  // stderr, when collected apart (RunProgramSplit)
  bool timedOut = false;
};

// Folder of the running test program, with a trailing backslash.
std::wstring TestFolder();

// Starts `program` from the test's folder with `arguments` and collects its
// output until it ends (or is ended after the time-out).
ProgramRun RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs = 120000);
// The same, with standard error collected apart in `errors`.
ProgramRun RunProgramSplit(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs = 120000);
// The same as RunProgram in a console window of its own, as a double-click
// starts it, with standard input from the NUL device.
ProgramRun RunProgramInOwnConsole(const std::wstring& program, const std::wstring& arguments,
                                  DWORD timeoutMs = 120000);

// Starts `program` the same way as a debuggee and collects the strings it
// sends to the debugger output (OutputDebugStringA), one per event, until it
// ends; what it prints goes nowhere.
std::vector<std::string> RunProgramUnderDebugger(const std::wstring& program, const std::wstring& arguments,
                                                 DWORD timeoutMs = 120000);

}  // namespace zelk::test
