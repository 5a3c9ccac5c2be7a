#include <cstring>
#include <utility>

#include "front_end_rig.h"
#include "support/channel_guard.h"

namespace zelk::test {
namespace {

using TvChannelTest = FrontEndTest;
using tuner::LookupChannelFrequency;
using tuner::SetChannel;
using tuner::StoreChannelFrequency;

constexpr uint32_t kCatv = 0x10000;
constexpr tuner::FrontEndState kPlainBoard{FALSE, 0, 2};

int32_t Lookup(int32_t plan, int32_t number) {
  ChannelEntry entry{number, plan, -1, 0, 0, {}, 0, {}};
  EXPECT_EQ(0, LookupChannelFrequency(&entry)) << plan << "/" << number;
  return entry.frequencyHz;
}

int32_t Store(int32_t plan, int32_t number, int32_t hz) {
  const ChannelEntry entry{number, plan, hz, 0, 0, {}, 0, {}};
  return StoreChannelFrequency(&entry);
}

// Overrides a table entry for the rest of the test.
struct OverrideEntry {
  OverrideEntry(int32_t plan, int32_t number, int32_t hz) : restore(plan, number) {
    EXPECT_EQ(0, Store(plan, number, hz));
  }
  ChannelEntryGuard restore;
};

TEST(ChannelTables, EveryEntryFollowsThePlanRules) {
  // {plan, first, last, carrier of `first` in kHz}; a carrier of 0 copies the
  // terrestrial entry `shift` channels lower.
  const struct {
    int32_t plan, first, last, firstKHz, shift;
  } rules[] = {
      {0, 1, 3, 91250, 0},    {0, 4, 7, 171250, 0},   {0, 8, 12, 193250, 0},  {0, 13, 62, 471250, 0},
      {1, 1, 12, 0, 0},       {1, 13, 21, 109250, 0}, {1, 22, 22, 165250, 0}, {1, 23, 23, 223250, 0},
      {1, 24, 24, 231250, 0}, {1, 25, 27, 237250, 0}, {1, 28, 28, 253250, 0}, {1, 29, 63, 259250, 0},
      {1, 64, 113, 0, 51},
  };
  int checked[2] = {0, 0};
  for (const auto& rule : rules) {
    for (int32_t n = rule.first; n <= rule.last; ++n, ++checked[rule.plan]) {
      const int32_t want =
          rule.firstKHz ? (rule.firstKHz + 6000 * (n - rule.first)) * 1000 : Lookup(0, n - rule.shift);
      EXPECT_EQ(want, Lookup(rule.plan, n)) << "plan " << rule.plan << " channel " << n;
    }
  }
  EXPECT_EQ(checked[0], 62);
  EXPECT_EQ(checked[1], 113);
  EXPECT_EQ(Lookup(7, 113), 765250000);  // any nonzero plan is the cable table

  ChannelEntry entry{63, 0, 1, 2, 3, {4}, 5, {6}};
  const ChannelEntry before = entry;
  for (const auto& [plan, number] : {std::pair{0, 63}, {0, 0}, {1, 114}, {1, -1}}) {
    entry.plan = plan, entry.channelNumber = number;
    EXPECT_EQ(87, LookupChannelFrequency(&entry));
    EXPECT_EQ(87, StoreChannelFrequency(&entry));
    EXPECT_EQ(0, memcmp(&entry.frequencyHz, &before.frequencyHz, sizeof entry - 8));
  }
  entry = {1, 0, 0, 2, 3, {4}, 5, {6}};
  EXPECT_EQ(0, LookupChannelFrequency(&entry));
  EXPECT_EQ(entry.cleared12 | entry.cleared16 | entry.cleared24, 0);
  EXPECT_EQ(entry.reserved17[0] + entry.reserved25[0], 4 + 6);
}

TEST_F(TvChannelTest, TunesOneWriteWithBandAndDivider) {
  const struct {
    uint32_t code;
    uint8_t band;
    uint32_t divider;
  } cases[] = {{1, 0x02, 2400},          {0x20001, 0x02, 2400},    {0xFFFE0001, 0x02, 2400},
               {kCatv | 43, 0x02, 6432}, {kCatv | 44, 0x08, 6528}, {kCatv | 13, 0x02, 2688},
               {13, 0x08, 8480},         {62, 0x08, 13184}};
  for (const auto& c : cases) {
    board->ClearLog();
    EXPECT_EQ(S_OK, SetChannel(properties, kPlainBoard, c.code));
    EXPECT_EQ(Log(), Lines{TunerWrite(c.band, c.divider)}) << std::hex << c.code;
  }
  for (uint32_t code : {0u, 63u, 0xFFFFu, kCatv, kCatv | 114})
    EXPECT_EQ(E_FAIL, SetChannel(properties, kPlainBoard, code));
  EXPECT_EQ(Log().size(), 1u);
  EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(TvChannelTest, StoredFrequenciesReachEveryObject) {
  {
    OverrideEntry five(0, 5, 178000000);
    OverrideEntry offGrid(0, 1, 91260000);
    OverrideEntry top(1, 113, INT32_MAX - 58750000);
    EXPECT_EQ(87, Store(1, 113, INT32_MAX - 58750000 + 1));  // no divider exists for it
    EXPECT_EQ(0, Store(1, 112, -5));
    EXPECT_EQ(-5, Lookup(1, 112));
    EXPECT_EQ(0, Store(1, 112, 759250000));

    // Another object: its own board and capture filter.
    std::shared_ptr<sim::Board> otherBoard = std::make_shared<sim::Board>();
    ComPtr<IBaseFilter> otherFilter;
    ASSERT_EQ(S_OK, sim::CreateSimCaptureFilter(otherBoard, false, otherFilter.ReleaseAndGetAddressOf()));
    const PropertyChannel other(otherFilter);
    for (uint32_t code : {5u, 1u, kCatv | 113}) EXPECT_EQ(S_OK, SetChannel(other, kPlainBoard, code));
    EXPECT_EQ(sim::Describe(otherBoard->Log()),
              (Lines{TunerWrite(0x02, 3788), TunerWrite(0x02, 2400), TunerWrite(0x08, 34359)}));
  }
  EXPECT_EQ(Lookup(0, 5), 177250000);
  EXPECT_EQ(Lookup(1, 113), 765250000);
}

TEST_F(TvChannelTest, ReappliesGhostReductionAfterTuning) {
  FitEnhancer();
  EXPECT_EQ(S_OK, SetChannel(properties, {TRUE, 1, 2}, 1));  // ghost reduction off
  EXPECT_EQ(S_OK, SetChannel(properties, {TRUE, 2, 2}, 1));
  EXPECT_EQ(Log(),
            (Lines{TunerWrite(2, 2400), RegWrite(0x12, 0, 0x40), TunerWrite(2, 2400), RegRead(0x21, 0x1F, 1),
                   RegWrite(0x12, 0, 0), RegWrite(0x12, 0, 0x10), RegWrite(0x12, 0, 0)}));

  board->SetDecoderReadyAfterReads(-1);  // not ready is no failure
  EXPECT_EQ(S_FALSE, SetChannel(properties, {TRUE, 2, 2}, 1));
  board->FailRequest(2, E_FAIL);
  EXPECT_EQ(E_FAIL, SetChannel(properties, {TRUE, 0, 2}, 1));
  board->FailRequest(1, E_ACCESSDENIED);
  EXPECT_EQ(E_ACCESSDENIED, SetChannel(properties, {TRUE, 0, 2}, 1));
  EXPECT_EQ(trace.Lines(),
            (Lines{"ERROR -----> CtrlGr()  step=1  hr=0x1\n", "ERROR -----> CtrlGr()  step=5  hr=0x80004005\n",
                   "ERROR ---> TC_SetChannel()  step=2\n", "ERROR ---> TC_SetChannel()  step=1\n"}));
  EXPECT_EQ(Log().back(), Failed(TunerWrite(2, 2400), E_ACCESSDENIED));
}

}  // namespace
}  // namespace zelk::test
