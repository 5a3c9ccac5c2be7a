// One recording with the module loaded, phase by phase: each phase is one
// call (or a few) of the module, then the board traffic it caused. The first
// failure is kept as the run's one-line explanation.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>

#include "board_log.h"
#include "host_settings.h"
#include "options.h"
#include "trace_printer.h"
#include "zelk/encoder_module.h"

namespace zelkhost {

class Recording {
 public:
  // `boardHidden`: --no-board took the board's device out for the run.
  Recording(const Options& options, BoardLog& log, const std::string& firmware, bool boardHidden)
      : options_(options), log_(log), firmware_(firmware), boardHidden_(boardHidden),
        detail_(options.quiet ? Detail::Quiet : options.verbose ? Detail::Verbose : Detail::Normal) {}

  // Every interface of the module is released before this returns, so the
  // caller may free the library.
  void Run(PFN_CreateEncoder createEncoder);
  const std::string& Failure() const { return failure_; }

 private:
  template <typename Call>
  const PhaseRecord& Phase(const PhaseKind& kind, Call&& call) {
    log_.BeginPhase();
    call();
    const PhaseRecord& phase = log_.EndPhase(kind);
    PrintPhase(phase, detail_);
    return phase;
  }
  // One call of the module as a phase: its traffic, what the host got, and
  // the failure kept when it failed.
  template <typename Call>
  bool CallPhase(const PhaseKind& kind, const char* operation, Call&& call) {
    HRESULT hr = S_OK;
    const PhaseRecord& phase = Phase(kind, [&] { hr = call(); });
    ShowResult(operation, hr);
    return SUCCEEDED(hr) || FailCall(operation, phase, hr);
  }
  bool Fail(const std::string& text) {
    if (failure_.empty()) failure_ = text;
    return false;
  }
  // "InitializeEncoder failed at request N (...), which the board failed with X; the host got Y".
  bool FailCall(const char* operation, const PhaseRecord& phase, HRESULT hr);
  void ExplainLoadFailure(const PhaseRecord& phase, bool pinHandedOut, HRESULT hr);
  // What the host got, when it is not plain success.
  static void ShowResult(const char* operation, HRESULT hr);

  // Settings given on the command line as a phase, echoed as the module reports them back.
  using SettingsStep = bool (*)(IEncoderModule*, const Options&, SettingsReport*);
  bool ApplySettings(const PhaseKind& kind, SettingsStep apply);
  bool StoreSettings();
  bool Attach();
  bool SetProcessing();
  bool Initialise();
  void Start();
  bool RecordFile();
  bool PollStatus();
  void Stop();
  void Detach();

  const Options& options_;
  BoardLog& log_;
  const std::string firmware_;
  const bool boardHidden_;
  const Detail detail_;
  Microsoft::WRL::ComPtr<IGraphBuilder> graph_;
  Microsoft::WRL::ComPtr<IEncoderModule> encoder_;
  Microsoft::WRL::ComPtr<IPin> pin_;  // the board's output pin, from LoadEncoder
  std::string failure_;
};

}  // namespace zelkhost
