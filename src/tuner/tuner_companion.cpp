// The tuner's companion device (0x5B): mode register 0x80 and status register 0x00.
#include <iterator>

#include "encoder/property_channel.h"
#include "tuner/front_end.h"

namespace zelk::tuner {
namespace {

constexpr uint32_t kCompanionStatus = 0x00;
constexpr uint32_t kCompanionMode = 0x80;

// Register 0x80 value for tuner modes 1 to 4; any other mode writes 0x00.
constexpr uint32_t kModeRegisterOf[] = {0x00, 0x02, 0x01, 0x04};

constexpr uint32_t kStatusBit7 = 0x80;
constexpr uint32_t kStatusBit6 = 0x40;
constexpr int32_t kStatusBit6Set = 0x200;
constexpr int32_t kStatusBothClear = 0x100;

}  // namespace

HRESULT SetTunerMode(const PropertyChannel& properties, int32_t mode) {
  const bool known = mode >= 1 && static_cast<size_t>(mode) <= std::size(kModeRegisterOf);
  const uint32_t value = known ? kModeRegisterOf[mode - 1] : 0x00;
  return properties.WriteDeviceRegister(kDevTunerCompanion, kAccessWrite, kCompanionMode, value, 0);
}

HRESULT GetTunerStatus(const PropertyChannel& properties, int32_t* status) {
  if (!status) return E_POINTER;
  uint32_t reg = 0;
  const HRESULT hr = properties.ReadDeviceRegister(kDevTunerCompanion, kAccessRead, kCompanionStatus, &reg, 0);
  if (FAILED(hr)) return hr;
  if (reg & kStatusBit7) {
    *status = 0;
  } else {
    *status = (reg & kStatusBit6) ? kStatusBit6Set : kStatusBothClear;
  }
  return hr;
}

}  // namespace zelk::tuner
