// The capture filter's output stream: DirectShow's push model on the output
// pin. At connection it agrees an allocator with the downstream IMemInputPin;
// Pause (from stopped) commits it and starts the streaming thread; while the
// filter runs, the thread fills samples from the clip of the selected input,
// stamps them (byte positions as their times, as stream samples carry them;
// capture times on the graph's clock as their media times), waits until the
// clock has reached each sample's end (a live source delivers what it
// captured) and delivers them;
// Stop ends the thread before it returns (nothing is delivered afterwards) and
// then sends EndOfStream. The board model tells it whether the encoder has its
// firmware and configuration, the aspect ratio, the input and the faults.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "board.h"
#include "clip_loop.h"

namespace zelk::sim {

class Streamer {
 public:
  explicit Streamer(std::shared_ptr<Board> board) : board_(std::move(board)) {}
  ~Streamer() { Stop(); }
  Streamer(const Streamer&) = delete;
  Streamer& operator=(const Streamer&) = delete;

  // The output pin connected to `peer`: negotiates the allocator when the
  // peer takes samples. A failure is the downstream's code; nothing is kept.
  HRESULT Connect(IPin* peer);
  void Disconnect();

  // The filter's state changes (the filter's lock not held).
  HRESULT Pause(IReferenceClock* clock);
  HRESULT Run(REFERENCE_TIME start);
  void Stop();

  // Allocator properties asked for: 16 packs of 2 KiB per sample.
  static constexpr long kBufferSize = 32768;
  static constexpr long kBuffers = 8;

 private:
  void Thread();
  // Waits, with the lock held by `lock`, until the stream time `end` has come
  // on the clock; false when the filter stopped running meanwhile.
  bool WaitUntil(std::unique_lock<std::mutex>& lock, REFERENCE_TIME end);
  REFERENCE_TIME Now();
  // Sets the status state and logs `reason` once per change of state.
  void Report(DWORD state, HRESULT hr, const std::string& reason);
  // The clip for the board's input, loaded where needed; false when it cannot be read.
  bool ClipFor(const Board::StreamView& view, std::shared_ptr<const ProgramStream>* clip);

  const std::shared_ptr<Board> board_;
  bool connected_ = false;
  Microsoft::WRL::ComPtr<IPin> peer_;  // held only when it takes samples
  Microsoft::WRL::ComPtr<IMemInputPin> input_;
  Microsoft::WRL::ComPtr<IMemAllocator> allocator_;
  Microsoft::WRL::ComPtr<IReferenceClock> clock_;

  std::mutex lock_;  // the fields below; never held while calling downstream
  std::condition_variable changed_;
  std::thread thread_;
  bool active_ = false;   // paused or running: the thread exists
  bool running_ = false;
  bool quit_ = false;
  bool rebase_ = false;   // the next sample starts the stream's time line anew
  bool halted_ = false;   // nothing more until the filter stops
  REFERENCE_TIME start_ = 0;        // Run's start time on the clock
  LARGE_INTEGER localStart_{};      // without a clock: when Run came
  bool delivered_ = false;          // a sample went downstream since Pause
  REFERENCE_TIME position_ = 0;     // bytes delivered since Pause
  DWORD reported_ = ~0u;
};

}  // namespace zelk::sim
