#include "module/module_state.h"

namespace zelk {

char modulePath[MAX_PATH] = {};
HINSTANCE moduleInstance = nullptr;
volatile LONG objectCount = 0;
volatile LONG serverLockCount = 0;

void RecordModulePath(HINSTANCE module) { GetModuleFileNameA(module, modulePath, MAX_PATH); }

}  // namespace zelk
