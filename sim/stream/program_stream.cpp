// Reading an MPEG-2 program stream: pack headers, PES headers and, inside the
// video elementary stream, the sequence and picture start codes.
#include "program_stream.h"

#include <algorithm>
#include <iterator>

namespace zelk::sim {
namespace {

constexpr uint8_t kPackStart = 0xBA;
constexpr uint8_t kProgramEnd = 0xB9;
constexpr uint8_t kSystemHeader = 0xBB;
constexpr uint8_t kSequenceHeader = 0xB3;
constexpr uint8_t kPictureStart = 0x00;
constexpr size_t kPackHeaderSize = 14;  // MPEG-2 pack header without stuffing
constexpr size_t kScrOffset = 4;
constexpr size_t kAspectByteAfterSequenceCode = 4;  // after 12-bit width and 12-bit height

// Frame durations in 90 kHz ticks by the sequence header's frame_rate_code
// (only the rates with a whole number of ticks).
struct FrameRate {
  uint8_t code;
  uint64_t ticks;
};
constexpr FrameRate kFrameRates[] = {{2, 3750}, {3, 3600}, {4, 3003}, {5, 3000}, {6, 1800}, {8, 1500}};
static_assert(std::size(kFrameRates) == 6, "one row per frame rate with whole ticks");

// The clip's bytes as read, not yet owned by the parsed stream.
struct Bytes {
  const uint8_t* data;
  size_t size;
  uint8_t operator[](size_t at) const { return data[at]; }
};

bool StartCodeAt(const Bytes& b, size_t at) {
  return at + 4 <= b.size && b[at] == 0 && b[at + 1] == 0 && b[at + 2] == 1;
}

uint64_t ReadScr(const uint8_t* p) {
  return uint64_t{(p[0] >> 3) & 7u} << 30 | uint64_t{p[0] & 3u} << 28 | uint64_t{p[1]} << 20 |
         uint64_t{(p[2] >> 3) & 0x1Fu} << 15 | uint64_t{p[2] & 3u} << 13 | uint64_t{p[3]} << 5 | (p[4] >> 3);
}

uint64_t ReadTimestamp(const uint8_t* p) {
  return uint64_t{(p[0] >> 1) & 7u} << 30 | uint64_t{p[1]} << 22 | uint64_t(p[2] >> 1) << 15 |
         uint64_t{p[3]} << 7 | (p[4] >> 1);
}

// Stream IDs whose PES packets carry the MPEG-2 PES header (with stamps):
// private stream 1, audio and video.
bool HasPesHeader(uint8_t id) { return id == 0xBD || (id >= 0xC0 && id <= 0xEF); }
bool IsVideo(uint8_t id) { return id >= 0xE0 && id <= 0xEF; }

// Start codes of the video elementary stream, which runs on across PES packets.
struct VideoScanner {
  uint32_t last = 0xFFFFFFFF;  // the last bytes seen
  int aspectCountdown = 0;
  uint8_t frameRateCode = 0;
  void Feed(const Bytes& b, ProgramStream& ps, size_t from, size_t to) {
    for (size_t at = from; at < to; ++at) {
      const uint8_t byte = b[at];
      if (aspectCountdown && --aspectCountdown == 0) {
        ps.aspectBytes.push_back(at);
        if (!frameRateCode) frameRateCode = byte & 0x0F;
      }
      if ((last & 0xFFFFFF) == 0x000001) {
        if (byte == kSequenceHeader) aspectCountdown = kAspectByteAfterSequenceCode;
        if (byte == kPictureStart) ++ps.pictures;
      }
      last = last << 8 | byte;
    }
  }
};

}  // namespace

std::string ParseProgramStream(const uint8_t* data, size_t size, ProgramStream* out) {
  ProgramStream ps;
  const Bytes b{data, size};
  VideoScanner video;
  size_t at = 0;
  while (at < b.size) {
    if (!StartCodeAt(b, at)) return "no pack start code at byte " + std::to_string(at);
    if (b[at + 3] == kProgramEnd) break;
    if (b[at + 3] != kPackStart) return "no pack start code at byte " + std::to_string(at);
    if (at + kPackHeaderSize > b.size) return "the pack header at byte " + std::to_string(at) + " is cut off";
    if ((b[at + 4] & 0xC0) != 0x40) return "the pack at byte " + std::to_string(at) + " is not an MPEG-2 pack";
    ProgramStream::Pack pack{at, 0, ReadScr(b.data + at + kScrOffset), ps.stamps.size(), 0, ps.aspectBytes.size(), 0};
    ps.stamps.push_back({at + kScrOffset, ProgramStream::StampKind::Scr, pack.scr});
    size_t next = at + kPackHeaderSize + (b[at + 13] & 7);
    if (next > b.size) return "the pack header at byte " + std::to_string(at) + " is cut off in its stuffing";
    while (StartCodeAt(b, next) && b[next + 3] != kPackStart && b[next + 3] != kProgramEnd) {
      const uint8_t id = b[next + 3];
      if (next + 6 > b.size) return "a PES packet is cut off at byte " + std::to_string(next);
      const size_t end = next + 6 + (size_t{b[next + 4]} << 8 | b[next + 5]);
      if (end > b.size) return "a PES packet runs past the end at byte " + std::to_string(next);
      if (id != kSystemHeader && HasPesHeader(id)) {
        if (next + 9 > end || (b[next + 6] & 0xC0) != 0x80)
          return "a PES header at byte " + std::to_string(next) + " is not MPEG-2";
        // PTS_DTS_flags: 2 a PTS (5 bytes), 3 a PTS and a DTS (10 bytes); the
        // header's own length must hold them, and the packet the header.
        const uint8_t flags = b[next + 7] >> 6;
        const size_t headerLength = b[next + 8];
        const size_t payload = next + 9 + headerLength;
        if (payload > end) return "the PES header at byte " + std::to_string(next) + " runs past its packet";
        if (flags == 1) return "the PES header at byte " + std::to_string(next) + " has a DTS without a PTS";
        const size_t stampBytes = flags == 3 ? 10 : flags == 2 ? 5 : 0;
        if (headerLength < stampBytes)
          return "the PES header at byte " + std::to_string(next) + " is " + std::to_string(headerLength) +
                 " bytes long, too short for its " + std::to_string(stampBytes) + " bytes of time stamps";
        using Kind = ProgramStream::StampKind;
        if (flags & 2) ps.stamps.push_back({next + 9, Kind::Pts, ReadTimestamp(b.data + next + 9)});
        if (flags == 3) ps.stamps.push_back({next + 14, Kind::Dts, ReadTimestamp(b.data + next + 14)});
        if (IsVideo(id)) video.Feed(b, ps, payload, end);
      }
      next = end;
    }
    pack.size = next - at;
    ps.largestPack = std::max(ps.largestPack, pack.size);
    pack.stampCount = ps.stamps.size() - pack.firstStamp;
    pack.aspectCount = ps.aspectBytes.size() - pack.firstAspect;
    ps.packs.push_back(pack);
    at = next;
  }
  if (ps.packs.empty()) return "no pack";
  if (ps.aspectBytes.empty() || !ps.pictures) return "no MPEG-2 video with a sequence header";
  for (const FrameRate& rate : kFrameRates)
    if (rate.code == video.frameRateCode) ps.period = ps.pictures * rate.ticks;
  if (!ps.period) return "frame rate code " + std::to_string(video.frameRateCode) + " is not supported";
  // The board's multiplexer sends packs at a constant rate: the clock
  // references are spread evenly over the stream's length, so that a loop
  // continues them without a jump. No pack may arrive after a picture or an
  // audio frame it carries is due.
  const uint64_t first = ps.packs.front().scr;
  for (size_t i = 0; i < ps.packs.size(); ++i) {
    ProgramStream::Pack& pack = ps.packs[i];
    pack.scr = (first + i * ps.period / ps.packs.size()) & kStampMask;
    ps.stamps[pack.firstStamp].value = pack.scr;
    for (size_t s = pack.firstStamp + 1; s < pack.firstStamp + pack.stampCount; ++s)
      if (((ps.stamps[s].value - pack.scr) & kStampMask) > ps.period)
        return "the pack at byte " + std::to_string(pack.offset) + " arrives after what it carries is due";
  }
  ps.bytes.assign(data, data + size);
  *out = std::move(ps);
  return "";
}

std::string CheckFits(const ProgramStream& ps, size_t capacity) {
  if (ps.largestPack <= capacity) return "";
  for (const ProgramStream::Pack& pack : ps.packs)
    if (pack.size > capacity)
      return "the pack at byte " + std::to_string(pack.offset) + " is " + std::to_string(pack.size) +
             " bytes, more than the " + std::to_string(capacity) + " of the downstream's buffers";
  return "";
}

void WriteStamp(uint8_t* p, ProgramStream::StampKind kind, uint64_t v) {
  v &= kStampMask;
  if (kind == ProgramStream::StampKind::Scr) {
    p[0] = static_cast<uint8_t>(0x44 | ((v >> 30) & 7) << 3 | ((v >> 28) & 3));
    p[1] = static_cast<uint8_t>(v >> 20);
    p[2] = static_cast<uint8_t>(((v >> 15) & 0x1F) << 3 | 0x04 | ((v >> 13) & 3));
    p[3] = static_cast<uint8_t>(v >> 5);
    p[4] = static_cast<uint8_t>((v & 0x1F) << 3 | 0x04 | (p[4] & 3));  // keeps the extension's top bits
    return;
  }
  p[0] = static_cast<uint8_t>((p[0] & 0xF0) | ((v >> 30) & 7) << 1 | 1);
  p[1] = static_cast<uint8_t>(v >> 22);
  p[2] = static_cast<uint8_t>(((v >> 15) & 0x7F) << 1 | 1);
  p[3] = static_cast<uint8_t>(v >> 7);
  p[4] = static_cast<uint8_t>((v & 0x7F) << 1 | 1);
}

}  // namespace zelk::sim
