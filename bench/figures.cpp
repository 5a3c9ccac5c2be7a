#include "figures.h"

#include <algorithm>

namespace bench {

int64_t OvershootUs(const std::vector<SleepFigures>& sleeps, int waitMs) {
  for (const SleepFigures& sleep : sleeps) {
    if (sleep.waitMs == waitMs) return sleep.overshootUs;
  }
  return 0;
}

int64_t Median(std::vector<int64_t> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int64_t Max(const std::vector<int64_t>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

}  // namespace bench
