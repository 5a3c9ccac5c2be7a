// StartEncoder and StopEncoder: the states they accept, and the ghost-reduction
// switch that starting applies.
#include <gtest/gtest.h>

#include "support/encoder_rig.h"

namespace zelk::test {
namespace {

TEST(StartStopEncoder, RefusedInTheWrongStatesWithoutSendingAnything) {
  EncoderRig rig;
  rig.Attach(true);
  for (int32_t state : {kStateCreated, kStateAttached, kStateEncoding}) {
    rig.object.state = state;
    EXPECT_EQ(rig.object.StartEncoder(), E_FAIL);
    EXPECT_EQ(rig.object.state, state);
  }
  for (int32_t state : {kStateCreated, kStateAttached, kStateInitialized}) {
    rig.object.state = state;
    EXPECT_EQ(rig.object.StopEncoder(), E_FAIL);
    EXPECT_EQ(rig.object.state, state);
  }
  EXPECT_TRUE(rig.Log().empty());
}

TEST(StartStopEncoder, RepeatedStartsAndStops) {
  EncoderRig rig;
  rig.Reach(kStateInitialized);
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(rig.object.StartEncoder(), S_OK);
    EXPECT_EQ(rig.object.state, kStateEncoding);
    EXPECT_EQ(rig.object.StartEncoder(), E_FAIL);
    EXPECT_EQ(rig.object.InitializeEncoder(), E_FAIL);  // not while encoding
    EXPECT_EQ(rig.object.state, kStateEncoding);
    EXPECT_EQ(rig.object.StopEncoder(), S_OK);
    EXPECT_EQ(rig.object.state, kStateInitialized);
    EXPECT_EQ(rig.object.StopEncoder(), E_FAIL);
  }
  EXPECT_TRUE(rig.Log().empty());  // no enhancer unit: nothing to switch
}

TEST(StartStopEncoder, StartAppliesTheGhostReductionSetting) {
  EncoderRig rig;
  rig.Reach(kStateInitialized, true);
  EXPECT_EQ(rig.object.StartEncoder(), S_OK);
  EXPECT_EQ(rig.Log(), (Lines{RegWrite(0x12, 0x00, 0x40)}));
  rig.ClearLog();
  EXPECT_EQ(rig.object.StopEncoder(), S_OK);
  EXPECT_TRUE(rig.Log().empty());

  rig.object.processingFlags = 3;  // only bit 1 matters here
  EXPECT_EQ(rig.object.StartEncoder(), S_OK);
  EXPECT_EQ(rig.Log(), (Lines{RegRead(0x21, 0x1F, 1), RegWrite(0x12, 0x00, 0x00), RegWrite(0x12, 0x00, 0x10),
                              RegWrite(0x12, 0x00, 0x00)}));
}

TEST(StartStopEncoder, StartedEvenWhenGhostReductionFails) {
  EncoderRig rig;
  rig.Reach(kStateInitialized, true);
  rig.board().FailRequest(1, kInjected);
  EXPECT_EQ(rig.object.StartEncoder(), kInjected);
  EXPECT_EQ(rig.object.state, kStateEncoding);
  EXPECT_EQ(rig.object.StopEncoder(), S_OK);

  // A decoder that never reports ready is no failure: S_FALSE, state 3.
  rig.object.processingFlags = 2;
  rig.board().SetDecoderReadyAfterReads(-1);
  EXPECT_EQ(rig.object.StartEncoder(), S_FALSE);
  EXPECT_EQ(rig.object.state, kStateEncoding);
  EXPECT_EQ(rig.trace.Lines().back(), "ERROR -----> CtrlGr()  step=1  hr=0x1\n");  // traced all the same
}

}  // namespace
}  // namespace zelk::test
