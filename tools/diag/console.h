// Where the doctor's text goes: a console window, or a file or pipe. And the
// pause before a console window of its own closes.
#pragma once

#include <cstdio>
#include <string>

namespace zelkdiag {

// Writes UTF-8 text to `out` (stdout or stderr). A console gets it as UTF-16
// through the console's wide-character output, which shows Japanese whatever
// the console's code page. A file or pipe gets the UTF-8 bytes unchanged.
void Write(std::FILE* out, const std::string& utf8);

// Started by a double-click in Explorer or from a shortcut, the doctor is the
// only process of the console window the system made for it, and the window
// closes the moment it ends. Then it says so and waits for a key. It never
// waits when its standard input is not a console (a script, a test, a pipe).
void WaitIfOwnConsole(const std::string& promptUtf8);

}  // namespace zelkdiag
