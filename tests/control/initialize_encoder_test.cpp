// InitializeEncoder: the stored configuration reaches the board in its fixed
// order, byte for byte, and a failing request stops it where it failed.
#include <gtest/gtest.h>

#include "support/encoder_rig.h"

namespace zelk::test {
namespace {

TEST(InitializeEncoder, RefusedOutsideStatesOneAndTwoWithoutSendingAnything) {
  for (int32_t state : {kStateCreated, kStateEncoding}) {
    EncoderRig rig;
    rig.Attach();
    rig.object.state = state;
    EXPECT_EQ(rig.object.InitializeEncoder(), E_FAIL);
    EXPECT_EQ(rig.trace.LastStep(), 1);
    EXPECT_EQ(rig.object.state, state);
    EXPECT_TRUE(rig.Log().empty());
  }
}

TEST(InitializeEncoder, DefaultConfigurationOnTheCompositeInput) {
  EncoderRig rig;
  rig.Attach();
  EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
  EXPECT_EQ(rig.object.state, kStateInitialized);
  EXPECT_EQ(rig.Log(), DefaultInitialization(0));  // no tuner request: steps 3 and 4 left out
  EXPECT_TRUE(rig.trace.Lines().empty());
  EXPECT_EQ(rig.board().EncoderProperty(44), 6144u);
  EXPECT_EQ(rig.board().EncoderProperty(45), 6144u);
  EXPECT_EQ(rig.board().EncoderProperty(27), 0u);
  EXPECT_EQ(rig.board().EncoderProperty(28), 2u);
  const std::vector<uint8_t> record = rig.board().ControlRecord();
  ASSERT_EQ(record.size(), 36u);
  EXPECT_EQ(record[4], 1);   // field 1
  EXPECT_EQ(record[12], 2);  // field 3: the aspect code
  // The input switch settles before the next decoder write.
  EXPECT_GE(rig.Between(2, 3), 100000);

  // Repeated in state 2 it sends the same configuration again.
  rig.board().SetRegister(0x21, 0x03, 0);
  rig.ClearLog();
  EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
  EXPECT_EQ(rig.Log(), DefaultInitialization(0));
}

TEST(InitializeEncoder, TunerInputTunesTheChannelAndSetsTheTunerMode) {
  EncoderRig rig;
  rig.Attach();
  rig.object.videoInput = 2;
  rig.object.tvChannel = 0x10000 | 44;  // CATV 44: 349.25 MHz, high band
  rig.object.tunerMode = 2;
  rig.object.volume = -10000;
  rig.object.filterMode = 2;
  EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
  const Lines tuning = {TunerWrite(0x08, (349250000 + 58750000) / 62500), RegWrite(0x5B, 0x80, 0x02)};
  EXPECT_EQ(rig.Log(), Join(Join(Join(Join(Join(SelectInput(2), tuning), WritePicture(0xC5, 128, 68, 64, 0)),
                                      {DevSet(41, Le32(2))}),
                                 WriteVolumeLines(0)),
                            EncodingProperties(6144, 6144, 0, 2)));
}

TEST(InitializeEncoder, PictureFieldsKeepTheValuesTheBoardTook) {
  EncoderRig rig;
  rig.Attach();
  rig.object.videoInput = 1;  // S-video: brightness sits 13 above the caller's value
  rig.object.picture = {250, 200, -300, 5};
  EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
  const Lines log = rig.Log();
  const Lines picture = WritePicture(0xC8, 255, 127, 0xFFFFFF80, 5);
  ASSERT_GE(log.size(), 12u);
  EXPECT_EQ(Lines(log.begin() + 7, log.begin() + 12), picture);
  PictureSettings stored{};
  EXPECT_EQ(rig.object.SetPictureSettings(nullptr, &stored), S_OK);
  EXPECT_EQ(stored.brightness, 242);
  EXPECT_EQ(stored.contrast, 127);
  EXPECT_EQ(stored.saturation, -128);
  EXPECT_EQ(stored.hue, 5);
}

TEST(InitializeEncoder, VideoSettingsBecomeRateFormatAndAspectCodes) {
  EncoderRig rig;
  rig.Attach();
  rig.object.video.bitRate = rig.object.video.peakBitRate = 8000000;
  rig.object.video.aspect16x9 = 7;  // any non-zero value is 16:9
  EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
  const Lines log = rig.Log();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(Lines(log.end() - 5, log.end()), EncodingProperties(8192, 8192, 0, 3));

  // Peak and average rates go to their own properties; each division truncates.
  rig.object.video.peakBitRate = 1500999;
  rig.object.video.bitRate = 999;
  EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
  EXPECT_EQ(rig.board().EncoderProperty(44), 1536u);
  EXPECT_EQ(rig.board().EncoderProperty(45), 0u);
  // Beyond 2.1 Gbit/s the intermediate product leaves 32 bits; the code does not.
  rig.object.video.peakBitRate = rig.object.video.bitRate = 2147483000;
  EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
  EXPECT_EQ(rig.board().EncoderProperty(44), 2199022u);
  EXPECT_EQ(rig.board().EncoderProperty(45), 2199022u);

  const struct {
    int32_t setting;
    uint32_t code;
  } formats[] = {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {4, 6}, {5, 5}, {6, 0}, {-1, 0}, {0x7FFFFFFF, 0}};
  for (const auto& format : formats) {
    SCOPED_TRACE(format.setting);
    rig.object.video.videoFormatCode = format.setting;
    EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
    EXPECT_EQ(rig.board().EncoderProperty(27), format.code);
  }
}

// The requests of a tuner-input initialisation with the defaults, and the
// index of the first request of each step.
const Lines& TunerInitialization() {
  static const Lines lines =
      Join(Join(Join(Join(Join(SelectInput(2), {TunerWrite(0x02, 2400), RegWrite(0x5B, 0x80, 0x01)}),
                          WritePicture(0xC5, 128, 68, 64, 0)),
                     {DevSet(41, Le32(1))}),
                WriteVolumeLines(23)),
           EncodingProperties(6144, 6144, 0, 2));
  return lines;
}
constexpr size_t kFirstRequestOfStep[13] = {0, 0, 0, 9, 10, 11, 16, 17, 19, 20, 21, 22, 23};

TEST(InitializeEncoder, TunerInitializationSequence) {
  EncoderRig rig;
  rig.Attach();
  rig.object.videoInput = 2;
  EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
  EXPECT_EQ(rig.Log(), TunerInitialization());
}

TEST(InitializeEncoder, FailingStepStopsTheSequenceAndKeepsTheState) {
  for (int step = 2; step <= 12; ++step) {
    SCOPED_TRACE(step);
    EncoderRig rig;
    rig.Attach();
    rig.object.videoInput = 2;
    const size_t failing = kFirstRequestOfStep[step];
    rig.board().FailRequest(failing + 1, kInjected);
    EXPECT_EQ(rig.object.InitializeEncoder(), kInjected);
    EXPECT_EQ(rig.trace.LastStep(), step);
    EXPECT_EQ(rig.object.state, kStateAttached);
    Lines expected(TunerInitialization().begin(), TunerInitialization().begin() + failing);
    const std::string& line = TunerInitialization()[failing];
    // A failed read hands nothing back; a failed write keeps its payload.
    expected.push_back(line[0] == 'G' ? RegReadFailed(0x21, 0x02, kInjected) : Failed(line, kInjected));
    EXPECT_EQ(rig.Log(), expected);
  }
}

TEST(InitializeEncoder, FailureInStateTwoLeavesEarlierRequestsInEffect) {
  EncoderRig rig;
  rig.Reach(kStateInitialized);
  rig.board().SetRegister(0x21, 0x03, 0);
  rig.object.video.bitRate = rig.object.video.peakBitRate = 4000000;
  rig.board().FailWhen([](const sim::LoggedRequest& request) { return request.isSet && request.id == 27; }, kInjected);
  EXPECT_EQ(rig.object.InitializeEncoder(), kInjected);
  EXPECT_EQ(rig.trace.LastStep(), 10);
  EXPECT_EQ(rig.object.state, kStateInitialized);
  EXPECT_EQ(rig.board().EncoderProperty(44), 4096u);
  EXPECT_EQ(rig.board().EncoderProperty(45), 4096u);
  EXPECT_EQ(rig.board().EncoderProperty(28), 2u);  // from the first run; not sent again
  EXPECT_EQ(rig.Log().back(), Failed(DevSet(27, Le32(0)), kInjected));
}

TEST(InitializeEncoder, NoCaptureFilterAfterDetaching) {
  EncoderRig rig;
  rig.Reach(kStateInitialized);
  rig.object.captureFilter.Reset();
  EXPECT_EQ(rig.object.InitializeEncoder(), ZELK_E_NO_CAPTURE_FILTER);
  EXPECT_EQ(rig.trace.LastStep(), 2);
  EXPECT_EQ(rig.object.state, kStateInitialized);
  EXPECT_TRUE(rig.Log().empty());
}

}  // namespace
}  // namespace zelk::test
