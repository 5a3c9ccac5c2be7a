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


std::string Hex(int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(static_cast<uint32_t>(value)));
  return text;
}

// The module's trace lines since the previous check go with `check`, the step
// that wrote them. They are the module's own words, and stay as it wrote them.
void WithTrace(Check& check, TraceCapture& trace) {
  check.details.clear();
  for (const std::string& line : trace.Take()) check.details.push_back(Utf8FromAnsi(line));
}

// The module: the registered class, or CreateEncoder of the DLL at `modulePath`
// (loaded into `library`, freed by the caller once the object is gone).
bool CreateModule(Report& report, TraceCapture& trace, const std::string& modulePath, HMODULE& library,
                  ComPtr<IEncoderModule>& encoder) {
  const char* const id = "deep-create";
  const Text title = Say(MSG_DEEP_CREATE_TITLE);
  if (modulePath.empty()) {
    const HRESULT hr = CoCreateInstance(CLSID_ZelkEncoder, nullptr, CLSCTX_INPROC_SERVER, IID_IEncoderModule,
                                        reinterpret_cast<void**>(encoder.GetAddressOf()));
    if (FAILED(hr) || !encoder) {
      WithTrace(
          report.Fail(id, title, Say(MSG_DEEP_CLASS_FAILS, {DescribeResult(hr)}), Say(MSG_DEEP_FIX_REGISTRATION)),
          trace);
      return false;
    }
    WithTrace(report.Ok(id, title, Say(MSG_DEEP_CLASS_OK)), trace);
    return true;
  }
  library = LoadLibraryA(modulePath.c_str());
  if (!library) {
    report.Fail(id, title, Say(MSG_DEEP_NO_LOAD, {modulePath, DescribeResult(HRESULT_FROM_WIN32(GetLastError()))}),
                Say(MSG_DEEP_GIVE_OWN_BITNESS));
    return false;
  }
  const auto create =
      reinterpret_cast<PFN_CreateEncoder>(reinterpret_cast<void*>(GetProcAddress(library, "CreateEncoder")));
  // CreateEncoder leaves its result argument alone; it gives no object only
  // when the object cannot be allocated.
  if (create) zelk::Adopt(encoder, create(nullptr));
  if (!encoder) {
    WithTrace(report.Fail(id, title, create ? Say(MSG_DEEP_NO_OBJECT) : Say(MSG_DEEP_NO_EXPORT, {modulePath}),
                          Say(MSG_DEEP_GIVE_MODULE)),
              trace);
    return false;
  }
  WithTrace(report.Ok(id, title, Say(MSG_DEEP_EXPORT_OK, {modulePath})), trace);
  return true;
}

// One step of the module: its result, `found` and the module's trace lines;
// FAIL with the remedy when it failed.
bool Step(Report& report, TraceCapture& trace, const char* operation, HRESULT hr, const Text& found,
          const Text& remedy) {
  const std::string id = std::string("deep-") + operation;
  const Text title = Say(MSG_DEEP_STEP_TITLE, {operation});
  const Text described = found.utf8.empty() ? Verbatim(DescribeResult(hr)) : Say(MSG_ITEM_AND, {DescribeResult(hr), found});
  if (FAILED(hr)) {
    WithTrace(report.Fail(id, title, described, remedy), trace);
    return false;
  }
  WithTrace(report.Ok(id, title, described), trace);
  return true;
}

Check& CheckStatus(Report& report, HRESULT hr, const EncoderStatus& status) {
  const Text found = Say(MSG_DEEP_STATUS, {DescribeResult(hr), std::to_string(status.stateCode),
                                            std::to_string(status.flags), Hex(status.errorCode)});
  const Text title = Say(MSG_DEEP_STEP_TITLE, {"GetEncStatus"});
  if (status.flags & 1) {
    return report.Warn("deep-GetEncStatus", title, Say(MSG_DEEP_ENCODER_ERROR, {found}), Say(MSG_DEEP_POWER_CYCLE));
  }
  if (status.flags & 2) {
    return report.Warn("deep-GetEncStatus", title, Say(MSG_DEEP_NO_SIGNAL, {found}), Say(MSG_DEEP_NO_SIGNAL_REMEDY));
  }
  return report.Ok("deep-GetEncStatus", title, found);
}

void RunModule(Report& report, TraceCapture& trace, IEncoderModule* encoder) {
  ComPtr<IFilterGraph> graph;
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph,
                                reinterpret_cast<void**>(graph.GetAddressOf()));
  if (FAILED(hr) || !graph) {
    WithTrace(report.Fail("deep-graph", Say(MSG_DEEP_GRAPH_TITLE), Say(MSG_DEEP_GRAPH_FAILS, {DescribeResult(hr)}),
                          Say(MSG_REPAIR_DIRECTSHOW)),
              trace);
    return;
  }
  ComPtr<IPin> pin;
  int32_t valueA = 0, valueB = 0;
  hr = encoder->LoadEncoder(graph.Get(), pin.GetAddressOf(), &valueA, &valueB);
  PIN_INFO info{};
  Text pinFound = Say(MSG_DEEP_NO_PIN);
  if (pin && SUCCEEDED(pin->QueryPinInfo(&info))) {
    ComPtr<IBaseFilter> owner;
    zelk::Adopt(owner, info.pFilter);  // the pin's information carries a reference to its filter
    pinFound = Say(MSG_DEEP_PIN, {Narrow(info.achName)});
  }
  const Text powerCycle = Say(MSG_DEEP_POWER_CYCLE);
  if (Step(report, trace, "LoadEncoder", hr, pinFound, Say(MSG_DEEP_LOAD_REMEDY, {powerCycle})) &&
      Step(report, trace, "InitializeEncoder", encoder->InitializeEncoder(), {},
           Say(MSG_DEEP_INIT_REMEDY, {powerCycle}))) {
    EncoderStatus status{};
    hr = encoder->GetEncStatus(&status);
    if (FAILED(hr)) {
      Step(report, trace, "GetEncStatus", hr, {}, Say(MSG_DEEP_STATUS_REMEDY, {powerCycle}));
    } else {
      WithTrace(CheckStatus(report, hr, status), trace);
    }
  }
  pin.Reset();
  Step(report, trace, "UnloadEncoder", encoder->UnloadEncoder(graph.Get()), {}, Say(MSG_DEEP_UNLOAD_REMEDY));
}

}  // namespace

void CheckDeep(Report& report, const std::string& modulePath) {
  report.Note(Say(MSG_DEEP_NOTE));
  HMODULE library = nullptr;
  {
    TraceCapture trace;
    if (trace.Unavailable()) report.Note(Say(MSG_DEEP_TRACE_NOTE, {Say(trace.Unavailable())}));
    ComPtr<IEncoderModule> encoder;
    if (CreateModule(report, trace, modulePath, library, encoder)) RunModule(report, trace, encoder.Get());
  }
  if (library) FreeLibrary(library);
}

}  // namespace zelkdiag
