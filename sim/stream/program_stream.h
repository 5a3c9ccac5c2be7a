// An MPEG-2 program stream as the board's encoder multiplexes it, read into
// memory once: where its packs start, where every time stamp sits (the pack's
// system clock reference, the PES packets' presentation and decoding stamps)
// and where each sequence header keeps its aspect ratio. With that, a copy of
// the stream can be looped (every stamp moved on by a running offset) and
// re-labelled 4:3 or 16:9 without parsing it again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelk::sim {

// The system clock runs at 90 kHz; stamps are 33-bit counts of it.
inline constexpr uint64_t kSystemClockHz = 90000;
inline constexpr uint64_t kStampMask = (uint64_t{1} << 33) - 1;

// Aspect ratio codes of the sequence header (aspect_ratio_information).
inline constexpr uint8_t kAspect4x3 = 2;
inline constexpr uint8_t kAspect16x9 = 3;

struct ProgramStream {
  enum class StampKind : uint8_t { Scr, Pts, Dts };
  struct Stamp {
    size_t offset;  // first byte of the 5-byte (PTS, DTS) or 6-byte (SCR) field
    StampKind kind;
    uint64_t value;
  };
  struct Pack {
    size_t offset;
    size_t size;
    uint64_t scr;
    size_t firstStamp, stampCount;    // its stamps in `stamps`
    size_t firstAspect, aspectCount;  // its aspect bytes in `aspectBytes`
  };

  std::vector<uint8_t> bytes;
  std::vector<Pack> packs;
  std::vector<Stamp> stamps;
  std::vector<size_t> aspectBytes;  // the byte whose high nibble is the aspect ratio code
  uint64_t pictures = 0;
  uint64_t period = 0;              // pictures x frame duration: the stream's length in 90 kHz ticks
  size_t largestPack = 0;
};

// Reads `size` bytes at `data` as an MPEG-2 program stream of one MPEG-2 video
// stream (and any audio) and keeps a copy of them. Every length is checked
// against what it must hold before a byte it covers is read: a stream that
// passes can be copied and restamped pack by pack without looking at it
// again. Returns "" on success, otherwise what is wrong with it.
std::string ParseProgramStream(const uint8_t* data, size_t size, ProgramStream* out);

// "" when every pack fits into a sample buffer of `capacity` bytes (a pack is
// never split across samples), otherwise which pack does not.
std::string CheckFits(const ProgramStream& ps, size_t capacity);

// Writes a 33-bit stamp into its field, keeping the field's marker and prefix bits.
void WriteStamp(uint8_t* field, ProgramStream::StampKind kind, uint64_t value);

}  // namespace zelk::sim
