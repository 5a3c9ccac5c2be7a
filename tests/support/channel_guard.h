// Puts one entry of the process-wide channel tables back when a test ends:
// the tables live as long as the module, so a test that changes an entry must
// not leave the change to the next one.
#pragma once

#include <cstdint>

#include <zelk/encoder_module.h>

#include "tuner/front_end.h"

namespace zelk::test {

class ChannelEntryGuard {
 public:
  ChannelEntryGuard(int32_t plan, int32_t number) : entry_{number, plan, 0, 0, 0, {}, 0, {}} {
    tuner::LookupChannelFrequency(&entry_);
  }
  ~ChannelEntryGuard() { tuner::StoreChannelFrequency(&entry_); }
  ChannelEntryGuard(const ChannelEntryGuard&) = delete;
  ChannelEntryGuard& operator=(const ChannelEntryGuard&) = delete;

 private:
  ChannelEntry entry_;
};

}  // namespace zelk::test
