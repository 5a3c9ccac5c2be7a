// zelksim.dll in Wine's real COM runtime: registered through the filter mapper,
// found by the system device enumerator, bound, connected and disconnected in
// a real filter graph, one board shared by every instance, and a stream that
// Wine's own graph, clock and stock filters stop from inside a Receive.
#include <gtest/gtest.h>

#include <dshow.h>
#include <qedit.h>

#include <algorithm>
#include <string>
#include <vector>

#include <board_protocol.h>
#include <encoder/property_channel.h>
#include <sim_filters.h>

#include "support/expect.h"

// The stock Sample Grabber and Null Renderer, from the SDK's GUID library.
EXTERN_C const CLSID CLSID_SampleGrabber;
EXTERN_C const CLSID CLSID_NullRenderer;

namespace zelk::test {
namespace {

using sim::RefCount;

struct Device {
  std::wstring name;
  ComPtr<IMoniker> moniker;
};

std::vector<Device> VideoInputDevices() {
  std::vector<Device> devices;
  ComPtr<ICreateDevEnum> enumerator;
  EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(enumerator.ReleaseAndGetAddressOf())),
            S_OK);
  if (!enumerator) return devices;
  ComPtr<IEnumMoniker> monikers;
  if (enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.ReleaseAndGetAddressOf(), 0) != S_OK)
    return devices;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    VARIANT name;
    VariantInit(&name);
    if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(bag.ReleaseAndGetAddressOf()))) &&
        SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR)
      devices.push_back({name.bstrVal, moniker});
    VariantClear(&name);
    moniker.Reset();
  }
  return devices;
}

ComPtr<IBaseFilter> BindDevice(const wchar_t* friendlyName) {
  ComPtr<IBaseFilter> filter;
  for (const Device& device : VideoInputDevices()) {
    if (device.name == friendlyName) {
      EXPECT_EQ(device.moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(filter.ReleaseAndGetAddressOf())), S_OK);
    }
  }
  return filter;
}

// The pin as the module looks for it: by name and direction through EnumPins
// (no name: the first pin of that direction).
ComPtr<IPin> FindPin(IBaseFilter* filter, const wchar_t* name, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  if (filter->EnumPins(pins.ReleaseAndGetAddressOf()) != S_OK) return nullptr;
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_INFO info;
    if (SUCCEEDED(pin->QueryPinInfo(&info))) {
      if (info.pFilter) info.pFilter->Release();
      if (info.dir == direction && (!name || std::wstring(info.achName) == name)) return pin;
    }
    pin.Reset();
  }
  return nullptr;
}

// A Sample Grabber callback, run inside the grabber's Receive on the board's
// streaming thread: the first sample stops the whole graph from there.
class StopOnFirstSample final : public ISampleGrabberCB {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_ISampleGrabberCB)) return E_NOINTERFACE;
    *out = static_cast<ISampleGrabberCB*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs); }
  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override {
    if (InterlockedIncrement(&samples) == 1) {
      ComPtr<IMediaControl> graph;
      graph.Swap(stopGraph);  // once, and no cycle graph -> grabber -> callback -> graph
      stopResult = graph->Stop();
      SetEvent(stopped);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

  volatile LONG refs = 0;  // the test's object lives on its stack: only the grabber counts
  volatile LONG samples = 0;
  ComPtr<IMediaControl> stopGraph;
  HRESULT stopResult = E_PENDING;
  HANDLE stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

// Polls (up to 20 s, a bound against hanging, never a timing) until `done`.
template <typename Done>
bool Eventually(Done done) {
  for (int i = 0; i < 2000 && !done(); ++i) Sleep(10);
  return done();
}

class WineRuntime : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Self-sufficient: register the DLL the way regsvr32 does.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    module_ = LoadLibraryW(L"zelksim.dll");
    ASSERT_NE(module_, nullptr);
    auto registerServer = Export<HRESULT(WINAPI*)()>("DllRegisterServer");
    ASSERT_NE(registerServer, nullptr);
    ASSERT_EQ(registerServer(), S_OK);
  }
  static void TearDownTestSuite() {
    FreeLibrary(module_);
    CoUninitialize();
  }
  // The board's own control interface, with the board reset.
  static ComPtr<ISimBoardControl> ResetBoard() {
    ComPtr<ISimBoardControl> control;
    EXPECT_EQ(CoCreateInstance(CLSID_ZelkSimCapture, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(control.GetAddressOf())),
              S_OK);
    if (control) {
      EXPECT_EQ(control->Reset(), S_OK);
    }
    return control;
  }
  template <typename Function>
  static Function Export(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  static HMODULE module_;
};
HMODULE WineRuntime::module_ = nullptr;

TEST_F(WineRuntime, DeviceEnumeratorFindsTheBoardByFriendlyName) {
  bool found = false;
  for (const Device& device : VideoInputDevices()) found |= device.name == L"MB86393 PCI Capture";
  EXPECT_TRUE(found);
  ComPtr<IBaseFilter> filter = BindDevice(L"MB86393 PCI Capture");
  ASSERT_TRUE(filter);
  CLSID clsid;
  EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_ZelkSimCapture));
  ComPtr<IKsPropertySet> ks;
  EXPECT_EQ(filter.As(&ks), S_OK);
}

TEST_F(WineRuntime, PinConnectsAndDisconnectsInARealGraph) {
  ComPtr<IBaseFilter> capture = BindDevice(L"MB86393 PCI Capture");
  ASSERT_TRUE(capture);
  ComPtr<IBaseFilter> sink;
  ASSERT_EQ(sim::CreateTestFilter(true, sink.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IPin> out = FindPin(capture.Get(), L"Video/Muxed Out", PINDIR_OUTPUT);
  ComPtr<IPin> in = FindPin(sink.Get(), L"Sink In", PINDIR_INPUT);
  ASSERT_TRUE(out && in);
  EXPECT_FALSE(FindPin(capture.Get(), L"Video/Muxed Out", PINDIR_INPUT));
  const ULONG captureRefs = RefCount(capture.Get()), sinkRefs = RefCount(sink.Get());
  const ULONG outRefs = RefCount(out.Get()), inRefs = RefCount(in.Get());
  {
    ComPtr<IFilterGraph> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(graph.ReleaseAndGetAddressOf())),
              S_OK);
    ASSERT_EQ(graph->AddFilter(capture.Get(), L"MB86393 PCI Capture"), S_OK);
    ASSERT_EQ(graph->AddFilter(sink.Get(), L"Sink"), S_OK);
    ComPtr<IBaseFilter> byName;
    EXPECT_EQ(graph->FindFilterByName(L"MB86393 PCI Capture", byName.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(byName.Get(), capture.Get());
    byName.Reset();

    ASSERT_EQ(graph->ConnectDirect(out.Get(), in.Get(), nullptr), S_OK);
    ComPtr<IPin> peer;
    EXPECT_EQ(out->ConnectedTo(peer.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(peer.Get(), in.Get());
    peer.Reset();
    AM_MEDIA_TYPE type;
    ASSERT_EQ(out->ConnectionMediaType(&type), S_OK);
    EXPECT_TRUE(IsEqualGUID(type.majortype, MEDIATYPE_Stream));
    EXPECT_TRUE(IsEqualGUID(type.subtype, MEDIASUBTYPE_MPEG2_PROGRAM));
    CoTaskMemFree(type.pbFormat);

    EXPECT_EQ(graph->Disconnect(in.Get()), S_OK);
    EXPECT_EQ(graph->Disconnect(out.Get()), S_OK);
    EXPECT_EQ(out->ConnectedTo(peer.ReleaseAndGetAddressOf()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(graph->RemoveFilter(sink.Get()), S_OK);
    EXPECT_EQ(graph->RemoveFilter(capture.Get()), S_OK);
  }
  EXPECT_EQ(RefCount(capture.Get()), captureRefs);
  EXPECT_EQ(RefCount(sink.Get()), sinkRefs);
  EXPECT_EQ(RefCount(out.Get()), outRefs);
  EXPECT_EQ(RefCount(in.Get()), inRefs);
}

TEST_F(WineRuntime, GraphReleaseBreaksConnectionsAndGivesFiltersBack) {
  ComPtr<IBaseFilter> capture = BindDevice(L"MB86393 PCI Capture");
  ASSERT_TRUE(capture);
  ComPtr<IBaseFilter> sink;
  ASSERT_EQ(sim::CreateTestFilter(false, sink.ReleaseAndGetAddressOf()), S_OK);
  {
    ComPtr<IFilterGraph> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(graph.ReleaseAndGetAddressOf())),
              S_OK);
    ASSERT_EQ(graph->AddFilter(capture.Get(), L"MB86393 PCI Capture"), S_OK);
    ASSERT_EQ(graph->AddFilter(sink.Get(), L"Sink"), S_OK);
    ComPtr<IPin> out = FindPin(capture.Get(), L"Video/Muxed Out", PINDIR_OUTPUT);
    ComPtr<IPin> in = FindPin(sink.Get(), L"Sink In", PINDIR_INPUT);
    ASSERT_EQ(graph->ConnectDirect(out.Get(), in.Get(), nullptr), S_OK);
  }
  EXPECT_EQ(RefCount(capture.Get()), 1u);
  EXPECT_EQ(RefCount(sink.Get()), 1u);
}

TEST_F(WineRuntime, EveryInstanceTalksToTheSameBoard) {
  ComPtr<ISimBoardControl> control = ResetBoard();
  ASSERT_TRUE(control);
  ASSERT_EQ(control->SetBoardCode(5632), S_OK);

  ComPtr<IBaseFilter> filter = BindDevice(L"MB86393 PCI Capture");
  ASSERT_TRUE(filter);
  PropertyChannel properties(filter);
  uint8_t info[30] = {};
  ASSERT_EQ(properties.Get(DevicePropertySet, kPropDeviceInfo, nullptr, 0, info, sizeof info), S_OK);
  EXPECT_EQ(info[0] | info[1] << 8, 5632);
  EXPECT_EQ(properties.WriteDeviceRegister(0x5C, 0x00, 0x00, 0x1F, 0), S_OK);
  Bytes deviceInfo = Le32(5632);
  deviceInfo.resize(30);
  EXPECT_EQ(sim::Describe(sim::ReadLog(control.Get())), (Lines{DevGet(90, deviceInfo), RegWrite(0x5C, 0x00, 0x1F)}));
  DWORD value = 0;
  EXPECT_EQ(control->GetRegister(0x5C, 0x00, &value), S_OK);
  EXPECT_EQ(value, 0x1Fu);
  ASSERT_EQ(control->Reset(), S_OK);
}

TEST_F(WineRuntime, ExtraDevicesAreListedAndBoundToTheirClass) {
  auto registerDevice = Export<PFN_SimRegisterDevice>("SimRegisterDevice");
  auto unregisterDevice = Export<PFN_SimUnregisterDevice>("SimUnregisterDevice");
  ASSERT_TRUE(registerDevice && unregisterDevice);
  ASSERT_EQ(registerDevice(L"Another Camera", L"0 Another Camera", FALSE), S_OK);
  ASSERT_EQ(registerDevice(L"MB86393 PCI Capture Twin", L"MB86393 Twin", TRUE), S_OK);

  std::vector<std::wstring> names;
  for (const Device& device : VideoInputDevices()) names.push_back(device.name);
  auto position = [&](const wchar_t* name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
  EXPECT_LT(position(L"Another Camera"), static_cast<ptrdiff_t>(names.size()));
  EXPECT_LT(position(L"MB86393 PCI Capture Twin"), static_cast<ptrdiff_t>(names.size()));
  EXPECT_LT(position(L"MB86393 PCI Capture"), static_cast<ptrdiff_t>(names.size()));
  // Devices are listed in the order of their instance names.
  EXPECT_LT(position(L"Another Camera"), position(L"MB86393 PCI Capture"));

  CLSID clsid;
  ComPtr<IBaseFilter> camera = BindDevice(L"Another Camera");
  ASSERT_TRUE(camera);
  EXPECT_EQ(camera->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_ZelkSimOtherCamera));
  ComPtr<IKsPropertySet> ks;
  EXPECT_EQ(camera.As(&ks), E_NOINTERFACE);
  ComPtr<IBaseFilter> twin = BindDevice(L"MB86393 PCI Capture Twin");
  ASSERT_TRUE(twin);
  EXPECT_EQ(twin->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_ZelkSimCapture));

  EXPECT_EQ(unregisterDevice(L"0 Another Camera"), S_OK);
  EXPECT_EQ(unregisterDevice(L"MB86393 Twin"), S_OK);
  names.clear();
  for (const Device& device : VideoInputDevices()) names.push_back(device.name);
  EXPECT_EQ(std::count(names.begin(), names.end(), L"Another Camera"), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), L"MB86393 PCI Capture"), 1);
}

TEST_F(WineRuntime, StopFromInsideAReceiveReturnsAndTheGraphRecordsAgain) {
  ComPtr<ISimBoardControl> simBoard = ResetBoard();
  ASSERT_TRUE(simBoard);
  auto status = [&] {
    SimStreamStatus now{};
    simBoard->GetStreamStatus(&now);
    return now;
  };
  StopOnFirstSample callback;
  {
    ComPtr<IBaseFilter> capture = BindDevice(L"MB86393 PCI Capture");
    ASSERT_TRUE(capture);
    // The encoder delivers once it has firmware and its control record.
    PropertyChannel properties(capture);
    const uint32_t firmware[4] = {8, 1, 0x03020100, 0x07060504};
    ASSERT_EQ(properties.SetDeviceProperty(kPropFirmware, firmware, sizeof firmware), S_OK);
    const uint32_t record[board::kControlRecordFields] = {0, 1, 0, 3};
    ASSERT_EQ(properties.SetDeviceProperty(kPropControlRecord, record, sizeof record), S_OK);

    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> grabber, renderer;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(graph.ReleaseAndGetAddressOf())),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(grabber.ReleaseAndGetAddressOf())),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(renderer.ReleaseAndGetAddressOf())),
              S_OK);
    ASSERT_EQ(graph->AddFilter(capture.Get(), L"MB86393 PCI Capture"), S_OK);
    ASSERT_EQ(graph->AddFilter(grabber.Get(), L"Grabber"), S_OK);
    ASSERT_EQ(graph->AddFilter(renderer.Get(), L"Null"), S_OK);
    {
      ComPtr<ISampleGrabber> grab;
      ASSERT_EQ(grabber.As(&grab), S_OK);
      ASSERT_EQ(grab->SetCallback(&callback, 0), S_OK);
    }
    ASSERT_EQ(graph->ConnectDirect(FindPin(capture.Get(), L"Video/Muxed Out", PINDIR_OUTPUT).Get(),
                                   FindPin(grabber.Get(), nullptr, PINDIR_INPUT).Get(), nullptr),
              S_OK);
    ASSERT_EQ(graph->ConnectDirect(FindPin(grabber.Get(), nullptr, PINDIR_OUTPUT).Get(),
                                   FindPin(renderer.Get(), nullptr, PINDIR_INPUT).Get(), nullptr),
              S_OK);
    ComPtr<IMediaControl> control;
    ASSERT_EQ(graph.As(&control), S_OK);
    callback.stopGraph = control;

    // Paused, the board says it cannot cue (a renderer would wait for a
    // sample otherwise). Stop from the grabber's callback returns, on the
    // streaming thread, and nothing more is delivered.
    FILTER_STATE state;
    EXPECT_TRUE(SUCCEEDED(control->Pause()));
    EXPECT_EQ(capture->GetState(0, &state), VFW_S_CANT_CUE);
    EXPECT_EQ(state, State_Paused);
    EXPECT_EQ(control->Run(), S_OK);
    const DWORD waited = WaitForSingleObject(callback.stopped, 20000);
    callback.stopGraph.Reset();  // a cycle through the grabber if the callback never ran
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "no Stop from inside Receive returned; samples " << callback.samples;
    EXPECT_EQ(callback.stopResult, S_OK);
    EXPECT_EQ(control->Stop(), S_OK);
    EXPECT_TRUE(Eventually([&] { return status().state == ZELK_SIM_STREAM_IDLE; }));
    EXPECT_EQ(callback.samples, 1);

    // The same graph runs and delivers again, and stops from the test's thread.
    EXPECT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_TRUE(Eventually([&] { return callback.samples >= 4; })) << "samples " << callback.samples;
    EXPECT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(status().state, static_cast<DWORD>(ZELK_SIM_STREAM_IDLE));
    EXPECT_GE(status().runs, 2u);
  }
  // The graph's release leaves nothing running and gives the callback back.
  const LONG delivered = callback.samples;
  Sleep(200);
  EXPECT_EQ(callback.samples, delivered) << "delivered after the graph was released";
  EXPECT_EQ(callback.refs, 0) << "references left on the grabber's callback";
  EXPECT_EQ(status().state, static_cast<DWORD>(ZELK_SIM_STREAM_IDLE));
  CloseHandle(callback.stopped);
  ASSERT_EQ(simBoard->Reset(), S_OK);
}

}  // namespace
}  // namespace zelk::test
