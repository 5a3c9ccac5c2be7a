// Reading the board's program stream: clips the simulated encoder refuses,
// each with its reason. Every clip's bytes end a committed page, with an
// inaccessible page after it: a read past the clip faults here.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include <program_stream.h>

namespace zelk::test {
namespace {

using sim::ProgramStream;
using Bytes = std::vector<uint8_t>;

// A pack header with the clock reference `scr` and `stuffing` bytes announced
// (none of them written).
void AddPackHeader(Bytes& b, uint64_t scr, uint8_t stuffing = 0) {
  const size_t at = b.size();
  b.insert(b.end(), {0, 0, 1, 0xBA, 0, 0, 0, 0, 0, 0x01, 0x01, 0x89, 0xC3, static_cast<uint8_t>(0xF8 | stuffing)});
  sim::WriteStamp(&b[at + 4], ProgramStream::StampKind::Scr, scr);
}

// A video PES packet: PTS_DTS_flags `flags`, a header of `headerLength` bytes
// holding what stamps fit (PTS 1000, DTS 900), then `payload`. `length` is
// the packet length announced; 0: the true one.
void AddVideoPes(Bytes& b, uint8_t flags, uint8_t headerLength, const Bytes& payload, size_t length = 0) {
  const size_t at = b.size();
  b.insert(b.end(), {0, 0, 1, 0xE0, 0, 0, 0x80, static_cast<uint8_t>(flags << 6), headerLength});
  b.insert(b.end(), headerLength, 0xFF);
  if ((flags & 2) && headerLength >= 5) {
    b[at + 9] = flags == 3 ? 0x30 : 0x20;
    sim::WriteStamp(&b[at + 9], ProgramStream::StampKind::Pts, 1000);
  }
  if (flags == 3 && headerLength >= 10) {
    b[at + 14] = 0x10;
    sim::WriteStamp(&b[at + 14], ProgramStream::StampKind::Dts, 900);
  }
  b.insert(b.end(), payload.begin(), payload.end());
  if (!length) length = b.size() - at - 6;
  b[at + 4] = static_cast<uint8_t>(length >> 8);
  b[at + 5] = static_cast<uint8_t>(length);
}

// A sequence header (720x480, 16:9, 29.97 frames/s) and one picture.
const Bytes kSequenceAndPicture = {0, 0, 1, 0xB3, 0x2D, 0x01, 0xE0, 0x34, 0xFF, 0xFF, 0xE0, 0x18,
                                   0, 0, 1, 0,    0x00, 0x0F, 0xFF, 0xF8};
const Bytes kPictureOnly = {0, 0, 1, 0, 0x00, 0x0F, 0xFF, 0xF8};

// A whole one-pack clip, and that clip with one more pack header.
Bytes Whole() {
  Bytes b;
  AddPackHeader(b, 0);
  AddVideoPes(b, 2, 5, kSequenceAndPicture);
  return b;
}
Bytes WholeAndPack() {
  Bytes b = Whole();
  AddPackHeader(b, 10);
  return b;
}

struct MalformedClip {
  const char* name;
  Bytes (*bytes)();
  size_t buffer;       // the downstream's sample size
  const char* reason;  // part of the refusal; "" for a clip that plays
};

constexpr MalformedClip kClips[] = {
    {"a whole clip", Whole, 2048, ""},
    {"pack header cut off",
     [] {
       Bytes b = Whole();
       b.insert(b.end(), {0, 0, 1, 0xBA, 0x44, 0, 4});
       return b;
     },
     2048, "pack header at byte 48 is cut off"},
    {"stuffing past the end",
     [] {
       Bytes b = Whole();
       AddPackHeader(b, 10, 7);
       return b;
     },
     2048, "cut off in its stuffing"},
    {"PTS in a PES header of 0 bytes",
     [] {
       Bytes b = WholeAndPack();
       AddVideoPes(b, 2, 0, {});
       return b;
     },
     2048, "0 bytes long, too short for its 5 bytes of time stamps"},
    {"PTS and DTS in a PES header of 5 bytes",
     [] {
       Bytes b = WholeAndPack();
       AddVideoPes(b, 3, 5, {});
       return b;
     },
     2048, "5 bytes long, too short for its 10 bytes of time stamps"},
    {"PES header past its packet",
     [] {
       Bytes b = WholeAndPack();
       AddVideoPes(b, 2, 5, {}, 4);
       return b;
     },
     2048, "runs past its packet"},
    {"PES length past the pack and the clip",
     [] {
       Bytes b = WholeAndPack();
       AddVideoPes(b, 2, 5, kPictureOnly, 0x400);
       return b;
     },
     2048, "a PES packet runs past the end at byte 62"},
    {"pack larger than the buffer", Whole, 16, "the pack at byte 0 is 48 bytes, more than the 16"},
    {"no sequence header",
     [] {
       Bytes b;
       AddPackHeader(b, 0);
       AddVideoPes(b, 2, 5, kPictureOnly);
       return b;
     },
     2048, "no MPEG-2 video with a sequence header"},
    {"random bytes",
     [] {
       Bytes b(512);
       uint32_t x = 12345;
       for (uint8_t& byte : b) byte = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
       return b;
     },
     2048, "no pack start code at byte 0"},
};
static_assert(std::size(kClips) == 10, "one row per way a clip is broken, and a whole one");

// Two pages: the first committed, the second inaccessible.
class GuardedPages {
 public:
  GuardedPages() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    // Without the guard a read past the clip would go unnoticed: no pages then.
    if (base_ && !VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old)) {
      VirtualFree(base_, 0, MEM_RELEASE);
      base_ = nullptr;
    }
  }
  ~GuardedPages() {
    if (base_) VirtualFree(base_, 0, MEM_RELEASE);
  }
  // `bytes` copied to the very end of the first page.
  const uint8_t* AtEnd(const Bytes& bytes) {
    uint8_t* at = base_ + page_ - bytes.size();
    std::memcpy(at, bytes.data(), bytes.size());
    return at;
  }
  bool Ready() const { return base_ != nullptr; }

 private:
  size_t page_ = 0;
  uint8_t* base_ = nullptr;
};

TEST(ProgramStream, MalformedClipsAreRefusedWithTheirReason) {
  GuardedPages pages;
  ASSERT_TRUE(pages.Ready());
  for (const MalformedClip& c : kClips) {
    SCOPED_TRACE(c.name);
    const Bytes bytes = c.bytes();
    ProgramStream ps;
    std::string problem = sim::ParseProgramStream(pages.AtEnd(bytes), bytes.size(), &ps);
    if (problem.empty()) {
      EXPECT_EQ(ps.bytes, bytes);
      problem = sim::CheckFits(ps, c.buffer);
    }
    if (*c.reason)
      EXPECT_NE(problem.find(c.reason), std::string::npos) << problem;
    else
      EXPECT_EQ(problem, "");
  }
}

}  // namespace
}  // namespace zelk::test
