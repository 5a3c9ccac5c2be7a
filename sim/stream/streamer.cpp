#include "streamer.h"

#include <dshow.h>
#include <vfwmsgs.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "clip_files.h"
#include "clip_loop.h"

namespace zelk::sim {

using Microsoft::WRL::ComPtr;

namespace {

// A waiting encoder looks at its board again this often (firmware, configuration).
constexpr auto kBoardPoll = std::chrono::milliseconds(50);
// The longest single wait for the clock, so that a clock change shows soon.
constexpr REFERENCE_TIME kLongestWait = 100 * 10000;
// The clips' packs are 2 KiB: a smaller buffer cannot carry one.
constexpr long kSmallestBuffer = 2048;
// A sample due this long ago means the thread was held up (a downstream that
// blocked): a live source goes on from the present, what it missed is lost.
constexpr REFERENCE_TIME kStallLimit = 1000 * 10000;
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

class Streamer::Shared : public std::enable_shared_from_this<Streamer::Shared> {
 public:
  explicit Shared(std::shared_ptr<Board> board) : board_(std::move(board)) {}
  ~Shared() {
    if (thread_) CloseHandle(thread_);
  }

  HRESULT Connect(IPin* peer);
  void Disconnect();
  HRESULT Pause(IReferenceClock* clock);
  HRESULT Run(REFERENCE_TIME start);
  void Stop();

 private:
  struct Start {
    std::shared_ptr<Shared> self;
    HMODULE module;
  };
  static DWORD WINAPI Entry(void* param);
  HRESULT StartThread();
  // The streaming thread: Loop answers the filter's commands and delivers.
  void Thread();
  void Loop();
  // Waits until the thread has answered the last command, or is downstream
  // (it looks again before it delivers anything more), or has ended.
  void AwaitAnswer(std::unique_lock<std::mutex>& lock);
  bool OnStreamingThread() const { return thread_ && threadId_ == GetCurrentThreadId(); }
  // Waits, with the lock held by `lock`, until the stream time `end` has come
  // on the clock; false when the filter stopped running meanwhile.
  bool WaitUntil(std::unique_lock<std::mutex>& lock, REFERENCE_TIME end);
  REFERENCE_TIME Now();
  // Sets the status state and logs `reason` once per change of state.
  void Report(DWORD state, HRESULT hr, const std::string& reason);
  // The clip of the board's input, loaded and checked against the buffers
  // without the lock; false when it cannot be played (reported, with why).
  bool ClipFor(std::unique_lock<std::mutex>& lock, const Board::StreamView& view, HRESULT* hr);

  const std::shared_ptr<Board> board_;
  std::mutex lock_;  // the fields below; never held while calling downstream
  std::condition_variable changed_;
  bool connected_ = false;
  ComPtr<IMemInputPin> input_;  // held only when the peer takes samples
  ComPtr<IMemAllocator> allocator_;
  ComPtr<IReferenceClock> clock_;  // only while the filter runs or pauses
  size_t bufferSize_ = 0;  // of the committed allocator's samples

  HANDLE thread_ = nullptr;  // the last streaming thread, closed when the next starts
  DWORD threadId_ = 0;
  bool alive_ = false;
  FILTER_STATE wanted_ = State_Stopped;    // the filter's last command
  FILTER_STATE answered_ = State_Stopped;  // what the thread has taken on
  bool downstream_ = false;                // the thread is in GetBuffer or Receive
  bool rebase_ = false;   // the next sample starts the stream's time line anew
  bool halted_ = false;   // nothing more until the filter stops

  std::shared_ptr<const ProgramStream> clip_;  // the last clip checked, for clipInput_
  int clipInput_ = -1;
  std::wstring clipFolder_;
  size_t clipCapacity_ = 0;  // the buffer size it was checked against

  REFERENCE_TIME start_ = 0;        // Run's start time on the clock
  LARGE_INTEGER localStart_{};      // without a clock: when Run came
  REFERENCE_TIME pausedAt_ = 0;     // without a clock: the stream time Pause held
  REFERENCE_TIME position_ = 0;     // bytes delivered since Pause from stopped
  REFERENCE_TIME mediaShift_ = 0;   // keeps media times rising from one run to the next
  REFERENCE_TIME lastMediaEnd_ = 0;
  DWORD reported_ = ~0u;
};

HRESULT Streamer::Shared::Connect(IPin* peer) {
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
  input_ = std::move(input);
  allocator_ = std::move(allocator);
  return S_OK;
}

void Streamer::Shared::Disconnect() {
  Stop();
  ComPtr<IMemInputPin> input;
  ComPtr<IMemAllocator> allocator;
  std::lock_guard<std::mutex> guard(lock_);
  connected_ = false;
  input.Swap(input_);  // released after the lock
  allocator.Swap(allocator_);
}

void Streamer::Shared::Report(DWORD state, HRESULT hr, const std::string& reason) {
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

void Streamer::Shared::AwaitAnswer(std::unique_lock<std::mutex>& lock) {
  changed_.notify_all();
  if (OnStreamingThread()) return;  // called from downstream: the thread looks again before it delivers
  changed_.wait(lock, [&] { return !alive_ || downstream_ || answered_ == wanted_; });
}

HRESULT Streamer::Shared::Pause(IReferenceClock* clock) {
  std::unique_lock<std::mutex> lock(lock_);
  if (wanted_ != State_Stopped) {  // from running
    if (wanted_ == State_Running && !clock_) pausedAt_ = Now();
    wanted_ = State_Paused;
    AwaitAnswer(lock);
    return S_OK;
  }
  if (thread_ && alive_) {
    // Stopped from its own thread, the last thread may still be returning from downstream.
    if (OnStreamingThread()) return VFW_E_WRONG_STATE;
    const HANDLE previous = thread_;
    lock.unlock();
    WaitForSingleObject(previous, INFINITE);
    lock.lock();
    if (wanted_ != State_Stopped) return S_OK;  // another caller paused meanwhile
  }
  clock_ = clock;
  wanted_ = State_Paused;
  pausedAt_ = 0;
  if (!allocator_) return S_OK;
  ComPtr<IMemAllocator> allocator = allocator_;
  lock.unlock();
  HRESULT hr = allocator->Commit();
  ALLOCATOR_PROPERTIES properties{};
  if (SUCCEEDED(hr)) hr = allocator->GetProperties(&properties);
  lock.lock();
  if (SUCCEEDED(hr)) {
    bufferSize_ = static_cast<size_t>(std::max(0L, properties.cbBuffer));
    hr = StartThread();
  }
  if (FAILED(hr)) {
    wanted_ = State_Stopped;
    clock_.Reset();
    lock.unlock();
    allocator->Decommit();
    Log("the downstream allocator refused to commit its buffers, or no streaming thread could start");
    return hr;
  }
  AwaitAnswer(lock);
  return S_OK;
}

HRESULT Streamer::Shared::StartThread() {
  halted_ = false;
  reported_ = ~0u;
  position_ = 0;
  answered_ = State_Stopped;
  // The thread holds the module: it may outlive the filter (the last Release
  // on the streaming thread), and its last instructions are the module's.
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Entry), &module))
    return HRESULT_FROM_WIN32(GetLastError());
  auto* start = new (std::nothrow) Start{shared_from_this(), module};
  if (!start) {
    FreeLibrary(module);
    return E_OUTOFMEMORY;
  }
  DWORD id = 0;
  const HANDLE thread = CreateThread(nullptr, 0, &Entry, start, 0, &id);
  if (!thread) {
    const DWORD error = GetLastError();
    delete start;
    FreeLibrary(module);
    return HRESULT_FROM_WIN32(error);
  }
  if (thread_) CloseHandle(thread_);
  thread_ = thread;
  threadId_ = id;
  alive_ = true;
  return S_OK;
}

DWORD WINAPI Streamer::Shared::Entry(void* param) {
  auto* start = static_cast<Start*>(param);
  const HMODULE module = start->module;
  start->self->Thread();
  delete start;  // may be the last reference to the stream
  FreeLibraryAndExitThread(module, 0);
}

HRESULT Streamer::Shared::Run(REFERENCE_TIME start) {
  std::unique_lock<std::mutex> lock(lock_);
  if (!connected_) return S_OK;
  if (!input_) {
    Report(ZELK_SIM_STREAM_NO_SAMPLES_TAKEN, S_OK,
           "the downstream pin has no IMemInputPin: the stream goes nowhere");
    return S_OK;
  }
  HRESULT hr = S_OK;
  if (!ClipFor(lock, board_->ForStream(), &hr)) return hr;
  start_ = start;
  QueryPerformanceCounter(&localStart_);
  wanted_ = State_Running;
  AwaitAnswer(lock);
  return S_OK;
}

void Streamer::Shared::Stop() {
  std::unique_lock<std::mutex> lock(lock_);
  if (wanted_ != State_Stopped) {
    wanted_ = State_Stopped;
    changed_.notify_all();
  }
  if (!alive_) {
    // No thread runs. One that ended on an error left its allocator
    // committed: it goes back all the same (decommitting twice does nothing).
    clock_.Reset();
    ComPtr<IMemAllocator> allocator = allocator_;
    lock.unlock();
    if (allocator) allocator->Decommit();
    return;
  }
  ComPtr<IMemAllocator> allocator = allocator_;
  const HANDLE thread = thread_;
  const bool own = OnStreamingThread();
  lock.unlock();
  if (allocator) allocator->Decommit();  // a thread waiting for a buffer gets none
  // On its own thread the stream ends when Receive returns; elsewhere Stop
  // returns once it has ended.
  if (!own) WaitForSingleObject(thread, INFINITE);
}

REFERENCE_TIME Streamer::Shared::Now() {
  REFERENCE_TIME now = 0;
  if (clock_ && SUCCEEDED(clock_->GetTime(&now))) return now - start_;
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return pausedAt_ + (counter.QuadPart - localStart_.QuadPart) * 10000000 / frequency.QuadPart;
}

bool Streamer::Shared::WaitUntil(std::unique_lock<std::mutex>& lock, REFERENCE_TIME end) {
  while (wanted_ == State_Running) {
    const REFERENCE_TIME left = end - Now();
    if (left <= 0) return true;
    changed_.wait_for(lock, std::chrono::microseconds(std::min(left, kLongestWait) / 10 + 1));
  }
  return false;
}

bool Streamer::Shared::ClipFor(std::unique_lock<std::mutex>& lock, const Board::StreamView& view, HRESULT* hr) {
  const size_t capacity = bufferSize_;
  if (clip_ && clipInput_ == view.input && clipFolder_ == view.clipFolder && clipCapacity_ == capacity) return true;
  lock.unlock();
  LoadedClip loaded = LoadClip(view.clipFolder, view.input, view.boardNumber);
  if (loaded.clip) {
    const std::string unfit = CheckFits(*loaded.clip, capacity);
    if (!unfit.empty()) loaded = {nullptr, VFW_E_BUFFER_OVERFLOW, "clip " + loaded.path + ": " + unfit, loaded.path};
  }
  lock.lock();
  if (!loaded.clip) {
    reported_ = ~0u;
    Report(ZELK_SIM_STREAM_NO_CLIP, loaded.result, loaded.error);
    *hr = loaded.result;
    return false;
  }
  clip_ = std::move(loaded.clip);
  clipInput_ = view.input;
  clipFolder_ = view.clipFolder;
  clipCapacity_ = capacity;
  return true;
}

void Streamer::Shared::Thread() {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  try {
    Loop();
  } catch (...) {
    Log("the streaming thread ran out of memory: delivery stops");
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    alive_ = false;
    answered_ = State_Stopped;
    downstream_ = false;
    clock_.Reset();
    reported_ = ~0u;
    Report(ZELK_SIM_STREAM_IDLE, S_OK, "");
    changed_.notify_all();
  }
  if (SUCCEEDED(com)) CoUninitialize();
}

void Streamer::Shared::Loop() {
  ClipLoop loop;
  REFERENCE_TIME base = 0;
  bool discontinuity = true;
  std::unique_lock<std::mutex> lock(lock_);
  for (;;) {
    if (answered_ != wanted_) {  // the filter's command, answered between two samples
      if (wanted_ == State_Running) rebase_ = true;
      answered_ = wanted_;
      changed_.notify_all();
    }
    if (wanted_ == State_Stopped) return;
    if (wanted_ != State_Running || halted_) {
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
    // The input's clip takes over where a pass of the current one ends. A
    // clip that cannot be played stops the stream; the status says why.
    if (!loop.Started() || loop.AtPassStart()) {
      HRESULT hr = S_OK;
      if (!ClipFor(lock, view, &hr)) {
        halted_ = true;
        continue;
      }
      if (wanted_ != State_Running) continue;  // a command came while the clip loaded
      if (!loop.Started())
        loop.Start(clip_);
      else if (clip_.get() != loop.Clip())
        loop.Switch(clip_);
      board_->UpdateStreamStatus([&](SimStreamStatus& status) {
        status.clipBytes = clip_->bytes.size();
        status.clipTicks = clip_->period;
      });
    }
    ComPtr<IMemAllocator> allocator = allocator_;
    ComPtr<IMemInputPin> input = input_;
    downstream_ = true;
    changed_.notify_all();
    lock.unlock();
    ComPtr<IMediaSample> sample;
    HRESULT hr = allocator->GetBuffer(sample.GetAddressOf(), nullptr, nullptr, 0);
    lock.lock();
    downstream_ = false;
    if (FAILED(hr)) {
      if (wanted_ != State_Stopped) {
        Report(ZELK_SIM_STREAM_DOWNSTREAM_STOPPED, hr, "the allocator gave no buffer: delivery stops");
        halted_ = true;
      }
      continue;
    }
    if (wanted_ != State_Running) continue;  // paused or stopped meanwhile: the buffer goes back
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const ClipLoop::Chunk chunk = loop.Fill(data, static_cast<size_t>(sample->GetSize()), view.aspectCode);
    if (!chunk.size) {  // the buffers shrank below a pack since the clip was checked
      Report(ZELK_SIM_STREAM_NO_CLIP, VFW_E_BUFFER_OVERFLOW,
             "a pack of the clip is larger than the downstream's buffer: delivery stops");
      halted_ = true;
      continue;
    }
    if (rebase_) {
      base = std::max<REFERENCE_TIME>(0, Now()) - TicksToTime(chunk.startTicks);
      mediaShift_ = std::max(mediaShift_, lastMediaEnd_ - (base + TicksToTime(chunk.startTicks)));
      rebase_ = false;
      discontinuity = true;
    }
    REFERENCE_TIME start = base + TicksToTime(chunk.startTicks), end = base + TicksToTime(chunk.endTicks);
    if (!WaitUntil(lock, end)) continue;  // stopped or paused: what was captured meanwhile is lost
    if (const REFERENCE_TIME late = Now() - end; late > kStallLimit) {
      base += late;  // held up: the time line goes on from now
      start += late;
      end += late;
    }
    start += mediaShift_;
    end += mediaShift_;
    lastMediaEnd_ = end;
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
    downstream_ = true;
    changed_.notify_all();
    lock.unlock();
    hr = input->Receive(sample.Get());
    sample.Reset();
    lock.lock();
    downstream_ = false;
    board_->UpdateStreamStatus([&](SimStreamStatus& status) {
      ++status.samples;
      status.bytes += chunk.size;
      if (discontinuity) ++status.runs;
      status.lastStart = start;
      status.lastEnd = end;
      status.threadCpuUs = static_cast<ULONGLONG>(ThreadCpuUs());
    });
    discontinuity = false;
    if (hr != S_OK && wanted_ != State_Stopped) {
      Report(ZELK_SIM_STREAM_DOWNSTREAM_STOPPED, FAILED(hr) ? hr : S_FALSE,
             "the downstream pin refused a sample: delivery stops until the filter stops");
      halted_ = true;
    }
  }
}

Streamer::Streamer(std::shared_ptr<Board> board) : shared_(std::make_shared<Shared>(std::move(board))) {}
Streamer::~Streamer() { shared_->Stop(); }
HRESULT Streamer::Connect(IPin* peer) { return shared_->Connect(peer); }
void Streamer::Disconnect() { shared_->Disconnect(); }
HRESULT Streamer::Pause(IReferenceClock* clock) { return shared_->Pause(clock); }
void Streamer::Stop() { shared_->Stop(); }

HRESULT Streamer::Run(REFERENCE_TIME start) {
  try {
    return shared_->Run(start);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace zelk::sim
