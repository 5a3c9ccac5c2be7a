#include "encoder/setup_tables.h"

namespace zelk::setup {
namespace {

// One field of the parameter block: where it starts, how wide it is (1 or 4
// bytes) and its value. The block is packed: from offset 240 on the 32-bit
// fields start at odd offsets.
struct BlockField {
  uint16_t offset;
  uint8_t width;
  uint32_t value;
};

constexpr BlockField kBlockFields[] = {
    {0, 4, 0},      {4, 4, 2},      {8, 4, 0},      {12, 1, 0x00},  {13, 1, 0x22},  {14, 1, 0xD4},
    {15, 1, 0x72},  {16, 4, 0},     {20, 4, 2},     {24, 4, 0},     {28, 4, 5},     {32, 4, 2},
    {36, 4, 18},    {40, 4, 19},    {44, 4, 6},     {48, 4, 7},     {52, 4, 276},   {56, 4, 1716},
    {60, 4, 0},     {64, 4, 0},     {68, 4, 0},     {72, 4, 0},     {76, 4, 0},     {80, 4, 0},
    {84, 4, 720},   {88, 4, 480},   {92, 4, 0},     {96, 4, 0},     {100, 4, 0},    {104, 4, 255},
    {108, 4, 1},    {112, 4, 0},    {116, 4, 0},    {120, 4, 1},    {124, 4, 15},   {128, 4, 3},
    {132, 4, 0},    {136, 4, 0},    {140, 4, 1},    {144, 4, 2},    {148, 4, 5},    {152, 4, 16},
    {156, 4, 1},    {160, 4, 1},    {164, 4, 4},    {168, 4, 6144}, {172, 4, 6144}, {176, 4, 0},
    {180, 4, 1},    {184, 4, 1},    {188, 4, 0},    {192, 4, 1},    {196, 4, 2048}, {200, 4, 16},
    {204, 4, 33},   {208, 4, 49},   {212, 4, 33},   {216, 4, 2},    {220, 4, 1},    {224, 4, 1},
    {228, 4, 0},    {232, 4, 0},    {236, 4, 1},    {240, 1, 0},    {241, 4, 0},    {245, 4, 1},
    {249, 4, 0},    {253, 4, 48000}, {257, 4, 224}, {261, 4, 1},    {265, 4, 2},    {269, 4, 0},
    {273, 4, 0},    {277, 4, 3},    {281, 4, 4},    {285, 4, 6},    {289, 4, 0},    {293, 4, 0},
    {297, 4, 0},    {301, 4, 0},    {305, 4, 2},    {309, 4, 0},    {313, 4, 192},  {317, 4, 1},
    {321, 4, 0},    {325, 4, 0},    {329, 4, 0},    {333, 4, 0},    {337, 4, 1},
};

// The fields tile the whole block without gap or overlap.
constexpr bool FieldsTileBlock() {
  size_t next = 0;
  for (const BlockField& field : kBlockFields) {
    if (field.offset != next || (field.width != 1 && field.width != 4)) return false;
    next = field.offset + field.width;
  }
  return next == kParameterBlockSize;
}
static_assert(FieldsTileBlock(), "parameter block fields must cover 341 bytes exactly");

constexpr ParameterBlock BuildParameterBlock() {
  ParameterBlock block{};
  for (const BlockField& field : kBlockFields) {
    for (size_t byte = 0; byte < field.width; ++byte) {
      block[field.offset + byte] = static_cast<uint8_t>(field.value >> (8 * byte));  // little-endian
    }
  }
  return block;
}

constexpr RegisterWriteEntry Decoder(uint32_t reg, uint32_t value, uint32_t waitMs = 0) {
  return {kDevDecoder, 0, reg, value, waitMs};
}
constexpr RegisterWriteEntry Volume(uint32_t reg, uint32_t value) { return {kDevVolume, 0, reg, value, 0}; }
constexpr RegisterWriteEntry Ghost(uint32_t reg, uint32_t value) { return {kDevGhostReducer, 0, reg, value, 0}; }
constexpr RegisterWriteEntry YcSep(uint32_t reg, uint32_t value) { return {kDevYcSeparator, 0, reg, value, 0}; }

}  // namespace

const ParameterBlock kEncoderParameterBlock = BuildParameterBlock();

const RegisterWriteEntry kStartupRegisterTable[] = {
    // Video decoder: input, sync and scaler set-up.
    Decoder(0x01, 0x08), Decoder(0x03, 0x20), Decoder(0x0F, 0x0F), Decoder(0x10, 0x06), Decoder(0x11, 0x00),
    Decoder(0x12, 0x00), Decoder(0x13, 0x00), Decoder(0x14, 0x05), Decoder(0x15, 0x11), Decoder(0x16, 0x01),
    Decoder(0x17, 0xDA), Decoder(0x18, 0x40), Decoder(0x19, 0x80), Decoder(0x1A, 0x77), Decoder(0x1B, 0x42),
    Decoder(0x1C, 0xA9), Decoder(0x1D, 0x01), Decoder(0x3A, 0x08), Decoder(0x40, 0x00), Decoder(0x53, 0x55),
    Decoder(0x58, 0x00), Decoder(0x59, 0x47), Decoder(0x5A, 0x06), Decoder(0x5B, 0x83), Decoder(0x5D, 0x0C),
    Decoder(0x5E, 0x00),
    // Register 0x88 resets the decoder's processing: it needs 100 ms to settle.
    Decoder(0x88, 0x00, 100),
    Decoder(0x80, 0x90), Decoder(0x81, 0x00), Decoder(0x83, 0x00), Decoder(0x84, 0xF0), Decoder(0x85, 0x00),
    Decoder(0x86, 0x70), Decoder(0x87, 0x31), Decoder(0x90, 0x00), Decoder(0x91, 0x08), Decoder(0x92, 0x00),
    Decoder(0x93, 0xC0), Decoder(0x94, 0x04), Decoder(0x95, 0x00), Decoder(0x96, 0xD0), Decoder(0x97, 0x02),
    Decoder(0x98, 0x0A), Decoder(0x99, 0x00), Decoder(0x9A, 0x06), Decoder(0x9B, 0x01), Decoder(0x9C, 0xD0),
    Decoder(0x9D, 0x02), Decoder(0x9E, 0x07), Decoder(0x9F, 0x01), Decoder(0xA0, 0x01), Decoder(0xA1, 0x00),
    Decoder(0xA2, 0x00), Decoder(0xA4, 0x80), Decoder(0xA5, 0x40), Decoder(0xA6, 0x40), Decoder(0xA8, 0xF4),
    Decoder(0xA9, 0x03), Decoder(0xAA, 0x00), Decoder(0xAC, 0xFA), Decoder(0xAD, 0x01), Decoder(0xAE, 0x00),
    Decoder(0xB0, 0x00), Decoder(0xB1, 0x04), Decoder(0xB2, 0x00), Decoder(0xB3, 0x04), Decoder(0xB4, 0x00),
    Decoder(0xB8, 0x00), Decoder(0xB9, 0x00), Decoder(0xBA, 0x00), Decoder(0xBB, 0x00), Decoder(0xBC, 0x00),
    Decoder(0xBD, 0x00), Decoder(0xBE, 0x00), Decoder(0xBF, 0x00),
    // Picture registers (brightness, contrast, saturation, hue), then the output format.
    Decoder(0x0A, 0x80), Decoder(0x0B, 0x41), Decoder(0x0C, 0x40), Decoder(0x0D, 0xFFFFFF00),
    Decoder(0x08, 0x68),
    // Volume device: the two level registers (0x00, 0x02) start at 0x17.
    Volume(0x1E, 0x00), Volume(0x00, 0x17), Volume(0x02, 0x17), Volume(0x0A, 0x00), Volume(0x0C, 0x5A),
    Volume(0x0E, 0x02), Volume(0x10, 0x00), Volume(0x12, 0x01),
};

const RegisterWriteEntry kEnhancerRegisterTable[] = {
    // Ghost reducer.
    Ghost(0x00, 0x40), Ghost(0x01, 0xB8), Ghost(0x02, 0x58), Ghost(0x03, 0x87), Ghost(0x04, 0x86),
    Ghost(0x05, 0x03), Ghost(0x06, 0x14), Ghost(0x07, 0x0B), Ghost(0x08, 0xAF), Ghost(0x09, 0x7F),
    Ghost(0x0A, 0x00), Ghost(0x0B, 0x00), Ghost(0x0C, 0x1D), Ghost(0x0D, 0x5E), Ghost(0x0E, 0x00),
    Ghost(0x0F, 0xD0),
    // 3D Y/C separator.
    YcSep(0x00, 0x5F), YcSep(0x01, 0x01), YcSep(0x02, 0xA1), YcSep(0x03, 0x24), YcSep(0x04, 0x25),
    YcSep(0x05, 0x34), YcSep(0x06, 0x11), YcSep(0x07, 0x01), YcSep(0x08, 0x56), YcSep(0x09, 0x48),
    YcSep(0x0A, 0x00), YcSep(0x0B, 0x38), YcSep(0x0C, 0xA0), YcSep(0x0D, 0x05), YcSep(0x0E, 0x08),
    YcSep(0x0F, 0x44), YcSep(0x10, 0x00), YcSep(0x11, 0x08), YcSep(0x12, 0x53), YcSep(0x13, 0xF8),
    YcSep(0x14, 0x53), YcSep(0x15, 0x60), YcSep(0x16, 0x10), YcSep(0x17, 0x00),
};

}  // namespace zelk::setup
