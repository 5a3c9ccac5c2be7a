#include "streamer.h"

#include <dshow.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "clip_files.h"

namespace zelk::sim {

using Microsoft::WRL::ComPtr;

namespace {

// A waiting encoder looks at its board again this often (firmware, configuration).
constexpr auto kBoardPoll = std::chrono::milliseconds(50);
// The longest single wait for the clock, so that a clock change shows soon.
constexpr REFERENCE_TIME kLongestWait = 100 * 10000;
// The clips' packs are 2 KiB: a smaller buffer cannot carry one.
constexpr long kSmallestBuffer = 2048;
// Bytes of each pack that a damaged stream has flipped, and where they begin.
constexpr size_t kDamagedBytes = 64;
constexpr size_t kDamageOffset = 256;
constexpr size_t kPackSize = 2048;

int64_t ThreadCpuUs() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  const auto us = [](const FILETIME& t) {
    return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10);
  };
  return us(kernel) + us(user);
}

// 90 kHz ticks to 100 ns units.
REFERENCE_TIME TicksToTime(uint64_t ticks) { return static_cast<REFERENCE_TIME>(ticks * 1000 / 9); }

void Log(const std::string& line) { OutputDebugStringA(("zelksim: " + line + "\n").c_str()); }

// A stream damaged on its way: the first pack's start code is gone and every
// pack carries flipped bits.
void Damage(BYTE* data, size_t size) {
  if (size >= 4) std::memset(data, 0xFF, 4);
  for (size_t pack = 0; pack + kPackSize <= size; pack += kPackSize)
    for (size_t i = 0; i < kDamagedBytes; ++i) data[pack + kDamageOffset + i] ^= 0x5A;
}

const char* InputName(int input) {
  constexpr const char* kNames[] = {"composite", "S-video", "tuner"};
  return input >= 0 && input < 3 ? kNames[input] : "?";
}

}  // namespace

HRESULT Streamer::Connect(IPin* peer) {
  ComPtr<IMemInputPin> input;
  if (FAILED(peer->QueryInterface(IID_PPV_ARGS(input.GetAddressOf())))) {
    std::lock_guard<std::mutex> guard(lock_);
    connected_ = true;
    return S_OK;  // a pin that takes no samples: connected, nothing goes to it
  }
  ALLOCATOR_PROPERTIES wanted{kBuffers, kBufferSize, 1, 0};
  ALLOCATOR_PROPERTIES theirs{};
  if (SUCCEEDED(input->GetAllocatorRequirements(&theirs))) {
    wanted.cBuffers = std::max(wanted.cBuffers, theirs.cBuffers);
    wanted.cbBuffer = std::max(wanted.cbBuffer, theirs.cbBuffer);
    wanted.cbAlign = std::max(wanted.cbAlign, theirs.cbAlign);
    wanted.cbPrefix = theirs.cbPrefix;
  }
  ComPtr<IMemAllocator> allocator;
  HRESULT hr = input->GetAllocator(allocator.GetAddressOf());
  if (FAILED(hr))
    hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                          IID_PPV_ARGS(allocator.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) return hr;
  ALLOCATOR_PROPERTIES actual{};
  if (FAILED(hr = allocator->SetProperties(&wanted, &actual))) return hr;
  if (actual.cbBuffer < kSmallestBuffer) return VFW_E_SIZENOTSET;
  if (FAILED(hr = input->NotifyAllocator(allocator.Get(), FALSE))) return hr;
  std::lock_guard<std::mutex> guard(lock_);
  connected_ = true;
  peer_ = peer;
  input_ = std::move(input);
  allocator_ = std::move(allocator);
  return S_OK;
}

void Streamer::Disconnect() {
  Stop();
  ComPtr<IPin> peer;
  ComPtr<IMemInputPin> input;
  ComPtr<IMemAllocator> allocator;
  std::lock_guard<std::mutex> guard(lock_);
  connected_ = false;
  peer.Swap(peer_);  // released after the lock
  input.Swap(input_);
  allocator.Swap(allocator_);
}

void Streamer::Report(DWORD state, HRESULT hr, const std::string& reason) {
  if (state == reported_) return;
  reported_ = state;
  if (!reason.empty()) Log(reason);
  board_->UpdateStreamStatus([&](SimStreamStatus& status) {
    status.state = state;
    if (hr != S_OK) status.lastResult = hr;
    if (!reason.empty()) {
      const size_t count = std::min(reason.size(), sizeof status.reason - 1);
      std::memcpy(status.reason, reason.data(), count);
      status.reason[count] = '\0';
    }
  });
}

HRESULT Streamer::Pause(IReferenceClock* clock) {
  std::unique_lock<std::mutex> lock(lock_);
  if (active_) {  // from running
    running_ = false;
    changed_.notify_all();
    return S_OK;
  }
  clock_ = clock;
  active_ = true;
  if (!allocator_) return S_OK;
  lock.unlock();
  const HRESULT hr = allocator_->Commit();
  lock.lock();
  if (FAILED(hr)) {
    active_ = false;
    clock_.Reset();
    Log("the downstream allocator refused to commit its buffers");
    return hr;
  }
  running_ = quit_ = halted_ = delivered_ = false;
  reported_ = ~0u;
  position_ = 0;
  thread_ = std::thread(&Streamer::Thread, this);
  return S_OK;
}

HRESULT Streamer::Run(REFERENCE_TIME start) {
  std::unique_lock<std::mutex> lock(lock_);
  if (!connected_) return S_OK;
  if (!input_) {
    Report(ZELK_SIM_STREAM_NO_SAMPLES_TAKEN, S_OK,
           "the downstream pin has no IMemInputPin: the stream goes nowhere");
    return S_OK;
  }
  const Board::StreamView view = board_->ForStream();
  lock.unlock();
  const LoadedClip loaded = LoadClip(view.clipFolder, view.input, view.boardNumber);
  lock.lock();
  if (!loaded.clip) {
    reported_ = ~0u;
    Report(ZELK_SIM_STREAM_NO_CLIP, loaded.result, loaded.error);
    return loaded.result;
  }
  start_ = start;
  QueryPerformanceCounter(&localStart_);
  running_ = rebase_ = true;
  changed_.notify_all();
  return S_OK;
}

void Streamer::Stop() {
  std::unique_lock<std::mutex> lock(lock_);
  if (!active_) return;
  quit_ = true;
  running_ = false;
  changed_.notify_all();
  ComPtr<IMemAllocator> allocator = allocator_;
  lock.unlock();
  if (allocator) allocator->Decommit();  // a thread waiting for a buffer gets none
  if (thread_.joinable()) thread_.join();
  lock.lock();
  active_ = quit_ = false;
  clock_.Reset();  // the graph's clock is held only while the filter runs or pauses
  const bool endOfStream = delivered_;
  delivered_ = false;
  ComPtr<IPin> peer = peer_;
  reported_ = ~0u;
  Report(ZELK_SIM_STREAM_IDLE, S_OK, "");
  lock.unlock();
  if (endOfStream && peer) peer->EndOfStream();
}

REFERENCE_TIME Streamer::Now() {
  REFERENCE_TIME now = 0;
  if (clock_ && SUCCEEDED(clock_->GetTime(&now))) return now - start_;
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return (counter.QuadPart - localStart_.QuadPart) * 10000000 / frequency.QuadPart;
}

bool Streamer::WaitUntil(std::unique_lock<std::mutex>& lock, REFERENCE_TIME end) {
  while (running_ && !quit_) {
    const REFERENCE_TIME left = end - Now();
    if (left <= 0) return true;
    changed_.wait_for(lock, std::chrono::microseconds(std::min(left, kLongestWait) / 10 + 1));
  }
  return false;
}

bool Streamer::ClipFor(const Board::StreamView& view, std::shared_ptr<const ProgramStream>* clip) {
  LoadedClip loaded = LoadClip(view.clipFolder, view.input, view.boardNumber);
  if (!loaded.clip) {
    Report(ZELK_SIM_STREAM_NO_CLIP, loaded.result, loaded.error);
    return false;
  }
  *clip = std::move(loaded.clip);
  return true;
}

void Streamer::Thread() {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  ClipLoop loop;
  REFERENCE_TIME base = 0;
  bool discontinuity = true;
  std::unique_lock<std::mutex> lock(lock_);
  while (!quit_) {
    if (!running_ || halted_) {
      changed_.wait(lock);
      continue;
    }
    const Board::StreamView view = board_->ForStream();
    if (!view.firmwareLoaded || !view.configured) {
      Report(view.firmwareLoaded ? ZELK_SIM_STREAM_NOT_CONFIGURED : ZELK_SIM_STREAM_NO_FIRMWARE, S_OK,
             view.firmwareLoaded
                 ? "the encoder has no configuration yet (no control record): nothing is delivered"
                 : "the encoder has no firmware: nothing is delivered");
      changed_.wait_for(lock, kBoardPoll);
      continue;
    }
    const uint64_t samples = board_->StreamStatus().samples;
    if (view.fault == ZELK_SIM_STREAM_DEAD && samples >= view.faultFromSample) {
      Report(ZELK_SIM_STREAM_BOARD_DEAD, S_OK, "scripted fault: the board is dead, nothing more is delivered");
      halted_ = true;
      continue;
    }
    // The input's clip takes over where a pass of the current one ends.
    if (!loop.Started() || loop.AtPassStart()) {
      std::shared_ptr<const ProgramStream> clip;
      if (!ClipFor(view, &clip)) {
        halted_ = true;
        continue;
      }
      if (!loop.Started())
        loop.Start(clip);
      else if (clip.get() != loop.Clip())
        loop.Switch(clip);
      board_->UpdateStreamStatus([&](SimStreamStatus& status) {
        status.clipBytes = clip->bytes.size();
        status.clipTicks = clip->period;
      });
    }
    ComPtr<IMemAllocator> allocator = allocator_;
    lock.unlock();
    ComPtr<IMediaSample> sample;
    HRESULT hr = allocator->GetBuffer(sample.GetAddressOf(), nullptr, nullptr, 0);
    lock.lock();
    if (FAILED(hr)) {
      if (!quit_) {
        Report(ZELK_SIM_STREAM_DOWNSTREAM_STOPPED, hr, "the allocator gave no buffer: delivery stops");
        halted_ = true;
      }
      continue;
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const ClipLoop::Chunk chunk = loop.Fill(data, static_cast<size_t>(sample->GetSize()), view.aspectCode);
    if (rebase_) {
      base = std::max<REFERENCE_TIME>(0, Now()) - TicksToTime(chunk.startTicks);
      rebase_ = false;
      discontinuity = true;
    }
    REFERENCE_TIME start = base + TicksToTime(chunk.startTicks), end = base + TicksToTime(chunk.endTicks);
    if (!WaitUntil(lock, end)) continue;  // stopped or paused: what was captured meanwhile is lost
    Report(ZELK_SIM_STREAM_DELIVERING, S_OK,
           std::string("delivering the ") + InputName(view.input) + " clip" +
               (view.boardNumber == 1 ? "" : " of board " + std::to_string(view.boardNumber)) + ", aspect " +
               (view.aspectCode == kAspect16x9 ? "16:9" : "4:3"));
    // Stream samples carry their byte position in the stream as their time
    // (where a file writer puts them); the capture times on the graph's clock
    // go into the media times.
    REFERENCE_TIME position = position_, next = position_ + static_cast<REFERENCE_TIME>(chunk.size);
    position_ = next;
    sample->SetTime(&position, &next);
    sample->SetMediaTime(&start, &end);
    sample->SetActualDataLength(static_cast<long>(chunk.size));
    sample->SetDiscontinuity(discontinuity);
    sample->SetSyncPoint(TRUE);
    if (view.fault == ZELK_SIM_STREAM_CORRUPT && samples >= view.faultFromSample) Damage(data, chunk.size);
    ComPtr<IMemInputPin> input = input_;
    lock.unlock();
    hr = input->Receive(sample.Get());
    sample.Reset();
    lock.lock();
    delivered_ = true;
    board_->UpdateStreamStatus([&](SimStreamStatus& status) {
      ++status.samples;
      status.bytes += chunk.size;
      if (discontinuity) ++status.runs;
      status.lastStart = start;
      status.lastEnd = end;
      status.threadCpuUs = static_cast<ULONGLONG>(ThreadCpuUs());
    });
    discontinuity = false;
    if (hr != S_OK) {
      Report(ZELK_SIM_STREAM_DOWNSTREAM_STOPPED, FAILED(hr) ? hr : S_FALSE,
             "the downstream pin refused a sample: delivery stops until the filter stops");
      halted_ = true;
    }
  }
  lock.unlock();
  if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace zelk::sim
