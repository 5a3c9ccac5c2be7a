// Process-wide values of the module: its path and instance, recorded by the
// module entry routine, and the counts that decide whether it may unload.
#pragma once

#include <windows.h>

namespace zelk {

// The module's full path (ANSI, 260 characters at most, zero-terminated); the
// firmware image is looked for in its folder. Empty when the path could not be
// read or did not fit.
extern char modulePath[MAX_PATH];
// The module handle, recorded at process attach; registration reads the path from it.
extern HINSTANCE moduleInstance;

// Live encoder objects and class factories; changed by interlocked operations.
extern volatile LONG objectCount;
// LockServer count; may go negative (a negative count does not keep the module loaded).
extern volatile LONG serverLockCount;

// Records the module's path (what the entry routine does on every call).
void RecordModulePath(HINSTANCE module);

}  // namespace zelk
