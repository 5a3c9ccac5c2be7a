// Two objects and two virtual boards in one process, through Wine's device
// enumerator and filter graph: zelksim.dll registered as two boards.
#include <gtest/gtest.h>

#include <dshow.h>

#include <string>
#include <thread>
#include <vector>

#include "board_devices.h"
#include "encoder/device_search.h"
#include "encoder/encoder_object.h"
#include "module/module_state.h"
#include "sim_control.h"
#include "sim_filters.h"
#include "support/trace_capture.h"

namespace zelk {
namespace {

std::wstring SimPath(int board) { return sim::DevicePathOf(board); }

HRESULT InstallBoards(const wchar_t* count) {
  HMODULE dll = LoadLibraryW(L"zelksim.dll");
  if (!dll) return E_FAIL;
  using Install = HRESULT(WINAPI*)(BOOL, LPCWSTR);
  const auto install = reinterpret_cast<Install>(reinterpret_cast<void*>(GetProcAddress(dll, "DllInstall")));
  const HRESULT hr = install ? install(TRUE, count) : E_FAIL;
  FreeLibrary(dll);
  return hr;
}

// The control interface of board `index` (1 on), through its own device.
ComPtr<ISimBoardControl> ControlOf(uint32_t index) {
  std::vector<PresentBoard> boards;
  ComPtr<ISimBoardControl> control;
  if (FAILED(ListBoards(boards)) || index == 0 || index > boards.size()) return control;
  ComPtr<IBaseFilter> filter;
  if (SUCCEEDED(boards[index - 1].moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                         reinterpret_cast<void**>(filter.GetAddressOf()))))
    filter.As(&control);
  return control;
}

std::vector<std::string> LogOf(ISimBoardControl* board) { return sim::Describe(sim::ReadLog(board)); }

// How a row binds an object: not at all, by index, by the path of a board,
// or by a path of no board.
struct Bind {
  enum Kind { kNone, kIndex, kPathOf, kNoSuchPath } kind;
  uint32_t value;
};

struct Row {
  const char* what;
  Bind first, second;
  bool failBoard2;         // board 2 refuses the firmware download
  HRESULT firstHr, secondHr;
  const char* secondTrace;  // the second object's first trace line, or null
};

constexpr Row kRows[] = {
    {"unbound and by index", {Bind::kNone, 0}, {Bind::kIndex, 2}, false, S_OK, S_OK, nullptr},
    {"both by path", {Bind::kPathOf, 1}, {Bind::kPathOf, 2}, false, S_OK, S_OK, nullptr},
    {"a fault on board 2", {Bind::kNone, 0}, {Bind::kIndex, 2}, true, S_OK, E_ACCESSDENIED,
     "ERROR -----> InitEnc()  step=3  idxAry=0  hr=0x80070005\n"},
    {"an index of no board", {Bind::kNone, 0}, {Bind::kIndex, 3}, false, S_OK, ZELK_E_BOARD_GONE,
     "ERROR ---> LoadEncoder()  board gone: index=3\n"},
    {"a path of no board", {Bind::kNone, 0}, {Bind::kNoSuchPath, 9}, false, S_OK, ZELK_E_BOARD_GONE,
     "ERROR ---> LoadEncoder()  board gone: path=\\\\?\\root#zelksim#0009#{65e8773d-8f56-11d0-a3b9-00a0c9223196}"
     "\\global\n"},
};
static_assert(sizeof kRows / sizeof kRows[0] == 5, "one row per way of binding");

HRESULT Apply(EncoderObject& object, const Bind& bind) {
  switch (bind.kind) {
    case Bind::kIndex: return object.BindBoardByIndex(bind.value);
    case Bind::kPathOf:
    case Bind::kNoSuchPath: return object.BindBoardByPath(SimPath(static_cast<int>(bind.value)).c_str());
    case Bind::kNone: break;
  }
  return S_OK;
}

// The board an object of that binding drives among the machine's two (0: none).
uint32_t BoardOf(const Bind& bind) {
  if (bind.kind == Bind::kNone) return 1;
  if (bind.kind == Bind::kNoSuchPath || bind.value > 2) return 0;
  return bind.value;
}

class TwoBoardsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ASSERT_EQ(InstallBoards(L"2"), S_OK);
  }
  static void TearDownTestSuite() {
    InstallBoards(L"1");  // as the other tests expect the machine
    CoUninitialize();
  }
  void SetUp() override {
    RecordModulePath(nullptr);
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph,
                               reinterpret_cast<void**>(graph.GetAddressOf())),
              S_OK);
    boards[0] = ControlOf(1);
    boards[1] = ControlOf(2);
    ASSERT_TRUE(boards[0] && boards[1]);
    for (auto& board : boards) board->Reset();
  }
  HRESULT Load(EncoderObject& object) {
    ComPtr<IPin> pin;
    int32_t a = 0, b = 0;
    return object.LoadEncoder(graph.Get(), pin.GetAddressOf(), &a, &b);
  }
  ComPtr<IFilterGraph> graph;
  ComPtr<ISimBoardControl> boards[2];
};

TEST_F(TwoBoardsTest, TheListNamesBothBoardsWithTheirPaths) {
  EncoderObject object(nullptr, nullptr);
  UINT32 count = 0;
  ASSERT_EQ(object.GetBoardCount(&count), S_OK);
  ASSERT_EQ(count, 2u);
  for (UINT32 index = 1; index <= 2; ++index) {
    BSTR name = nullptr, path = nullptr;
    ASSERT_EQ(object.GetBoard(index, &name, &path), S_OK);
    EXPECT_EQ(std::wstring(name), L"MB86393 PCI Capture #" + std::to_wstring(index));
    EXPECT_EQ(std::wstring(path), SimPath(static_cast<int>(index)));
    SysFreeString(name);
    SysFreeString(path);
  }
  BSTR name = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(object.GetBoard(3, &name, nullptr), E_INVALIDARG);
  EXPECT_EQ(name, nullptr);
}

TEST_F(TwoBoardsTest, EachObjectReachesItsOwnBoardOnly) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    for (auto& board : boards) board->Reset();
    if (row.failBoard2) boards[1]->FailRequest(1, E_ACCESSDENIED);
    EncoderObject first(nullptr, nullptr), second(nullptr, nullptr);
    ASSERT_EQ(Apply(first, row.first), S_OK);
    ASSERT_EQ(Apply(second, row.second), S_OK);
    test::TraceCapture trace;
    EXPECT_EQ(Load(first), row.firstHr);
    EXPECT_TRUE(trace.Lines().empty());
    EXPECT_EQ(Load(second), row.secondHr);
    if (row.secondTrace) {
      ASSERT_FALSE(trace.Lines().empty());
      EXPECT_EQ(trace.Lines().front(), row.secondTrace);
    }
    const auto log1 = LogOf(boards[0].Get()), log2 = LogOf(boards[1].Get());
    // Board 1 saw the first object's set-up alone; board 2 the second's, the
    // same requests byte for byte, or its one refused request.
    EXPECT_EQ(log1.size(), 92u);
    ASSERT_NE(BoardOf(row.second), 1u) << "each row puts the second object elsewhere than board 1";
    if (BoardOf(row.second) == 0) {
      EXPECT_TRUE(log2.empty()) << "no board bound: board 2 hears nothing";
    } else if (row.failBoard2) {
      EXPECT_EQ(log2.size(), 1u);
    } else {
      EXPECT_EQ(log2, log1);
    }

    // A call of the first object after the second's failure still works.
    EncoderStatus status{};
    EXPECT_GE(first.GetEncStatus(&status), 0);
    EXPECT_GT(LogOf(boards[0].Get()).size(), 92u);
    EXPECT_EQ(LogOf(boards[1].Get()).size(), log2.size());

    // Bound while loaded: refused, the binding in force stays.
    if (SUCCEEDED(row.secondHr)) {
      EXPECT_EQ(second.BindBoardByIndex(1), ZELK_E_BOARD_IN_USE);
      UINT32 index = 99;
      BSTR path = nullptr;
      EXPECT_EQ(second.GetBinding(&index, &path), S_OK);
      EXPECT_EQ(index, row.second.kind == Bind::kIndex ? row.second.value : 0u);
      EXPECT_EQ(path != nullptr, row.second.kind == Bind::kPathOf);
      SysFreeString(path);
    }
    first.UnloadEncoder(graph.Get());
    second.UnloadEncoder(graph.Get());
    EXPECT_EQ(second.BindBoardByIndex(0), S_OK) << "unloaded: binding is allowed again";
  }
}

// While the second object waits inside a request of board 2, the first
// object's calls on board 1 go on.
TEST_F(TwoBoardsTest, AnObjectNeverWaitsForTheOtherBoardsCalls) {
  EncoderObject first(nullptr, nullptr), second(nullptr, nullptr);
  ASSERT_EQ(Load(first), S_OK);
  ASSERT_EQ(second.BindBoardByIndex(2), S_OK);
  HANDLE arrived = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE resume = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const GUID deviceSet = DevicePropertySet;
  ASSERT_EQ(boards[1]->HoldNextArrival(&deviceSet, kPropFirmware, arrived, resume), S_OK);
  HRESULT secondHr = E_FAIL;
  std::thread loading([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    secondHr = Load(second);
    CoUninitialize();
  });
  const DWORD held = WaitForSingleObject(arrived, 10000);
  if (held == WAIT_OBJECT_0) {
    EncoderStatus status{};
    EXPECT_GE(first.GetEncStatus(&status), 0) << "the first object's lock is its own";
  }
  SetEvent(resume);
  loading.join();
  CloseHandle(arrived);
  CloseHandle(resume);
  ASSERT_EQ(held, WAIT_OBJECT_0) << "board 2 never received the firmware request";
  EXPECT_EQ(secondHr, S_OK);
  first.UnloadEncoder(graph.Get());
  second.UnloadEncoder(graph.Get());
}

}  // namespace
}  // namespace zelk
