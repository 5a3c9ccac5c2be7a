#include "tuner/channel_tables.h"

#include <zelk/encoder_module.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <limits>
#include <utility>

#include "tuner/front_end.h"

namespace zelk::tuner {
namespace {

constexpr int32_t kChannelSpacingHz = 6'000'000;

// A run of channels 6 MHz apart, from the carrier of its first channel.
struct PlanSegment {
  int32_t first;
  int32_t last;
  int32_t firstHz;
};

// Terrestrial VHF 1-12 (with the 4 MHz gap above channel 7) and UHF 13-62.
constexpr PlanSegment kTerrestrialPlan[] = {
    {1, 3, 91'250'000},
    {4, 7, 171'250'000},
    {8, 12, 193'250'000},
    {13, 62, 471'250'000},
};

// Cable: VHF 1-12 as on air, cable channels 13-63 at their own numbers, and
// UHF 13-62 at indexes 64-113.
constexpr PlanSegment kCatvPlan[] = {
    {1, 3, 91'250'000},    {4, 7, 171'250'000},   {8, 12, 193'250'000},  {13, 21, 109'250'000},
    {22, 22, 165'250'000}, {23, 23, 223'250'000}, {24, 24, 231'250'000}, {25, 27, 237'250'000},
    {28, 28, 253'250'000}, {29, 63, 259'250'000}, {64, 113, 471'250'000},
};

template <size_t N, size_t K>
constexpr std::array<int32_t, N> ExpandPlan(const PlanSegment (&plan)[K]) {
  std::array<int32_t, N> hz{};
  for (const PlanSegment& segment : plan) {
    for (int32_t n = segment.first; n <= segment.last; ++n) {
      hz[static_cast<size_t>(n - 1)] = segment.firstHz + kChannelSpacingHz * (n - segment.first);
    }
  }
  return hz;
}

// The segments must cover every channel exactly once, in order.
template <size_t K>
constexpr bool CoversPlan(const PlanSegment (&plan)[K], int32_t count) {
  int32_t next = 1;
  for (const PlanSegment& segment : plan) {
    if (segment.first != next || segment.last < segment.first) return false;
    next = segment.last + 1;
  }
  return next == count + 1;
}

constexpr auto kInitialTerrestrial = ExpandPlan<kTerrestrialChannels>(kTerrestrialPlan);
constexpr auto kInitialCatv = ExpandPlan<kCatvChannels>(kCatvPlan);
static_assert(kInitialTerrestrial.size() == 62 && kInitialCatv.size() == 113, "channel plan sizes");
static_assert(CoversPlan(kTerrestrialPlan, kTerrestrialChannels), "terrestrial plan has gaps");
static_assert(CoversPlan(kCatvPlan, kCatvChannels), "CATV plan has gaps");
static_assert(kInitialTerrestrial[61] == 765'250'000 && kInitialCatv[112] == 765'250'000, "top of UHF");

// The live table. Entries are read and written from any thread without a lock;
// each one is an atomic word (relaxed order: entries are independent values).
template <size_t N>
struct FrequencyTable {
  std::atomic<int32_t> hz[N];
};

template <size_t N, size_t... I>
constexpr FrequencyTable<N> MakeTable(const std::array<int32_t, N>& initial, std::index_sequence<I...>) {
  return FrequencyTable<N>{{initial[I]...}};
}

// Constant-initialised, so they are ready before any code of the module runs.
FrequencyTable<kTerrestrialChannels> g_terrestrial =
    MakeTable(kInitialTerrestrial, std::make_index_sequence<kTerrestrialChannels>{});
FrequencyTable<kCatvChannels> g_catv = MakeTable(kInitialCatv, std::make_index_sequence<kCatvChannels>{});

std::atomic<int32_t>* Entry(bool catv, int32_t number) {
  const int32_t count = catv ? kCatvChannels : kTerrestrialChannels;
  if (number < 1 || number > count) return nullptr;
  return catv ? &g_catv.hz[number - 1] : &g_terrestrial.hz[number - 1];
}

// The tuner adds its intermediate frequency to the carrier in 32-bit arithmetic;
// a carrier above this limit has no synthesiser divider.
constexpr int32_t kMaxStorableHz = std::numeric_limits<int32_t>::max() - 58'750'000;

}  // namespace

bool ReadChannelTable(bool catv, int32_t number, int32_t* hz) {
  const std::atomic<int32_t>* entry = Entry(catv, number);
  if (!entry) return false;
  *hz = entry->load(std::memory_order_relaxed);
  return true;
}

bool WriteChannelTable(bool catv, int32_t number, int32_t hz) {
  std::atomic<int32_t>* entry = Entry(catv, number);
  if (!entry) return false;
  entry->store(hz, std::memory_order_relaxed);
  return true;
}

int32_t LookupChannelFrequency(ChannelEntry* entry) {
  if (!entry) return ZELK_INVALID_PARAMETER;
  int32_t hz = 0;
  if (!ReadChannelTable(entry->plan != 0, entry->channelNumber, &hz)) return ZELK_INVALID_PARAMETER;
  entry->frequencyHz = hz;
  entry->cleared12 = 0;
  entry->cleared16 = 0;
  entry->cleared24 = 0;
  return 0;
}

int32_t StoreChannelFrequency(const ChannelEntry* entry) {
  if (!entry || entry->frequencyHz > kMaxStorableHz) return ZELK_INVALID_PARAMETER;
  return WriteChannelTable(entry->plan != 0, entry->channelNumber, entry->frequencyHz) ? 0
                                                                                       : ZELK_INVALID_PARAMETER;
}

}  // namespace zelk::tuner
