// Graph-state operations against a scripted graph.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <dshow.h>

#include <zelk/encoder_module.h>

#include "encoder/graph_control.h"
#include "support/fakes.h"

namespace zelk {
namespace {

using test::FakeGraph;

class TestGraphControl : public GraphControl {
 public:
  HRESULT GraphReserved1() override { return E_NOTIMPL; }
  HRESULT GraphReserved2() override { return E_NOTIMPL; }
};

std::vector<std::string> Calls(const FakeGraph& graph) { return {graph.calls.begin(), graph.calls.end()}; }

class GraphControlTest : public ::testing::Test {
 protected:
  void TearDown() override {
    control.graph.Reset();
    EXPECT_EQ(fake.refs, 1) << "a graph or IMediaControl reference was not given back";
  }
  void Attach() { control.graph = static_cast<IFilterGraph*>(&fake); }

  FakeGraph fake;
  TestGraphControl control;
};

TEST_F(GraphControlTest, WithoutAGraphEveryOperationFails) {
  EXPECT_EQ(control.Run(), E_FAIL);
  EXPECT_EQ(control.Stop(), E_FAIL);
  EXPECT_EQ(control.Pause(), E_FAIL);
  EXPECT_EQ(control.GetState(), E_FAIL);
  EXPECT_FALSE(control.IsRunning());
}

TEST_F(GraphControlTest, GraphWithoutMediaControl) {
  fake.offersMediaControl = false;
  Attach();
  EXPECT_EQ(control.Run(), E_FAIL);
  EXPECT_EQ(control.Stop(), E_FAIL);
  EXPECT_EQ(control.Pause(), E_FAIL);
  EXPECT_EQ(control.GetState(), State_Stopped);
  EXPECT_FALSE(control.IsRunning());
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(GraphControlTest, RunThatCompletesAtOnce) {
  Attach();
  EXPECT_EQ(control.Run(), S_OK);
  EXPECT_EQ(Calls(fake), (std::vector<std::string>{"Run"}));
}

TEST_F(GraphControlTest, RunStillChangingStateIsPolledUntilRunning) {
  fake.runResult = S_FALSE;
  fake.runningAfterPolls = 3;
  fake.getStateResult = VFW_S_STATE_INTERMEDIATE;  // the poll's own result is not looked at
  Attach();
  EXPECT_EQ(control.Run(), S_OK);
  EXPECT_EQ(Calls(fake), (std::vector<std::string>{"Run", "GetState", "GetState", "GetState"}));
  EXPECT_EQ(fake.getStateTimeouts, std::vector<LONG>(3, 100)) << "each poll waits 100 ms for the graph";
}

TEST_F(GraphControlTest, StuckGraphReachesThePollBoundAndIsStopped) {
  fake.runResult = S_FALSE;
  fake.runningAfterPolls = -1;
  fake.reportedState = State_Paused;
  Attach();
  EXPECT_EQ(control.Run(), ZELK_E_GRAPH_RUN_TIMEOUT);
  EXPECT_EQ(fake.getStateTimeouts, std::vector<LONG>(100, 100)) << "at most 100 polls of 100 ms each";
  EXPECT_EQ(std::string(fake.calls.back()), "Stop");
}

TEST_F(GraphControlTest, FailedRunIsFollowedByStopAndKeepsItsCode) {
  fake.runResult = VFW_E_NO_CLOCK;
  fake.stopResult = E_UNEXPECTED;
  Attach();
  EXPECT_EQ(control.Run(), VFW_E_NO_CLOCK);
  EXPECT_EQ(Calls(fake), (std::vector<std::string>{"Run", "Stop"}));
}

TEST_F(GraphControlTest, StopReturnsItsOwnResultAfterWaitingForTheTransition) {
  fake.stopResult = S_FALSE;
  fake.getStateResult = VFW_S_STATE_INTERMEDIATE;
  fake.reportedState = State_Paused;
  fake.runningAfterPolls = -1;
  Attach();
  EXPECT_EQ(control.Stop(), S_FALSE);
  EXPECT_EQ(Calls(fake), (std::vector<std::string>{"Stop", "GetState"}));
  EXPECT_EQ(fake.getStateTimeouts, (std::vector<LONG>{1000}));
}

TEST_F(GraphControlTest, PauseDoesNotWait) {
  fake.pauseResult = S_FALSE;
  Attach();
  EXPECT_EQ(control.Pause(), S_FALSE);
  EXPECT_EQ(Calls(fake), (std::vector<std::string>{"Pause"}));
}

TEST_F(GraphControlTest, GetStateReturnsTheReportedStateEvenOnTimeOut) {
  fake.runningAfterPolls = -1;
  fake.reportedState = State_Paused;
  fake.getStateResult = VFW_S_STATE_INTERMEDIATE;
  Attach();
  EXPECT_EQ(control.GetState(), State_Paused);
  EXPECT_FALSE(control.IsRunning());
  EXPECT_EQ(fake.getStateTimeouts.front(), 1000);

  fake.getStateWritesState = false;  // a graph that reports nothing: 0
  fake.getStateResult = E_FAIL;
  EXPECT_EQ(control.GetState(), State_Stopped);

  fake.getStateWritesState = true;
  fake.runningAfterPolls = 0;
  EXPECT_EQ(control.GetState(), State_Running);
  EXPECT_TRUE(control.IsRunning());
}

}  // namespace
}  // namespace zelk
