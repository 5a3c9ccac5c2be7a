// An encoder object wired to a simulated board, and the request lines its
// operations send, for tests that drive the object and compare the board's log:
//
//   EncoderRig rig;        // board with firmware, object in state 0, no filter
//   rig.Attach();          // capture filter attached, state 1
//   EXPECT_EQ(rig.object.InitializeEncoder(), S_OK);
//   EXPECT_EQ(rig.Log(), Join(SelectInput(0), ...));
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "encoder/encoder_object.h"
#include "sim_filters.h"
#include "support/expect.h"
#include "support/sim_rig.h"
#include "support/trace_capture.h"

namespace zelk::test {

// A failure code the board never answers with by itself.
inline constexpr HRESULT kInjected = E_ACCESSDENIED;

inline Lines Join(Lines head, const Lines& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// Input selection on a board without the enhancer unit and processing flags 0;
// `inputControl` is what decoder register 0x03 held before.
inline Lines SelectInput(int input, uint32_t inputControl = 0) {
  static const uint32_t kGroups[3][4] = {{0xB8, 0xC4, 0x50, 0x4D},   // composite
                                         {0xF8, 0xC8, 0x90, 0x4C},   // S-video
                                         {0xB8, 0xC5, 0x50, 0x4D}};  // tuner
  Lines lines;
  if (input == 2) lines = {RegWrite(0x5B, 0x81, 0x00), RegWrite(0x5B, 0x80, 0x01)};
  lines.push_back(RegRead(0x21, 0x03, inputControl));
  lines.push_back(RegWrite(0x21, 0x03, input == 2 ? (inputControl & 0xDF) : (inputControl | 0x20)));
  const uint32_t* group = kGroups[input];
  lines.push_back(RegWrite(0x21, 0x88, group[0]));
  lines.push_back(RegWrite(0x21, 0x02, group[1]));
  lines.push_back(RegWrite(0x21, 0x09, group[2]));
  lines.push_back(RegWrite(0x21, 0x0E, group[3]));
  lines.push_back(DevSet(94, {static_cast<uint8_t>(input == 2 ? 1 : 0), 2}));
  return lines;
}

// Picture registers after a read of the input mode; values as the registers get them.
inline Lines WritePicture(uint32_t inputMode, uint32_t brightness, uint32_t contrast, uint32_t saturation,
                          uint32_t hue) {
  return {RegRead(0x21, 0x02, inputMode), RegWrite(0x21, 0x0A, brightness), RegWrite(0x21, 0x0B, contrast),
          RegWrite(0x21, 0x0C, saturation), RegWrite(0x21, 0x0D, hue)};
}

inline Lines WriteVolumeLines(uint32_t value) { return {RegWrite(0x1B, 0x00, value), RegWrite(0x1B, 0x02, value)}; }

// Properties 44, 45, 27, 28 and the 36-byte control record.
inline Lines EncodingProperties(uint32_t peakRate, uint32_t rate, uint32_t format, uint32_t aspect) {
  Bytes record;
  for (uint32_t field : {0u, 1u, 0u, aspect, 0u, 0u, 0u, 0u, 0u}) {
    const Bytes bytes = Le32(field);
    record.insert(record.end(), bytes.begin(), bytes.end());
  }
  return {DevSet(44, Le32(peakRate)), DevSet(45, Le32(rate)), DevSet(27, Le32(format)), DevSet(28, Le32(aspect)),
          DevSet(99, record)};
}

// What InitializeEncoder sends for composite or S-video with the default settings.
inline Lines DefaultInitialization(int input = 0) {
  const uint32_t mode = input == 1 ? 0xC8 : 0xC4;
  const uint32_t brightness = input == 1 ? 128 + 13 : 128;
  return Join(Join(Join(Join(SelectInput(input), WritePicture(mode, brightness, 68, 64, 0)), {DevSet(41, Le32(1))}),
                   WriteVolumeLines(23)),
              EncodingProperties(6144, 6144, 0, 2));
}

struct EncoderRig {
  EncoderRig() { sim.DownloadFirmware(); }
  ~EncoderRig() {
    // Every reference the object took on the capture filter is given back.
    object.captureFilter.Reset();
    EXPECT_EQ(sim::RefCount(sim.filter.Get()), 1u);
  }
  EncoderRig(const EncoderRig&) = delete;
  EncoderRig& operator=(const EncoderRig&) = delete;

  // The capture filter attached and set up (state 1); optionally a board with the enhancer unit.
  void Attach(bool enhancer = false) {
    object.captureFilter = sim.filter;
    object.state = kStateAttached;
    if (enhancer) {
      sim.board->SetBoardCode(4721);
      object.enhancerPresent = TRUE;
    }
  }
  // Attached and brought to `state` (1 to 3) through InitializeEncoder and
  // StartEncoder; the log and the trace are cleared afterwards.
  void Reach(int32_t state, bool enhancer = false) {
    Attach(enhancer);
    if (state >= kStateInitialized) {
      EXPECT_EQ(object.InitializeEncoder(), S_OK);
    }
    if (state >= kStateEncoding) {
      EXPECT_EQ(object.StartEncoder(), S_OK);
    }
    EXPECT_EQ(object.state, state);
    ClearLog();
  }
  void ClearLog() {
    sim.ClearLog();
    trace.Clear();
  }
  test::Lines Log() const { return sim.Lines(); }
  // Microseconds between two log entries.
  int64_t Between(size_t from, size_t to) const { return sim.MicrosecondsBetween(from, to); }
  sim::Board& board() { return *sim.board; }

  SimRig sim;
  EncoderObject object{nullptr, nullptr};
  TraceCapture trace;
};

}  // namespace zelk::test
