// GetEncStatus: the state code, the mapping of the encoder's status report to
// an error code, and the decoder's ready poll.
#include <gtest/gtest.h>

#include <array>

#include "support/encoder_rig.h"

namespace zelk::test {
namespace {

using Report = std::array<uint8_t, 10>;

const std::string kReady = RegRead(0x21, 0x1F, 1);
const std::string kNotReady = RegRead(0x21, 0x1F, 0);

// A record the operation has not written.
EncoderStatus Untouched() { return {-7, -7, -7}; }

TEST(GetEncStatus, NullRecordIsRefusedBeforeAnythingIsSent) {
  EncoderRig rig;
  rig.Reach(kStateInitialized);
  EXPECT_EQ(rig.object.GetEncStatus(nullptr), E_POINTER);
  EXPECT_TRUE(rig.Log().empty());
}

TEST(GetEncStatus, StateCodeInEveryState) {
  const int32_t expected[] = {1, 1, 2, 3};
  for (int32_t state = kStateCreated; state <= kStateEncoding; ++state) {
    SCOPED_TRACE(state);
    EncoderRig rig;
    rig.Reach(state == kStateCreated ? kStateAttached : state);
    rig.object.state = state;
    EncoderStatus status = Untouched();
    EXPECT_EQ(rig.object.GetEncStatus(&status), S_OK);
    EXPECT_EQ(status.stateCode, expected[state]);
    EXPECT_EQ(status.flags, 0);
    EXPECT_EQ(status.errorCode, 0);
    EXPECT_EQ(rig.Log(), (Lines{DevGet(93, Bytes(10, 0)), kReady}));  // ready at once: no wait
    EXPECT_EQ(rig.object.state, state);
  }
}

TEST(GetEncStatus, ErrorMapping) {
  const struct {
    Report report;
    int32_t errorCode;
  } cases[] = {
      // errorValue wins over everything else.
      {{0x78, 0x56, 0x34, 0x12, 0xFF, 0x08, 0xFF, 0xFF, 0x01, 0x31}, 0x12345678},
      {{0x00, 0x00, 0x00, 0x80, 0, 0, 0, 0, 0, 0}, static_cast<int32_t>(0x80000000)},
      // The four detail codes, whatever errorFlag2 holds.
      {{0, 0, 0, 0, 0, 0x08, 0, 0, 0x04, 0x22}, ZELK_ENC_ERROR_DETAIL},
      {{0, 0, 0, 0, 0, 0x08, 0, 0, 0x05, 0x22}, ZELK_ENC_ERROR_DETAIL},
      {{0, 0, 0, 0, 0, 0x00, 0, 0, 0x00, 0x31}, ZELK_ENC_ERROR_DETAIL},
      {{0, 0, 0, 0, 0, 0xFF, 0, 0, 0x01, 0x31}, ZELK_ENC_ERROR_DETAIL},
      // Bit 3 of errorFlag2, also beside another detail code.
      {{0, 0, 0, 0, 0, 0x08, 0, 0, 0, 0}, ZELK_ENC_ERROR_FLAG2},
      {{0, 0, 0, 0, 0, 0x0C, 0, 0, 0x06, 0x22}, ZELK_ENC_ERROR_FLAG2},
      // Any other error condition.
      {{0, 0, 0, 0, 0, 0xF7, 0, 0, 0, 0}, ZELK_ENC_ERROR_GENERAL},
      {{0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0}, ZELK_ENC_ERROR_GENERAL},
      {{0, 0, 0, 0, 0, 0, 0x00, 0x01, 0, 0}, ZELK_ENC_ERROR_GENERAL},
      {{0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x01}, ZELK_ENC_ERROR_GENERAL},
  };
  EncoderRig rig;
  rig.Reach(kStateEncoding);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.report));
    rig.board().SetStatusReport(c.report);
    EncoderStatus status = Untouched();
    EXPECT_EQ(rig.object.GetEncStatus(&status), S_OK);
    EXPECT_EQ(status.stateCode, 3);
    EXPECT_EQ(status.flags, 1);
    EXPECT_EQ(status.errorCode, c.errorCode);
  }
}

TEST(GetEncStatus, DecoderReadyAfterSomeWaits) {
  EncoderRig rig;
  rig.Reach(kStateInitialized);
  rig.board().SetDecoderReadyAfterReads(2);
  EncoderStatus status = Untouched();
  EXPECT_EQ(rig.object.GetEncStatus(&status), S_OK);
  EXPECT_EQ(status.flags, 0);
  EXPECT_EQ(rig.Log(), (Lines{DevGet(93, Bytes(10, 0)), kNotReady, kNotReady, kReady}));
  EXPECT_GE(rig.Between(1, 3), 40000);
}

TEST(GetEncStatus, DecoderNeverReady) {
  EncoderRig rig;
  rig.Reach(kStateInitialized);
  rig.board().SetDecoderReadyAfterReads(-1);
  const Report report = {0, 0, 0, 0, 0, 0x08, 0, 0, 0, 0};
  rig.board().SetStatusReport(report);
  EncoderStatus status = Untouched();
  EXPECT_EQ(rig.object.GetEncStatus(&status), S_OK);  // still the result of property 93
  EXPECT_EQ(status.flags, 3);
  EXPECT_EQ(status.errorCode, ZELK_ENC_ERROR_FLAG2);
  EXPECT_EQ(rig.Log(), (Lines{DevGet(93, Bytes(report.begin(), report.end())), kNotReady, kNotReady, kNotReady,
                              kNotReady, kNotReady, kNotReady}));
  EXPECT_GE(rig.Between(1, 6), 100000);

  // A read that fails counts as not ready and fails nothing.
  rig.board().SetDecoderReadyAfterReads(0);
  rig.board().FailWhen([](const sim::LoggedRequest& request) { return request.id == 89; }, kInjected);
  rig.ClearLog();
  status = Untouched();
  EXPECT_EQ(rig.object.GetEncStatus(&status), S_OK);
  EXPECT_EQ(status.flags, 3);
  EXPECT_EQ(rig.Log().size(), 7u);
  EXPECT_TRUE(rig.trace.Lines().empty());
}

TEST(GetEncStatus, FailedStatusRequestWritesOnlyTheStateCode) {
  EncoderRig rig;
  rig.Reach(kStateInitialized);
  rig.board().FailRequest(1, kInjected);
  EncoderStatus status = Untouched();
  EXPECT_EQ(rig.object.GetEncStatus(&status), kInjected);
  EXPECT_EQ(status.stateCode, 2);
  EXPECT_EQ(status.flags, -7);
  EXPECT_EQ(status.errorCode, -7);
  EXPECT_EQ(rig.trace.LastStep(), 1);
  EXPECT_EQ(rig.Log(), (Lines{DevGetFailed(93, kInjected)}));  // no ready poll

  // After detaching, nothing can be sent at all.
  rig.object.captureFilter.Reset();
  rig.ClearLog();
  status = Untouched();
  EXPECT_EQ(rig.object.GetEncStatus(&status), ZELK_E_NO_CAPTURE_FILTER);
  EXPECT_EQ(status.stateCode, 2);
  EXPECT_EQ(status.flags, -7);
  EXPECT_EQ(rig.trace.LastStep(), 1);
  EXPECT_TRUE(rig.Log().empty());
}

}  // namespace
}  // namespace zelk::test
