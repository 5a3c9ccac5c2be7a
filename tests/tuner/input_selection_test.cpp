#include "front_end_rig.h"

namespace zelk::test {
namespace {

using InputTest = FrontEndTest;
using tuner::FrontEndState;
using tuner::SetInput;

// The four decoder writes of a setting group: input switch, mode, chroma, luma.
Lines Group(uint32_t inputSwitch, uint32_t mode, uint32_t chroma, uint32_t luma) {
  return {RegWrite(0x21, 0x88, inputSwitch), RegWrite(0x21, 0x02, mode), RegWrite(0x21, 0x09, chroma),
          RegWrite(0x21, 0x0E, luma)};
}
const Lines kSvideo = Group(0xF8, 0xC8, 0x90, 0x4C);
const Lines kComposite = Group(0xB8, 0xC4, 0x50, 0x4D);
const Lines kTuner = Group(0xB8, 0xC5, 0x50, 0x4D);
const Lines kEnhancer = Group(0xF8, 0xC9, 0x90, 0x4C);
const Lines kCompanion = {RegWrite(0x5B, 0x81, 0x00), RegWrite(0x5B, 0x80, 0x01)};
const Lines kGhostOn = {RegRead(0x21, 0x1F, 1), RegWrite(0x12, 0, 0), RegWrite(0x12, 0, 0x10),
                        RegWrite(0x12, 0, 0)};

Lines Cat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(InputTest, EachInputAndRouting) {
  FitEnhancer();
  const struct {
    FrontEndState state;
    uint32_t reg03, written03;
    Lines expected;
  } cases[] = {
      // Plain board: the enhancer switches send nothing.
      {{FALSE, 0, 0}, 0x00, 0x20, Cat({kComposite, {DevSet(94, {0, 2})}})},
      {{FALSE, 0, 2}, 0x1FF, 0xDF, Cat({kTuner, {DevSet(94, {1, 2})}})},
      {{TRUE, 0, 0},
       0x105,
       0x125,
       Cat({{RegWrite(0x5C, 0, 0x5F), RegWrite(0x12, 0, 0x40)}, kComposite, {DevSet(94, {0, 2})}})},
      // S-video never goes through the unit.
      {{TRUE, 3, 1}, 0x00, 0x20, Cat({{RegWrite(0x5C, 0, 0x1F)}, kGhostOn, kSvideo, {DevSet(94, {0, 2})}})},
      {{TRUE, 1, 0},
       0x00,
       0x20,
       Cat({{InpSet(14, Le32(1)), RegWrite(0x5C, 0, 0x1F)}, kEnhancer, {DevSet(94, {0, 2})}})},
      // Composite with ghost reduction on: routed, and the ghost reducer left alone.
      {{TRUE, 2, 0},
       0x00,
       0x20,
       Cat({{InpSet(14, Le32(1)), RegWrite(0x5C, 0, 0x5F)}, kEnhancer, {DevSet(94, {0, 2})}})},
      {{TRUE, 2, 2},
       0x20,
       0x00,
       Cat({{InpSet(14, Le32(2)), RegWrite(0x5C, 0, 0x5F)}, kEnhancer, {DevSet(94, {1, 2})}})},
      // Bits 2 and up carry no meaning: no routing.
      {{TRUE, 0xFFFFFFFC, 0},
       0x00,
       0x20,
       Cat({{RegWrite(0x5C, 0, 0x5F), RegWrite(0x12, 0, 0x40)}, kComposite, {DevSet(94, {0, 2})}})},
  };
  for (const auto& c : cases) {
    board->ClearLog();
    board->SetRegister(0x21, 0x03, c.reg03);
    const int32_t input = c.state.videoInput;
    EXPECT_EQ(S_OK, SetInput(properties, c.state, input));
    const Lines head =
        Cat({input == 2 ? kCompanion : Lines{}, {RegRead(0x21, 3, c.reg03), RegWrite(0x21, 3, c.written03)}});
    EXPECT_EQ(Log(), Cat({head, c.expected})) << "input " << input << " flags " << c.state.processingFlags;
  }
  // The decoder settles 100 ms after its input switch.
  const size_t inputSwitch = Log().size() - 5;
  EXPECT_GE(TimeUs(inputSwitch + 1) - TimeUs(inputSwitch), 100000);
  EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(InputTest, FailuresStopAtTheirStep) {
  FitEnhancer();
  // {state, k-th request fails, traced step}
  const struct {
    FrontEndState state;
    size_t failing;
    int step;
  } cases[] = {{{TRUE, 2, 2}, 1, 2},   {{TRUE, 2, 2}, 2, 3},  {{TRUE, 2, 2}, 3, 4},  {{TRUE, 2, 2}, 4, 4},
               {{TRUE, 2, 2}, 5, 5},   {{TRUE, 2, 2}, 6, 6},  {{TRUE, 2, 2}, 7, 7},  {{TRUE, 2, 2}, 10, 10},
               {{TRUE, 2, 2}, 11, 18}, {{TRUE, 0, 0}, 3, 11}, {{TRUE, 0, 0}, 4, 12}, {{TRUE, 0, 0}, 5, 14},
               {{TRUE, 0, 2}, 8, 15},  {{TRUE, 0, 0}, 8, 17}, {{TRUE, 0, 0}, 9, 18}};
  for (const auto& c : cases) {
    board->ClearLog();
    board->FailRequest(c.failing, E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, SetInput(properties, c.state, c.state.videoInput));
    EXPECT_EQ(trace.LastStep(), c.step);
    EXPECT_EQ(Log().size(), c.failing) << "step " << c.step;  // nothing after the failure
  }
  EXPECT_EQ(Log().back(), Failed(DevSet(94, {0, 2}), E_ACCESSDENIED));
  EXPECT_EQ(trace.Lines().back(), "ERROR -----> TC_SetInput()  step=18  hr=0x80070005\n");

  // A decoder that never reports ready does not stop the selection.
  board->ClearLog();
  board->SetDecoderReadyAfterReads(-1);
  EXPECT_EQ(S_OK, SetInput(properties, {TRUE, 2, 1}, 1));
  EXPECT_EQ(Log().back(), DevSet(94, {0, 2}));
}

TEST_F(InputTest, RefusesUnknownInputs) {
  for (int32_t input : {-1, 3, 0x10000}) EXPECT_EQ(E_INVALIDARG, SetInput(properties, {TRUE, 3, input}, input));
  EXPECT_TRUE(Log().empty());
}

TEST_F(InputTest, TunerModeAndStatusMaps) {
  const std::pair<int32_t, uint32_t> modes[] = {{1, 0x00}, {2, 0x02}, {3, 0x01}, {4, 0x04},
                                                {0, 0x00}, {5, 0x00}, {-1, 0x00}};
  Lines expected;
  for (const auto& [mode, value] : modes) {
    EXPECT_EQ(S_OK, tuner::SetTunerMode(properties, mode));
    expected.push_back(RegWrite(0x5B, 0x80, value));
  }
  EXPECT_EQ(Log(), expected);

  const std::pair<uint32_t, int32_t> statuses[] = {{0xC0, 0},     {0x80, 0},     {0x40, 0x200},
                                                   {0x7F, 0x200}, {0x00, 0x100}, {0x3F, 0x100}};
  for (const auto& [reg, want] : statuses) {
    board->SetRegister(0x5B, 0x00, reg);
    int32_t status = -1;
    EXPECT_EQ(S_OK, tuner::GetTunerStatus(properties, &status));
    EXPECT_EQ(status, want) << std::hex << reg;
  }
  board->FailRequest(1, E_FAIL);
  int32_t status = 77;
  EXPECT_EQ(E_FAIL, tuner::GetTunerStatus(properties, &status));
  EXPECT_EQ(status, 77);
}

}  // namespace
}  // namespace zelk::test
