// The encoder's output as an endless program stream: a clip played pack by
// pack, again and again, every time stamp moved on by a running offset so that
// a demultiplexer sees one unbroken stream; the sequence headers carry the
// aspect ratio the encoder was configured for. Another clip (another input)
// takes over only where a pass ends, on the same time line.
#pragma once

#include <cstdint>
#include <memory>

#include "program_stream.h"

namespace zelk::sim {

class ClipLoop {
 public:
  struct Chunk {
    size_t size;          // bytes written, whole packs; 0 when the next pack does not fit
    uint64_t startTicks;  // the first pack's clock reference, in 90 kHz ticks since the stream began
    uint64_t endTicks;    // the clock reference of the pack after the last one written
  };

  // Starts the stream anew at the start of `clip`.
  void Start(std::shared_ptr<const ProgramStream> clip);
  bool Started() const { return clip_ != nullptr; }
  // At the start of a pass, where another clip may take over.
  bool AtPassStart() const { return next_ == 0; }
  const ProgramStream* Clip() const { return clip_.get(); }
  // Another clip from the next pack on; only at the start of a pass.
  void Switch(std::shared_ptr<const ProgramStream> clip);
  // Copies whole packs of the current pass into `buffer`, stamps rewritten
  // and the aspect ratio code set.
  Chunk Fill(uint8_t* buffer, size_t capacity, uint8_t aspectCode);

 private:
  void BeginPass();

  std::shared_ptr<const ProgramStream> clip_;
  size_t next_ = 0;          // the next pack of the pass
  uint64_t origin_ = 0;      // the stream's first clock reference
  uint64_t passStart_ = 0;   // ticks since the stream began at this pass's start
  uint64_t offset_ = 0;      // added to the clip's stamps in this pass (modulo 2^33)
};

}  // namespace zelk::sim
