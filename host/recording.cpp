#include "recording.h"

#include "encoder/com_support.h"
#include "file_recording.h"
#include "host_settings.h"
#include "module_files.h"
#include "report.h"

namespace zelkhost {

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kStatusPolls = 3;
// The simulated decoder reports ready only from its third read on, so the
// first status poll shows the module's ready wait.
constexpr LONG kDecoderReadyAfterReads = 2;
constexpr DWORD kEncoderErrorFlag = 1;
constexpr DWORD kDecoderNotReadyFlag = 2;

constexpr PhaseKind kSettingsPhase{"Settings (stored until the board is attached)",
                                   "before LoadEncoder the module only stores what it is given", false};
constexpr PhaseKind kAttachPhase{"Attach and set-up (LoadEncoder)",
                                 "the module stopped before the board: no board found, or no firmware read", true};
constexpr PhaseKind kProcessingPhase{"Video processing (SetVideoProcessing)",
                                     "the module stores the flags; InitializeEncoder sends them", false};
constexpr PhaseKind kInitialisePhase{"Initialise (InitializeEncoder)", "the module refused before sending anything",
                                     false};
constexpr PhaseKind kStartPhase{"Start (StartEncoder)",
                                "StartEncoder only switches the ghost reducer, and this board has no enhancer unit",
                                false};
constexpr PhaseKind kRecordPhase{"Record (the graph runs, the File writer writes the board's stream)",
                                 "the board streams without requests", false};
constexpr int kDefaultRecordSeconds = 5;
constexpr PhaseKind kStatusPhase{"Status (GetEncStatus)", "the module refused before sending anything", false};
constexpr PhaseKind kStopPhase{"Stop (StopEncoder)", "StopEncoder only returns the module to idle; the board is not told",
                               false};
constexpr PhaseKind kDetachPhase{"Detach (UnloadEncoder)", "UnloadEncoder only takes the filters out of the graph",
                                 false};

std::string PinText(IPin* pin) {
  PIN_INFO info{};
  std::string pinName = "?", filterName = "?";
  if (pin && SUCCEEDED(pin->QueryPinInfo(&info))) {
    pinName = Narrow(info.achName);
    if (info.pFilter) {
      FILTER_INFO filterInfo{};
      if (SUCCEEDED(info.pFilter->QueryFilterInfo(&filterInfo))) {
        filterName = Narrow(filterInfo.achName);
        if (filterInfo.pGraph) filterInfo.pGraph->Release();
      }
      info.pFilter->Release();
    }
  }
  return Format("pin \"%s\" of filter \"%s\"", pinName.c_str(), filterName.c_str());
}

int CountFilters(IGraphBuilder* graph) {
  ComPtr<IEnumFilters> filters;
  if (FAILED(graph->EnumFilters(filters.GetAddressOf()))) return -1;
  int count = 0;
  ComPtr<IBaseFilter> filter;
  while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) ++count;
  return count;
}

}  // namespace

bool Recording::FailCall(const char* operation, const PhaseRecord& phase, HRESULT hr) {
  const std::string point = FailurePoint(phase);
  return Fail(std::string(operation) + " failed" + (point.empty() ? "" : " at " + point) + "; the host got " +
              DescribeResult(hr));
}

void Recording::ShowResult(const char* operation, HRESULT hr) {
  if (hr != S_OK) Say("   %s returned %s\n", operation, DescribeResult(hr).c_str());
}

void Recording::Run(PFN_CreateEncoder createEncoder) {
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(graph_.GetAddressOf()));
  if (FAILED(hr)) {
    Fail("cannot create a filter graph: " + DescribeResult(hr));
    return;
  }
  zelk::Adopt(encoder_, createEncoder(nullptr));  // CreateEncoder hands over one reference
  if (!encoder_) {
    Fail("CreateEncoder returned no encoder (out of memory)");
  } else if (FAILED(hr = encoder_->Initialize("zelkhost", nullptr))) {
    Fail("Initialize failed: " + DescribeResult(hr));
  } else if (StoreSettings()) {
    if (Attach() && SetProcessing() && Initialise()) {
      Start();
      if (options_.recordPath.empty() || RecordFile()) PollStatus();
      Stop();
    }
    Detach();  // the graph may hold the capture filter even after a failed attach
  }
  pin_.Reset();
  encoder_.Reset();
  graph_.Reset();
}

bool Recording::ApplySettings(const PhaseKind& kind, SettingsStep apply) {
  SettingsReport report;
  bool ok = false;
  Phase(kind, [&] { ok = apply(encoder_.Get(), options_, &report); });
  Say("%s", report.echo.c_str());
  return ok || Fail(report.problem);
}

bool Recording::StoreSettings() {
  return !options_.AnyStored() || ApplySettings(kSettingsPhase, ApplyStoredSettings);
}

bool Recording::Attach() {
  ComPtr<IPin> pin;
  int32_t valueA = -1, valueB = -1;
  HRESULT hr = S_OK;
  if (options_.board) {
    ComPtr<IEncoderBoards> boards;
    hr = encoder_.As(&boards);
    if (FAILED(hr)) return Fail("--board: this zelkenc.dll drives the first board only (" + DescribeResult(hr) + ")");
    hr = boards->BindBoardByIndex(static_cast<UINT32>(*options_.board));
    ShowResult(Format("BindBoardByIndex(%d)", *options_.board).c_str(), hr);
    if (FAILED(hr)) return Fail("--board: the module refused the board: " + DescribeResult(hr));
  }
  const PhaseRecord& phase =
      Phase(kAttachPhase, [&] { hr = encoder_->LoadEncoder(graph_.Get(), pin.GetAddressOf(), &valueA, &valueB); });
  if (pin) Say("   %s; values %d and %d\n", PinText(pin.Get()).c_str(), valueA, valueB);
  pin_ = pin;
  ShowResult("LoadEncoder", hr);
  if (SUCCEEDED(hr)) return true;
  ExplainLoadFailure(phase, pin != nullptr, hr);
  return false;
}

// The module hands the pin out before it downloads the firmware, so a pin
// together with a failure means the set-up failed, not the search for the
// board. Finding no device of the board's name, the module sends nothing and
// returns E_FAIL.
void Recording::ExplainLoadFailure(const PhaseRecord& phase, bool pinHandedOut, HRESULT hr) {
  if (hr == ZELK_E_BOARD_GONE) {
    Fail(Format("LoadEncoder found no board %d among the video-input devices (./run demo --board N registers "
                "N virtual boards); the host got %s",
                options_.board.value_or(1), DescribeResult(hr).c_str()));
  } else if (!pinHandedOut && phase.requests.empty() && hr == E_FAIL) {
    const char* why = boardHidden_ ? "it was taken out with --no-board" : "is zelksim.dll registered?";
    Fail(Format("LoadEncoder found no capture board \"MB86393 PCI Capture\" among the video-input devices (%s); "
                "the host got %s",
                why, DescribeResult(hr).c_str()));
  } else if (log_.Available() && phase.requests.empty()) {
    Fail("LoadEncoder could not read the firmware " + firmware_ + "; the host got " + DescribeResult(hr));
  } else {
    FailCall("LoadEncoder", phase, hr);
  }
}

bool Recording::SetProcessing() {
  return !options_.AnyProcessing() || ApplySettings(kProcessingPhase, ApplyProcessing);
}

bool Recording::Initialise() {
  if (!CallPhase(kInitialisePhase, "InitializeEncoder", [&] { return encoder_->InitializeEncoder(); })) return false;
  if (options_.AnyPicture()) {
    PictureSettings picture{};
    encoder_->SetPictureSettings(nullptr, &picture);
    Say("   picture in force: brightness %d, contrast %d, saturation %d, hue %d\n", picture.brightness,
        picture.contrast, picture.saturation, picture.hue);
  }
  return true;
}

void Recording::Start() {
  // The module is encoding even when the ghost reducer could not be switched.
  CallPhase(kStartPhase, "StartEncoder", [&] { return encoder_->StartEncoder(); });
}

bool Recording::RecordFile() {
  FileRecordingResult result;
  Phase(kRecordPhase, [&] {
    result = RecordToFile(graph_.Get(), pin_.Get(), options_.recordPath,
                          options_.seconds.value_or(kDefaultRecordSeconds), log_.Board());
  });
  Always("%s", result.lines.c_str());
  return result.ok || Fail("--record: " + result.failure);
}

bool Recording::PollStatus() {
  HRESULT hr = S_OK;
  if (log_.Available() && !options_.decoderNeverReady &&
      FAILED(hr = log_.Board()->SetDecoderReadyAfterReads(kDecoderReadyAfterReads))) {
    return Fail("the simulated decoder could not be set to report ready late: " + DescribeResult(hr));
  }
  std::string lines;
  EncoderStatus status{};
  int poll = 0;
  const PhaseRecord& phase = Phase(kStatusPhase, [&] {
    while (poll < kStatusPolls && SUCCEEDED(hr)) {
      ++poll;
      status = EncoderStatus{};
      hr = encoder_->GetEncStatus(&status);
      lines += Format("   poll %d: stateCode %d, flags 0x%X (%s, %s), errorCode 0x%08lX -> %s\n", poll,
                      status.stateCode, static_cast<unsigned>(status.flags),
                      (status.flags & kEncoderErrorFlag) ? "error reported" : "no error",
                      (status.flags & kDecoderNotReadyFlag) ? "decoder not ready" : "decoder ready",
                      static_cast<unsigned long>(status.errorCode), DescribeResult(hr).c_str());
      if (status.flags & (kEncoderErrorFlag | kDecoderNotReadyFlag)) break;
    }
  });
  Say("%s", lines.c_str());
  if (FAILED(hr)) return FailCall("GetEncStatus", phase, hr);
  if (status.flags & kEncoderErrorFlag) {
    return Fail(Format("GetEncStatus poll %d: the encoder reports error %s", poll,
                       DescribeResult(static_cast<HRESULT>(status.errorCode)).c_str()));
  }
  if (status.flags & kDecoderNotReadyFlag)
    return Fail(Format("GetEncStatus poll %d: the video decoder never reported ready (status flag 0x2)", poll));
  return true;
}

void Recording::Stop() {
  CallPhase(kStopPhase, "StopEncoder", [&] { return encoder_->StopEncoder(); });
}

void Recording::Detach() {
  CallPhase(kDetachPhase, "UnloadEncoder", [&] { return encoder_->UnloadEncoder(graph_.Get()); });
  Say("   filters left in the graph: %d\n", CountFilters(graph_.Get()));
}

}  // namespace zelkhost
