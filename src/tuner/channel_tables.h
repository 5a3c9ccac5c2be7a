// The two Japanese channel plans as frequency tables: terrestrial channels 1 to
// 62 and the cable (CATV) plan with 113 entries. One copy per process, shared
// by every encoder object; entries can be overridden at run time and keep the
// override until the module is unloaded.
#pragma once

#include <cstdint>

namespace zelk::tuner {

inline constexpr int32_t kTerrestrialChannels = 62;
inline constexpr int32_t kCatvChannels = 113;

// The video carrier of channel `number` (1-based) in Hz, or false when the
// number lies outside the plan.
bool ReadChannelTable(bool catv, int32_t number, int32_t* hz);
// Overrides one entry; false (nothing stored) when the number lies outside the plan.
bool WriteChannelTable(bool catv, int32_t number, int32_t hz);

}  // namespace zelk::tuner
