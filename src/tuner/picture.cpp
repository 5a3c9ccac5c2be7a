// Picture adjustment: brightness, contrast, saturation and hue are registers
// 0x0A to 0x0D of the video decoder. In the two separated-luminance input modes
// the brightness register sits a fixed offset above the caller's value; the
// offset follows the decoder's input-mode register 0x02.
#include <zelk/encoder_module.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "encoder/property_channel.h"
#include "encoder/trace.h"
#include "tuner/front_end.h"

namespace zelk::tuner {
namespace {

constexpr uint32_t kInputMode = 0x02;
constexpr uint32_t kModeSvideo = 0xC8;
constexpr uint32_t kModeEnhancer = 0xC9;

// The decoder's picture registers and the record's fields they hold, brightness first.
struct PictureRegister {
  uint32_t reg;
  int32_t PictureValues::*field;
};
constexpr PictureRegister kPictureRegisters[] = {
    {0x0A, &PictureValues::brightness},
    {0x0B, &PictureValues::contrast},
    {0x0C, &PictureValues::saturation},
    {0x0D, &PictureValues::hue},
};
constexpr size_t kPictureCount = std::size(kPictureRegisters);

int32_t BrightnessOffset(uint32_t inputMode) {
  if (inputMode == kModeSvideo) return 13;
  if (inputMode == kModeEnhancer) return 19;
  return 0;
}

int32_t Clamp(int32_t value, int32_t low, int32_t high) { return std::min(std::max(value, low), high); }

}  // namespace

HRESULT SetBCSH(const PropertyChannel& properties, PictureValues* picture) {
  if (!picture) return E_POINTER;
  uint32_t inputMode = 0;
  HRESULT hr = properties.ReadDeviceRegister(kDevDecoder, kAccessRead, kInputMode, &inputMode, 0);
  if (FAILED(hr)) return FailStep(kSetBcshTrace, 1, hr);
  const int32_t offset = BrightnessOffset(inputMode);

  // The register holds brightness + offset in 0..255; the others are signed bytes.
  picture->brightness = Clamp(picture->brightness, -offset, 255 - offset);
  picture->contrast = Clamp(picture->contrast, -128, 127);
  picture->saturation = Clamp(picture->saturation, -128, 127);
  picture->hue = Clamp(picture->hue, -128, 127);

  RegisterWriteEntry writes[kPictureCount];
  for (size_t i = 0; i < kPictureCount; ++i) {
    const int32_t value = picture->*kPictureRegisters[i].field + (i == 0 ? offset : 0);
    writes[i] = {kDevDecoder, kAccessWrite, kPictureRegisters[i].reg, static_cast<uint32_t>(value), 0};
  }
  size_t failedRow = 0;
  hr = properties.WriteRegisterTable(writes, &failedRow);
  if (FAILED(hr)) return FailStep(kSetBcshTrace, 2 + static_cast<int>(failedRow), hr);
  return hr;
}

HRESULT GetBCSH(const PropertyChannel& properties, PictureValues* picture) {
  if (!picture) return E_POINTER;
  HRESULT hr = S_OK;
  for (size_t i = 0; i < kPictureCount; ++i) {
    uint32_t raw = 0;
    hr = properties.ReadDeviceRegister(kDevDecoder, kAccessRead, kPictureRegisters[i].reg, &raw, 0);
    // A request that never left (no capture filter) leaves the record alone;
    // otherwise the field holds what the driver returned, 0 when nothing.
    if (hr != ZELK_E_NO_CAPTURE_FILTER) picture->*kPictureRegisters[i].field = static_cast<int32_t>(raw);
    if (FAILED(hr)) return FailStep(kGetBcshTrace, 1 + static_cast<int>(i), hr);
  }
  // All but brightness are signed bytes.
  for (size_t i = 1; i < kPictureCount; ++i) {
    int32_t& field = picture->*kPictureRegisters[i].field;
    field = static_cast<int8_t>(field & 0xFF);
  }

  uint32_t inputMode = 0;
  hr = properties.ReadDeviceRegister(kDevDecoder, kAccessRead, kInputMode, &inputMode, 0);
  if (FAILED(hr)) return FailStep(kGetBcshTrace, 5, hr);
  // Wrapping subtraction: the raw register word may be any 32-bit value.
  picture->brightness = static_cast<int32_t>(static_cast<uint32_t>(picture->brightness) -
                                             static_cast<uint32_t>(BrightnessOffset(inputMode)));
  return hr;
}

}  // namespace zelk::tuner
