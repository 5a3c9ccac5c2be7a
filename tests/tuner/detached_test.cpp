#include "front_end_rig.h"

namespace zelk::test {
namespace {

// No capture filter attached: nothing may be sent and nothing else changed.
TEST(Detached, EveryRequestFailsBeforeAnythingIsSent) {
  TraceCapture trace;
  const ComPtr<IBaseFilter> none;
  const PropertyChannel properties(none);
  const tuner::FrontEndState state{TRUE, 3, 2};
  const uint8_t mode = 1;
  const DWORD start = GetTickCount();
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::CtrlGr(properties, TRUE, 2));
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::Ctrl3dyc(properties, TRUE, 1));
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::WriteFilterMode(properties, &mode));
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::WriteVolume(properties, 0));
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::SetChannel(properties, state, 1));
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::SetInput(properties, state, 2));
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::SetTunerMode(properties, 3));
  EXPECT_LT(GetTickCount() - start, 50u);  // no decoder polling without a board

  int32_t status = 5;
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::GetTunerStatus(properties, &status));
  EXPECT_EQ(status, 5);
  tuner::PictureValues picture{-100, 300, 1, 2};
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::SetBCSH(properties, &picture));
  EXPECT_EQ(picture.brightness, -100);
  EXPECT_EQ(picture.contrast, 300);
  EXPECT_EQ(ZELK_E_NO_CAPTURE_FILTER, tuner::GetBCSH(properties, &picture));
  EXPECT_EQ(picture.brightness, -100);
  EXPECT_EQ(trace.LastStep(), 1);
}

}  // namespace
}  // namespace zelk::test
