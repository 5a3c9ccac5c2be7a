// SetChannel, SetChannelFrequency, GetChannelInfo, SetTunerMode and
// GetTunerMode: the tuner is programmed only while it is active (state 2 or
// more with the tuner input); otherwise the value is stored for the next
// InitializeEncoder.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/channel_guard.h"
#include "support/encoder_rig.h"

namespace zelk::test {
namespace {

constexpr int32_t kUntouched = 0x7777;

ChannelEntry Entry(int32_t number, int32_t plan) {
  ChannelEntry entry{};
  entry.channelNumber = number;
  entry.plan = plan;
  entry.frequencyHz = kUntouched;
  entry.cleared12 = kUntouched;
  return entry;
}

// State 2 with the tuner input.
void ActivateTuner(EncoderRig& rig) {
  rig.object.videoInput = 2;
  rig.Reach(kStateInitialized);
}

TEST(SetChannel, StoredUncheckedWhileTheTunerIsInactive) {
  for (bool tunerInput : {true, false}) {
    SCOPED_TRACE(tunerInput);
    EncoderRig rig;
    rig.Reach(tunerInput ? kStateAttached : kStateInitialized);  // state 1, or another input
    rig.object.videoInput = tunerInput ? 2 : 0;
    EXPECT_EQ(rig.object.SetChannel(63, nullptr), S_OK);  // outside the terrestrial plan
    EXPECT_EQ(rig.object.tvChannel, 63u);
    ChannelEntry current = Entry(0, 5);
    EXPECT_EQ(rig.object.GetChannelInfo(&current), S_OK);
    EXPECT_EQ(current.channelNumber, 63);
    EXPECT_EQ(current.plan, 0);
    EXPECT_EQ(current.frequencyHz, kUntouched);
    EXPECT_TRUE(rig.Log().empty());
    if (!tunerInput) continue;
    // Checked when it is sent: the tuning step refuses it, SetVideoInput passes that on.
    const int32_t tuner = 2;
    EXPECT_EQ(rig.object.SetVideoInput(&tuner, nullptr), E_FAIL);
    EXPECT_EQ(rig.trace.LastStep(), 3);
    EXPECT_EQ(rig.object.state, kStateAttached);
    EXPECT_EQ(rig.board().TunerDivider(), 0u);  // nothing reached the tuner
  }
}

TEST(SetChannel, TunesAtOnceWhileTheTunerIsActive) {
  EncoderRig rig;
  ActivateTuner(rig);
  EXPECT_EQ(rig.object.SetChannel(0x10000 | 13, nullptr), S_OK);  // cable 13: 109.25 MHz
  EXPECT_EQ(rig.object.tvChannel, 0x10000u | 13);
  EXPECT_EQ(rig.Log(), (Lines{TunerWrite(0x02, (109250000 + 58750000) / 62500)}));

  // A refused channel or a failed write keeps the channel and returns the failure.
  rig.ClearLog();
  EXPECT_EQ(rig.object.SetChannel(63, nullptr), E_FAIL);
  EXPECT_TRUE(rig.Log().empty());
  rig.board().FailRequest(1, kInjected);
  EXPECT_EQ(rig.object.SetChannel(1, nullptr), kInjected);
  EXPECT_EQ(rig.object.tvChannel, 0x10000u | 13);

  // Still active while encoding.
  EXPECT_EQ(rig.object.StartEncoder(), S_OK);
  rig.ClearLog();
  EXPECT_EQ(rig.object.SetChannel(1, nullptr), S_OK);
  EXPECT_EQ(rig.Log(), (Lines{TunerWrite(0x02, 2400)}));
}

TEST(SetChannel, ReportCarriesTheTunerStatusInThePlan) {
  const struct {
    uint32_t statusRegister;
    int32_t bits;
  } cases[] = {{0x00, 0x100}, {0x40, 0x200}, {0xC0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statusRegister);
    EncoderRig rig;
    ActivateTuner(rig);
    rig.board().SetRegister(0x5B, 0x00, c.statusRegister);
    ChannelEntry report = Entry(9, 9);
    EXPECT_EQ(rig.object.SetChannel(0x10000 | 64, &report), S_OK);  // CATV index 64: UHF 13
    EXPECT_EQ(report.channelNumber, 64);
    EXPECT_EQ(report.plan, 1 | c.bits);
    EXPECT_EQ(report.frequencyHz, 471250000);
    EXPECT_EQ(report.cleared12, 0);
    EXPECT_EQ(rig.Log(), (Lines{TunerWrite(0x08, (471250000 + 58750000) / 62500),
                                RegRead(0x5B, 0x00, c.statusRegister)}));
    EXPECT_GE(rig.Between(0, 1), 200000);  // the tuner settles before the report
  }
}

TEST(SetChannel, ReportWithoutTheTunerReadsNoStatus) {
  EncoderRig rig;
  rig.Reach(kStateAttached);
  rig.object.videoInput = 2;
  ChannelEntry report = Entry(9, 9);
  EXPECT_EQ(rig.object.SetChannel(62, &report), S_OK);
  EXPECT_EQ(report.channelNumber, 62);
  EXPECT_EQ(report.plan, 0);
  EXPECT_EQ(report.frequencyHz, 765250000);
  EXPECT_TRUE(rig.Log().empty());
}

// A wait inside one object holds up that object only: while the first object
// is inside SetChannel (its board holds the report's status read until the
// test lets it go), a second object on its own board serves whole calls.
TEST(SetChannel, ItsWaitDoesNotHoldUpAnotherObject) {
  constexpr DWORD kHangGuardMs = 30000;  // ends the test instead of a hang
  EncoderRig first, second;
  ActivateTuner(first);
  ActivateTuner(second);
  HANDLE inside = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  first.board().FailWhen(
      [&](const sim::LoggedRequest& r) {
        if (!r.isSet && r.id == kPropRegisterAccess && r.instance.at(0) == kDevTunerCompanion) {
          SetEvent(inside);
          WaitForSingleObject(release, kHangGuardMs);
        }
        return false;  // no fault: the request is only held
      },
      kInjected);
  std::atomic<bool> firstReturned{false};
  std::thread caller([&] {
    ChannelEntry report{};
    first.object.SetChannel(13, &report);
    firstReturned = true;
  });
  // No ASSERT before the join: a joinable thread left behind ends the program.
  const bool entered = WaitForSingleObject(inside, kHangGuardMs) == WAIT_OBJECT_0;
  EXPECT_TRUE(entered) << "the first object never reached the held status read";
  if (entered) {
    ChannelEntry report{};
    EXPECT_EQ(second.object.SetChannel(14, &report), S_OK);  // with its own 200 ms report
    EXPECT_EQ(report.channelNumber, 14);
    EXPECT_FALSE(firstReturned) << "the second object waited for the first one's call";
  }
  SetEvent(release);
  caller.join();
  EXPECT_TRUE(firstReturned);
  CloseHandle(inside);
  CloseHandle(release);
}

TEST(GetChannelInfo, LooksUpTheGivenChannel) {
  EncoderRig rig;
  ActivateTuner(rig);
  ChannelEntry entry = Entry(113, 1);
  EXPECT_EQ(rig.object.GetChannelInfo(&entry), S_OK);
  EXPECT_EQ(entry.frequencyHz, 765250000);
  EXPECT_EQ(entry.plan, 1);  // no status for a channel other than the current one
  ChannelEntry outside = Entry(63, 0);
  EXPECT_EQ(rig.object.GetChannelInfo(&outside), S_OK);
  EXPECT_EQ(outside.frequencyHz, kUntouched);
  EXPECT_EQ(outside.cleared12, kUntouched);
  EXPECT_EQ(rig.object.GetChannelInfo(nullptr), E_POINTER);
  EXPECT_TRUE(rig.Log().empty());
}

TEST(SetChannelFrequency, SeenByEveryObject) {
  ChannelEntryGuard restore(0, 5);
  EncoderRig first;  // state 0: accepted in every state
  ChannelEntry entry = Entry(5, 0);
  entry.frequencyHz = 178000000;
  EXPECT_EQ(first.object.SetChannelFrequency(&entry), S_OK);
  ChannelEntry outside = Entry(114, 1);
  outside.frequencyHz = 1;
  EXPECT_EQ(first.object.SetChannelFrequency(&outside), ZELK_INVALID_PARAMETER);
  EXPECT_EQ(first.object.SetChannelFrequency(nullptr), E_POINTER);

  EncoderRig second;
  ActivateTuner(second);
  EXPECT_EQ(second.object.SetChannel(5, nullptr), S_OK);
  EXPECT_EQ(second.Log(), (Lines{TunerWrite(0x02, 3788)}));
  ChannelEntry seen = Entry(5, 0);
  EXPECT_EQ(second.object.GetChannelInfo(&seen), S_OK);
  EXPECT_EQ(seen.frequencyHz, 178000000);
}

TEST(SetTunerMode, SentOnlyWhileTheTunerIsActive) {
  EncoderRig rig;
  rig.Reach(kStateAttached);
  rig.object.videoInput = 2;
  EXPECT_EQ(rig.object.SetTunerMode(4), S_OK);
  EXPECT_EQ(rig.object.tunerMode, 4);
  EXPECT_TRUE(rig.Log().empty());
  // The stored mode goes out with the next initialisation, after the tuning.
  EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
  EXPECT_EQ(rig.Log().at(10), RegWrite(0x5B, 0x80, 0x04));

  rig.ClearLog();
  EXPECT_EQ(rig.object.SetTunerMode(2), S_OK);
  EXPECT_EQ(rig.Log(), (Lines{RegWrite(0x5B, 0x80, 0x02)}));
  rig.board().FailRequest(1, kInjected);
  EXPECT_EQ(rig.object.SetTunerMode(9), kInjected);
  EXPECT_EQ(rig.object.tunerMode, 2);
}

TEST(GetTunerMode, ReadsTheStatusInEveryStateAndForEveryInput) {
  EncoderRig rig;
  rig.object.captureFilter = rig.sim.filter;  // state 0, composite input
  rig.board().SetRegister(0x5B, 0x00, 0x40);
  int32_t mode = 0;
  int32_t status = 0;
  EXPECT_EQ(rig.object.GetTunerMode(&mode, &status), S_OK);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(status, 0x200);
  EXPECT_EQ(rig.object.GetTunerMode(&mode, nullptr), S_OK);
  EXPECT_EQ(rig.Log(), (Lines{RegRead(0x5B, 0x00, 0x40), RegRead(0x5B, 0x00, 0x40)}));

  rig.ClearLog();
  EXPECT_EQ(rig.object.GetTunerMode(nullptr, &status), E_POINTER);
  EXPECT_TRUE(rig.Log().empty());

  // Without a capture filter the mode still comes back.
  rig.object.captureFilter.Reset();
  rig.object.tunerMode = 1;
  status = 0x55;
  EXPECT_EQ(rig.object.GetTunerMode(&mode, &status), ZELK_E_NO_CAPTURE_FILTER);
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(status, 0x55);
}

}  // namespace
}  // namespace zelk::test
