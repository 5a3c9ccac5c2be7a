#include "report.h"

#include <cstdio>
#include <memory>

#include "protocol_floor.h"
#include "text.h"

namespace bench {
namespace {

double Ms(int64_t us) { return static_cast<double>(us) / 1000.0; }
double MiB(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

int64_t Delta(uint64_t before, uint64_t after) { return static_cast<int64_t>(after) - static_cast<int64_t>(before); }

// What the module keeps per cycle beyond what Wine's enumerator keeps.
double PerCycle(int64_t module, int64_t enumerator, int cycles) {
  return cycles > 0 ? static_cast<double>(module - enumerator) / cycles : 0.0;
}

double HandlesPerCycle(const CycleFigures& c) {
  return PerCycle(c.module.handlesAfter - c.module.handlesBefore,
                  c.enumerator.handlesAfter - c.enumerator.handlesBefore, c.cycles);
}

double BytesPerCycle(const CycleFigures& c) {
  return PerCycle(Delta(c.module.bytesBefore, c.module.bytesAfter),
                  Delta(c.enumerator.bytesBefore, c.enumerator.bytesAfter), c.cycles);
}

// A part of the download against the plain read and copy.
double Ratio(int64_t partUs, const FirmwareFigures& f) {
  return f.readAndCopyUs > 0 ? static_cast<double>(partUs) / static_cast<double>(f.readAndCopyUs) : 0.0;
}

// The overhead in two parts, each the median over the runs: how late the
// protocol's waits ended (Wine's Sleep), and the time outside those waits.
int64_t LateInWaits(const CallFigures& call) {
  std::vector<int64_t> late;
  for (int64_t waited : call.waitedUs) late.push_back(waited - call.mandatedUs);
  return Median(late);
}

int64_t OutsideWaits(const CallFigures& call) {
  std::vector<int64_t> outside;
  for (size_t i = 0; i < call.wallUs.size(); ++i) outside.push_back(call.wallUs[i] - call.waitedUs[i]);
  return Median(outside);
}

// Bytes per second of stream delivered, and that against the clip's own rate.
double StreamRate(const StreamFigures& s) { return s.streamSeconds > 0 ? s.bytes / s.streamSeconds : 0.0; }
double RateToClip(const StreamFigures& s) {
  return s.clipBytesPerSecond > 0 ? StreamRate(s) / s.clipBytesPerSecond : 0.0;
}

int64_t CpuPerCall(const CallFigures& call) {
  return call.wallUs.empty() ? 0 : call.cpuUs / static_cast<int64_t>(call.wallUs.size());
}

// A JSON document written member by member, one per line, indented by depth;
// names and text are plain ASCII.
class Json {
 public:
  explicit Json(FILE* file) : file_(file) {}
  void Open(const char* name, char bracket) {
    Key(name);
    std::fputc(bracket, file_);
    ++depth_;
    first_ = true;
  }
  void Close(char bracket) {
    --depth_;
    NewLine();
    std::fputc(bracket, file_);
    first_ = false;
  }
  void Int(const char* name, int64_t value) {
    Key(name);
    std::fprintf(file_, "%lld", static_cast<long long>(value));
  }
  void Real(const char* name, double value) {
    Key(name);
    std::fprintf(file_, "%.6g", value);
  }
  void Bool(const char* name, bool value) {
    Key(name);
    std::fputs(value ? "true" : "false", file_);
  }
  void Text(const char* name, const std::string& value) {
    Key(name);
    std::fputs(zelktext::JsonString(value).c_str(), file_);
  }

 private:
  // A member name, or nothing for an element of an array (or the document).
  void Key(const char* name) {
    if (!first_) std::fputc(',', file_);
    first_ = false;
    if (depth_ > 0) NewLine();
    if (name) std::fprintf(file_, "\"%s\": ", name);
  }
  void NewLine() { std::fprintf(file_, "\n%*s", 2 * depth_, ""); }
  FILE* file_;
  int depth_ = 0;
  bool first_ = true;
};

void WriteCounts(Json& json, const char* name, const ProcessCounts& counts) {
  json.Open(name, '{');
  json.Int("handlesBefore", counts.handlesBefore);
  json.Int("handlesAfter", counts.handlesAfter);
  json.Int("privateBytesBefore", static_cast<int64_t>(counts.bytesBefore));
  json.Int("privateBytesAfter", static_cast<int64_t>(counts.bytesAfter));
  json.Close('}');
}

void WriteCall(Json& json, const CallFigures& call) {
  json.Open(nullptr, '{');
  json.Text("name", call.name);
  json.Int("runs", static_cast<int64_t>(call.wallUs.size()));
  json.Int("wallMedianUs", Median(call.wallUs));
  json.Int("wallMaxUs", Max(call.wallUs));
  json.Int("mandatedWaitUs", call.mandatedUs);
  json.Open("waitsMs", '[');
  for (int wait : call.waitsMs) json.Int(nullptr, wait);
  json.Close(']');
  json.Int("overheadUs", Median(call.wallUs) - call.mandatedUs);
  json.Int("lateInWaitsUs", LateInWaits(call));
  json.Int("outsideWaitsUs", OutsideWaits(call));
  json.Int("threadCpuUs", CpuPerCall(call));
  json.Int("requests", static_cast<int64_t>(call.requestsMax));
  json.Int("requestsMin", static_cast<int64_t>(call.requestsMin));
  json.Close('}');
}

}  // namespace

void PrintReport(const Report& r) {
  std::printf("%-54s %9s %9s %6s %9s %8s %8s %6s %8s\n", "call (ms)", "median", "max", "floor", "overhead",
              "in waits", "outside", "CPU", "requests");
  for (const CallFigures& call : r.calls) {
    const int64_t median = Median(call.wallUs);
    std::printf("%-54s %9.3f %9.3f %6.0f %9.3f %8.3f %8.3f %6.2f %8zu\n", call.name.c_str(), Ms(median),
                Ms(Max(call.wallUs)), Ms(call.mandatedUs), Ms(median - call.mandatedUs), Ms(LateInWaits(call)),
                Ms(OutsideWaits(call)), Ms(CpuPerCall(call)), call.requestsMax);
  }
  std::printf("floor: the waits the protocol requires between the requests the call sent (board log);\n"
              "overhead: median - floor; in waits: how late those waits ended; outside: time outside them;\n"
              "CPU: the calling thread's time per call (Wine counts it in 10 ms ticks; averaged over the runs).\n");

  std::printf("\nWine's Sleep alone, in the same rounds:");
  for (const SleepFigures& sleep : r.sleeps) std::printf("  %d ms +%.2f ms", sleep.waitMs, Ms(sleep.overshootUs));

  const FirmwareFigures& f = r.firmware;
  std::printf("\n\nFirmware download, %.0f MiB image, filter already in the graph (median of %d runs):\n",
              MiB(f.imageBytes), f.runs);
  std::printf("  plain read of the file and one copy of it          %8.3f ms\n", Ms(f.readAndCopyUs));
  std::printf("  the module's part: open, read, until the request  %8.3f ms  (x %.2f)\n", Ms(f.readUs),
              Ratio(f.readUs, f));
  std::printf("  whole step, with the simulated board's copies     %8.3f ms  (x %.2f)\n", Ms(f.downloadUs),
              Ratio(f.downloadUs, f));
  std::printf("  (times from the call's start, less the same call finding no image: %.3f ms)\n",
              Ms(f.withoutImageUs));
  std::printf("  peak committed private memory during the call: %.2f images (%.2f while the board held the request)\n",
              f.peakCopies, f.atArrivalCopies);

  const CycleFigures& c = r.cycles;
  std::printf("\n%d LoadEncoder/UnloadEncoder cycles (Wine's enumerator alone in brackets):\n", c.cycles);
  std::printf("  handles         %6ld -> %6ld   (%ld -> %ld)   the module's own per cycle: %.3f\n",
              c.module.handlesBefore, c.module.handlesAfter, c.enumerator.handlesBefore, c.enumerator.handlesAfter,
              HandlesPerCycle(c));
  std::printf("  private memory  %6.2f -> %6.2f MiB   (%.2f -> %.2f MiB)   the module's own per cycle: %.0f bytes\n",
              MiB(c.module.bytesBefore), MiB(c.module.bytesAfter), MiB(c.enumerator.bytesBefore),
              MiB(c.enumerator.bytesAfter), BytesPerCycle(c));

  const LockFigures& l = r.lock;
  std::printf("\nSetVolume queued behind a channel scan on another thread (%zu tries):\n", l.queuedUs.size());
  std::printf("  waited median %.3f ms, max %.3f ms; the call ahead, SetChannel with the report, takes %.3f ms\n",
              Ms(Median(l.queuedUs)), Ms(Max(l.queuedUs)), Ms(l.scanCallUs));
  std::printf("  the object's lock taken and left, uncontended: %.0f ns (a critical section: %.0f ns)\n",
              l.fairPairNs, l.sectionPairNs);

  std::printf("\nRegister write through the property channel to an in-process board: %.3f us\n", r.registerWriteUs);

  const StreamFigures& s = r.streaming;
  std::printf("\nThe board streaming into the File writer for %d s (%llu samples):\n", s.seconds,
              static_cast<unsigned long long>(s.samples));
  std::printf("  delivered %.0f bytes/s over the stream's %.2f s, %.4f x the clip's own %.0f bytes/s\n",
              StreamRate(s), s.streamSeconds, RateToClip(s), s.clipBytesPerSecond);
  std::printf("  over the wall time Run to Stop (%.2f s): %.4f x the clip's rate\n", s.wallUs / 1e6,
              s.wallUs > 0 && s.clipBytesPerSecond > 0 ? s.bytes / (s.wallUs / 1e6) / s.clipBytesPerSecond : 0.0);
  std::printf("  CPU of the board's streaming thread: %.2f %% of one core (Wine counts it in 10 ms ticks)\n",
              s.wallUs > 0 ? 100.0 * static_cast<double>(s.cpuUs) / static_cast<double>(s.wallUs) : 0.0);
  std::printf("  handles         %6ld -> %6ld   (highest %ld)\n", s.counts.handlesBefore, s.counts.handlesAfter,
              s.handlesMost);
  std::printf("  private memory  %6.2f -> %6.2f MiB   (highest %.2f MiB)\n", MiB(s.counts.bytesBefore),
              MiB(s.counts.bytesAfter), MiB(s.bytesMost));
}

bool WriteJson(const Report& r, const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "w"), std::fclose);
  if (!file) return false;
  Json json(file.get());
  json.Open(nullptr, '{');
  json.Bool("quick", r.quick);
  json.Int("repeats", r.repeats);
  // Each wait of the protocol, and what Wine's Sleep added to it in this run.
  json.Open("timingRules", '[');
  for (const RuleText& rule : TimingRules()) {
    json.Open(nullptr, '{');
    json.Text("rule", rule.what);
    json.Int("waitMs", rule.waitMs);
    json.Int("sleepOvershootUs", OvershootUs(r.sleeps, rule.waitMs));
    json.Close('}');
  }
  json.Close(']');
  json.Open("calls", '[');
  for (const CallFigures& call : r.calls) WriteCall(json, call);
  json.Close(']');

  const FirmwareFigures& f = r.firmware;
  json.Open("firmwareDownload", '{');
  json.Int("imageBytes", static_cast<int64_t>(f.imageBytes));
  json.Int("runs", f.runs);
  json.Int("readAndCopyUs", f.readAndCopyUs);
  json.Int("moduleReadUs", f.readUs);
  json.Int("downloadUs", f.downloadUs);
  json.Real("moduleReadToReadAndCopy", Ratio(f.readUs, f));
  json.Real("downloadToReadAndCopy", Ratio(f.downloadUs, f));
  json.Int("untilImageRequestUs", f.untilImageRequestUs);
  json.Int("untilNextRequestUs", f.untilNextRequestUs);
  json.Int("withoutImageUs", f.withoutImageUs);
  json.Real("peakCopies", f.peakCopies);
  json.Real("atArrivalCopies", f.atArrivalCopies);
  json.Int("samplesBeforeArrival", f.samples);
  json.Close('}');

  const CycleFigures& c = r.cycles;
  json.Open("loadUnloadCycles", '{');
  json.Int("cycles", c.cycles);
  WriteCounts(json, "module", c.module);
  WriteCounts(json, "enumeratorOnly", c.enumerator);
  json.Real("moduleHandlesPerCycle", HandlesPerCycle(c));
  json.Real("moduleBytesPerCycle", BytesPerCycle(c));
  json.Close('}');

  const LockFigures& l = r.lock;
  json.Open("queuedBehindChannelScan", '{');
  json.Int("tries", static_cast<int64_t>(l.queuedUs.size()));
  json.Int("waitMedianUs", Median(l.queuedUs));
  json.Int("waitMaxUs", Max(l.queuedUs));
  json.Int("callAheadUs", l.scanCallUs);
  json.Real("lockPairNs", l.fairPairNs);
  json.Real("criticalSectionPairNs", l.sectionPairNs);
  json.Close('}');

  json.Real("registerWriteUs", r.registerWriteUs);

  const StreamFigures& s = r.streaming;
  json.Open("streaming", '{');
  json.Int("seconds", s.seconds);
  json.Int("bytes", static_cast<int64_t>(s.bytes));
  json.Int("samples", static_cast<int64_t>(s.samples));
  json.Real("streamSeconds", s.streamSeconds);
  json.Real("bytesPerSecond", StreamRate(s));
  json.Real("clipBytesPerSecond", s.clipBytesPerSecond);
  json.Real("rateToClip", RateToClip(s));
  json.Int("wallUs", s.wallUs);
  json.Int("cpuUs", s.cpuUs);
  WriteCounts(json, "process", s.counts);
  json.Int("handlesMost", s.handlesMost);
  json.Int("bytesMost", static_cast<int64_t>(s.bytesMost));
  json.Close('}');
  json.Close('}');
  std::fputc('\n', file.get());
  return std::ferror(file.get()) == 0;
}

}  // namespace bench
