#include "support/sim_rig.h"

#include <sim_filters.h>

#include <stdexcept>

namespace zelk::test {

SimRig::SimRig(bool withInputPin) : board(std::make_shared<sim::Board>()), properties(filter) {
  if (FAILED(sim::CreateSimCaptureFilter(board, withInputPin, filter.ReleaseAndGetAddressOf())))
    throw std::runtime_error("cannot create the simulated capture filter");
}

SimRig::~SimRig() = default;

void SimRig::DownloadFirmware(size_t size) {
  std::vector<uint8_t> buffer(size + 8);
  const uint32_t header[2] = {static_cast<uint32_t>(size), 1};
  memcpy(buffer.data(), header, sizeof header);
  for (size_t i = 0; i < size; ++i) buffer[8 + i] = static_cast<uint8_t>(i);
  if (FAILED(properties.SetDeviceProperty(kPropFirmware, buffer.data(), static_cast<ULONG>(buffer.size()))))
    throw std::runtime_error("firmware download refused");
  board->ClearLog();
}

std::vector<std::string> SimRig::Lines() const { return sim::Describe(board->Log()); }

int64_t SimRig::MicrosecondsBetween(size_t from, size_t to) const {
  const auto log = board->Log();
  return log.at(to).timeUs - log.at(from).timeUs;
}

}  // namespace zelk::test
