// SetVideoInput: stored in states 0 to 2, refused while encoding, and applied
// by running InitializeEncoder again.
#include <gtest/gtest.h>

#include "support/encoder_rig.h"

namespace zelk::test {
namespace {

TEST(SetVideoInput, StateZeroStoresButInitializationRefuses) {
  EncoderRig rig;
  rig.object.captureFilter = rig.sim.filter;  // state 0 all the same
  int32_t out = -1;
  EXPECT_EQ(rig.object.SetVideoInput(nullptr, &out), E_FAIL);
  EXPECT_EQ(out, 0);
  const int32_t tuner = 2;
  EXPECT_EQ(rig.object.SetVideoInput(&tuner, &out), E_FAIL);
  EXPECT_EQ(out, 2);
  EXPECT_EQ(rig.object.videoInput, 2);
  EXPECT_EQ(rig.object.state, kStateCreated);
  EXPECT_EQ(rig.trace.LastStep(), 1);
  EXPECT_TRUE(rig.Log().empty());
}

TEST(SetVideoInput, InputsTheBoardDoesNotHaveAreRefused) {
  EncoderRig rig;
  rig.Reach(kStateAttached);
  rig.object.videoInput = 1;
  for (int32_t input : {-1, 3, 7, INT32_MIN}) {
    int32_t out = -5;
    EXPECT_EQ(rig.object.SetVideoInput(&input, &out), E_INVALIDARG);
    EXPECT_EQ(out, 1);
  }
  EXPECT_EQ(rig.object.videoInput, 1);
  EXPECT_EQ(rig.object.state, kStateAttached);
  EXPECT_TRUE(rig.Log().empty());  // no initialisation with the bad value
}

TEST(SetVideoInput, StatesOneAndTwoRunTheWholeInitialization) {
  EncoderRig rig;
  rig.Reach(kStateAttached);
  const int32_t svideo = 1;
  EXPECT_EQ(rig.object.SetVideoInput(&svideo, nullptr), S_OK);
  EXPECT_EQ(rig.object.state, kStateInitialized);
  EXPECT_EQ(rig.Log(), DefaultInitialization(1));

  // State 2, in and out in one place: the tuner input, with its tuner requests.
  rig.board().SetRegister(0x21, 0x03, 0);
  rig.ClearLog();
  int32_t inout = 2;
  EXPECT_EQ(rig.object.SetVideoInput(&inout, &inout), S_OK);
  EXPECT_EQ(inout, 2);
  const Lines log = rig.Log();
  ASSERT_EQ(log.size(), 24u);
  EXPECT_EQ(Lines(log.begin(), log.begin() + 11),
            Join(SelectInput(2), {TunerWrite(0x02, 2400), RegWrite(0x5B, 0x80, 0x01)}));

  // The result is that of InitializeEncoder.
  rig.board().FailWhen([](const sim::LoggedRequest& request) { return request.id == 99; }, kInjected);
  rig.ClearLog();
  const int32_t composite = 0;
  EXPECT_EQ(rig.object.SetVideoInput(&composite, nullptr), kInjected);
  EXPECT_EQ(rig.trace.LastStep(), 12);
  EXPECT_EQ(rig.object.videoInput, 0);
  EXPECT_EQ(rig.object.state, kStateInitialized);
}

TEST(SetVideoInput, RefusedWhileEncoding) {
  EncoderRig rig;
  rig.Reach(kStateEncoding);
  const int32_t tuner = 2;
  int32_t out = -1;
  EXPECT_EQ(rig.object.SetVideoInput(&tuner, &out), E_FAIL);
  EXPECT_EQ(out, 0);
  EXPECT_EQ(rig.object.SetVideoInput(nullptr, &out), S_OK);
  EXPECT_EQ(rig.object.videoInput, 0);
  EXPECT_EQ(rig.object.state, kStateEncoding);
  EXPECT_TRUE(rig.Log().empty());
}

}  // namespace
}  // namespace zelk::test
