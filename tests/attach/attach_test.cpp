// Attaching the capture filter through Wine's real filter graph and device
// enumerator, with the simulated board registered as a video-input device.
#include <gtest/gtest.h>

#include <dshow.h>

#include <algorithm>
#include <string>
#include <vector>

#include "encoder/encoder_object.h"
#include "module/module_state.h"
#include "sim_control.h"
#include "sim_filters.h"
#include "support/fakes.h"
#include "support/trace_capture.h"

namespace zelk {
namespace {

constexpr wchar_t kDeviceName[] = L"MB86393 PCI Capture";

// The simulator DLL beside the test program: registered once for the suite.
class SimulatorDll {
 public:
  SimulatorDll() : module_(LoadLibraryW(L"zelksim.dll")) {}
  ~SimulatorDll() {
    if (module_) FreeLibrary(module_);
  }
  HRESULT Register() const { return Call<HRESULT(WINAPI*)()>("DllRegisterServer")(); }
  HRESULT AddDevice(const wchar_t* friendlyName, const wchar_t* instance, BOOL board) const {
    return Call<PFN_SimRegisterDevice>("SimRegisterDevice")(friendlyName, instance, board);
  }
  HRESULT RemoveDevice(const wchar_t* instance) const {
    return Call<PFN_SimUnregisterDevice>("SimUnregisterDevice")(instance);
  }
  // S_OK once no filter, pin or enumerator of the DLL is alive.
  HRESULT CanUnloadNow() const { return Call<HRESULT(WINAPI*)()>("DllCanUnloadNow")(); }

 private:
  template <typename F>
  F Call(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }
  HMODULE module_;
};

std::vector<std::wstring> FilterNames(IFilterGraph* graph) {
  std::vector<std::wstring> names;
  ComPtr<IEnumFilters> filters;
  if (FAILED(graph->EnumFilters(filters.GetAddressOf()))) return names;
  ComPtr<IBaseFilter> filter;
  while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    FILTER_INFO info{};
    filter->QueryFilterInfo(&info);
    if (info.pGraph) info.pGraph->Release();
    names.emplace_back(info.achName);
  }
  return names;
}

// A new in-process COM object of the class, or null.
template <typename T>
ComPtr<T> Create(const CLSID& clsid, const IID& iid) {
  ComPtr<T> object;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(object.GetAddressOf()));
  return object;
}

ComPtr<IPin> PinOf(IBaseFilter* filter, const wchar_t* name) {
  ComPtr<IPin> pin;
  filter->FindPin(name, pin.GetAddressOf());
  return pin;
}

class AttachTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    dll = new SimulatorDll;
    ASSERT_EQ(dll->Register(), S_OK);
  }
  static void TearDownTestSuite() {
    delete dll;
    CoUninitialize();
  }
  void SetUp() override {
    RecordModulePath(nullptr);  // MbPciEncoder.rom lies beside the test program
    liveBefore = sim::LiveObjects();
    graph = Create<IFilterGraph>(CLSID_FilterGraph, IID_IFilterGraph);
    ASSERT_TRUE(graph);
    board = Create<ISimBoardControl>(CLSID_ZelkSimCapture, IID_ISimBoardControl);
    ASSERT_TRUE(board);
    board->Reset();
  }
  void TearDown() override {
    object.reset();
    board.Reset();
    graph.Reset();
    EXPECT_EQ(sim::LiveObjects(), liveBefore) << "a filter or pin of the test was leaked";
    EXPECT_EQ(dll->CanUnloadNow(), S_OK) << "a filter or pin bound from the device was leaked";
  }
  ULONG BoardRequests() {
    ULONG count = 0;
    board->GetLogCount(&count);
    return count;
  }
  HRESULT Load(ComPtr<IPin>& pin, int32_t* a, int32_t* b) {
    return object->LoadEncoder(graph.Get(), pin.ReleaseAndGetAddressOf(), a, b);
  }

  static SimulatorDll* dll;
  LONG liveBefore = 0;
  ComPtr<IFilterGraph> graph;
  ComPtr<ISimBoardControl> board;
  std::unique_ptr<EncoderObject> object = std::make_unique<EncoderObject>(nullptr, nullptr);
  test::TraceCapture trace;
};
SimulatorDll* AttachTest::dll = nullptr;

TEST_F(AttachTest, FindsTheBoardAddsItAndHandsOutItsOutputPin) {
  const ULONG graphRefs = sim::RefCount(graph.Get());
  ComPtr<IPin> pin;
  int32_t a = -1, b = -1;
  ASSERT_EQ(Load(pin, &a, &b), S_OK);
  EXPECT_EQ(object->state, kStateAttached);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 8);
  ASSERT_TRUE(pin);
  PIN_INFO info{};
  ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
  EXPECT_STREQ(info.achName, L"Video/Muxed Out");
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  EXPECT_EQ(info.pFilter, object->captureFilter.Get());
  info.pFilter->Release();
  EXPECT_EQ(FilterNames(graph.Get()), std::vector<std::wstring>{kDeviceName});
  EXPECT_FALSE(object->graph) << "the graph is held only during the call";
  EXPECT_EQ(sim::RefCount(graph.Get()), graphRefs);
  // The set-up reached the board: firmware first, 4 + 88 requests in all.
  SimLogEntry first{};
  ASSERT_EQ(board->GetLogEntry(0, &first), S_OK);
  EXPECT_EQ(first.id, 91u);
  EXPECT_EQ(BoardRequests(), 92u);
  EXPECT_TRUE(trace.Lines().empty());

  // A second load finds the filter by name, hands out a further pin reference.
  object->state = kStateEncoding;
  ComPtr<IPin> second;
  ASSERT_EQ(Load(second, &a, &b), S_OK);
  EXPECT_EQ(second.Get(), pin.Get());
  EXPECT_EQ(object->state, kStateAttached);
  EXPECT_EQ(FilterNames(graph.Get()).size(), 1u);
  EXPECT_EQ(BoardRequests(), 2u * 92u);

  EXPECT_EQ(object->UnloadEncoder(graph.Get()), S_OK);
  EXPECT_TRUE(FilterNames(graph.Get()).empty());
  EXPECT_FALSE(object->captureFilter);
}

TEST_F(AttachTest, UsesTheFilterAlreadyInTheGraphUnderTheBoardsName) {
  ComPtr<IBaseFilter> present = Create<IBaseFilter>(CLSID_ZelkSimCapture, IID_IBaseFilter);
  ASSERT_TRUE(present);
  ASSERT_EQ(graph->AddFilter(present.Get(), kDeviceName), S_OK);
  ComPtr<IPin> pin;
  int32_t a, b;
  ASSERT_EQ(Load(pin, &a, &b), S_OK);
  EXPECT_EQ(object->captureFilter.Get(), present.Get());
  EXPECT_EQ(FilterNames(graph.Get()).size(), 1u);
  pin.Reset();
  object->UnloadEncoder(graph.Get());
}

TEST_F(AttachTest, TheBoardUnderAnotherNameIsNotRecognised) {
  ComPtr<IBaseFilter> present = Create<IBaseFilter>(CLSID_ZelkSimCapture, IID_IBaseFilter);
  ASSERT_TRUE(present);
  ASSERT_EQ(graph->AddFilter(present.Get(), L"Capture"), S_OK);
  ComPtr<IPin> pin;
  int32_t a, b;
  ASSERT_EQ(Load(pin, &a, &b), S_OK);
  EXPECT_NE(object->captureFilter.Get(), present.Get());
  EXPECT_EQ(FilterNames(graph.Get()).size(), 2u);
  pin.Reset();
  object->UnloadEncoder(graph.Get());
  EXPECT_EQ(FilterNames(graph.Get()), std::vector<std::wstring>{L"Capture"});
}

TEST_F(AttachTest, TheHeldCaptureFilterIsKeptAcrossLaterLoads) {
  ComPtr<IPin> pin;
  int32_t a, b;
  ASSERT_EQ(Load(pin, &a, &b), S_OK);
  ComPtr<IBaseFilter> held = object->captureFilter;

  // Another graph: the filter the object holds is the one added there.
  ComPtr<IFilterGraph> second = Create<IFilterGraph>(CLSID_FilterGraph, IID_IFilterGraph);
  ASSERT_TRUE(second);
  ComPtr<IPin> secondPin;
  ASSERT_EQ(object->LoadEncoder(second.Get(), secondPin.GetAddressOf(), &a, &b), S_OK);
  EXPECT_EQ(object->captureFilter.Get(), held.Get());
  ComPtr<IBaseFilter> inSecond;
  ASSERT_EQ(second->FindFilterByName(kDeviceName, inSecond.GetAddressOf()), S_OK);
  EXPECT_EQ(inSecond.Get(), held.Get());
  inSecond.Reset();
  EXPECT_EQ(object->UnloadEncoder(second.Get()), S_OK);
  object->captureFilter = held;

  // A graph holding a different filter under the board's name: ours stays in use.
  ComPtr<IFilterGraph> third = Create<IFilterGraph>(CLSID_FilterGraph, IID_IFilterGraph);
  ASSERT_TRUE(third);
  ComPtr<IBaseFilter> stranger;
  ASSERT_EQ(sim::CreateTestFilter(false, stranger.GetAddressOf()), S_OK);
  ASSERT_EQ(third->AddFilter(stranger.Get(), kDeviceName), S_OK);
  ComPtr<IPin> thirdPin;
  ASSERT_EQ(object->LoadEncoder(third.Get(), thirdPin.GetAddressOf(), &a, &b), S_OK);
  EXPECT_EQ(object->captureFilter.Get(), held.Get());
  EXPECT_EQ(thirdPin.Get(), pin.Get()) << "the pin of the held filter";

  // A load whose graph refuses everything fails at step 1 and keeps the filter.
  test::FakeGraph refusing;
  object->state = kStateInitialized;
  ComPtr<IPin> none;
  EXPECT_EQ(object->LoadEncoder(&refusing, none.GetAddressOf(), &a, &b), E_NOTIMPL);
  EXPECT_EQ(trace.LastStep(), 1);
  EXPECT_EQ(object->captureFilter.Get(), held.Get());
  EXPECT_EQ(object->state, kStateInitialized);
  EXPECT_EQ(refusing.refs, 1);

  thirdPin.Reset();
  secondPin.Reset();
  pin.Reset();
  held.Reset();
  object->UnloadEncoder(graph.Get());
  third.Reset();
  stranger.Reset();
}

TEST_F(AttachTest, OtherDevicesAreSkippedAndNeverTakenInstead) {
  // A camera listed before the board, and names that only begin like the board's.
  ASSERT_EQ(dll->AddDevice(L"AAA Camera", L"AAA Camera", FALSE), S_OK);
  ASSERT_EQ(dll->AddDevice(L"MB86393 PCI Capture 2", L"MB86393 PCI Capture 2", FALSE), S_OK);
  ASSERT_EQ(dll->AddDevice(L"MB86393 PCI", L"MB86393 PCI", FALSE), S_OK);

  ComPtr<IPin> pin;
  int32_t a = -1, b = -1;
  ASSERT_EQ(Load(pin, &a, &b), S_OK);
  ComPtr<ISimBoardControl> control;
  EXPECT_TRUE(SUCCEEDED(object->captureFilter.As(&control))) << "the board's own device was bound";
  control.Reset();
  pin.Reset();
  object->UnloadEncoder(graph.Get());

  // Without the board's device only the others remain: nothing is taken.
  auto fresh = std::make_unique<EncoderObject>(nullptr, nullptr);
  ASSERT_EQ(dll->RemoveDevice(kDeviceName), S_OK);
  board->ClearLog();
  IPin* untouched = reinterpret_cast<IPin*>(0x1234);
  a = b = -1;
  EXPECT_EQ(fresh->LoadEncoder(graph.Get(), &untouched, &a, &b), E_FAIL);
  EXPECT_EQ(untouched, reinterpret_cast<IPin*>(0x1234));
  EXPECT_EQ(a, -1);
  EXPECT_EQ(b, -1);
  EXPECT_EQ(fresh->state, kStateCreated);
  EXPECT_FALSE(fresh->captureFilter);
  EXPECT_TRUE(FilterNames(graph.Get()).empty());
  EXPECT_EQ(BoardRequests(), 0u);
  EXPECT_EQ(trace.LastStep(), 1);

  // No video-input device of ours at all: the same.
  for (const wchar_t* name : {L"AAA Camera", L"MB86393 PCI Capture 2", L"MB86393 PCI"}) dll->RemoveDevice(name);
  EXPECT_EQ(fresh->LoadEncoder(graph.Get(), &untouched, &a, &b), E_FAIL);
  EXPECT_TRUE(FilterNames(graph.Get()).empty());
  ASSERT_EQ(dll->Register(), S_OK);
}

TEST_F(AttachTest, FailedSetUpLeavesPinAndFilterHandedOut) {
  board->FailRequest(1, E_ACCESSDENIED);  // the firmware download
  ComPtr<IPin> pin;
  int32_t a = -1, b = -1;
  EXPECT_EQ(Load(pin, &a, &b), E_ACCESSDENIED);
  EXPECT_TRUE(pin);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 8);
  EXPECT_EQ(object->state, kStateCreated);
  EXPECT_TRUE(object->captureFilter);
  EXPECT_EQ(FilterNames(graph.Get()).size(), 1u);
  EXPECT_EQ(trace.LastStep(), 2);
  pin.Reset();
  object->UnloadEncoder(graph.Get());
}

TEST_F(AttachTest, LoadWithoutGraphOrOutArgumentsIsRefused) {
  ComPtr<IPin> pin;
  int32_t a = -1, b = -1;
  EXPECT_EQ(object->LoadEncoder(nullptr, pin.GetAddressOf(), &a, &b), E_POINTER);
  EXPECT_EQ(object->LoadEncoder(graph.Get(), nullptr, &a, &b), E_POINTER);
  EXPECT_EQ(object->LoadEncoder(graph.Get(), pin.GetAddressOf(), nullptr, &b), E_POINTER);
  EXPECT_EQ(object->LoadEncoder(graph.Get(), pin.GetAddressOf(), &a, nullptr), E_POINTER);
  EXPECT_EQ(a, -1);
  EXPECT_TRUE(FilterNames(graph.Get()).empty());
  EXPECT_EQ(BoardRequests(), 0u);
}

// Teardown of hand-built graphs: the capture filter attached directly.
class UnloadTest : public AttachTest {
 protected:
  ComPtr<IBaseFilter> Add(ComPtr<IBaseFilter> filter, const wchar_t* name) {
    EXPECT_EQ(graph->AddFilter(filter.Get(), name), S_OK);
    return filter;
  }
  ComPtr<IBaseFilter> Sink(bool withOutput, const wchar_t* name) {
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(sim::CreateTestFilter(withOutput, filter.GetAddressOf()), S_OK);
    return Add(filter, name);
  }
  void Connect(IBaseFilter* from, const wchar_t* out, IBaseFilter* to, const wchar_t* in) {
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Stream;
    type.subtype = MEDIASUBTYPE_MPEG2_PROGRAM;
    ASSERT_EQ(graph->ConnectDirect(PinOf(from, out).Get(), PinOf(to, in).Get(), &type), S_OK);
  }
  ComPtr<IBaseFilter> Capture(bool withInput) {
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(sim::CreateSimCaptureFilter(std::make_shared<sim::Board>(), withInput, filter.GetAddressOf()), S_OK);
    object->captureFilter = filter;
    return Add(filter, kDeviceName);
  }
};

TEST_F(UnloadTest, RemovesTheCaptureFilterAndItsWholeDownstreamChain) {
  ComPtr<IBaseFilter> capture = Capture(false);
  ComPtr<IBaseFilter> middle = Sink(true, L"Middle");
  ComPtr<IBaseFilter> last = Sink(false, L"Last");
  Connect(capture.Get(), L"Video/Muxed Out", middle.Get(), L"Sink In");
  Connect(middle.Get(), L"Sink Out", last.Get(), L"Sink In");
  EXPECT_EQ(object->UnloadEncoder(graph.Get()), S_OK);
  EXPECT_TRUE(FilterNames(graph.Get()).empty());
  EXPECT_FALSE(object->captureFilter);
  EXPECT_FALSE(object->graph);
  ComPtr<IPin> peer;
  EXPECT_NE(PinOf(middle.Get(), L"Sink Out")->ConnectedTo(peer.GetAddressOf()), S_OK);
  EXPECT_NE(PinOf(capture.Get(), L"Video/Muxed Out")->ConnectedTo(peer.GetAddressOf()), S_OK);
}

TEST_F(UnloadTest, AFilterAlsoFedFromElsewhereStaysButLosesItsDownstream) {
  ComPtr<IBaseFilter> capture = Capture(false);
  ComPtr<IBaseFilter> first = Sink(true, L"First");
  ComPtr<IBaseFilter> mixer;
  ASSERT_EQ(sim::CreateMixerFilter(mixer.GetAddressOf()), S_OK);
  Add(mixer, L"Mixer");
  ComPtr<IBaseFilter> other = Sink(true, L"Other source");
  ComPtr<IBaseFilter> after = Sink(false, L"After mixer");
  Connect(capture.Get(), L"Video/Muxed Out", first.Get(), L"Sink In");
  Connect(first.Get(), L"Sink Out", mixer.Get(), L"Mix In 1");
  Connect(other.Get(), L"Sink Out", mixer.Get(), L"Mix In 2");
  Connect(mixer.Get(), L"Mix Out", after.Get(), L"Sink In");
  EXPECT_EQ(object->UnloadEncoder(graph.Get()), S_OK);
  std::vector<std::wstring> left = FilterNames(graph.Get());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::wstring>{L"Mixer", L"Other source"}));
  ComPtr<IPin> peer;
  EXPECT_NE(PinOf(mixer.Get(), L"Mix Out")->ConnectedTo(peer.GetAddressOf()), S_OK) << "downstream torn down";
  EXPECT_EQ(PinOf(mixer.Get(), L"Mix In 2")->ConnectedTo(peer.GetAddressOf()), S_OK) << "the other branch stays";
  peer.Reset();
  graph->Disconnect(PinOf(mixer.Get(), L"Mix In 2").Get());
  graph->Disconnect(PinOf(other.Get(), L"Sink Out").Get());
}

TEST_F(UnloadTest, KeepsACaptureFilterFedFromUpstream) {
  ComPtr<IBaseFilter> source = Sink(true, L"Crossbar");
  ComPtr<IBaseFilter> capture = Capture(true);
  ComPtr<IBaseFilter> renderer = Sink(false, L"Renderer");
  Connect(source.Get(), L"Sink Out", capture.Get(), L"Video In");
  Connect(capture.Get(), L"Video/Muxed Out", renderer.Get(), L"Sink In");
  EXPECT_EQ(object->UnloadEncoder(graph.Get()), S_OK);
  EXPECT_EQ(FilterNames(graph.Get()), (std::vector<std::wstring>{kDeviceName, L"Crossbar"}))
      << "downstream gone, the capture filter and its upstream stay";
  EXPECT_FALSE(object->captureFilter);
  ComPtr<IPin> peer;
  EXPECT_EQ(PinOf(capture.Get(), L"Video In")->ConnectedTo(peer.GetAddressOf()), S_OK);
  peer.Reset();
  graph->Disconnect(PinOf(capture.Get(), L"Video In").Get());
  graph->Disconnect(PinOf(source.Get(), L"Sink Out").Get());
}

TEST_F(UnloadTest, ARunningFilterIsRefusedAndKeptUntilStopped) {
  ComPtr<IBaseFilter> capture = Capture(false);
  ComPtr<IBaseFilter> writer = Sink(false, L"Writer");
  Connect(capture.Get(), L"Video/Muxed Out", writer.Get(), L"Sink In");
  ASSERT_EQ(capture->Run(0), S_OK);
  EXPECT_EQ(object->UnloadEncoder(graph.Get()), VFW_E_NOT_STOPPED);
  EXPECT_EQ(object->captureFilter, capture) << "the object keeps its filter";
  EXPECT_EQ(FilterNames(graph.Get()).size(), 2u) << "the graph keeps both";
  ASSERT_EQ(capture->Stop(), S_OK);
  EXPECT_EQ(object->UnloadEncoder(graph.Get()), S_OK);
  EXPECT_TRUE(FilterNames(graph.Get()).empty());
  EXPECT_FALSE(object->captureFilter);
}

TEST_F(UnloadTest, BeforeAnyLoadOrWithoutAGraph) {
  EXPECT_EQ(object->UnloadEncoder(graph.Get()), S_OK);
  EXPECT_EQ(object->UnloadEncoder(nullptr), S_OK);
  ComPtr<IBaseFilter> capture = Capture(false);
  EXPECT_EQ(object->UnloadEncoder(nullptr), S_OK);
  EXPECT_FALSE(object->captureFilter) << "the reference goes even without a graph";
  EXPECT_EQ(FilterNames(graph.Get()).size(), 1u) << "nothing is removed from any graph";
}

}  // namespace
}  // namespace zelk
