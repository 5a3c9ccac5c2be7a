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
// going to `output` (an inheritable handle).
bool StartProgram(const std::wstring& program, const std::wstring& arguments, HANDLE output, DWORD creationFlags,
                  PROCESS_INFORMATION* process) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output;
  startup.hStdError = output;
  const std::wstring path = TestFolder() + program;
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  if (CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, creationFlags, nullptr,
                     TestFolder().c_str(), &startup, process)) {
    return true;
  }
  ADD_FAILURE() << "cannot start the program: " << GetLastError();
  return false;
}

}  // namespace

ProgramRun RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
  ProgramRun run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    ADD_FAILURE() << "CreatePipe failed: " << GetLastError();
    return run;
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  PROCESS_INFORMATION process{};
  const bool started = StartProgram(program, arguments, writeEnd, 0, &process);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return run;
  }

  const DWORD deadline = GetTickCount() + timeoutMs;
  char buffer[4096];
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;  // writer gone
    if (available > 0) {
      DWORD got = 0;
      if (!ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) || got == 0) break;
      run.output.append(buffer, got);
      continue;
    }
    if (static_cast<LONG>(GetTickCount() - deadline) >= 0) {
      run.timedOut = true;
      TerminateProcess(process.hProcess, 0xDEAD);
      break;
    }
    Sleep(10);
  }
  WaitForSingleObject(process.hProcess, timeoutMs);
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(readEnd);
  return run;
}

std::vector<std::string> RunProgramUnderDebugger(const std::wstring& program, const std::wstring& arguments,
                                                 DWORD timeoutMs) {
  std::vector<std::string> lines;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nowhere = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                               nullptr);
  PROCESS_INFORMATION process{};
  const bool started = StartProgram(program, arguments, nowhere, DEBUG_ONLY_THIS_PROCESS, &process);
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
