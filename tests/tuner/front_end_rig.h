// A simulated board behind a capture filter and the property channel on it,
// plus a channel with no capture filter attached.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "board.h"
#include "encoder/property_channel.h"
#include "sim_filters.h"
#include "support/expect.h"
#include "support/trace_capture.h"
#include "tuner/front_end.h"

namespace zelk::test {

inline constexpr HRESULT kBusError = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);

class FrontEndTest : public ::testing::Test {
 protected:
  FrontEndTest() { EXPECT_EQ(S_OK, sim::CreateSimCaptureFilter(board, false, &filter)); }
  void FitEnhancer() { board->SetBoardCode(4721); }
  Lines Log() const { return sim::Describe(board->Log()); }
  int64_t TimeUs(size_t request) const { return board->Log().at(request).timeUs; }

  std::shared_ptr<sim::Board> board = std::make_shared<sim::Board>();
  ComPtr<IBaseFilter> filter;
  DeviceChannel channel{filter};
  TraceCapture trace;
};

}  // namespace zelk::test
