// SetVideoSettings, SetAudioSettings and SetVideoProcessing: records checked
// and stored whole, the value in force handed back also after a refusal, and
// nothing sent before the next InitializeEncoder.
#include <gtest/gtest.h>

#include <cstring>

#include "support/encoder_rig.h"

namespace zelk::test {
namespace {

constexpr VideoSettings kDefaultVideo{0, 2, 6000000, 6000000, 0, 0, 0};

bool Same(const VideoSettings& a, const VideoSettings& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(SetVideoSettings, BrokenRecordsAreRefusedAndChangeNothing) {
  EncoderRig rig;
  VideoSettings broken[5];
  for (VideoSettings& record : broken) record = kDefaultVideo;
  broken[0].videoType = 1;
  broken[1].rateControl = 1;
  broken[2].videoReserved = 1;
  broken[3].peakBitRate = 8000000;
  broken[4].videoFormatCode = 1;
  for (const VideoSettings& record : broken) {
    VideoSettings out{};
    EXPECT_EQ(rig.object.SetVideoSettings(&record, &out), E_FAIL);
    EXPECT_TRUE(Same(out, kDefaultVideo));
  }
  VideoSettings accepted = kDefaultVideo;
  accepted.videoFormatCode = 7;
  accepted.aspect16x9 = -1;
  VideoSettings out{};
  EXPECT_EQ(rig.object.SetVideoSettings(&accepted, &out), S_OK);
  EXPECT_TRUE(Same(out, accepted));
}

TEST(SetVideoSettings, StoredInStatesZeroToTwoAndSentOnlyByInitialization) {
  VideoSettings record = kDefaultVideo;
  record.bitRate = record.peakBitRate = 8000000;
  record.aspect16x9 = 1;
  for (int32_t state = kStateCreated; state <= kStateInitialized; ++state) {
    SCOPED_TRACE(state);
    EncoderRig rig;
    if (state != kStateCreated) rig.Reach(state);
    EXPECT_EQ(rig.object.SetVideoSettings(&record, nullptr), S_OK);
    EXPECT_TRUE(Same(rig.object.video, record));
    EXPECT_TRUE(rig.Log().empty());
    if (state == kStateInitialized) {
      EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
      const Lines log = rig.Log();
      EXPECT_EQ(Lines(log.end() - 5, log.end()), EncodingProperties(8192, 8192, 0, 3));
    }
  }
  EncoderRig rig;
  rig.Reach(kStateEncoding);
  VideoSettings out{};
  EXPECT_EQ(rig.object.SetVideoSettings(&record, &out), E_FAIL);
  EXPECT_TRUE(Same(out, kDefaultVideo));
  EXPECT_TRUE(rig.Log().empty());
}

TEST(SetAudioSettings, RulesStatesAndNeverSent) {
  EncoderRig rig;
  const AudioSettings defaults{0, 224000, 2, 0};
  const AudioSettings broken[] = {{1, 224000, 2, 0}, {0, 224000, 1, 0}, {0, 224000, 2, 1}};
  for (const AudioSettings& record : broken) {
    AudioSettings out{};
    EXPECT_EQ(rig.object.SetAudioSettings(&record, &out), E_FAIL);
    EXPECT_EQ(std::memcmp(&out, &defaults, sizeof out), 0);
  }
  rig.Reach(kStateInitialized);
  AudioSettings record{0, 1, 2, 0};  // any bit rate
  EXPECT_EQ(rig.object.SetAudioSettings(&record, &record), S_OK);
  EXPECT_EQ(record.audioBitRate, 1);
  EXPECT_EQ(rig.object.StartEncoder(), S_OK);
  const AudioSettings other{0, 448000, 2, 0};
  AudioSettings out{};
  EXPECT_EQ(rig.object.SetAudioSettings(&other, &out), E_FAIL);
  EXPECT_EQ(out.audioBitRate, 1);
  EXPECT_TRUE(rig.Log().empty());
}

TEST(SetVideoProcessing, FilterModeAboveTwoGivesEightySevenInEveryState) {
  for (int32_t state = kStateCreated; state <= kStateEncoding; ++state) {
    SCOPED_TRACE(state);
    EncoderRig rig;
    if (state != kStateCreated) rig.Reach(state);
    const VideoProcessing record{3, 3, {9, 9, 9}, 9};  // also breaks the enhancer rule
    VideoProcessing out{};
    EXPECT_EQ(rig.object.SetVideoProcessing(&record, &out), ZELK_INVALID_PARAMETER);
    EXPECT_EQ(out.processingFlags, 0u);
    EXPECT_EQ(out.filterMode, 1);
    EXPECT_TRUE(rig.Log().empty());
  }
}

TEST(SetVideoProcessing, EnhancerBitsStateAndWhatIsKept) {
  EncoderRig rig;
  rig.Attach();
  VideoProcessing out{};
  for (uint32_t flags : {1u, 2u, 3u}) {
    const VideoProcessing record{flags, 0, {0, 0, 0}, 0};
    EXPECT_EQ(rig.object.SetVideoProcessing(&record, &out), E_FAIL);  // no enhancer unit
    EXPECT_EQ(out.processingFlags, 0u);
  }
  // Other bits and the bytes that only travel with the record are kept as given.
  const VideoProcessing kept{0xF0000004, 2, {0xAB, 0xCD, 0xEF}, 0x12345678};
  EXPECT_EQ(rig.object.SetVideoProcessing(&kept, &out), S_OK);
  EXPECT_EQ(std::memcmp(&out, &kept, sizeof out), 0);
  EXPECT_TRUE(rig.Log().empty());

  // The filter mode reaches the board at the next initialisation.
  EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
  EXPECT_EQ(rig.board().EncoderProperty(41), 2u);

  rig.object.enhancerPresent = TRUE;
  rig.board().SetBoardCode(4721);
  const VideoProcessing both{3, 0, {0, 0, 0}, 0};
  EXPECT_EQ(rig.object.SetVideoProcessing(&both, nullptr), S_OK);
  EXPECT_EQ(rig.object.processingFlags, 3u);

  EXPECT_EQ(rig.object.StartEncoder(), S_OK);
  EXPECT_EQ(rig.object.SetVideoProcessing(&kept, &out), E_FAIL);
  EXPECT_EQ(std::memcmp(&out, &both, sizeof out), 0);
}

}  // namespace
}  // namespace zelk::test
