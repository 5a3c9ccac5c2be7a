// The shared simulated board rig, with the names the front-end tests use.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "board.h"
#include "encoder/property_channel.h"
#include "sim_filters.h"
#include "support/sim_rig.h"
#include "support/expect.h"
#include "support/trace_capture.h"
#include "tuner/front_end.h"

namespace zelk::test {

inline constexpr HRESULT kBusError = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);

class FrontEndTest : public ::testing::Test {
 protected:
  void FitEnhancer() { board->SetBoardCode(4721); }
  Lines Log() const { return rig.Lines(); }
  int64_t TimeUs(size_t request) const { return board->Log().at(request).timeUs; }

  SimRig rig;
  std::shared_ptr<sim::Board>& board = rig.board;
  ComPtr<IBaseFilter>& filter = rig.filter;
  PropertyChannel& properties = rig.properties;
  TraceCapture trace;
};

}  // namespace zelk::test
