// Shared COM helpers: counted references through ComPtr, and the early-return
// macros the module uses on failure paths.
#pragma once

#include <windows.h>
#include <wrl/client.h>

namespace zelk {

using Microsoft::WRL::ComPtr;

}  // namespace zelk

// Returns the HRESULT of an expression when it is a failure code.
#define ZELK_RETURN_IF_FAILED(expr)     \
  do {                                  \
    const HRESULT zelkHr_ = (expr);     \
    if (FAILED(zelkHr_)) return zelkHr_; \
  } while (0)
