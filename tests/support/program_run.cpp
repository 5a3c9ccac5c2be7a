#include "support/program_run.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zelk::test {

std::wstring TestFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

ProgramRun RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
  ProgramRun run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    ADD_FAILURE() << "CreatePipe failed: " << GetLastError();
    return run;
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  const std::wstring path = TestFolder() + program;
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  PROCESS_INFORMATION process{};
  const BOOL created = CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      TestFolder().c_str(), &startup, &process);
  CloseHandle(writeEnd);
  if (!created) {
    ADD_FAILURE() << "cannot start the program: " << GetLastError();
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

}  // namespace zelk::test
