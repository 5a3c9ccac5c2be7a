// In-process creation of the simulator's DirectShow filters, for unit tests
// and for zelksim.dll.
//
// - The capture filter: IBaseFilter with an output pin "Video/Muxed Out"
//   (MPEG-2 program stream) and optionally an input pin "Video In", plus
//   IKsPropertySet and ISimBoardControl forwarding to a Board.
// - Faulty captures: the board without its output pin, or without IKsPropertySet.
// - The test filter: a downstream filter with an input pin "Sink In" and
//   optionally an output pin "Sink Out"; no IKsPropertySet.
// - The other camera: a video-input filter without a board, output pin "Capture".
//
// Reference counting: a filter is deleted when its count reaches zero. Each pin
// counts its own references; while a pin has any, it holds one reference to
// its filter. Connected pins hold each other (as DirectShow pins do), so a
// connection must be broken before the filters can go away. The graph pointer
// given to JoinFilterGraph is not counted.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <memory>
#include <vector>

#include "board.h"
#include "request_log.h"
#include "sim_control.h"

namespace zelk::sim {

HRESULT CreateSimCaptureFilter(std::shared_ptr<Board> board, bool withInputPin, IBaseFilter** out);
// The capture filter as a faulty driver exposes it: without its output pin
// (only "Video In"), or with both pins but without IKsPropertySet.
HRESULT CreateCaptureWithoutPin(std::shared_ptr<Board> board, IBaseFilter** out);
HRESULT CreateCaptureWithoutProperties(IBaseFilter** out);
HRESULT CreateTestFilter(bool withOutputPin, IBaseFilter** out);
// A downstream filter fed from two sides: inputs "Mix In 1" and "Mix In 2",
// output "Mix Out".
HRESULT CreateMixerFilter(IBaseFilter** out);
HRESULT CreateOtherCameraFilter(IBaseFilter** out);

// Current reference count of a COM object (an AddRef/Release pair).
inline ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// Filters, pins' enumerators and class factories alive in the process (for
// DllCanUnloadNow and leak checks).
LONG LiveObjects();
void AddLiveObject();
void RemoveLiveObject();

// The whole log of a board, read through its control interface.
std::vector<LoggedRequest> ReadLog(ISimBoardControl* control);

}  // namespace zelk::sim
