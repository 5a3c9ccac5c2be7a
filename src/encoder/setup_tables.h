// The fixed set-up that the board receives each time the capture filter is
// attached: the encoder parameter block, the control record and the register
// tables of the video decoder, the volume device and the enhancer unit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "encoder/property_channel.h"

namespace zelk::setup {

inline constexpr size_t kParameterBlockSize = 341;
inline constexpr size_t kControlRecordFields = 9;
inline constexpr size_t kDeviceInfoSize = 30;
inline constexpr size_t kStartupRows = 88;
inline constexpr size_t kEnhancerRows = 40;

// Board codes of the variants that carry the enhancer unit.
inline constexpr uint32_t kEnhancerBoardCodes[] = {4721, 5632};

using ParameterBlock = std::array<uint8_t, kParameterBlockSize>;
using ControlRecord = std::array<uint32_t, kControlRecordFields>;

extern const ParameterBlock kEncoderParameterBlock;
// Declared with their row counts: a definition with another count does not compile.
extern const RegisterWriteEntry kStartupRegisterTable[kStartupRows];
extern const RegisterWriteEntry kEnhancerRegisterTable[kEnhancerRows];

// The control record: field 1 = 1, field 3 = the aspect code (2 for 4:3, 3 for 16:9).
constexpr ControlRecord MakeControlRecord(uint32_t aspectCode) { return {0, 1, 0, aspectCode, 0, 0, 0, 0, 0}; }
static_assert(sizeof(ControlRecord) == 36, "control record is 36 bytes");

}  // namespace zelk::setup
