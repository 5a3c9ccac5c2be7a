// The two small front-end settings: the driver's filter mode and the audio
// volume device (device 0x1B).
#include <cstdint>

#include "encoder/property_channel.h"
#include "tuner/front_end.h"

namespace zelk::tuner {
namespace {

constexpr uint32_t kVolumeLeft = 0x00;
constexpr uint32_t kVolumeRight = 0x02;
constexpr int64_t kVolumeFloor = 10000;  // -100.00 dB, device value 0
constexpr int64_t kVolumeStep = 322;     // hundredths of a dB per device step

}  // namespace

HRESULT WriteFilterMode(const PropertyChannel& properties, const uint8_t* mode) {
  if (!mode) return E_POINTER;
  const uint32_t value = *mode;
  return properties.SetDeviceProperty(kPropFilterMode, &value, sizeof value);
}

HRESULT WriteVolume(const PropertyChannel& properties, int32_t volume) {
  // Widened so that volumes near the top of the int32 range cannot overflow;
  // for every other value this is the plain 32-bit quotient, truncated toward
  // zero and not clamped (below -10000 the device gets negative values).
  const auto value = static_cast<uint32_t>(static_cast<int32_t>((volume + kVolumeFloor) / kVolumeStep));
  const HRESULT hr = properties.WriteDeviceRegister(kDevVolume, kAccessWrite, kVolumeLeft, value, 0);
  if (FAILED(hr)) return hr;
  return properties.WriteDeviceRegister(kDevVolume, kAccessWrite, kVolumeRight, value, 0);
}

}  // namespace zelk::tuner
