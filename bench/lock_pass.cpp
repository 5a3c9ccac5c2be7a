#include "lock_pass.h"

#include <atomic>
#include <cstdio>
#include <thread>

#include "encoder/fair_lock.h"
#include "process_probes.h"

namespace bench {
namespace {

constexpr int kPairsPerRun = 200000;
constexpr int kPairRuns = 5;
constexpr uint32_t kTerrestrialChannels = 62;

// Nanoseconds per Enter+Leave of an uncontended lock, median over the runs.
template <typename Enter, typename Leave>
double PairNs(Enter enter, Leave leave) {
  std::vector<int64_t> runUs;
  for (int run = -1; run < kPairRuns; ++run) {  // run -1 warms up
    const int64_t start = NowUs();
    for (int i = 0; i < kPairsPerRun; ++i) {
      enter();
      leave();
    }
    if (run >= 0) runUs.push_back(NowUs() - start);
  }
  return static_cast<double>(Median(runUs)) * 1000.0 / kPairsPerRun;
}

void MeasurePairs(LockFigures* figures) {
  zelk::FairLock fair;
  figures->fairPairNs = PairNs([&] { fair.Enter(); }, [&] { fair.Leave(); });
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  figures->sectionPairNs = PairNs([&] { EnterCriticalSection(&section); }, [&] { LeaveCriticalSection(&section); });
  DeleteCriticalSection(&section);
}

}  // namespace

bool MeasureLock(Session& session, int tries, LockFigures* figures, std::string* error) {
  MeasurePairs(figures);
  Subject& subject = session.enhanced;  // tuner input: every SetChannel tunes
  HRESULT hr = session.BeginRun(subject);
  if (SUCCEEDED(hr)) hr = session.EnsureIdle(subject);
  if (FAILED(hr)) {
    *error = "preparing the channel scan failed";
    return false;
  }
  IEncoderModule* encoder = subject.encoder.Get();

  // The scan: SetChannel with the report, back to back, as a channel search runs.
  std::atomic<bool> stop{false};
  std::atomic<HRESULT> scanResult{S_OK};
  std::vector<int64_t> scanUs;
  std::thread scan([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (uint32_t n = 0; !stop; ++n) {
      ChannelEntry entry{};
      const int64_t start = NowUs();
      const HRESULT result = encoder->SetChannel(1 + n % kTerrestrialChannels, &entry);
      scanUs.push_back(NowUs() - start);
      if (FAILED(result)) scanResult = result;
    }
    CoUninitialize();
  });

  figures->queuedUs.clear();
  HRESULT callResult = S_OK;
  for (int i = 0; i < tries && SUCCEEDED(callResult); ++i) {
    Sleep(static_cast<DWORD>(50 + (i * 37) % 200));  // arrive somewhere in the call ahead
    const int32_t volume = -100 * (i % 10);
    const int64_t start = NowUs();
    callResult = encoder->SetVolume(&volume, nullptr);
    figures->queuedUs.push_back(NowUs() - start);
  }
  stop = true;
  scan.join();
  figures->scanCallUs = Median(scanUs);
  if (FAILED(callResult) || FAILED(scanResult)) {
    char text[120];
    std::snprintf(text, sizeof text, "the queued SetVolume (0x%08lX) or the scan's SetChannel (0x%08lX) failed",
                  static_cast<unsigned long>(callResult), static_cast<unsigned long>(scanResult.load()));
    *error = text;
    return false;
  }
  return true;
}

}  // namespace bench
