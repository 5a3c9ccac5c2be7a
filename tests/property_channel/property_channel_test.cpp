// The device property channel against the simulated board (bytes on the wire)
// and against a counting fake filter (references and waits).
#include <gtest/gtest.h>

#include <encoder/property_channel.h>
#include <sim_filters.h>
#include <zelk/encoder_module.h>

#include "support/expect.h"
#include "support/sim_rig.h"

namespace zelk::test {
namespace {

constexpr HRESULT kInjected = E_ACCESSDENIED;

int64_t NowUs() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return now.QuadPart * 1000000 / frequency.QuadPart;
}

// A filter whose IKsPropertySet counts its references, records the count it
// saw during the request and when the last reference went back, and answers
// with a scripted result.
class CountingFilter final : public IBaseFilter, public IKsPropertySet {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBaseFilter)) *out = static_cast<IBaseFilter*>(this);
    if (IsEqualIID(iid, IID_IKsPropertySet) && offersPropertySet) *out = static_cast<IKsPropertySet*>(this);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override {
    releasedAtUs = NowUs();
    return --refs;
  }
  // IKsPropertySet
  STDMETHODIMP Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override { return Request(); }
  STDMETHODIMP Get(REFGUID, DWORD, LPVOID, DWORD, LPVOID data, DWORD, DWORD* returned) override {
    if (SUCCEEDED(result)) *static_cast<uint32_t*>(data) = 0x5A;
    *returned = SUCCEEDED(result) ? 4 : 0;
    return Request();
  }
  STDMETHODIMP QuerySupported(REFGUID, DWORD, DWORD*) override { return E_NOTIMPL; }
  // IBaseFilter (not used by the property channel)
  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP Stop() override { return E_NOTIMPL; }
  STDMETHODIMP Pause() override { return E_NOTIMPL; }
  STDMETHODIMP Run(REFERENCE_TIME) override { return E_NOTIMPL; }
  STDMETHODIMP GetState(DWORD, FILTER_STATE*) override { return E_NOTIMPL; }
  STDMETHODIMP SetSyncSource(IReferenceClock*) override { return E_NOTIMPL; }
  STDMETHODIMP GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
  STDMETHODIMP EnumPins(IEnumPins**) override { return E_NOTIMPL; }
  STDMETHODIMP FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
  STDMETHODIMP QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
  STDMETHODIMP JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return E_NOTIMPL; }
  STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

  HRESULT Request() {
    ++requests;
    refsDuringRequest = refs;
    requestAtUs = NowUs();
    return result;
  }

  bool offersPropertySet = true;
  HRESULT result = S_OK;
  LONG refs = 1;  // the test's own reference
  int requests = 0;
  LONG refsDuringRequest = 0;
  int64_t requestAtUs = 0;
  int64_t releasedAtUs = 0;
};

TEST(PropertyChannel, WriteSetsTheWriteFlagAndReadSendsTheCallersFlags) {
  SimRig rig;
  uint32_t value = 0xFFFFFFFF;
  rig.board->SetRegister(0x21, 0x03, 0x1234);
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x21, 0x00, 0x88, 0xB8, 0), S_OK);
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x60, 0x0A, 0x0000C602, 2400, 0), S_OK);
  EXPECT_EQ(rig.properties.ReadDeviceRegister(0x21, 0x00, 0x03, &value, 0), S_OK);
  EXPECT_EQ(value, 0x1234u);
  EXPECT_EQ(rig.properties.ReadDeviceRegister(0x21, 0x06, 0x03, &value, 0), S_OK);
  EXPECT_EQ(rig.Lines(), (Lines{
                             "S dev 89 [21 00 00 00 01 88 00 00 00] [B8 00 00 00]",
                             TunerWrite(0x02, 2400),  // 0x0A | 1 = 0x0B: the tuner synthesiser write
                             RegRead(0x21, 0x03, 0x1234),
                             RegRead(0x21, 0x03, 0x1234, 0x06),
                         }));
  EXPECT_EQ(rig.board->TunerDivider(), 2400u);
  EXPECT_EQ(rig.board->TunerBand(), 0x02);
}

TEST(PropertyChannel, DevicePropertyCarriesNoInstanceAndTheWholePayload) {
  SimRig rig;
  const uint32_t mode = 2;
  EXPECT_EQ(rig.properties.SetDeviceProperty(kPropFilterMode, &mode, sizeof mode), S_OK);
  const uint8_t input[2] = {1, 2};
  EXPECT_EQ(rig.properties.SetDeviceProperty(kPropInputNotify, input, sizeof input), S_OK);
  EXPECT_EQ(rig.Lines(), (Lines{DevSet(41, Le32(2)), DevSet(94, {0x01, 0x02})}));
}

TEST(PropertyChannel, FailedReadReturnsTheFailureAndLeavesZero) {
  SimRig rig;
  rig.board->SetRegister(0x21, 0x02, 0xC8);
  rig.board->FailRequest(1, kInjected);
  uint32_t value = 0xDEADBEEF;
  EXPECT_EQ(rig.properties.ReadDeviceRegister(0x21, 0x00, 0x02, &value, 0), kInjected);
  EXPECT_EQ(value, 0u);
  // A device the board lacks: the driver's own error, value still 0.
  value = 0xDEADBEEF;
  EXPECT_EQ(rig.properties.ReadDeviceRegister(0x12, 0x00, 0x00, &value, 0), HRESULT_FROM_WIN32(ERROR_GEN_FAILURE));
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(rig.Lines(), (Lines{RegReadFailed(0x21, 0x02, kInjected),
                                RegReadFailed(0x12, 0x00, HRESULT_FROM_WIN32(ERROR_GEN_FAILURE))}));
}

TEST(PropertyChannel, WaitFollowsAFailedRequest) {
  SimRig rig;
  rig.board->FailWhen([](const sim::LoggedRequest&) { return true; }, kInjected);
  const int64_t start = NowUs();
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x21, 0x00, 0x88, 0x00, 30), kInjected);
  uint32_t value = 7;
  EXPECT_EQ(rig.properties.ReadDeviceRegister(0x21, 0x00, 0x1F, &value, 30), kInjected);
  const int64_t elapsed = NowUs() - start;
  EXPECT_EQ(value, 0u);
  EXPECT_GE(elapsed, 2 * 29000);  // lower bound only (timer granularity)
  ASSERT_EQ(rig.board->LogCount(), 2u);
  EXPECT_GE(rig.MicrosecondsBetween(0, 1), 29000);
}

TEST(PropertyChannel, WaitHappensBeforeThePropertySetIsReleased) {
  CountingFilter fake;
  ComPtr<IBaseFilter> filter(&fake);
  PropertyChannel properties(filter);
  fake.result = kInjected;
  EXPECT_EQ(properties.WriteDeviceRegister(0x21, 0x00, 0x88, 0x00, 25), kInjected);
  EXPECT_GE(fake.releasedAtUs - fake.requestAtUs, 24000);
  filter.Detach();
}

TEST(PropertyChannel, NothingIsSentWithoutACaptureFilter) {
  ComPtr<IBaseFilter> none;
  PropertyChannel properties(none);
  uint32_t value = 0xDEADBEEF;
  const uint32_t mode = 1;
  EXPECT_EQ(properties.SetDeviceProperty(kPropFilterMode, &mode, sizeof mode), ZELK_E_NO_CAPTURE_FILTER);
  EXPECT_EQ(properties.WriteDeviceRegister(0x21, 0x00, 0x0A, 0x80, 0), ZELK_E_NO_CAPTURE_FILTER);
  EXPECT_EQ(properties.ReadDeviceRegister(0x21, 0x00, 0x0A, &value, 0), ZELK_E_NO_CAPTURE_FILTER);
  EXPECT_EQ(value, 0u);
}

TEST(PropertyChannel, FollowsTheFilterItWasGiven) {
  SimRig rig;
  ComPtr<IBaseFilter> slot;
  PropertyChannel properties(slot);
  const uint32_t mode = 1;
  EXPECT_EQ(properties.SetDeviceProperty(kPropFilterMode, &mode, sizeof mode), ZELK_E_NO_CAPTURE_FILTER);
  slot = rig.filter;
  EXPECT_EQ(properties.SetDeviceProperty(kPropFilterMode, &mode, sizeof mode), S_OK);
  slot.Reset();
  EXPECT_EQ(properties.SetDeviceProperty(kPropFilterMode, &mode, sizeof mode), ZELK_E_NO_CAPTURE_FILTER);
  EXPECT_EQ(rig.Lines(), (Lines{DevSet(41, Le32(1))}));
}

TEST(PropertyChannel, FilterWithoutPropertySetIsRefused) {
  // The simulator's downstream test filter has no IKsPropertySet.
  ComPtr<IBaseFilter> sink;
  ASSERT_EQ(sim::CreateTestFilter(false, sink.ReleaseAndGetAddressOf()), S_OK);
  PropertyChannel properties(sink);
  uint32_t value = 0xDEADBEEF;
  EXPECT_EQ(properties.ReadDeviceRegister(0x21, 0x00, 0x1F, &value, 0), ZELK_E_NO_CAPTURE_FILTER);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(sim::RefCount(sink.Get()), 1u);

  CountingFilter fake;
  fake.offersPropertySet = false;
  ComPtr<IBaseFilter> filter(&fake);
  PropertyChannel counted(filter);
  EXPECT_EQ(counted.WriteDeviceRegister(0x21, 0x00, 0x0A, 0x80, 0), ZELK_E_NO_CAPTURE_FILTER);
  EXPECT_EQ(fake.requests, 0);
  EXPECT_EQ(fake.refs, 2);  // the test's and the ComPtr's
  filter.Detach();
}

TEST(PropertyChannel, PropertySetIsHeldForTheRequestAndReleasedOnEveryPath) {
  CountingFilter fake;
  ComPtr<IBaseFilter> filter(&fake);
  PropertyChannel properties(filter);
  const LONG before = fake.refs;
  uint32_t value = 0;
  const uint32_t payload = 3;
  for (const HRESULT result : {S_OK, S_FALSE, kInjected}) {
    fake.result = result;
    EXPECT_EQ(properties.WriteDeviceRegister(0x21, 0x00, 0x0A, 0x80, 0), result);
    EXPECT_EQ(fake.refsDuringRequest, before + 1);
    EXPECT_EQ(fake.refs, before);
    EXPECT_EQ(properties.ReadDeviceRegister(0x21, 0x00, 0x0A, &value, 1), result);
    EXPECT_EQ(value, SUCCEEDED(result) ? 0x5Au : 0u);
    EXPECT_EQ(fake.refs, before);
    EXPECT_EQ(properties.SetDeviceProperty(kPropBitRate, &payload, sizeof payload), result);
    EXPECT_EQ(fake.refs, before);
  }
  EXPECT_EQ(fake.requests, 9);
  filter.Detach();
}

TEST(PropertyChannel, RegisterTableStopsAtTheFirstFailingRow) {
  SimRig rig;
  constexpr RegisterWriteEntry kRows[] = {
      {0x1B, 0, 0x00, 0x17, 0}, {0x1B, 0, 0x02, 0x17, 0}, {0x1B, 0, 0x0A, 0x00, 0}};
  rig.board->FailRequest(2, kInjected);
  size_t failedRow = 99;
  EXPECT_EQ(rig.properties.WriteRegisterTable(kRows, &failedRow), kInjected);
  EXPECT_EQ(failedRow, 1u);
  EXPECT_EQ(rig.Lines(), (Lines{RegWrite(0x1B, 0x00, 0x17), Failed(RegWrite(0x1B, 0x02, 0x17), kInjected)}));
  rig.ClearLog();
  EXPECT_EQ(rig.properties.WriteRegisterTable(kRows, &failedRow), S_OK);
  EXPECT_EQ(failedRow, 3u);
  EXPECT_EQ(rig.board->LogCount(), 3u);
}

}  // namespace
}  // namespace zelk::test
