#include "module/module_state.h"

namespace zelk {

char modulePath[MAX_PATH] = {};
HINSTANCE moduleInstance = nullptr;
volatile LONG objectCount = 0;
volatile LONG serverLockCount = 0;

void RecordModulePath(HINSTANCE module) {
  // A path the call could not read, or had to cut, would name the wrong folder.
  const DWORD length = GetModuleFileNameA(module, modulePath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) modulePath[0] = '\0';
}

}  // namespace zelk
