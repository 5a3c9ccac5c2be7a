#include "register_write.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "encoder/property_channel.h"
#include "figures.h"
#include "process_probes.h"
#include "sim_filters.h"

namespace bench {

double RegisterWriteUs(int runs) {
  constexpr int kWritesPerRun = 1000;
  auto board = std::make_shared<zelk::sim::Board>();
  zelk::ComPtr<IBaseFilter> filter;
  if (FAILED(zelk::sim::CreateSimCaptureFilter(board, false, filter.GetAddressOf()))) return -1;
  const zelk::PropertyChannel properties(filter);
  std::vector<int64_t> runUs;
  for (int run = -1; run < runs; ++run) {  // run -1 warms up
    board->ClearLog();
    const int64_t start = NowUs();
    for (int i = 0; i < kWritesPerRun; ++i) {
      if (FAILED(properties.WriteDeviceRegister(0x21, 0x00, 0x0A, static_cast<uint32_t>(i & 0xFF), 0))) return -1;
    }
    if (run >= 0) runUs.push_back(NowUs() - start);
  }
  return static_cast<double>(Median(runUs)) / kWritesPerRun;
}

}  // namespace bench
