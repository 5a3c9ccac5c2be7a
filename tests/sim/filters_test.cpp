// The simulator's filters and pins as COM objects, in-process: interfaces,
// pins, connection rules and reference counts; the control interface's log.
#include <gtest/gtest.h>

#include <dshow.h>

#include <encoder/property_channel.h>
#include <sim_filters.h>

#include "support/expect.h"
#include "support/sim_rig.h"

namespace zelk::test {
namespace {

using sim::RefCount;

ComPtr<IPin> PinByName(IBaseFilter* filter, const wchar_t* name) {
  ComPtr<IPin> pin;
  EXPECT_EQ(filter->FindPin(name, pin.ReleaseAndGetAddressOf()), S_OK) << "no pin";
  return pin;
}

std::vector<std::wstring> PinNames(IBaseFilter* filter) {
  std::vector<std::wstring> names;
  ComPtr<IEnumPins> pins;
  EXPECT_EQ(filter->EnumPins(pins.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_INFO info;
    EXPECT_EQ(pin->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.pFilter, filter);
    info.pFilter->Release();
    names.push_back(info.achName);
    pin.Reset();
  }
  return names;
}

TEST(Filters, CaptureFilterInterfacesAndPins) {
  auto board = std::make_shared<sim::Board>();
  ComPtr<IBaseFilter> capture, plain;
  ASSERT_EQ(sim::CreateSimCaptureFilter(board, true, capture.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_EQ(sim::CreateSimCaptureFilter(board, false, plain.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(PinNames(capture.Get()), (std::vector<std::wstring>{L"Video In", L"Video/Muxed Out"}));
  EXPECT_EQ(PinNames(plain.Get()), (std::vector<std::wstring>{L"Video/Muxed Out"}));

  ComPtr<IKsPropertySet> ks;
  ComPtr<ISimBoardControl> control;
  EXPECT_EQ(capture.As(&ks), S_OK);
  EXPECT_EQ(capture.As(&control), S_OK);
  CLSID clsid;
  EXPECT_EQ(capture->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_ZelkSimCapture));

  ComPtr<IPin> out = PinByName(capture.Get(), L"Video/Muxed Out");
  PIN_DIRECTION direction;
  EXPECT_EQ(out->QueryDirection(&direction), S_OK);
  EXPECT_EQ(direction, PINDIR_OUTPUT);
  LPWSTR id = nullptr;
  EXPECT_EQ(out->QueryId(&id), S_OK);
  EXPECT_STREQ(id, L"Video/Muxed Out");
  CoTaskMemFree(id);
  EXPECT_EQ(out->QueryInternalConnections(nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(out->EndOfStream(), E_UNEXPECTED);  // only input pins are told
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(out->EnumMediaTypes(types.ReleaseAndGetAddressOf()), S_OK);
  AM_MEDIA_TYPE* type = nullptr;
  ASSERT_EQ(types->Next(1, &type, nullptr), S_OK);
  EXPECT_TRUE(IsEqualGUID(type->majortype, MEDIATYPE_Stream));
  EXPECT_TRUE(IsEqualGUID(type->subtype, MEDIASUBTYPE_MPEG2_PROGRAM));
  EXPECT_EQ(out->QueryAccept(type), S_OK);
  CoTaskMemFree(type);
  EXPECT_EQ(types->Next(1, &type, nullptr), S_FALSE);
  ComPtr<IPin> missing;
  EXPECT_EQ(capture->FindPin(L"Video/Muxed", missing.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);
}

TEST(Filters, TestFilterAndOtherCameraHaveNoBoard) {
  ComPtr<IBaseFilter> sink, chain, camera;
  ASSERT_EQ(sim::CreateTestFilter(false, sink.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_EQ(sim::CreateTestFilter(true, chain.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_EQ(sim::CreateOtherCameraFilter(camera.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(PinNames(sink.Get()), (std::vector<std::wstring>{L"Sink In"}));
  EXPECT_EQ(PinNames(chain.Get()), (std::vector<std::wstring>{L"Sink In", L"Sink Out"}));
  EXPECT_EQ(PinNames(camera.Get()), (std::vector<std::wstring>{L"Capture"}));
  for (IBaseFilter* filter : {sink.Get(), camera.Get()}) {
    ComPtr<IKsPropertySet> ks;
    ComPtr<ISimBoardControl> control;
    EXPECT_EQ(filter->QueryInterface(IID_PPV_ARGS(ks.ReleaseAndGetAddressOf())), E_NOINTERFACE);
    EXPECT_EQ(filter->QueryInterface(IID_PPV_ARGS(control.ReleaseAndGetAddressOf())), E_NOINTERFACE);
  }
}

TEST(Filters, PinsConnectDisconnectAndGiveEveryReferenceBack) {
  auto board = std::make_shared<sim::Board>();
  ComPtr<IBaseFilter> capture, sink;
  ASSERT_EQ(sim::CreateSimCaptureFilter(board, false, capture.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_EQ(sim::CreateTestFilter(false, sink.ReleaseAndGetAddressOf()), S_OK);
  const LONG liveBefore = sim::LiveObjects();
  {
    ComPtr<IPin> out = PinByName(capture.Get(), L"Video/Muxed Out");
    ComPtr<IPin> in = PinByName(sink.Get(), L"Sink In");
    EXPECT_EQ(RefCount(capture.Get()), 2u);  // ours and the pin's
    EXPECT_EQ(RefCount(out.Get()), 1u);

    EXPECT_EQ(in->Connect(out.Get(), nullptr), E_UNEXPECTED);  // an input pin does not initiate
    AM_MEDIA_TYPE wrong{};
    wrong.majortype = MEDIATYPE_Video;
    EXPECT_EQ(out->Connect(in.Get(), &wrong), VFW_E_NO_ACCEPTABLE_TYPES);
    ASSERT_EQ(out->Connect(in.Get(), nullptr), S_OK);
    EXPECT_EQ(out->Connect(in.Get(), nullptr), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(RefCount(out.Get()), 2u);  // the peer holds it
    EXPECT_EQ(RefCount(in.Get()), 2u);

    ComPtr<IPin> peer;
    EXPECT_EQ(out->ConnectedTo(peer.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(peer.Get(), in.Get());
    AM_MEDIA_TYPE type;
    ASSERT_EQ(in->ConnectionMediaType(&type), S_OK);
    EXPECT_TRUE(IsEqualGUID(type.subtype, MEDIASUBTYPE_MPEG2_PROGRAM));
    CoTaskMemFree(type.pbFormat);
    peer.Reset();

    EXPECT_EQ(capture->Run(0), S_OK);
    EXPECT_EQ(out->Disconnect(), VFW_E_NOT_STOPPED);
    EXPECT_EQ(capture->Stop(), S_OK);
    EXPECT_EQ(in->Disconnect(), S_OK);
    EXPECT_EQ(out->Disconnect(), S_OK);
    EXPECT_EQ(out->Disconnect(), S_FALSE);
    EXPECT_EQ(out->ConnectedTo(peer.ReleaseAndGetAddressOf()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(peer.Get(), nullptr);
    EXPECT_EQ(RefCount(out.Get()), 1u);
    EXPECT_EQ(RefCount(in.Get()), 1u);
  }
  EXPECT_EQ(RefCount(capture.Get()), 1u);
  EXPECT_EQ(RefCount(sink.Get()), 1u);
  EXPECT_EQ(sim::LiveObjects(), liveBefore);
  capture.Reset();
  sink.Reset();
  EXPECT_EQ(sim::LiveObjects(), liveBefore - 2);
}

TEST(Filters, FilterInfoHoldsTheGraphOnlyWhenAsked) {
  ComPtr<IBaseFilter> sink;
  ASSERT_EQ(sim::CreateTestFilter(true, sink.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IBaseFilter> graphStandIn;  // any object serves as the weak graph pointer
  ASSERT_EQ(sim::CreateTestFilter(false, graphStandIn.ReleaseAndGetAddressOf()), S_OK);
  auto* graph = reinterpret_cast<IFilterGraph*>(graphStandIn.Get());
  EXPECT_EQ(sink->JoinFilterGraph(graph, L"Sink"), S_OK);
  EXPECT_EQ(RefCount(graphStandIn.Get()), 1u);  // not counted
  FILTER_INFO info;
  ASSERT_EQ(sink->QueryFilterInfo(&info), S_OK);
  EXPECT_STREQ(info.achName, L"Sink");
  EXPECT_EQ(info.pGraph, graph);
  EXPECT_EQ(RefCount(graphStandIn.Get()), 2u);
  info.pGraph->Release();
  EXPECT_EQ(sink->JoinFilterGraph(nullptr, nullptr), S_OK);
  ASSERT_EQ(sink->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.pGraph, nullptr);
}

TEST(Filters, ControlInterfaceReadsTheWholeLog) {
  SimRig rig;
  ComPtr<ISimBoardControl> control;
  ASSERT_EQ(rig.filter.As(&control), S_OK);
  rig.DownloadFirmware(1000);
  std::vector<uint8_t> block(341);
  block[340] = 0x01;
  ASSERT_EQ(rig.properties.SetDeviceProperty(kPropParameterBlock, block.data(), 341), S_OK);
  const uint8_t image[600] = {1, 2, 3};
  const uint32_t bad = 0;
  EXPECT_EQ(rig.properties.SetDeviceProperty(kPropFirmware, image, sizeof image), E_INVALIDARG);
  EXPECT_EQ(rig.properties.SetDeviceProperty(kPropFilterMode, &bad, 2), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_EQ(control->SetRegister(0x21, 0x02, 0xC8), S_OK);
  uint32_t value = 0;
  ASSERT_EQ(rig.properties.ReadDeviceRegister(0x21, 0x00, 0x02, &value, 0), S_OK);

  const auto viaControl = sim::ReadLog(control.Get());
  const auto direct = rig.board->Log();
  ASSERT_EQ(viaControl.size(), 4u);
  EXPECT_EQ(sim::Describe(viaControl), sim::Describe(direct));
  for (size_t i = 0; i < direct.size(); ++i) {
    EXPECT_EQ(viaControl[i].data, direct[i].data);
    EXPECT_EQ(viaControl[i].dataLength, direct[i].dataLength);
    EXPECT_EQ(viaControl[i].timeUs, direct[i].timeUs);
  }
  SimBoardEffects effects;
  ASSERT_EQ(control->GetEffects(&effects), S_OK);
  EXPECT_TRUE(effects.firmwareLoaded);
  EXPECT_EQ(effects.firmwareLength, 1000u);
  EXPECT_EQ(effects.parameterBlockLength, 341u);
  EXPECT_EQ(effects.parameterBlock[340], 0x01);
  EXPECT_EQ(effects.encoderPropertyMask, 0u);
  std::vector<BYTE> firmware(1000);
  ULONG copied = 0;
  EXPECT_EQ(control->GetFirmware(firmware.data(), 1000, &copied), S_OK);
  EXPECT_EQ(copied, 1000u);
  EXPECT_EQ(firmware[999], static_cast<BYTE>(999));
  ASSERT_EQ(control->ClearLog(), S_OK);
  ULONG count = 1;
  EXPECT_EQ(control->GetLogCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
}

}  // namespace
}  // namespace zelk::test
