// IEnumPins over a simulator filter and IEnumMediaTypes over the one stream
// type. Each enumerator holds a reference to the object it walks.
#pragma once

#include "sim_filter.h"

namespace zelk::sim {

HRESULT CreatePinEnumerator(SimFilter* filter, ULONG position, IEnumPins** out);
HRESULT CreateTypeEnumerator(IPin* pin, ULONG position, IEnumMediaTypes** out);

}  // namespace zelk::sim
