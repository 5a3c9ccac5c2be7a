// Everything one benchmark run measured, as the terminal table and the JSON
// document report it. Times in microseconds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct CallFigures {
  std::string name;
  std::vector<int64_t> wallUs;     // one per run
  std::vector<int64_t> waitedUs;   // time spent inside the protocol's waits, one per run
  int64_t mandatedUs = 0;          // the protocol's floor under the requests sent
  std::vector<int> waitsMs;        // the waits behind that floor
  int64_t cpuUs = 0;               // thread CPU time summed over the runs
  size_t requestsMin = 0;          // board requests per run, least and most
  size_t requestsMax = 0;
};

struct SleepFigures {
  int waitMs = 0;
  int64_t overshootUs = 0;  // median of (measured - asked)
};

struct FirmwareFigures {
  uint64_t imageBytes = 0;
  int runs = 0;
  int64_t untilImageRequestUs = 0;  // call start to the image request reaching the board (median)
  int64_t untilNextRequestUs = 0;   // call start to the board's next request (median)
  int64_t withoutImageUs = 0;       // the same call finding no image: attachment only (median)
  int64_t readUs = 0;               // the module's part: open, allocate, read (until the request)
  int64_t downloadUs = 0;           // the whole step: also the simulated board taking the image
  int64_t readAndCopyUs = 0;       // a plain read of the same file and one copy of it (median)
  double peakCopies = 0;           // peak committed private memory over the call's start, in images
  double atArrivalCopies = 0;      // the same while the board holds the image request
  int samples = 0;                 // address-space walks before the request arrived
};

struct ProcessCounts {
  long handlesBefore = 0;
  long handlesAfter = 0;
  uint64_t bytesBefore = 0;
  uint64_t bytesAfter = 0;
};

struct CycleFigures {
  int cycles = 0;
  ProcessCounts module;     // LoadEncoder and UnloadEncoder
  ProcessCounts enumerator; // what those ask of Wine, without the module
};

// A call queued behind a channel scan on another thread, and the lock alone.
struct LockFigures {
  std::vector<int64_t> queuedUs;  // one SetVolume per try, from the call to its return
  int64_t scanCallUs = 0;         // the call ahead: SetChannel with the report (median)
  double fairPairNs = 0;          // the object's lock taken and left, uncontended
  double sectionPairNs = 0;       // a platform critical section, for comparison
};

struct StreamFigures {
  int seconds = 0;               // how long the graph ran
  uint64_t bytes = 0;            // delivered by the board
  uint64_t samples = 0;
  double streamSeconds = 0;      // the last sample's capture end on the graph clock
  double clipBytesPerSecond = 0; // the clip's own rate: bytes per pass over its length
  int64_t wallUs = 0;            // Run to Stop
  int64_t cpuUs = 0;             // the streaming thread's CPU time over the run
  ProcessCounts counts;          // after the first second, and at the end
  long handlesMost = 0;          // the highest on the way
  uint64_t bytesMost = 0;
};

struct Report {
  bool quick = false;
  int repeats = 0;
  std::vector<CallFigures> calls;
  std::vector<SleepFigures> sleeps;
  FirmwareFigures firmware;
  CycleFigures cycles;
  LockFigures lock;
  StreamFigures streaming;
  double registerWriteUs = 0;  // one register write through the property channel, in-process board
};

// What Wine's Sleep added to a wait of `waitMs` (0 when not measured).
int64_t OvershootUs(const std::vector<SleepFigures>& sleeps, int waitMs);

int64_t Median(std::vector<int64_t> values);
int64_t Max(const std::vector<int64_t>& values);

}  // namespace bench
