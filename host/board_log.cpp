#include "board_log.h"

#include "board_protocol.h"

namespace zelkhost {

namespace {
constexpr LONGLONG kWaitThresholdUs = 5000;
}  // namespace

LONGLONG WaitAfterUs(const PhaseRecord& phase, size_t i) {
  const LONGLONG next = i + 1 < phase.requests.size() ? phase.requests[i + 1].timeUs : phase.endUs;
  const LONGLONG gap = next - phase.requests[i].timeUs;
  return gap >= kWaitThresholdUs ? gap : 0;
}

BoardLog::BoardLog(Microsoft::WRL::ComPtr<ISimBoardControl> board) : board_(std::move(board)) {
  QueryPerformanceFrequency(&frequency_);
  if (board_) resetResult_ = board_->Reset();
  QueryPerformanceCounter(&epoch_);
}

LONGLONG BoardLog::NowUs() const {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return (now.QuadPart - epoch_.QuadPart) * 1000000 / frequency_.QuadPart;
}

void BoardLog::BeginPhase() { phaseStartUs_ = NowUs(); }

const PhaseRecord& BoardLog::EndPhase(const PhaseKind& kind) {
  PhaseRecord phase;
  phase.kind = &kind;
  phase.startUs = phaseStartUs_;
  phase.endUs = NowUs();
  phase.firstNumber = taken_ + 1;
  ULONG count = 0;
  if (board_ && SUCCEEDED(board_->GetLogCount(&count))) {
    for (ULONG i = taken_; i < count; ++i) {
      SimLogEntry entry{};
      if (FAILED(board_->GetLogEntry(i, &entry))) break;
      phase.requests.push_back(entry);
    }
  }
  taken_ += static_cast<ULONG>(phase.requests.size());
  phases_.push_back(std::move(phase));
  return phases_.back();
}

unsigned long BoardLog::Requests() const { return taken_; }

unsigned long BoardLog::Failed() const {
  unsigned long failed = 0;
  for (const PhaseRecord& phase : phases_)
    for (const SimLogEntry& entry : phase.requests) failed += FAILED(entry.result) ? 1 : 0;
  return failed;
}

unsigned long long BoardLog::FirmwareBytes() const {
  unsigned long long bytes = 0;
  for (const PhaseRecord& phase : phases_) {
    for (const SimLogEntry& entry : phase.requests) {
      const bool firmware = IsEqualGUID(entry.set, zelk::board::kDevicePropertySet) &&
                            entry.id == zelk::board::kPropFirmware && entry.isSet && SUCCEEDED(entry.result);
      if (firmware && entry.dataSize >= zelk::board::kFirmwareHeaderSize)
        bytes += entry.dataSize - zelk::board::kFirmwareHeaderSize;
    }
  }
  return bytes;
}

const SimLogEntry* BoardLog::Request(ULONG number) const {
  for (const PhaseRecord& phase : phases_) {
    if (number >= phase.firstNumber && number < phase.firstNumber + phase.requests.size())
      return &phase.requests[number - phase.firstNumber];
  }
  return nullptr;
}

}  // namespace zelkhost
