// SetVolume and SetPictureSettings: stored in every state and sent at once
// from state 1 on; a refused write keeps the old value.
#include <gtest/gtest.h>

#include "support/encoder_rig.h"

namespace zelk::test {
namespace {

TEST(SetVolume, StoredInStateZeroSentFromStateOne) {
  EncoderRig rig;
  rig.object.captureFilter = rig.sim.filter;
  const int32_t lowest = -10000;
  int32_t out = 0;
  EXPECT_EQ(rig.object.SetVolume(&lowest, &out), S_OK);
  EXPECT_EQ(out, -10000);
  EXPECT_TRUE(rig.Log().empty());

  for (int32_t state = kStateAttached; state <= kStateEncoding; ++state) {
    SCOPED_TRACE(state);
    rig.object.state = state;
    rig.ClearLog();
    const int32_t volume = -10000 + 322 * state;
    EXPECT_EQ(rig.object.SetVolume(&volume, &out), S_OK);
    EXPECT_EQ(out, volume);
    EXPECT_EQ(rig.Log(), WriteVolumeLines(static_cast<uint32_t>(state)));
  }
}

TEST(SetVolume, FailedWriteKeepsTheOldValue) {
  EncoderRig rig;
  rig.Reach(kStateInitialized);
  rig.board().FailRequest(2, kInjected);  // the second register
  const int32_t highest = 0;
  int32_t out = 1;
  EXPECT_EQ(rig.object.SetVolume(&highest, &out), kInjected);
  EXPECT_EQ(out, -2594);

  rig.object.captureFilter.Reset();
  EXPECT_EQ(rig.object.SetVolume(&highest, &out), ZELK_E_NO_CAPTURE_FILTER);
  EXPECT_EQ(out, -2594);
}

TEST(SetPictureSettings, StoredInStateZeroSentFromStateOne) {
  EncoderRig rig;
  rig.object.captureFilter = rig.sim.filter;
  const PictureSettings first{111, 100, 10, 20, 30};
  PictureSettings out{0x55, 0, 0, 0, 0};
  EXPECT_EQ(rig.object.SetPictureSettings(&first, &out), S_OK);
  EXPECT_EQ(out.ignored, 0x55);  // offset 0 is the caller's
  EXPECT_EQ(out.brightness, 100);
  EXPECT_EQ(out.hue, 30);
  EXPECT_TRUE(rig.Log().empty());

  rig.Reach(kStateEncoding);
  const PictureSettings second{0, 128, -1, 64, -300};
  EXPECT_EQ(rig.object.SetPictureSettings(&second, &out), S_OK);
  EXPECT_EQ(rig.Log(), WritePicture(0xC4, 128, 0xFFFFFFFF, 64, 0xFFFFFF80));
  EXPECT_EQ(out.ignored, 0x55);
  EXPECT_EQ(out.contrast, -1);
  EXPECT_EQ(out.hue, -300);  // the host's value; the board took -128
}

TEST(SetPictureSettings, FailedWriteKeepsTheOldValues) {
  EncoderRig rig;
  rig.Reach(kStateAttached);
  rig.board().FailRequest(3, kInjected);  // the contrast register
  const PictureSettings in{0, 1, 2, 3, 4};
  PictureSettings out{};
  EXPECT_EQ(rig.object.SetPictureSettings(&in, &out), kInjected);
  EXPECT_EQ(out.brightness, 128);
  EXPECT_EQ(out.contrast, 68);
  EXPECT_EQ(out.saturation, 64);
  EXPECT_EQ(out.hue, 0);
}

}  // namespace
}  // namespace zelk::test
