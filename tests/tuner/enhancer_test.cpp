#include "front_end_rig.h"

namespace zelk::test {
namespace {

using EnhancerTest = FrontEndTest;
using tuner::Ctrl3dyc;
using tuner::CtrlGr;

const std::string kNotReady = RegRead(0x21, 0x1F, 0);
const std::string kReady = RegRead(0x21, 0x1F, 1);
const Lines kGhostOn = {RegWrite(0x12, 0, 0x00), RegWrite(0x12, 0, 0x10), RegWrite(0x12, 0, 0x00)};

Lines Join(Lines head, const Lines& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST_F(EnhancerTest, EnhancerSwitchesSendNothingWithoutTheUnit) {
  for (uint32_t enable : {0u, 1u, 2u}) {
    EXPECT_EQ(S_OK, CtrlGr(properties, FALSE, enable));
    EXPECT_EQ(S_OK, Ctrl3dyc(properties, FALSE, enable));
  }
  EXPECT_TRUE(Log().empty());
}

TEST_F(EnhancerTest, GhostReductionOnWaitsForTheDecoder) {
  FitEnhancer();
  EXPECT_EQ(S_OK, CtrlGr(properties, TRUE, 2));
  EXPECT_EQ(Log(), Join({kReady}, kGhostOn));

  board->ClearLog();
  board->SetDecoderReadyAfterReads(2);
  EXPECT_EQ(S_OK, CtrlGr(properties, TRUE, 2));
  EXPECT_EQ(Log(), Join({kNotReady, kNotReady, kReady}, kGhostOn));
  EXPECT_GE(TimeUs(1) - TimeUs(0), 20000);
  EXPECT_GE(TimeUs(2) - TimeUs(1), 20000);
  EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(EnhancerTest, GhostReductionGivesUpAfterSixReads) {
  FitEnhancer();
  board->SetDecoderReadyAfterReads(-1);
  EXPECT_EQ(S_FALSE, CtrlGr(properties, TRUE, 2));
  EXPECT_EQ(Log(), Lines(6, kNotReady));
  EXPECT_GE(TimeUs(5) - TimeUs(0), 100000);
  EXPECT_EQ(trace.Lines(), Lines{"ERROR -----> CtrlGr()  step=1  hr=0x1\n"});
}

TEST_F(EnhancerTest, EnhancerOffAndYcSeparation) {
  FitEnhancer();
  EXPECT_EQ(S_OK, CtrlGr(properties, TRUE, 0));
  EXPECT_EQ(S_OK, Ctrl3dyc(properties, TRUE, 1));
  EXPECT_EQ(S_OK, Ctrl3dyc(properties, TRUE, 0));
  EXPECT_EQ(Log(), (Lines{RegWrite(0x12, 0, 0x40), RegWrite(0x5C, 0, 0x1F), RegWrite(0x5C, 0, 0x5F)}));
}

TEST_F(EnhancerTest, EnhancerFailuresStopAndTraceTheirStep) {
  // The unit is reported present but does not answer on the bus.
  EXPECT_EQ(kBusError, CtrlGr(properties, TRUE, 0));
  EXPECT_EQ(kBusError, Ctrl3dyc(properties, TRUE, 1));
  EXPECT_EQ(kBusError, Ctrl3dyc(properties, TRUE, 0));
  EXPECT_EQ(kBusError, CtrlGr(properties, TRUE, 2));  // ready read, then the first write fails
  EXPECT_EQ(trace.Lines(), (Lines{"ERROR -----> CtrlGr()  step=5  hr=0x8007001f\n",
                                  "ERROR -----> Ctrl3dyc()  step=1  hr=0x8007001f\n",
                                  "ERROR -----> Ctrl3dyc()  step=2  hr=0x8007001f\n",
                                  "ERROR -----> CtrlGr()  step=2  hr=0x8007001f\n"}));
  EXPECT_EQ(Log().size(), 5u);

  FitEnhancer();
  board->ClearLog();
  board->FailRequest(3, E_FAIL);  // the 0x10 write
  EXPECT_EQ(E_FAIL, CtrlGr(properties, TRUE, 2));
  EXPECT_EQ(Log(), (Lines{kReady, RegWrite(0x12, 0, 0), Failed(RegWrite(0x12, 0, 0x10), E_FAIL)}));
  EXPECT_EQ(trace.LastStep(), 3);
}

TEST_F(EnhancerTest, FilterModeAndVolume) {
  const uint8_t mode = 2;
  EXPECT_EQ(S_OK, tuner::WriteFilterMode(properties, &mode));
  EXPECT_EQ(Log(), Lines{DevSet(41, {0x02, 0x00, 0x00, 0x00})});

  // Volume in hundredths of a dB to device steps, truncated toward zero, not clamped.
  const struct {
    int32_t volume;
    uint32_t device;
  } cases[] = {{-2594, 23}, {-10000, 0}, {0, 31}, {10000, 62}, {-10322, 0xFFFFFFFF}, {INT32_MAX, 6669234}};
  for (const auto& c : cases) {
    board->ClearLog();
    EXPECT_EQ(S_OK, tuner::WriteVolume(properties, c.volume));
    EXPECT_EQ(Log(), (Lines{RegWrite(0x1B, 0x00, c.device), RegWrite(0x1B, 0x02, c.device)})) << c.volume;
  }

  board->ClearLog();
  board->FailRequest(1, E_FAIL);
  EXPECT_EQ(E_FAIL, tuner::WriteVolume(properties, 0));
  EXPECT_EQ(Log(), Lines{Failed(RegWrite(0x1B, 0x00, 31), E_FAIL)});
}

}  // namespace
}  // namespace zelk::test
