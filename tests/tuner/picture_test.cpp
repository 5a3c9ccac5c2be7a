#include "front_end_rig.h"

namespace zelk::test {
namespace {

using PictureTest = FrontEndTest;
using tuner::GetBCSH;
using tuner::PictureValues;
using tuner::SetBCSH;

bool operator==(const PictureValues& a, const PictureValues& b) {
  return a.brightness == b.brightness && a.contrast == b.contrast && a.saturation == b.saturation &&
         a.hue == b.hue;
}

TEST_F(PictureTest, ClampsWritesAndReadsBackInEachInputMode) {
  const struct {
    uint32_t mode;
    PictureValues given, clamped;
    uint32_t brightnessReg;
  } cases[] = {
      {0xC4, {128, 68, 64, 0}, {128, 68, 64, 0}, 128},
      {0xC5, {-1, 200, -129, -300}, {0, 127, -128, -128}, 0},
      {0xC5, {256, -128, 127, 128}, {255, -128, 127, 127}, 255},
      {0xC8, {128, -1, 0, 1}, {128, -1, 0, 1}, 141},
      {0xC8, {-20, 0, 0, 0}, {-13, 0, 0, 0}, 0},
      {0xC8, {250, 0, 0, 0}, {242, 0, 0, 0}, 255},
      {0xC9, {240, 0, 0, 0}, {236, 0, 0, 0}, 255},
      {0xC9, {INT32_MIN, INT32_MAX, INT32_MIN, 0}, {-19, 127, -128, 0}, 0},
  };
  for (const auto& c : cases) {
    board->ClearLog();
    board->SetRegister(0x21, 0x02, c.mode);
    PictureValues picture = c.given;
    EXPECT_EQ(S_OK, SetBCSH(properties, &picture));
    EXPECT_TRUE(picture == c.clamped) << "mode " << std::hex << c.mode << " brightness " << std::dec
                                      << c.given.brightness;
    EXPECT_EQ(Log(), (Lines{RegRead(0x21, 0x02, c.mode), RegWrite(0x21, 0x0A, c.brightnessReg),
                            RegWrite(0x21, 0x0B, static_cast<uint32_t>(c.clamped.contrast)),
                            RegWrite(0x21, 0x0C, static_cast<uint32_t>(c.clamped.saturation)),
                            RegWrite(0x21, 0x0D, static_cast<uint32_t>(c.clamped.hue))}));
    PictureValues read{9, 9, 9, 9};
    EXPECT_EQ(S_OK, GetBCSH(properties, &read));
    EXPECT_TRUE(read == c.clamped) << "read back, mode " << std::hex << c.mode;
  }
}

TEST_F(PictureTest, ReadSignExtendsAndRemovesTheOffset) {
  const uint32_t regs[] = {141, 0x1F0, 0x40, 0x80};
  for (uint32_t i = 0; i < 4; ++i) board->SetRegister(0x21, 0x0A + i, regs[i]);
  board->SetRegister(0x21, 0x02, 0xC8);
  PictureValues picture{};
  EXPECT_EQ(S_OK, GetBCSH(properties, &picture));
  EXPECT_TRUE(picture == (PictureValues{128, -16, 64, -128}));
  EXPECT_EQ(Log(), (Lines{RegRead(0x21, 0x0A, 141), RegRead(0x21, 0x0B, 0x1F0), RegRead(0x21, 0x0C, 0x40),
                          RegRead(0x21, 0x0D, 0x80), RegRead(0x21, 0x02, 0xC8)}));
}

TEST_F(PictureTest, FailuresStopAtTheirStep) {
  board->SetRegister(0x21, 0x02, 0xC8);
  board->SetRegister(0x21, 0x0A, 141);
  for (size_t step = 1; step <= 5; ++step) {
    board->ClearLog();
    board->FailRequest(step, E_ACCESSDENIED);
    PictureValues picture{-100, 300, 0, 0};
    EXPECT_EQ(E_ACCESSDENIED, SetBCSH(properties, &picture));
    EXPECT_EQ(trace.Lines().back(), "ERROR -----> TC_SetBCSH()  step=" + std::to_string(step) + "\n");
    EXPECT_EQ(Log().size(), step);
    // Not clamped when the input mode could not be read.
    EXPECT_TRUE(picture == (step == 1 ? PictureValues{-100, 300, 0, 0} : PictureValues{-13, 127, 0, 0}));
  }
  const uint32_t regs[] = {141, 0xF3, 5, 6};
  for (uint32_t i = 0; i < 4; ++i) board->SetRegister(0x21, 0x0A + i, regs[i]);
  // Raw values before the failing field, 0 in it, later fields untouched; the
  // offset is not removed when the mode read fails.
  const PictureValues partial[] = {
      {0, 7, 7, 7}, {141, 0, 7, 7}, {141, 0xF3, 0, 7}, {141, 0xF3, 5, 0}, {141, -13, 5, 6}};
  for (size_t step = 1; step <= 5; ++step) {
    board->ClearLog();
    board->FailRequest(step, E_ACCESSDENIED);
    PictureValues picture{7, 7, 7, 7};
    EXPECT_EQ(E_ACCESSDENIED, GetBCSH(properties, &picture));
    EXPECT_EQ(trace.Lines().back(), "ERROR -----> TC_GetBCSH()  step=" + std::to_string(step) + "\n");
    EXPECT_TRUE(picture == partial[step - 1]) << "step " << step;
  }
}

}  // namespace
}  // namespace zelk::test
