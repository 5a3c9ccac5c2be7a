// The system's File writer filter in a host's graph, fed by the board's pin.
#pragma once

#include <windows.h>
#include <dshow.h>

namespace zelkhost {

// Adds the File writer to `graph`, writing to `path` (a full path, or NUL),
// and connects `pin` to its input. The graph holds the filter afterwards.
HRESULT ConnectFileWriter(IGraphBuilder* graph, IPin* pin, const wchar_t* path);

}  // namespace zelkhost
