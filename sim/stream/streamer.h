// The capture filter's output stream: DirectShow's push model on the output
// pin, as a live capture source runs it. At connection it agrees an allocator
// with the downstream IMemInputPin; Pause (from stopped) commits it and starts
// the streaming thread; while the filter runs, the thread fills samples from
// the clip of the selected input, stamps them (byte positions as their times,
// as stream samples carry them; capture times on the graph's clock as their
// media times), waits until the clock has reached each sample's end (a live
// source delivers what it captured) and delivers them.
//
// Every state change is a command the streaming thread answers between two
// samples; the call returns after the answer, so the filter publishes a state
// the thread is already in. Stop decommits the allocator (a thread waiting for
// a buffer gets none) and waits for the thread to end, except on the
// streaming thread itself (a downstream that stops the graph from Receive):
// there the thread ends as soon as Receive returns, and nothing more is
// delivered. The thread holds what it uses and a reference to the module, so
// the last Release may come on any thread.
//
// A capture source has no end of stream: nothing sends EndOfStream, not Stop,
// not a dead board; the graph runs until the host stops it. The board model
// tells the stream whether the encoder has its firmware and configuration,
// the aspect ratio, the input and the faults.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <memory>

#include "board.h"

namespace zelk::sim {

class Streamer {
 public:
  explicit Streamer(std::shared_ptr<Board> board);
  ~Streamer();
  Streamer(const Streamer&) = delete;
  Streamer& operator=(const Streamer&) = delete;

  // The output pin connected to `peer`: negotiates the allocator when the
  // peer takes samples. A failure is the downstream's code; nothing is kept.
  HRESULT Connect(IPin* peer);
  // Stops first (see Stop); then lets go of the downstream and its allocator.
  void Disconnect();

  // The filter's state changes (the filter's lock not held). Run checks the
  // clip of the selected input whole and fails with why when it cannot be
  // played; nothing changes then.
  HRESULT Pause(IReferenceClock* clock);
  HRESULT Run(REFERENCE_TIME start);
  void Stop();

  // Allocator properties asked for: 16 packs of 2 KiB per sample.
  static constexpr long kBufferSize = 32768;
  static constexpr long kBuffers = 8;

  // What the streaming thread shares with the filter (streamer.cpp); it lives
  // as long as either of them.
  class Shared;

 private:
  const std::shared_ptr<Shared> shared_;
};

}  // namespace zelk::sim
