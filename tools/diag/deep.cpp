// --deep: the module itself, run on the board in a private filter graph the
// way a host starts a recording: LoadEncoder, InitializeEncoder, GetEncStatus,
// UnloadEncoder. It downloads the firmware and sets the board up, so it only
// runs when asked for. Each step's check carries the trace lines the module
// wrote to the debugger output during that step.
#include <windows.h>
#include <dshow.h>

#include <zelk/encoder_module.h>

#include <cstdio>

#include "checks.h"
#include "encoder/com_support.h"
#include "trace_capture.h"

namespace zelkdiag {
namespace {

using zelk::ComPtr;

constexpr char kPowerCycle[] = "power the machine off and on (a cold start resets the board), then run again";

std::string Hex(int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(static_cast<uint32_t>(value)));
  return text;
}

// The module's trace lines since the previous check go with `check`, the step
// that wrote them.
void WithTrace(Check& check, TraceCapture& trace) { check.details = trace.Take(); }

// The module: the registered class, or CreateEncoder of the DLL at `modulePath`
// (loaded into `library`, freed by the caller once the object is gone).
bool CreateModule(Report& report, TraceCapture& trace, const std::string& modulePath, HMODULE& library,
                  ComPtr<IEncoderModule>& encoder) {
  const char* const id = "deep-create";
  const char* const title = "deep: create the module";
  if (modulePath.empty()) {
    const HRESULT hr = CoCreateInstance(CLSID_ZelkEncoder, nullptr, CLSCTX_INPROC_SERVER, IID_IEncoderModule,
                                        reinterpret_cast<void**>(encoder.GetAddressOf()));
    if (FAILED(hr) || !encoder) {
      WithTrace(report.Fail(id, title, "the registered class cannot be created: " + DescribeResult(hr),
                            "correct the registration first (see above)"),
                trace);
      return false;
    }
    WithTrace(report.Ok(id, title, "created through the registered class, as hosts do"), trace);
    return true;
  }
  library = LoadLibraryA(modulePath.c_str());
  if (!library) {
    report.Fail(id, title, modulePath + " does not load: " + DescribeResult(HRESULT_FROM_WIN32(GetLastError())),
                "give a zelkenc.dll of this tool's bitness with --module");
    return false;
  }
  const auto create =
      reinterpret_cast<PFN_CreateEncoder>(reinterpret_cast<void*>(GetProcAddress(library, "CreateEncoder")));
  // CreateEncoder leaves its result argument alone; it gives no object only
  // when the object cannot be allocated.
  if (create) zelk::Adopt(encoder, create(nullptr));
  if (!encoder) {
    WithTrace(report.Fail(id, title,
                          create ? "CreateEncoder gives no object (out of memory)"
                                 : modulePath + " has no CreateEncoder",
                          "give the path of the board's zelkenc.dll with --module"),
              trace);
    return false;
  }
  WithTrace(report.Ok(id, title, "created through CreateEncoder of " + modulePath), trace);
  return true;
}

// One step of the module: its result, `found` and the module's trace lines;
// FAIL with the remedy when it failed.
bool Step(Report& report, TraceCapture& trace, const char* operation, HRESULT hr, const std::string& found,
          const std::string& remedy) {
  const std::string id = std::string("deep-") + operation;
  const std::string title = std::string("deep: ") + operation;
  const std::string described = DescribeResult(hr) + (found.empty() ? "" : ", " + found);
  if (FAILED(hr)) {
    WithTrace(report.Fail(id, title, described, remedy), trace);
    return false;
  }
  WithTrace(report.Ok(id, title, described), trace);
  return true;
}

Check& CheckStatus(Report& report, HRESULT hr, const EncoderStatus& status) {
  const std::string found = DescribeResult(hr) + ", state " + std::to_string(status.stateCode) + ", flags " +
                            std::to_string(status.flags) + ", error " + Hex(status.errorCode);
  if (status.flags & 1) {
    return report.Warn("deep-GetEncStatus", "deep: GetEncStatus", found + ": the encoder reports an error",
                       kPowerCycle);
  }
  if (status.flags & 2) {
    return report.Warn("deep-GetEncStatus", "deep: GetEncStatus",
                       found + ": the video decoder is not ready (no signal?)",
                       "connect a video source to the composite input, which the module selects by default, and run "
                       "again");
  }
  return report.Ok("deep-GetEncStatus", "deep: GetEncStatus", found);
}

void RunModule(Report& report, TraceCapture& trace, IEncoderModule* encoder) {
  ComPtr<IFilterGraph> graph;
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph,
                                reinterpret_cast<void**>(graph.GetAddressOf()));
  if (FAILED(hr) || !graph) {
    WithTrace(report.Fail("deep-graph", "deep: filter graph",
                          "the system's filter graph cannot be created: " + DescribeResult(hr),
                          "repair the system's DirectShow runtime (run `sfc /scannow` from an elevated prompt)"),
              trace);
    return;
  }
  ComPtr<IPin> pin;
  int32_t valueA = 0, valueB = 0;
  hr = encoder->LoadEncoder(graph.Get(), pin.GetAddressOf(), &valueA, &valueB);
  PIN_INFO info{};
  std::string pinFound = "no pin handed out";
  if (pin && SUCCEEDED(pin->QueryPinInfo(&info))) {
    ComPtr<IBaseFilter> owner;
    zelk::Adopt(owner, info.pFilter);  // the pin's information carries a reference to its filter
    pinFound = "pin \"" + Narrow(info.achName) + "\"";
  }
  if (Step(report, trace, "LoadEncoder", hr, pinFound,
           "the module could not attach the board or download its set-up: correct the first FAIL above; if there "
           "is none, " +
               std::string(kPowerCycle)) &&
      Step(report, trace, "InitializeEncoder", encoder->InitializeEncoder(), "",
           "the board refused the module's configuration: " + std::string(kPowerCycle))) {
    EncoderStatus status{};
    hr = encoder->GetEncStatus(&status);
    if (FAILED(hr)) {
      Step(report, trace, "GetEncStatus", hr, "", "the board does not report its status: " + std::string(kPowerCycle));
    } else {
      WithTrace(CheckStatus(report, hr, status), trace);
    }
  }
  pin.Reset();
  Step(report, trace, "UnloadEncoder", encoder->UnloadEncoder(graph.Get()), "",
       "the module could not take the board's filter out of the graph: restart the host");
}

}  // namespace

void CheckDeep(Report& report, const std::string& modulePath) {
  report.Note(
      "--deep: the module itself runs on the board in a private graph; this downloads the firmware and "
      "changes the board's state");
  HMODULE library = nullptr;
  {
    TraceCapture trace;
    if (!trace.Unavailable().empty()) report.Note("--deep: " + trace.Unavailable());
    ComPtr<IEncoderModule> encoder;
    if (CreateModule(report, trace, modulePath, library, encoder)) RunModule(report, trace, encoder.Get());
  }
  if (library) FreeLibrary(library);
}

}  // namespace zelkdiag
