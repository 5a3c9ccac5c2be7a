#include "console.h"

#include <windows.h>
#include <io.h>

namespace zelkdiag {
namespace {

// The console behind `handle`, or null when it is a file, a pipe or nothing.
HANDLE Console(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

// Files and pipes get UTF-8, not the ANSI code page: the report holds
// Japanese on any Windows (--lang ja on an English one), which most ANSI code
// pages cannot hold; JSON is UTF-8 by definition; and support staff open the
// file on another machine, where the sender's ANSI code page is unknown. For
// English, which is ASCII, the bytes are the same as before.
void Write(std::FILE* out, const std::string& utf8) {
  if (utf8.empty()) return;
  std::fflush(out);
  const HANDLE console = Console(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out))));
  if (!console) {
    std::fwrite(utf8.data(), 1, utf8.size(), out);  // text mode: '\n' becomes "\r\n" as before
    std::fflush(out);
    return;
  }
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
  const wchar_t* text = wide.data();
  DWORD left = static_cast<DWORD>(wide.size());
  while (left > 0) {
    DWORD written = 0;
    // A console takes a limited amount per call on older systems.
    if (!WriteConsoleW(console, text, left < 8192 ? left : 8192, &written, nullptr) || written == 0) return;
    text += written;
    left -= written;
  }
}

void WaitIfOwnConsole(const std::string& promptUtf8) {
  const HANDLE input = Console(GetStdHandle(STD_INPUT_HANDLE));
  // A report written to a file or pipe gets no prompt in it.
  if (!input || !Console(GetStdHandle(STD_OUTPUT_HANDLE))) return;
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return;  // a prompt or another program shares the window
  Write(stdout, "\n" + promptUtf8 + "\n");
  FlushConsoleInputBuffer(input);
  INPUT_RECORD record;
  DWORD got = 0;
  while (ReadConsoleInputW(input, &record, 1, &got) && got == 1) {
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
  }
}

}  // namespace zelkdiag
