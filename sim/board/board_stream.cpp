// What the board's encoder puts out, as far as the board model keeps it: the
// configuration the output depends on, the scripted faults of the output and
// its counters. The streaming itself is the output pin's (streamer.cpp).
#include <cstring>

#include "board_protocol.h"
#include "board_state.h"

namespace zelk::sim {
namespace {

constexpr uint32_t kSvideoInputMode = 0xC8;  // decoder input mode of the S-video input
constexpr uint8_t kTunerSelected = 1;        // byte 0 of the input notification

}  // namespace

Board::StreamView Board::ForStream() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  const State& s = *state_;
  StreamView view{};
  view.firmwareLoaded = s.firmwareLoaded;
  view.configured = s.controlRecord.size() == board::kControlRecordFields * 4;
  view.aspectCode = 2;
  if (view.configured && LoadLe32(&s.controlRecord[board::kControlRecordAspectField * 4]) == 3) view.aspectCode = 3;
  const auto mode = s.registers.find(RegisterKey(board::kDevDecoder, board::kDecoderInputMode));
  if (!s.inputNotification.empty() && s.inputNotification[0] == kTunerSelected)
    view.input = 2;
  else if (mode != s.registers.end() && mode->second == kSvideoInputMode)
    view.input = 1;
  view.fault = s.streamFault;
  view.faultFromSample = s.streamFaultFrom;
  view.clipFolder = s.clipFolder;
  view.boardNumber = number_;
  return view;
}

void Board::ScriptStream(DWORD fault, uint64_t afterSamples) {
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->streamFault = fault;
  state_->streamFaultFrom = state_->streamStatus.samples + afterSamples;
}

void Board::SetClipFolder(std::wstring folder) {
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->clipFolder = std::move(folder);
}

SimStreamStatus Board::StreamStatus() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->streamStatus;
}

void Board::UpdateStreamStatus(const std::function<void(SimStreamStatus&)>& update) {
  std::lock_guard<std::mutex> guard(state_->lock);
  update(state_->streamStatus);
}

}  // namespace zelk::sim
