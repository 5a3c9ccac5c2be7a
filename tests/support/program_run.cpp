#include "support/program_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace zelk::test {

std::wstring TestFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

namespace {

// Starts `program` from the test's folder with `arguments`, what it prints
// going to `output` and `errors` (inheritable handles), reading `input`
// (null: the test's own standard input).
bool StartProgram(const std::wstring& program, const std::wstring& arguments, HANDLE output, HANDLE errors,
                  DWORD creationFlags, PROCESS_INFORMATION* process, HANDLE input = nullptr) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input ? input : GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output;
  startup.hStdError = errors;
  const std::wstring path = TestFolder() + program;
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  if (CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, creationFlags, nullptr,
                     TestFolder().c_str(), &startup, process)) {
    return true;
  }
  ADD_FAILURE() << "cannot start the program: " << GetLastError();
  return false;
}

// Reads what waits in a pipe; false once its writer is gone.
bool Drain(HANDLE pipe, std::string* text) {
  DWORD available = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
  char buffer[4096];
  while (available > 0) {
    DWORD got = 0;
    if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) || got == 0) return false;
    text->append(buffer, got);
    available -= got;
  }
  return true;
}

// Standard output and, when `split`, standard error through pipes of their own.
ProgramRun Run(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs, bool split,
               DWORD creationFlags = 0, HANDLE input = nullptr) {
  ProgramRun run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE reads[2] = {}, writes[2] = {};
  const int pipes = split ? 2 : 1;
  for (int i = 0; i < pipes; ++i) {
    if (!CreatePipe(&reads[i], &writes[i], &inherit, 0)) {
      ADD_FAILURE() << "CreatePipe failed: " << GetLastError();
      return run;
    }
    SetHandleInformation(reads[i], HANDLE_FLAG_INHERIT, 0);
  }
  PROCESS_INFORMATION process{};
  const bool started = StartProgram(program, arguments, writes[0], writes[pipes - 1], creationFlags, &process, input);
  for (int i = 0; i < pipes; ++i) CloseHandle(writes[i]);
  if (started) {
    std::string* texts[2] = {&run.output, &run.errors};
    bool open[2] = {true, split};
    const DWORD deadline = GetTickCount() + timeoutMs;
    // The run ends when the program has ended and what it wrote is read. A
    // process it started may hold the pipes' write ends as well (under Wine the
    // desktop process it starts keeps its standard output), so the end of the
    // pipes is not waited for: once the program has ended, everything it wrote
    // is in the pipes, and one more drain takes it.
    while (open[0] || open[1]) {
      const bool ended = WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
      for (int i = 0; i < pipes; ++i) open[i] = open[i] && Drain(reads[i], texts[i]);
      if (ended) break;
      if (static_cast<LONG>(GetTickCount() - deadline) >= 0) {
        run.timedOut = true;
        TerminateProcess(process.hProcess, 0xDEAD);
        break;
      }
      Sleep(10);
    }
    // A child that closed its output but goes on running is ended as well.
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
      run.timedOut = true;
      TerminateProcess(process.hProcess, 0xDEAD);
      WaitForSingleObject(process.hProcess, timeoutMs);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  for (int i = 0; i < pipes; ++i) CloseHandle(reads[i]);
  return run;
}

}  // namespace

ProgramRun RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
  return Run(program, arguments, timeoutMs, false);
}

ProgramRun RunProgramSplit(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
  return Run(program, arguments, timeoutMs, true);
}

ProgramRun RunProgramInOwnConsole(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE nothing =
      CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  ProgramRun run = Run(program, arguments, timeoutMs, false, CREATE_NEW_CONSOLE, nothing);
  CloseHandle(nothing);
  return run;
}

std::vector<std::string> RunProgramUnderDebugger(const std::wstring& program, const std::wstring& arguments,
                                                 DWORD timeoutMs) {
  std::vector<std::string> lines;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nowhere = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                               nullptr);
  PROCESS_INFORMATION process{};
  const bool started = StartProgram(program, arguments, nowhere, nowhere, DEBUG_ONLY_THIS_PROCESS, &process);
  CloseHandle(nowhere);
  if (!started) return lines;

  const DWORD deadline = GetTickCount() + timeoutMs;
  for (bool running = true; running;) {
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, 1000)) {
      if (static_cast<LONG>(GetTickCount() - deadline) >= 0) {
        ADD_FAILURE() << "the debuggee did not end";
        TerminateProcess(process.hProcess, 0xDEAD);
      }
      continue;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& text = event.u.DebugString;
        std::string line(text.nDebugStringLength, '\0');
        SIZE_T got = 0;
        if (!text.fUnicode &&
            ReadProcessMemory(process.hProcess, text.lpDebugStringData, &line[0], line.size(), &got)) {
          line.resize(std::min<size_t>(got, std::strlen(line.c_str())));
          lines.push_back(line);
        }
        break;
      }
      case EXCEPTION_DEBUG_EVENT:  // the debuggee handles its own exceptions; the initial breakpoint goes on
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        running = false;
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return lines;
}

}  // namespace zelk::test
