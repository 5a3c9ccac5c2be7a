// Shared COM helpers: counted references through ComPtr, and the early-return
// macros the module uses on failure paths.
#pragma once

#include <windows.h>
#include <wrl/client.h>

namespace zelk {

using Microsoft::WRL::ComPtr;

// Takes over a reference the caller already owns (an out-parameter's). This
// toolchain's ComPtr::Attach adds a reference of its own, so it must not be
// used for that.
template <typename T>
void Adopt(ComPtr<T>& holder, T* owned) {
  *holder.ReleaseAndGetAddressOf() = owned;
}

}  // namespace zelk

// Returns the HRESULT of an expression when it is a failure code.
#define ZELK_RETURN_IF_FAILED(expr)     \
  do {                                  \
    const HRESULT zelkHr_ = (expr);     \
    if (FAILED(zelkHr_)) return zelkHr_; \
  } while (0)
