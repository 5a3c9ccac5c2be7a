// Video input selection. The video decoder (device 0x21) has three sources in
// front of it: composite, S-video and the tuner. On boards with the enhancer
// unit, composite and tuner signals can run through it, and the decoder then
// takes separated luminance and chrominance from the unit.
#include <iterator>

#include "encoder/property_channel.h"
#include "encoder/trace.h"
#include "tuner/front_end.h"

namespace zelk::tuner {
namespace {

constexpr DWORD kInputSettleMs = 100;  // the decoder needs this after an input switch

// Decoder set-up per source: input switch (0x88), input mode (0x02, read back
// by the picture operations), chroma path (0x09) and luma path (0x0E).
constexpr int kGroupSvideo = 0;
constexpr int kGroupComposite = 1;
constexpr int kGroupTuner = 2;
constexpr int kGroupEnhancer = 3;
constexpr size_t kGroupWrites = 4;

constexpr RegisterWriteEntry kDecoderGroups[][kGroupWrites] = {
    {// S-video
     {kDevDecoder, kAccessWrite, 0x88, 0xF8, kInputSettleMs},
     {kDevDecoder, kAccessWrite, 0x02, 0xC8, 0},
     {kDevDecoder, kAccessWrite, 0x09, 0x90, 0},
     {kDevDecoder, kAccessWrite, 0x0E, 0x4C, 0}},
    {// composite
     {kDevDecoder, kAccessWrite, 0x88, 0xB8, kInputSettleMs},
     {kDevDecoder, kAccessWrite, 0x02, 0xC4, 0},
     {kDevDecoder, kAccessWrite, 0x09, 0x50, 0},
     {kDevDecoder, kAccessWrite, 0x0E, 0x4D, 0}},
    {// tuner
     {kDevDecoder, kAccessWrite, 0x88, 0xB8, kInputSettleMs},
     {kDevDecoder, kAccessWrite, 0x02, 0xC5, 0},
     {kDevDecoder, kAccessWrite, 0x09, 0x50, 0},
     {kDevDecoder, kAccessWrite, 0x0E, 0x4D, 0}},
    {// through the enhancer unit
     {kDevDecoder, kAccessWrite, 0x88, 0xF8, kInputSettleMs},
     {kDevDecoder, kAccessWrite, 0x02, 0xC9, 0},
     {kDevDecoder, kAccessWrite, 0x09, 0x90, 0},
     {kDevDecoder, kAccessWrite, 0x0E, 0x4C, 0}},
};
static_assert(std::size(kDecoderGroups) == kGroupEnhancer + 1, "one row per group index");

// Selecting the tuner first clears the companion device's register 0x81 and
// puts its mode register 0x80 into the default mode.
constexpr RegisterWriteEntry kTunerCompanionSetup[] = {
    {kDevTunerCompanion, kAccessWrite, 0x81, 0x00, 0},
    {kDevTunerCompanion, kAccessWrite, 0x80, 0x01, 0},
};

// Decoder register 0x03 bit 5 is set for composite and S-video, cleared for
// the tuner.
constexpr uint32_t kDecoderInputControl = 0x03;
constexpr uint32_t kTunerInputBit = 0x20;

constexpr int32_t kInputTuner = 2;
constexpr int32_t kInputSvideo = 1;
constexpr int kGroupOfInput[] = {kGroupComposite, kGroupSvideo, kGroupTuner};

// Meaningful processing bits: 3D Y/C separation (0) and ghost reduction (1).
constexpr uint32_t kProcessingBits = 0x03;

// Step numbers of the failure trace.
constexpr int kStepCompanion = 2;  // 2-3
constexpr int kStepInputControl = 4;
constexpr int kStepRouting = 5;
constexpr int kStepRoutedYc = 6;
constexpr int kStepRoutedGroup = 7;  // 7-10
constexpr int kStepYc = 11;
constexpr int kStepGhost = 12;
constexpr int kStepGroup = 14;  // 14-17
constexpr int kStepNotify = 18;

// Sends a decoder setting group; on failure *step is the failing row's step.
HRESULT WriteGroup(const PropertyChannel& properties, int group, int firstStep, int* step) {
  size_t failedRow = 0;
  const HRESULT hr = properties.WriteRegisterTable(kDecoderGroups[group], &failedRow);
  *step = firstStep + static_cast<int>(failedRow);
  return hr;
}

// Through the enhancer unit: tell the driver which source feeds the unit, set
// the Y/C separator and switch the decoder to the unit's separated output.
// The ghost reducer is left to the next tuning or start of encoding.
HRESULT RouteThroughEnhancer(const PropertyChannel& properties, const FrontEndState& state, int group, int* step) {
  const uint32_t routedGroup = static_cast<uint32_t>(group);
  *step = kStepRouting;
  HRESULT hr = properties.Set(InputPropertySet, kPropInputRouting, nullptr, 0, &routedGroup, sizeof routedGroup);
  if (FAILED(hr)) return hr;
  *step = kStepRoutedYc;
  hr = Ctrl3dyc(properties, state.enhancerPresent, state.processingFlags & 1);
  if (FAILED(hr)) return hr;
  return WriteGroup(properties, kGroupEnhancer, kStepRoutedGroup, step);
}

HRESULT ConnectDirectly(const PropertyChannel& properties, const FrontEndState& state, int group, int* step) {
  *step = kStepYc;
  HRESULT hr = Ctrl3dyc(properties, state.enhancerPresent, state.processingFlags & 1);
  if (FAILED(hr)) return hr;
  *step = kStepGhost;
  hr = CtrlGr(properties, state.enhancerPresent, state.processingFlags & 2);  // S_FALSE: not ready, go on
  if (FAILED(hr)) return hr;
  return WriteGroup(properties, group, kStepGroup, step);
}

}  // namespace

HRESULT SetInput(const PropertyChannel& properties, const FrontEndState& state, int32_t input) {
  if (input < 0 || static_cast<size_t>(input) >= std::size(kGroupOfInput)) return E_INVALIDARG;
  const int group = kGroupOfInput[input];
  HRESULT hr = S_OK;

  if (input == kInputTuner) {
    size_t failedRow = 0;
    hr = properties.WriteRegisterTable(kTunerCompanionSetup, &failedRow);
    if (FAILED(hr)) return FailStep(kSetInputTrace, kStepCompanion + static_cast<int>(failedRow), hr);
  }

  uint32_t inputControl = 0;
  hr = properties.ReadDeviceRegister(kDevDecoder, kAccessRead, kDecoderInputControl, &inputControl, 0);
  if (FAILED(hr)) return FailStep(kSetInputTrace, kStepInputControl, hr);
  inputControl = input == kInputTuner ? (inputControl & 0xFF & ~kTunerInputBit) : (inputControl | kTunerInputBit);
  hr = properties.WriteDeviceRegister(kDevDecoder, kAccessWrite, kDecoderInputControl, inputControl, 0);
  if (FAILED(hr)) return FailStep(kSetInputTrace, kStepInputControl, hr);

  // S-video is already separated and never goes through the unit.
  const bool routed = (state.processingFlags & kProcessingBits) != 0 && state.videoInput != kInputSvideo;
  int step = 0;
  hr = routed ? RouteThroughEnhancer(properties, state, group, &step)
              : ConnectDirectly(properties, state, group, &step);
  if (FAILED(hr)) return FailStep(kSetInputTrace, step, hr);

  const uint8_t notify[2] = {static_cast<uint8_t>(group == kGroupTuner ? 1 : 0), 2};
  hr = properties.SetDeviceProperty(kPropInputNotify, notify, sizeof notify);
  if (FAILED(hr)) return FailStep(kSetInputTrace, kStepNotify, hr);
  return hr;
}

}  // namespace zelk::tuner
