#include "call_table.h"

#include <algorithm>
#include <cstdio>

#include "encoder/com_support.h"
#include "process_probes.h"
#include "protocol_floor.h"
#include "sim_filters.h"

namespace bench {
namespace {

constexpr uint32_t kCableChannel13 = 0x10000 | 13;

struct CallPlan {
  const char* name;
  Subject Session::*subject;               // the encoder it works on
  HRESULT (*prepare)(Session&, Subject&);  // untimed, before each run
  HRESULT (*call)(Session&, Subject&);     // timed
};

HRESULT Attached(Session& s, Subject& e) { return s.EnsureAttached(e); }
HRESULT Idle(Session& s, Subject& e) { return s.EnsureIdle(e); }
HRESULT Load(Session& s, Subject& e) { return s.Load(e); }
// An image of `Bytes` beside the module, and a new graph or the filter already in the graph.
template <size_t Bytes, bool NewGraph>
HRESULT Image(Session& s, Subject& e) {
  ZELK_RETURN_IF_FAILED(s.UseImage(Bytes));
  return NewGraph ? s.FreshGraph(e) : s.EnsureAttached(e);
}
HRESULT Status(Session&, Subject& e) {
  EncoderStatus status{};
  return e.encoder->GetEncStatus(&status);
}
HRESULT DropScratch(Session& s, Subject&) {
  s.scratch.Reset();  // the last reference: the object goes
  return S_OK;
}
HRESULT NewScratch(Session& s, Subject&) { return s.NewEncoder(s.scratch); }

constexpr CallPlan kCalls[] = {
    {"LoadEncoder, 64 KiB image, new graph", &Session::plain, Image<kSmallImage, true>, Load},
    {"LoadEncoder, 64 KiB image, filter already in the graph", &Session::plain, Image<kSmallImage, false>, Load},
    {"LoadEncoder, 4 MiB image, new graph", &Session::plain, Image<kLargeImage, true>, Load},
    {"LoadEncoder, 4 MiB image, filter already in the graph", &Session::plain, Image<kLargeImage, false>, Load},
    {"InitializeEncoder, composite", &Session::plain, Attached,
     [](Session& s, Subject& e) { return s.Initialise(e); }},
    {"InitializeEncoder, tuner through the enhancer unit", &Session::enhanced, Idle,
     [](Session& s, Subject& e) { return s.Initialise(e); }},
    {"SetVideoInput in state 1", &Session::plain,
     [](Session& s, Subject& e) { return FAILED(Attached(s, e)) ? E_FAIL : s.Load(e); },
     [](Session& s, Subject& e) { return s.SelectInput(e); }},
    {"SetVideoInput in state 2", &Session::plain, Idle, [](Session& s, Subject& e) { return s.SelectInput(e); }},
    {"SetChannel without the report", &Session::enhanced, Idle,
     [](Session&, Subject& e) { return e.encoder->SetChannel(kCableChannel13, nullptr); }},
    {"SetChannel with the report", &Session::enhanced, Idle,
     [](Session&, Subject& e) {
       ChannelEntry entry{};
       return e.encoder->SetChannel(kCableChannel13, &entry);
     }},
    {"SetPictureSettings", &Session::plain, Idle,
     [](Session&, Subject& e) {
       PictureSettings picture{0, 140, 70, 60, -5};
       return e.encoder->SetPictureSettings(&picture, nullptr);
     }},
    {"SetVolume", &Session::plain, Idle,
     [](Session&, Subject& e) {
       const int32_t volume = -1500;
       return e.encoder->SetVolume(&volume, nullptr);
     }},
    {"StartEncoder with ghost reduction", &Session::enhanced, Idle, [](Session& s, Subject& e) { return s.Start(e); }},
    {"StopEncoder", &Session::enhanced, [](Session& s, Subject& e) { return s.EnsureStarted(e); },
     [](Session& s, Subject& e) { return s.Stop(e); }},
    {"GetEncStatus, decoder ready", &Session::plain, Attached, Status},
    {"GetEncStatus, decoder never ready", &Session::plain,
     [](Session& s, Subject& e) { return FAILED(Attached(s, e)) ? E_FAIL : s.Board()->SetDecoderReadyAfterReads(-1); },
     Status},
    {"UnloadEncoder", &Session::plain, Attached, [](Session& s, Subject& e) { return s.Unload(e); }},
    {"CreateEncoder", &Session::plain, DropScratch, NewScratch},
    {"Release", &Session::plain, NewScratch, DropScratch},
};

std::string Failure(const char* what, const char* call, HRESULT hr) {
  char text[200];
  std::snprintf(text, sizeof text, "%s of \"%s\" failed: 0x%08lX", what, call, static_cast<unsigned long>(hr));
  return text;
}

// One sleep of every wait the timing rules know, appended to `overshootUs`.
void SleepOnce(const std::vector<int>& waitsMs, std::vector<std::vector<int64_t>>* overshootUs) {
  for (size_t i = 0; i < waitsMs.size(); ++i) {
    const int64_t start = NowUs();
    Sleep(static_cast<DWORD>(waitsMs[i]));
    (*overshootUs)[i].push_back(NowUs() - start - int64_t{waitsMs[i]} * 1000);
  }
}

std::vector<int> DistinctWaitsMs() {
  std::vector<int> waits;
  for (const RuleText& rule : TimingRules()) waits.push_back(rule.waitMs);
  std::sort(waits.begin(), waits.end());
  waits.erase(std::unique(waits.begin(), waits.end()), waits.end());
  return waits;
}

}  // namespace

bool MeasureCalls(Session& session, int repeats, std::vector<CallFigures>* calls, std::vector<SleepFigures>* sleeps,
                  std::string* error) {
  calls->assign(std::size(kCalls), CallFigures{});
  const std::vector<int> waitsMs = DistinctWaitsMs();
  std::vector<std::vector<int64_t>> overshootUs(waitsMs.size());
  for (int round = -1; round < repeats; ++round) {
    if (round >= 0) SleepOnce(waitsMs, &overshootUs);
    for (size_t i = 0; i < std::size(kCalls); ++i) {
      const CallPlan& plan = kCalls[i];
      Subject& subject = session.*plan.subject;
      HRESULT hr = session.BeginRun(subject);
      if (SUCCEEDED(hr)) hr = plan.prepare(session, subject);
      if (SUCCEEDED(hr)) hr = session.Board()->ClearLog();
      if (FAILED(hr)) {
        *error = Failure("preparation", plan.name, hr);
        return false;
      }
      const int64_t cpuBefore = ThreadCpuUs();
      const int64_t start = NowUs();
      hr = plan.call(session, subject);
      const int64_t wall = NowUs() - start;
      const int64_t cpu = ThreadCpuUs() - cpuBefore;
      if (FAILED(hr)) {
        *error = Failure("the call", plan.name, hr);
        return false;
      }
      const std::vector<zelk::sim::LoggedRequest> log = zelk::sim::ReadLog(session.Board());
      for (const auto& request : log) {
        if (FAILED(request.result)) {
          *error = Failure("a board request", plan.name, request.result);
          return false;
        }
      }
      if (round < 0) continue;  // warm-up

      CallFigures& figures = (*calls)[i];
      const Floor floor = MandatedWait(log);
      if (figures.wallUs.empty()) {
        figures.name = plan.name;
        figures.requestsMin = figures.requestsMax = log.size();
      }
      figures.wallUs.push_back(wall);
      figures.waitedUs.push_back(WaitedUs(floor, log, start + wall - session.BoardEpochUs()));
      figures.cpuUs += cpu;
      figures.requestsMin = std::min(figures.requestsMin, log.size());
      figures.requestsMax = std::max(figures.requestsMax, log.size());
      if (floor.waitUs >= figures.mandatedUs) {
        figures.mandatedUs = floor.waitUs;
        figures.waitsMs = floor.waitsMs;
      }
    }
  }
  sleeps->clear();
  for (size_t i = 0; i < waitsMs.size(); ++i) sleeps->push_back({waitsMs[i], Median(overshootUs[i])});
  return true;
}

}  // namespace bench

