// The enhancer unit: the ghost reducer (device 0x12) and the 3D Y/C separator
// (device 0x5C). Boards without the unit have neither device, so both switches
// send nothing there.
#include <zelk/encoder_module.h>

#include "encoder/property_channel.h"
#include "encoder/trace.h"
#include "tuner/front_end.h"

namespace zelk::tuner {
namespace {

constexpr uint32_t kEnhancerControl = 0x00;  // control register of both devices
constexpr uint32_t kGhostReductionOff = 0x40;
constexpr uint32_t kYcSeparationOn = 0x1F;
constexpr uint32_t kYcSeparationOff = 0x5F;

// Ghost reduction on: bit 6 cleared, then bit 4 pulsed.
constexpr RegisterWriteEntry kGhostReductionOn[] = {
    {kDevGhostReducer, kAccessWrite, kEnhancerControl, 0x00, 0},
    {kDevGhostReducer, kAccessWrite, kEnhancerControl, 0x10, 0},
    {kDevGhostReducer, kAccessWrite, kEnhancerControl, 0x00, 0},
};

// The ghost reducer may only be started once the video decoder has locked:
// register 0x1F bit 0 of the decoder. One read, then up to five more, 20 ms apart.
constexpr uint32_t kDecoderStatus = 0x1F;
constexpr uint32_t kDecoderReady = 0x01;
constexpr int kReadyRetries = 5;
constexpr DWORD kReadyPollMs = 20;

}  // namespace

// S_OK once the decoder is ready, S_FALSE when it never was. A failed read
// counts as not ready, except that without a capture filter nothing can be
// polled at all and the property channel's error comes back at once.
HRESULT WaitForDecoderReady(const PropertyChannel& properties) {
  for (int attempt = 0;; ++attempt) {
    uint32_t status = 0;
    const HRESULT hr = properties.ReadDeviceRegister(kDevDecoder, kAccessRead, kDecoderStatus, &status, 0);
    if (hr == ZELK_E_NO_CAPTURE_FILTER) return hr;
    if (SUCCEEDED(hr) && (status & kDecoderReady)) return S_OK;
    if (attempt == kReadyRetries) return S_FALSE;
    Sleep(kReadyPollMs);
  }
}

HRESULT CtrlGr(const PropertyChannel& properties, BOOL enhancerPresent, uint32_t enable) {
  if (!enhancerPresent) return S_OK;
  if (enable == 0) {
    const HRESULT hr =
        properties.WriteDeviceRegister(kDevGhostReducer, kAccessWrite, kEnhancerControl, kGhostReductionOff, 0);
    return FAILED(hr) ? FailStep(kCtrlGrTrace, 5, hr) : hr;
  }
  const HRESULT ready = WaitForDecoderReady(properties);
  if (ready != S_OK) return FailStep(kCtrlGrTrace, 1, ready);

  size_t failedRow = 0;
  const HRESULT hr = properties.WriteRegisterTable(kGhostReductionOn, &failedRow);
  return FAILED(hr) ? FailStep(kCtrlGrTrace, 2 + static_cast<int>(failedRow), hr) : hr;
}

HRESULT Ctrl3dyc(const PropertyChannel& properties, BOOL enhancerPresent, uint32_t enable) {
  if (!enhancerPresent) return S_OK;
  const uint32_t value = enable ? kYcSeparationOn : kYcSeparationOff;
  const HRESULT hr = properties.WriteDeviceRegister(kDevYcSeparator, kAccessWrite, kEnhancerControl, value, 0);
  return FAILED(hr) ? FailStep(kCtrl3dycTrace, enable ? 1 : 2, hr) : hr;
}

}  // namespace zelk::tuner
