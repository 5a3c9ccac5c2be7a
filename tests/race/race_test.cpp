// One encoder object driven from several threads at once, as a host with a
// status timer and a user thread does: status polls, picture and volume
// changes and channel changes run while another thread attaches, initialises,
// starts, stops and detaches the board over and over. Uses zelkenc.dll as a
// host loads it, Wine's filter graph and the registered simulated board.
//
// The threads run several times over in one test, each run bounded by cycles
// and by time, so that a rare interleaving shows.
//
// And turns are fair: a thread that keeps calling cannot hold off another
// thread's call for longer than the calls that were ahead of it.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <thread>
#include <vector>

#include <zelk/encoder_module.h>

#include "sim_control.h"

namespace {

using Microsoft::WRL::ComPtr;

constexpr int kRuns = 5;              // runs of the threads, each with a new encoder object
constexpr int kCycles = 12;           // attach-to-detach cycles of one run
constexpr DWORD kRunLimitMs = 4000;   // a run stops after this long even with cycles left
// A call queued behind a channel scan waits for one SetChannel (200 ms) per
// lock it takes; far beyond that, only an unfair lock keeps it waiting.
constexpr DWORD kQueuedCallLimitMs = 5000;

template <typename F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Results of one kind of call: how many, and any code outside the valid set.
struct Tally {
  void Check(HRESULT hr, std::initializer_list<HRESULT> valid) {
    ++calls;
    for (HRESULT ok : valid) {
      if (hr == ok) return;
    }
    if (unexpected++ == 0) firstUnexpected = hr;
  }
  std::atomic<int> calls{0};
  std::atomic<int> unexpected{0};
  std::atomic<HRESULT> firstUnexpected{S_OK};
};

void ExpectClean(const char* what, const Tally& tally) {
  EXPECT_GT(tally.calls.load(), 0) << what << " never ran";
  EXPECT_EQ(tally.unexpected.load(), 0)
      << what << ": first unexpected result 0x" << std::hex << static_cast<unsigned>(tally.firstUnexpected.load());
}

// A thread in the multithreaded apartment, as a host's worker threads are.
std::thread MtaThread(std::function<void()> body) {
  return std::thread([body] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    body();
    CoUninitialize();
  });
}

class RaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    sim = LoadLibraryW(L"zelksim.dll");
    module = LoadLibraryW(L"zelkenc.dll");
    ASSERT_TRUE(sim && module);
    ASSERT_EQ(Export<HRESULT(WINAPI*)()>(sim, "DllRegisterServer")(), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_ZelkSimCapture, nullptr, CLSCTX_INPROC_SERVER, IID_ISimBoardControl,
                               reinterpret_cast<void**>(board.GetAddressOf())),
              S_OK);
    Fresh();
  }
  // A new encoder object, an empty graph and a reset board, as a host starts;
  // the encoder before it must have let go of every reference.
  void Fresh() {
    if (encoder) DropEncoder();
    board->Reset();
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph,
                               reinterpret_cast<void**>(graph.ReleaseAndGetAddressOf())),
              S_OK);
    encoder = Export<PFN_CreateEncoder>(module, "CreateEncoder")(nullptr);
    ASSERT_NE(encoder, nullptr);
  }
  // Lets go of the encoder object and its graph: the module must then hold
  // no reference at all.
  void DropEncoder() {
    if (encoder) encoder->Release();
    encoder = nullptr;
    graph.Reset();
    if (module) {
      EXPECT_EQ(Export<HRESULT(WINAPI*)()>(module, "DllCanUnloadNow")(), S_OK) << "an encoder reference leaked";
    }
  }
  void TearDown() override {
    DropEncoder();
    board.Reset();
    if (module) FreeLibrary(module);
    if (sim) {
      EXPECT_EQ(Export<HRESULT(WINAPI*)()>(sim, "DllCanUnloadNow")(), S_OK) << "a simulator reference leaked";
      FreeLibrary(sim);
    }
    CoUninitialize();
  }

  // One run of the threads below, from a new encoder object to a detached board.
  void PollsAndSettingsRun();

  HMODULE sim = nullptr;
  HMODULE module = nullptr;
  ComPtr<ISimBoardControl> board;
  ComPtr<IFilterGraph> graph;
  IEncoderModule* encoder = nullptr;
};

TEST_F(RaceTest, PollsAndSettingsWhileTheBoardIsAttachedAndDetached) {
  for (int run = 0; run < kRuns && !HasFailure(); ++run) {
    SCOPED_TRACE(testing::Message() << "run " << run + 1 << " of " << kRuns);
    if (run > 0) Fresh();
    if (HasFatalFailure()) return;
    PollsAndSettingsRun();
  }
}

void RaceTest::PollsAndSettingsRun() {
  const int32_t tuner = 2;  // the channel changes reach the tuner while initialised
  encoder->SetVideoInput(&tuner, nullptr);
  const PictureSettings first{0, 10, 10, 10, 10};  // stored in state 0, before any thread runs
  ASSERT_EQ(encoder->SetPictureSettings(&first, nullptr), S_OK);
  const HRESULT noFilter = ZELK_E_NO_CAPTURE_FILTER;

  std::atomic<bool> stop{false};
  Tally lifecycle, status, picture, volume, channel;
  std::atomic<int> tornRecords{0};
  std::vector<std::thread> threads;

  // The user's thread: the whole life of a recording, again and again. Only
  // this thread changes the state, so every call must succeed.
  threads.push_back(MtaThread([&] {
    const DWORD start = GetTickCount();
    for (int cycle = 0; cycle < kCycles && GetTickCount() - start < kRunLimitMs; ++cycle) {
      ComPtr<IPin> pin;
      int32_t a = 0, b = 0;
      lifecycle.Check(encoder->LoadEncoder(graph.Get(), pin.GetAddressOf(), &a, &b), {S_OK});
      pin.Reset();
      lifecycle.Check(encoder->InitializeEncoder(), {S_OK});
      lifecycle.Check(encoder->StartEncoder(), {S_OK});
      lifecycle.Check(encoder->StopEncoder(), {S_OK});
      lifecycle.Check(encoder->UnloadEncoder(graph.Get()), {S_OK});
    }
    stop = true;
  }));
  // A status timer.
  threads.push_back(MtaThread([&] {
    while (!stop) {
      EncoderStatus report{};
      status.Check(encoder->GetEncStatus(&report), {S_OK, noFilter});
      if (report.stateCode < 1 || report.stateCode > 3) status.Check(E_UNEXPECTED, {});
    }
  }));
  // Two threads change picture and volume, each with its own values: a record
  // read back must carry one thread's four values, never a mix. A refused call
  // (no board attached) reports the stored record, so one is stored before the
  // threads start (above): otherwise a slow-starting thread would read the defaults.
  for (int32_t value : {10, 20}) {
    threads.push_back(MtaThread([&, value] {
      while (!stop) {
        const PictureSettings in{0, value, value, value, value};
        PictureSettings out{};
        picture.Check(encoder->SetPictureSettings(&in, &out), {S_OK, noFilter});
        if (out.contrast != out.brightness || out.saturation != out.brightness || out.hue != out.brightness) {
          ++tornRecords;
        }
        const int32_t level = -100 * value;
        volume.Check(encoder->SetVolume(&level, nullptr), {S_OK, noFilter});
      }
    }));
  }
  // Channel changes; now and then with the report, which waits 200 ms.
  threads.push_back(MtaThread([&] {
    for (uint32_t n = 0; !stop; ++n) {
      ChannelEntry entry{};
      channel.Check(encoder->SetChannel(13 + n % 50, n % 8 == 0 ? &entry : nullptr), {S_OK, noFilter});
    }
  }));
  for (std::thread& thread : threads) thread.join();

  ExpectClean("attach, initialise, start, stop, detach", lifecycle);
  ExpectClean("GetEncStatus", status);
  ExpectClean("SetPictureSettings", picture);
  ExpectClean("SetVolume", volume);
  ExpectClean("SetChannel", channel);
  EXPECT_EQ(tornRecords.load(), 0) << "a picture record mixed two threads' values";
  EXPECT_EQ(encoder->UnloadEncoder(graph.Get()), S_OK);
}

// A channel scan runs on one thread, each SetChannel holding the object through
// its 200 ms report, back to back; meanwhile the user presses "Stop" and opens
// the board again. Each of those calls gets its turn after at most the calls
// that were ahead of it, however long the scan goes on.
TEST_F(RaceTest, CallsQueuedBehindAChannelScanGetTheirTurn) {
  const int32_t tuner = 2;
  encoder->SetVideoInput(&tuner, nullptr);
  ComPtr<IPin> pin;
  int32_t a = 0, b = 0;
  ASSERT_EQ(encoder->LoadEncoder(graph.Get(), pin.GetAddressOf(), &a, &b), S_OK);
  ASSERT_EQ(encoder->InitializeEncoder(), S_OK);

  std::atomic<bool> stop{false};
  Tally channel;
  std::thread scan = MtaThread([&] {
    for (uint32_t n = 0; !stop; ++n) {
      ChannelEntry entry{};
      channel.Check(encoder->SetChannel(1 + n % 62, &entry), {S_OK, ZELK_E_NO_CAPTURE_FILTER});
    }
  });
  while (channel.calls == 0) Sleep(1);  // the scan is under way

  // Each call must finish within the time bound. A call that takes the
  // object's lock once (UnloadEncoder, InitializeEncoder) also lets at most
  // the scan's running SetChannel finish, and one more that may end before
  // this thread reads the count; LoadEncoder lets the scan go on while it
  // looks for the device, so only its time is bounded.
  DWORD longestMs = 0;
  const char* longestCall = "";
  auto timed = [&](const char* what, bool oneTurn, const std::function<HRESULT()>& call) {
    const int finishedBefore = channel.calls;
    const DWORD start = GetTickCount();
    EXPECT_EQ(call(), S_OK) << what;
    const DWORD took = GetTickCount() - start;
    if (oneTurn) {
      EXPECT_LE(channel.calls - finishedBefore, 2) << what << " let later SetChannel calls go first";
    }
    if (took > longestMs) longestMs = took, longestCall = what;
  };
  for (int round = 0; round < 5; ++round) {
    timed("UnloadEncoder", true, [&] { return encoder->UnloadEncoder(graph.Get()); });
    pin.Reset();
    timed("LoadEncoder", false,
          [&] { return encoder->LoadEncoder(graph.Get(), pin.ReleaseAndGetAddressOf(), &a, &b); });
    timed("InitializeEncoder", true, [&] { return encoder->InitializeEncoder(); });
  }
  stop = true;
  scan.join();

  ExpectClean("SetChannel", channel);
  EXPECT_LT(longestMs, kQueuedCallLimitMs) << longestCall << " waited behind the scan for " << longestMs << " ms";
  pin.Reset();
  EXPECT_EQ(encoder->UnloadEncoder(graph.Get()), S_OK);
}

}  // namespace
