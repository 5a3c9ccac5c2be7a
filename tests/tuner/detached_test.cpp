#include "front_end_rig.h"

namespace zelk::test {
namespace {

// No capture filter attached: nothing may be sent and nothing else changed.
TEST(Detached, EveryRequestFailsBeforeAnythingIsSent) {
  TraceCapture trace;
  const ComPtr<IBaseFilter> none;
  const DeviceChannel channel(none);
  const tuner::FrontEndState state{TRUE, 3, 2};
  const uint8_t mode = 1;
  const DWORD start = GetTickCount();
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::CtrlGr(channel, TRUE, 2));
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::Ctrl3dyc(channel, TRUE, 1));
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::WriteFilterMode(channel, &mode));
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::WriteVolume(channel, 0));
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::SetChannel(channel, state, 1));
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::SetInput(channel, state, 2));
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::SetTunerMode(channel, 3));
  EXPECT_LT(GetTickCount() - start, 50u);  // no decoder polling without a board

  int32_t status = 5;
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::GetTunerStatus(channel, &status));
  EXPECT_EQ(status, 5);
  tuner::PictureValues picture{-100, 300, 1, 2};
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::SetBCSH(channel, &picture));
  EXPECT_EQ(picture.brightness, -100);
  EXPECT_EQ(picture.contrast, 300);
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::GetBCSH(channel, &picture));
  EXPECT_EQ(picture.brightness, -100);
  EXPECT_EQ(trace.LastStep(), 1);
}

}  // namespace
}  // namespace zelk::test
