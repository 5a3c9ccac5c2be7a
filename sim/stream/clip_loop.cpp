#include "clip_loop.h"

#include <cstring>

namespace zelk::sim {

void ClipLoop::Start(std::shared_ptr<const ProgramStream> clip) {
  clip_ = std::move(clip);
  origin_ = clip_->packs.front().scr;
  passStart_ = 0;
  BeginPass();
}

void ClipLoop::Switch(std::shared_ptr<const ProgramStream> clip) {
  if (next_ != 0 || !clip_) return;
  clip_ = std::move(clip);
  BeginPass();
}

void ClipLoop::BeginPass() {
  next_ = 0;
  offset_ = (origin_ + passStart_ - clip_->packs.front().scr) & kStampMask;
}

ClipLoop::Chunk ClipLoop::Fill(uint8_t* buffer, size_t capacity, uint8_t aspectCode) {
  const ProgramStream& clip = *clip_;
  const uint64_t first = clip.packs.front().scr;
  Chunk chunk{0, passStart_ + ((clip.packs[next_].scr - first) & kStampMask), 0};
  while (next_ < clip.packs.size() && chunk.size + clip.packs[next_].size <= capacity) {
    const ProgramStream::Pack& pack = clip.packs[next_];
    uint8_t* to = buffer + chunk.size;
    std::memcpy(to, &clip.bytes[pack.offset], pack.size);
    for (size_t i = pack.firstStamp; i < pack.firstStamp + pack.stampCount; ++i) {
      const ProgramStream::Stamp& stamp = clip.stamps[i];
      WriteStamp(to + (stamp.offset - pack.offset), stamp.kind, stamp.value + offset_);
    }
    for (size_t i = pack.firstAspect; i < pack.firstAspect + pack.aspectCount; ++i) {
      uint8_t& byte = to[clip.aspectBytes[i] - pack.offset];
      byte = static_cast<uint8_t>(aspectCode << 4 | (byte & 0x0F));
    }
    chunk.size += pack.size;
    ++next_;
  }
  if (next_ < clip.packs.size()) {
    chunk.endTicks = passStart_ + ((clip.packs[next_].scr - first) & kStampMask);
  } else {
    passStart_ += clip.period;
    chunk.endTicks = passStart_;
    BeginPass();
  }
  return chunk;
}

}  // namespace zelk::sim
