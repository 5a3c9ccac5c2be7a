// zelkhost: the demo host. Does what a recording application does with
// zelkenc.dll: loads it, creates an encoder, hands it a filter graph, applies
// the settings given on the command line, attaches and sets up the board,
// initialises, starts, polls the status, stops and detaches, and prints the
// board traffic of each phase as the simulated board logged it.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>

#include "board_log.h"
#include "module_files.h"
#include "options.h"
#include "sim_control.h"
#include "zelk/encoder_module.h"

using Microsoft::WRL::ComPtr;

namespace zelkhost {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr DWORD kBoardCodePlain = 4096;
constexpr DWORD kBoardCodeEnhancer = 4721;
constexpr int kStatusPolls = 3;
// The simulated decoder reports ready only from its third read on, so the
// first status poll shows the module's ready wait.
constexpr LONG kDecoderReadyAfterReads = 2;

const char* KnownName(HRESULT hr) {
  switch (hr) {
    case S_OK: return "S_OK";
    case S_FALSE: return "S_FALSE";
    case E_FAIL: return "E_FAIL";
    case E_POINTER: return "E_POINTER";
    case E_INVALIDARG: return "E_INVALIDARG";
    case E_NOTIMPL: return "E_NOTIMPL";
    case E_NOINTERFACE: return "E_NOINTERFACE";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case REGDB_E_CLASSNOTREG: return "class not registered";
    case ZELK_INVALID_PARAMETER: return "invalid parameter (87)";
    case ZELK_E_NO_CAPTURE_FILTER: return "no capture filter attached";
    case ZELK_E_GRAPH_RUN_TIMEOUT: return "graph did not start";
    case ZELK_ENC_ERROR_GENERAL: return "encoder error";
    case ZELK_ENC_ERROR_FLAG2: return "encoder error (flag 2)";
    case ZELK_ENC_ERROR_DETAIL: return "encoder error (detail)";
    default: return nullptr;
  }
}

// "0x80004005 (E_FAIL)", or the system's text for other codes.
std::string Describe(HRESULT hr) {
  char number[16];
  std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(hr));
  std::string text = number;
  if (const char* name = KnownName(hr)) return text + " (" + name + ")";
  char* message = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&message), 0, nullptr);
  if (length && message) {
    std::string system(message, length);
    LocalFree(message);
    while (!system.empty() && (system.back() == '\n' || system.back() == '\r' || system.back() == ' ' ||
                               system.back() == '.')) {
      system.pop_back();
    }
    if (!system.empty()) text += " (" + system + ")";
  }
  return text;
}

void Fail(const std::string& message) { std::printf("ERROR: %s\n", message.c_str()); }

const char* InputName(int32_t input) {
  switch (input) {
    case 0: return "composite";
    case 1: return "S-video";
    case 2: return "tuner";
    default: return "unknown";
  }
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The settings that the module stores before the board is attached. Each one
// is echoed as the module reports it back.
bool ApplyStoredSettings(IEncoderModule* encoder, const Options& options) {
  bool ok = true;
  if (options.input) {
    int32_t in = *options.input, out = -1;
    // Before LoadEncoder the input is stored and the re-initialisation that
    // follows it is refused: that is expected here.
    const HRESULT hr = encoder->SetVideoInput(&in, &out);
    std::printf("   video input       %d (%s)\n", out, InputName(out));
    if (out != in) {
      Fail("SetVideoInput did not take input " + std::to_string(in) + ": " + Describe(hr));
      ok = false;
    }
  }
  if (options.AnyVideoSettings()) {
    VideoSettings settings{};
    encoder->SetVideoSettings(nullptr, &settings);
    if (options.bitRate) settings.bitRate = settings.peakBitRate = *options.bitRate;
    if (options.wide) settings.aspect16x9 = 1;
    VideoSettings out{};
    const HRESULT hr = encoder->SetVideoSettings(&settings, &out);
    std::printf("   video settings    bit rate %d, peak %d bits/s, aspect %s\n", out.bitRate, out.peakBitRate,
                out.aspect16x9 ? "16:9" : "4:3");
    if (FAILED(hr)) {
      Fail("SetVideoSettings refused the record: " + Describe(hr));
      ok = false;
    }
  }
  if (options.channel) {
    const uint32_t code = static_cast<uint32_t>(*options.channel) | (options.catv ? 0x10000u : 0u);
    ChannelEntry entry{};
    const HRESULT hr = encoder->SetChannel(code, &entry);
    std::printf("   channel           %d, plan %s, video carrier %.2f MHz\n", entry.channelNumber,
                (entry.plan & 1) ? "CATV" : "terrestrial", entry.frequencyHz / 1e6);
    if (FAILED(hr)) {
      Fail("SetChannel failed: " + Describe(hr));
      ok = false;
    }
  }
  if (options.tunerMode) {
    const HRESULT hr = encoder->SetTunerMode(*options.tunerMode);
    int32_t mode = -1, status = 0;
    encoder->GetTunerMode(&mode, &status);  // no board yet: only the mode is meaningful
    std::printf("   tuner mode        %d\n", mode);
    if (FAILED(hr)) {
      Fail("SetTunerMode failed: " + Describe(hr));
      ok = false;
    }
  }
  if (options.volume) {
    int32_t in = *options.volume, out = 0;
    const HRESULT hr = encoder->SetVolume(&in, &out);
    std::printf("   volume            %d (1/100 dB)\n", out);
    if (FAILED(hr)) {
      Fail("SetVolume failed: " + Describe(hr));
      ok = false;
    }
  }
  if (options.AnyPicture()) {
    PictureSettings picture{};
    encoder->SetPictureSettings(nullptr, &picture);
    if (options.brightness) picture.brightness = *options.brightness;
    if (options.contrast) picture.contrast = *options.contrast;
    if (options.saturation) picture.saturation = *options.saturation;
    if (options.hue) picture.hue = *options.hue;
    PictureSettings out{};
    const HRESULT hr = encoder->SetPictureSettings(&picture, &out);
    std::printf("   picture           brightness %d, contrast %d, saturation %d, hue %d\n", out.brightness,
                out.contrast, out.saturation, out.hue);
    if (FAILED(hr)) {
      Fail("SetPictureSettings failed: " + Describe(hr));
      ok = false;
    }
  }
  return ok;
}

// Video processing needs to know whether the board has the enhancer unit, so
// it is set once the board is attached.
bool ApplyProcessing(IEncoderModule* encoder, const Options& options) {
  VideoProcessing processing{};
  encoder->SetVideoProcessing(nullptr, &processing);
  if (options.processing) processing.processingFlags = *options.processing;
  if (options.filterMode) processing.filterMode = static_cast<uint8_t>(*options.filterMode);
  VideoProcessing out{};
  const HRESULT hr = encoder->SetVideoProcessing(&processing, &out);
  std::printf("   video processing  flags 0x%X, filter mode %u\n", out.processingFlags, out.filterMode);
  if (FAILED(hr)) {
    if (processing.processingFlags & 3u) {
      Fail("3D Y/C separation and ghost reduction (processing bits 0 and 1) need a board with the enhancer "
           "unit (--enhancer)");
    } else {
      Fail("SetVideoProcessing failed: " + Describe(hr));
    }
    return false;
  }
  if (hr == ZELK_INVALID_PARAMETER) {
    Fail("SetVideoProcessing refused filter mode " + std::to_string(processing.filterMode));
    return false;
  }
  return true;
}

void ShowPin(IPin* pin, int32_t valueA, int32_t valueB) {
  if (!pin) {
    std::printf("   pin: none handed out; values %d and %d\n", valueA, valueB);
    return;
  }
  PIN_INFO info{};
  std::string pinName = "?", filterName = "?";
  if (SUCCEEDED(pin->QueryPinInfo(&info))) {
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
  std::printf("   pin \"%s\" of filter \"%s\"; values %d and %d\n", pinName.c_str(), filterName.c_str(), valueA,
              valueB);
}

int CountFilters(IGraphBuilder* graph) {
  ComPtr<IEnumFilters> filters;
  if (FAILED(graph->EnumFilters(&filters))) return -1;
  int count = 0;
  ComPtr<IBaseFilter> filter;
  while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) ++count;
  return count;
}

// Explains a failed LoadEncoder. The module hands the pin out before it
// downloads the firmware, so a pin together with a failure means the set-up
// failed, not the search for the board.
void ExplainLoadFailure(HRESULT hr, bool pinHandedOut, unsigned long requestsSent, const BoardLog& log,
                        const ModuleFolder& module) {
  if (!pinHandedOut) {
    if (hr == E_FAIL) {
      Fail("The capture board \"MB86393 PCI Capture\" was not found (is zelksim.dll registered?)");
    } else {
      Fail("LoadEncoder could not attach the capture board: " + Describe(hr));
    }
    return;
  }
  if (!FileExists(module.FirmwarePath())) {
    Fail("Firmware MbPciEncoder.rom not found beside zelkenc.dll (" + Narrow(module.Folder()) + ")");
  } else if (log.Available() && requestsSent == 0) {
    Fail("Firmware MbPciEncoder.rom beside zelkenc.dll could not be read: " + Describe(hr));
  } else {
    Fail("The board refused its set-up (see the last request above): " + Describe(hr));
  }
}

ComPtr<ISimBoardControl> ReachBoard(bool enhancer) {
  ComPtr<IUnknown> filter;
  HRESULT hr = CoCreateInstance(CLSID_ZelkSimCapture, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(filter.GetAddressOf()));
  ComPtr<ISimBoardControl> board;
  if (SUCCEEDED(hr)) hr = filter->QueryInterface(IID_ISimBoardControl, reinterpret_cast<void**>(board.GetAddressOf()));
  if (FAILED(hr)) {
    std::printf("Board:    the simulated board is not registered (zelksim.dll): %s\n"
                "          going on without it; the board traffic cannot be shown\n",
                Describe(hr).c_str());
    return nullptr;
  }
  const DWORD code = enhancer ? kBoardCodeEnhancer : kBoardCodePlain;
  if (FAILED(hr = board->Reset()) || FAILED(hr = board->SetBoardCode(code))) {
    std::printf("Board:    the simulated board could not be prepared: %s\n", Describe(hr).c_str());
    return nullptr;
  }
  std::printf("Board:    simulated, board code %lu (%s)\n", code,
              enhancer ? "enhancer unit fitted" : "no enhancer unit");
  return board;
}

// The whole recording with the module loaded. Every interface of the module is
// released before this returns, so the caller may free the library.
int Record(PFN_CreateEncoder createEncoder, const Options& options, BoardLog& log, const ModuleFolder& module) {
  ComPtr<IGraphBuilder> graph;
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(graph.GetAddressOf()));
  if (FAILED(hr)) {
    Fail("Cannot create a filter graph: " + Describe(hr));
    return kExitFailed;
  }
  ComPtr<IEncoderModule> encoder;
  // CreateEncoder hands over one reference; this toolchain's ComPtr::Attach
  // would add another, so the pointer is stored directly.
  *encoder.GetAddressOf() = createEncoder(nullptr);
  if (!encoder) {
    Fail("CreateEncoder returned no encoder (out of memory)");
    return kExitFailed;
  }
  if (FAILED(hr = encoder->Initialize("zelkhost", nullptr))) {
    Fail("Initialize failed: " + Describe(hr));
    return kExitFailed;
  }

  bool ok = true;
  const bool anyStored = options.input || options.AnyVideoSettings() || options.channel || options.tunerMode ||
                         options.volume || options.AnyPicture();
  if (anyStored) {
    std::printf("\nSettings (as the module reports them back):\n");
    ok = ApplyStoredSettings(encoder.Get(), options);
  }

  LARGE_INTEGER started, finished;
  QueryPerformanceCounter(&started);
  bool attached = false;
  if (ok) {
    ComPtr<IPin> pin;
    int32_t valueA = -1, valueB = -1;
    const unsigned long before = log.Count();
    hr = encoder->LoadEncoder(graph.Get(), pin.GetAddressOf(), &valueA, &valueB);
    attached = true;  // the graph may hold the capture filter even after a failure
    const unsigned long sent = log.Count() - before;
    log.PrintPhase("Attach and set-up (LoadEncoder)");
    if (SUCCEEDED(hr)) {
      ShowPin(pin.Get(), valueA, valueB);
    } else {
      ExplainLoadFailure(hr, pin != nullptr, sent, log, module);
      ok = false;
    }
  }

  if (ok && options.AnyProcessing()) ok = ApplyProcessing(encoder.Get(), options);

  if (ok) {
    hr = encoder->InitializeEncoder();
    log.PrintPhase("Initialise (InitializeEncoder)");
    if (FAILED(hr)) {
      Fail("InitializeEncoder failed: " + Describe(hr));
      ok = false;
    } else if (options.AnyPicture()) {
      PictureSettings picture{};
      encoder->SetPictureSettings(nullptr, &picture);
      std::printf("   picture in force: brightness %d, contrast %d, saturation %d, hue %d\n", picture.brightness,
                  picture.contrast, picture.saturation, picture.hue);
    }
  }

  bool started_encoder = false;
  if (ok) {
    hr = encoder->StartEncoder();
    log.PrintPhase("Start");
    if (FAILED(hr)) {
      Fail("StartEncoder failed: " + Describe(hr));
      ok = false;
    } else {
      started_encoder = true;
    }
  }

  if (ok) {
    if (log.Available()) log.Board()->SetDecoderReadyAfterReads(kDecoderReadyAfterReads);
    std::string lines;
    for (int poll = 1; poll <= kStatusPolls; ++poll) {
      EncoderStatus status{};
      hr = encoder->GetEncStatus(&status);
      char line[200];
      std::snprintf(line, sizeof line, "   poll %d: stateCode %d, flags 0x%X (%s, %s), errorCode 0x%08lX -> %s\n",
                    poll, status.stateCode, static_cast<unsigned>(status.flags),
                    (status.flags & 1) ? "error reported" : "no error",
                    (status.flags & 2) ? "decoder not ready" : "decoder ready",
                    static_cast<unsigned long>(status.errorCode), Describe(hr).c_str());
      lines += line;
      if (FAILED(hr)) {
        ok = false;
        break;
      }
    }
    log.PrintPhase("Status");
    std::printf("%s", lines.c_str());
    if (!ok) Fail("GetEncStatus failed: " + Describe(hr));
  }

  if (started_encoder) {
    hr = encoder->StopEncoder();
    log.PrintPhase("Stop");
    if (FAILED(hr)) {
      Fail("StopEncoder failed: " + Describe(hr));
      ok = false;
    }
  }

  if (attached) {
    hr = encoder->UnloadEncoder(graph.Get());
    log.PrintPhase("Detach");
    std::printf("   filters left in the graph: %d\n", CountFilters(graph.Get()));
    if (FAILED(hr)) {
      Fail("UnloadEncoder failed: " + Describe(hr));
      ok = false;
    }
  }
  QueryPerformanceCounter(&finished);

  encoder.Reset();
  graph.Reset();
  std::printf("\nSummary: %lu requests sent, %llu bytes of firmware, %.2f s%s\n", log.Printed(),
              log.FirmwareBytes(), attached ? Seconds(started, finished) : 0.0,
              log.Available() ? "" : " (no simulated board: traffic not seen)");
  return ok ? kExitOk : kExitFailed;
}

int Run(const Options& options) {
  ModuleFolder module;
  if (options.firmwarePath.empty()) {
    module.UseProgramFolder();
  } else {
    const std::wstring firmware = Widen(options.firmwarePath);
    if (!FileExists(firmware)) {
      std::printf("Note:     the firmware file %s does not exist\n", options.firmwarePath.c_str());
    }
    std::string error;
    if (!module.CreateWithFirmware(firmware, &error)) {
      Fail("Cannot prepare a module folder for --firmware: " + error);
      return kExitFailed;
    }
  }
  std::printf("Module:   %s\n", Narrow(module.ModulePath()).c_str());
  const long long firmwareSize = FileSize(module.FirmwarePath());
  if (firmwareSize >= 0) {
    std::printf("Firmware: %s (%lld bytes)\n", Narrow(module.FirmwarePath()).c_str(), firmwareSize);
  } else {
    std::printf("Firmware: %s (missing)\n", Narrow(module.FirmwarePath()).c_str());
  }

  BoardLog log(ReachBoard(options.enhancer));

  HMODULE library = LoadLibraryExW(module.ModulePath().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!library) {
    Fail("Cannot load " + Narrow(module.ModulePath()) + ": " + Describe(HRESULT_FROM_WIN32(GetLastError())));
    return kExitFailed;
  }
  int exitCode = kExitFailed;
  auto createEncoder = reinterpret_cast<PFN_CreateEncoder>(
      reinterpret_cast<void*>(GetProcAddress(library, "CreateEncoder")));
  if (!createEncoder) {
    Fail("zelkenc.dll has no CreateEncoder export");
  } else {
    exitCode = Record(createEncoder, options, log, module);
  }
  // Every object is released by now: the module must agree that it may go.
  auto canUnloadNow = reinterpret_cast<HRESULT(WINAPI*)()>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
  if (canUnloadNow && canUnloadNow() == S_OK) {
    std::printf("Module:   no object left, it may be unloaded\n");
  } else {
    Fail("The module still holds live objects after the last Release");
    exitCode = kExitFailed;
  }
  FreeLibrary(library);
  return exitCode;
}

}  // namespace
}  // namespace zelkhost

int main(int argc, char** argv) {
  zelkhost::Options options;
  std::string error;
  if (!zelkhost::ParseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "zelkhost: %s\n\n%s", error.c_str(), zelkhost::UsageText());
    return zelkhost::kExitUsage;
  }
  if (options.help) {
    std::printf("%s", zelkhost::UsageText());
    return zelkhost::kExitOk;
  }
  const HRESULT hr = CoInitialize(nullptr);
  if (FAILED(hr)) {
    std::printf("ERROR: COM could not be initialised: %s\n", zelkhost::Describe(hr).c_str());
    return zelkhost::kExitFailed;
  }
  int exitCode = zelkhost::Run(options);
  CoUninitialize();
  std::fflush(stdout);
  return exitCode;
}
