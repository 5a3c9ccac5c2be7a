// The capture filter's output stream, in-process, against a counting fake
// downstream pin: one table of streaming states. Every row ends with Stop,
// after which nothing more may arrive, and gives back every reference; no
// row sees an end of stream.
#include <gtest/gtest.h>

#include <dshow.h>
#include <vfwmsgs.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include <board_protocol.h>
#include <sim_filters.h>

#include "support/sim_rig.h"

namespace zelk::test {
namespace {

// A downstream input pin that takes samples (IMemInputPin), counts its
// references and what it received, and refuses what its script says.
class SinkPin final : public IPin, public IMemInputPin {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin)) *out = static_cast<IPin*>(this);
    if (IsEqualIID(iid, IID_IMemInputPin)) *out = static_cast<IMemInputPin*>(this);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
  ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs); }

  HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return refuseType; }
  HRESULT STDMETHODCALLTYPE Disconnect() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override {
    *direction = PINDIR_INPUT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EndOfStream() override {
    ++endsOfStream;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator**) override { return VFW_E_NO_ALLOCATOR; }
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator*, BOOL) override { return refuseAllocator; }
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override {
    if (holdFirst && samples == 0) {
      SetEvent(inReceive);
      WaitForSingleObject(release, 10000);
    }
    // Byte positions, one after the other; capture times on the clock, rising.
    REFERENCE_TIME start = 0, end = 0, captured = 0, capturedEnd = 0;
    if (sample->GetTime(&start, &end) != S_OK || start != lastEnd || end != start + sample->GetActualDataLength())
      ++badTimes;
    if (sample->GetMediaTime(&captured, &capturedEnd) != S_OK || capturedEnd <= captured || captured < lastCaptured)
      ++badTimes;
    lastEnd = end;
    lastCaptured = capturedEnd;
    if ((sample->IsDiscontinuity() == S_OK) != (samples == 0)) ++badDiscontinuities;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    static constexpr BYTE kPackStart[] = {0, 0, 1, 0xBA};
    if (sample->GetActualDataLength() < 4 || std::memcmp(data, kPackStart, 4) != 0) ++damaged;
    ++samples;
    if (stopFrom && samples == 2) stopResult = stopFrom->Stop();  // the graph stopped from a callback
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample**, long, long*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_OK; }

  volatile LONG refs = 1;
  HRESULT refuseType = S_OK;
  HRESULT refuseAllocator = S_OK;
  bool holdFirst = false;
  IBaseFilter* stopFrom = nullptr;
  HRESULT stopResult = E_PENDING;
  HANDLE inReceive = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> samples{0}, endsOfStream{0}, badTimes{0}, badDiscontinuities{0}, damaged{0};
  REFERENCE_TIME lastEnd = 0, lastCaptured = 0;
};

struct StreamCase {
  const char* name;
  bool firmware;
  bool configuration;  // the control record InitializeEncoder sends last
  HRESULT refuseType, refuseAllocator;
  DWORD fault;         // scripted from the third sample on
  bool clips;          // false: the clip folder does not exist
  HRESULT runResult;
  DWORD state;         // what the stream settles in
  int minSamples, maxSamples;
  bool holdFirst = false;  // Stop comes while the first sample is in Receive
  bool stopInReceive = false;  // the second sample's Receive stops the filter
};

constexpr HRESULT kMissingFolder = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);

constexpr StreamCase kCases[] = {
    {"delivers", true, true, S_OK, S_OK, ZELK_SIM_STREAM_NORMAL, true, S_OK, ZELK_SIM_STREAM_DELIVERING, 3, 1000},
    {"no firmware", false, false, S_OK, S_OK, ZELK_SIM_STREAM_NORMAL, true, S_OK, ZELK_SIM_STREAM_NO_FIRMWARE, 0, 0},
    {"not configured", true, false, S_OK, S_OK, ZELK_SIM_STREAM_NORMAL, true, S_OK,
     ZELK_SIM_STREAM_NOT_CONFIGURED, 0, 0},
    {"refused type", true, true, VFW_E_TYPE_NOT_ACCEPTED, S_OK, ZELK_SIM_STREAM_NORMAL, true, S_OK,
     ZELK_SIM_STREAM_IDLE, 0, 0},
    {"refused allocator", true, true, S_OK, VFW_E_BADALIGN, ZELK_SIM_STREAM_NORMAL, true, S_OK,
     ZELK_SIM_STREAM_IDLE, 0, 0},
    {"dead board", true, true, S_OK, S_OK, ZELK_SIM_STREAM_DEAD, true, S_OK, ZELK_SIM_STREAM_BOARD_DEAD, 2, 2},
    {"damaged stream", true, true, S_OK, S_OK, ZELK_SIM_STREAM_CORRUPT, true, S_OK, ZELK_SIM_STREAM_DELIVERING, 4,
     1000},
    {"no clips", true, true, S_OK, S_OK, ZELK_SIM_STREAM_NORMAL, false, kMissingFolder, ZELK_SIM_STREAM_NO_CLIP, 0, 0},
    {"stop during delivery", true, true, S_OK, S_OK, ZELK_SIM_STREAM_NORMAL, true, S_OK, ZELK_SIM_STREAM_DELIVERING, 1,
     1, true},
    {"stop inside Receive", true, true, S_OK, S_OK, ZELK_SIM_STREAM_NORMAL, true, S_OK, ZELK_SIM_STREAM_IDLE, 2, 2,
     false, true},
};

SimStreamStatus Status(ISimBoardControl* control) {
  SimStreamStatus status{};
  control->GetStreamStatus(&status);
  return status;
}

// Waits (up to 10 s) until the stream reaches `state` with at least `samples` delivered.
bool Settles(ISimBoardControl* control, DWORD state, int samples) {
  for (int i = 0; i < 1000; ++i) {
    const SimStreamStatus status = Status(control);
    if (status.state == state && status.samples >= static_cast<ULONGLONG>(samples)) return true;
    Sleep(10);
  }
  return false;
}

void Configure(SimRig& rig, uint32_t aspectCode) {
  uint32_t record[board::kControlRecordFields] = {0, 1, 0, aspectCode};
  ASSERT_EQ(rig.board->Set(board::kDevicePropertySet, board::kPropControlRecord, nullptr, 0, record, sizeof record),
            S_OK);
}

TEST(Streaming, States) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  for (const StreamCase& c : kCases) {
    SCOPED_TRACE(c.name);
    SimRig rig;
    if (c.firmware) rig.DownloadFirmware();
    if (c.configuration) Configure(rig, 3);
    ComPtr<ISimBoardControl> control;
    ASSERT_EQ(rig.filter.As(&control), S_OK);
    if (!c.clips) control->SetClipFolder(L"C:\\no such folder");
    if (c.fault) control->ScriptStream(c.fault, 2);
    SinkPin sink;
    sink.refuseType = c.refuseType;
    sink.refuseAllocator = c.refuseAllocator;
    ComPtr<IPin> out;
    ASSERT_EQ(rig.filter->FindPin(ZELK_SIM_OUTPUT_PIN, out.GetAddressOf()), S_OK);
    const HRESULT refused = FAILED(c.refuseType) ? c.refuseType : c.refuseAllocator;
    ASSERT_EQ(out->Connect(&sink, nullptr), refused);
    sink.holdFirst = c.holdFirst;
    if (c.stopInReceive) sink.stopFrom = rig.filter.Get();
    EXPECT_EQ(rig.filter->Run(0), c.runResult);
    if (c.holdFirst) {
      // Stop waits for the sample in delivery.
      ASSERT_EQ(WaitForSingleObject(sink.inReceive, 10000), WAIT_OBJECT_0);
      auto stopped = std::async(std::launch::async, [&] { return rig.filter->Stop(); });
      EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
      SetEvent(sink.release);
      EXPECT_EQ(stopped.get(), S_OK);
    } else {
      EXPECT_TRUE(Settles(control.Get(), c.state, c.minSamples)) << "state " << Status(control.Get()).state;
      if (c.state == ZELK_SIM_STREAM_NO_FIRMWARE || c.state == ZELK_SIM_STREAM_NOT_CONFIGURED) Sleep(300);
      EXPECT_EQ(rig.filter->Stop(), S_OK);
    }
    const int delivered = sink.samples;
    EXPECT_GE(delivered, c.minSamples);
    EXPECT_LE(delivered, c.maxSamples);
    EXPECT_EQ(sink.endsOfStream, 0) << "a capture source has no end of stream";
    EXPECT_EQ(sink.stopResult, c.stopInReceive ? S_OK : E_PENDING);
    EXPECT_EQ(sink.badTimes, 0);
    EXPECT_EQ(sink.badDiscontinuities, 0);
    EXPECT_EQ(sink.damaged, c.fault == ZELK_SIM_STREAM_CORRUPT ? delivered - 2 : 0);
    Sleep(200);
    EXPECT_EQ(sink.samples, delivered) << "delivered after Stop";
    if (SUCCEEDED(refused)) {
      EXPECT_EQ(out->Disconnect(), S_OK);
    }
    EXPECT_EQ(sink.refs, 1) << "references left on the downstream pin";
    CloseHandle(sink.inReceive);
    CloseHandle(sink.release);
  }
  CoUninitialize();
}

}  // namespace
}  // namespace zelk::test
