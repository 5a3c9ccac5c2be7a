// Tuning: the channel's carrier plus the intermediate frequency, divided by the
// synthesiser step, goes to the tuner (device 0x60) in one register write whose
// register field carries the band-switch and control bytes.
#include "encoder/property_channel.h"
#include "encoder/trace.h"
#include "tuner/channel_tables.h"
#include "tuner/front_end.h"

namespace zelk::tuner {
namespace {

constexpr int32_t kIntermediateHz = 58'750'000;
constexpr int32_t kSynthesiserStepHz = 62'500;
constexpr int32_t kLowBandTopHz = 343'250'000;  // highest carrier of the low band, inclusive
constexpr uint32_t kBandLow = 0x02;
constexpr uint32_t kBandHigh = 0x08;
constexpr uint32_t kTunerControlByte = 0xC6;
constexpr uint8_t kTunerWriteFlags = 0x0B;

constexpr uint32_t kChannelNumberMask = 0xFFFF;
constexpr uint32_t kCatvPlanBit = 1u << 16;

}  // namespace

HRESULT SetChannel(const PropertyChannel& properties, const FrontEndState& state, uint32_t channelCode) {
  const auto number = static_cast<int32_t>(channelCode & kChannelNumberMask);
  int32_t hz = 0;
  if (!ReadChannelTable((channelCode & kCatvPlanBit) != 0, number, &hz)) return E_FAIL;

  // The register bytes on the bus are: band, control byte, 0, 0.
  const int32_t divider = (hz + kIntermediateHz) / kSynthesiserStepHz;
  const uint32_t band = hz <= kLowBandTopHz ? kBandLow : kBandHigh;
  const uint32_t controlWord = (kTunerControlByte << 8) | band;
  HRESULT hr =
      properties.WriteDeviceRegister(kDevTuner, kTunerWriteFlags, controlWord, static_cast<uint32_t>(divider), 0);
  if (FAILED(hr)) return FailStep(kSetChannelTrace, 1, hr);

  // A new channel needs the ghost reducer started again on the new signal.
  hr = CtrlGr(properties, state.enhancerPresent, state.processingFlags & 2);
  if (FAILED(hr)) return FailStep(kSetChannelTrace, 2, hr);
  return hr;
}

}  // namespace zelk::tuner
