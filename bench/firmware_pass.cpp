#include "firmware_pass.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "board_protocol.h"
#include "encoder/com_support.h"
#include "process_probes.h"
#include "protocol_floor.h"
#include "sim_filters.h"

namespace bench {
namespace {

using zelk::board::kDevicePropertySet;
using zelk::board::kPropDeviceInfo;
using zelk::board::kPropFirmware;

// Reads the whole file into one buffer and copies it into another: the least
// a host can do to hand a file to a device.
HRESULT ReadAndCopy(const std::wstring& path, int64_t* elapsedUs) {
  const int64_t start = NowUs();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  const DWORD bytes = static_cast<DWORD>(size.QuadPart);
  std::unique_ptr<uint8_t[]> read(new uint8_t[bytes]);
  DWORD got = 0;
  const BOOL ok = ReadFile(file, read.get(), bytes, &got, nullptr);
  CloseHandle(file);
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes]);
  std::memcpy(copy.get(), read.get(), bytes);
  *elapsedUs = NowUs() - start;
  return ok && got == bytes ? S_OK : E_FAIL;
}

// Call start to the arrival of the image request and of the board's
// device-information request, which follows it at once.
HRESULT LoadUntilRequests(Session& session, int64_t* imageUs, int64_t* nextUs) {
  ZELK_RETURN_IF_FAILED(session.Board()->ClearLog());
  const int64_t start = NowUs();
  ZELK_RETURN_IF_FAILED(session.Load(session.plain));
  const std::vector<zelk::sim::LoggedRequest> log = zelk::sim::ReadLog(session.Board());
  if (log.size() < 2 || !IsEqualGUID(log[0].set, kDevicePropertySet) || log[0].id != kPropFirmware ||
      log[1].id != kPropDeviceInfo) {
    return E_UNEXPECTED;
  }
  *imageUs = session.BoardEpochUs() + log[0].timeUs - start;
  *nextUs = session.BoardEpochUs() + log[1].timeUs - start;
  return S_OK;
}

// The same call finding no image: it attaches and stops at the missing file.
HRESULT LoadWithoutImage(Session& session, int64_t* elapsedUs) {
  ZELK_RETURN_IF_FAILED(session.HideImage());
  const int64_t start = NowUs();
  const HRESULT hr = session.Load(session.plain);
  *elapsedUs = NowUs() - start;
  ZELK_RETURN_IF_FAILED(session.UseImage(kLargeImage));
  return hr == E_FAIL ? S_OK : E_UNEXPECTED;
}

struct Events {
  HANDLE arrived = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE resume = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ~Events() {
    CloseHandle(arrived);
    CloseHandle(resume);
  }
};

// One LoadEncoder while another thread walks the address space: from before
// the call until the image request reaches the board, and once more while the
// board holds that request (before the board keeps anything of its own).
HRESULT SampleMemory(Session& session, uint64_t* baseline, uint64_t* peak, uint64_t* atArrival, int* samples) {
  Events events;
  ZELK_RETURN_IF_FAILED(session.Board()->HoldNextArrival(&kDevicePropertySet, kPropFirmware, events.arrived,
                                                         events.resume));
  std::atomic<bool> baselineTaken{false}, callDone{false};
  std::thread sampler([&] {
    *baseline = *peak = PrivateCommittedBytes();
    baselineTaken = true;
    while (WaitForSingleObject(events.arrived, 0) == WAIT_TIMEOUT) {
      if (callDone) return;
      *peak = std::max(*peak, PrivateCommittedBytes());
      ++*samples;
    }
    *atArrival = PrivateCommittedBytes();
    *peak = std::max(*peak, *atArrival);
    SetEvent(events.resume);
  });
  while (!baselineTaken) Sleep(0);
  const HRESULT hr = session.Load(session.plain);
  callDone = true;
  sampler.join();
  return hr;
}

}  // namespace

bool MeasureFirmware(Session& session, int runs, FirmwareFigures* figures, std::string* error) {
  figures->imageBytes = kLargeImage;
  figures->runs = runs;
  std::vector<int64_t> untilImage, untilNext, withoutImage, readAndCopy;
  HRESULT hr = S_OK;
  for (int run = -1; run < runs && SUCCEEDED(hr); ++run) {  // run -1 warms up
    int64_t a = 0, b = 0, c = 0, d = 0;
    hr = session.BeginRun(session.plain);
    if (SUCCEEDED(hr)) hr = session.UseImage(kLargeImage);
    if (SUCCEEDED(hr)) hr = session.EnsureAttached(session.plain);
    if (SUCCEEDED(hr)) hr = ReadAndCopy(session.FirmwarePath(), &a);
    if (SUCCEEDED(hr)) hr = LoadUntilRequests(session, &b, &c);
    if (SUCCEEDED(hr)) hr = LoadWithoutImage(session, &d);
    if (run < 0) continue;
    readAndCopy.push_back(a);
    untilImage.push_back(b);
    untilNext.push_back(c);
    withoutImage.push_back(d);
  }
  uint64_t baseline = 0, peak = 0, atArrival = 0;
  if (SUCCEEDED(hr)) hr = SampleMemory(session, &baseline, &peak, &atArrival, &figures->samples);
  if (FAILED(hr) || atArrival == 0) {
    char text[120];
    std::snprintf(text, sizeof text, "the firmware download measurement failed: 0x%08lX",
                  static_cast<unsigned long>(hr));
    *error = text;
    return false;
  }
  figures->untilImageRequestUs = Median(untilImage);
  figures->untilNextRequestUs = Median(untilNext);
  figures->withoutImageUs = Median(withoutImage);
  figures->readUs = figures->untilImageRequestUs - figures->withoutImageUs;
  figures->downloadUs = figures->untilNextRequestUs - figures->withoutImageUs;
  figures->readAndCopyUs = Median(readAndCopy);
  figures->peakCopies = (static_cast<double>(peak) - static_cast<double>(baseline)) / kLargeImage;
  figures->atArrivalCopies = (static_cast<double>(atArrival) - static_cast<double>(baseline)) / kLargeImage;
  return true;
}

}  // namespace bench
