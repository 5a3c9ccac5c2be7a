// A host in C++. It drives zelkenc.dll twice, first through the plain export
// CreateEncoder, then through COM, and each time makes the module's calls of
// a recording: attach the board to a DirectShow graph, initialise, start, poll
// the status, stop, detach, release. It leaves the board's pin unconnected and
// the graph stopped, so no stream flows and no file is written (the C sample
// records). At the end it checks that the module can unload.
//
// Run it beside zelkenc.dll and MbPciEncoder.rom, with zelkenc.dll registered
// (regsvr32 zelkenc.dll) and a board: the real one with its driver installed,
// or the package's virtual board (regsvr32 sim\x64\zelksim.dll, or sim\x86
// for a 32-bit build), which is what it is tested on.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <cstdio>

// No GUID definitions needed: __uuidof(IEncoderModule) and __uuidof(ZelkEncoder)
// come with the header's declarations.
#include <zelk/encoder_module.h>

using Microsoft::WRL::ComPtr;

namespace {

// Prints the step and its result; true when it succeeded.
bool Check(const char* step, HRESULT hr) {
  std::printf("%-20s 0x%08lX\n", step, static_cast<unsigned long>(hr));
  return SUCCEEDED(hr);
}

// GetProcAddress returns a generic function pointer; this gives it its type.
template <typename Function>
Function Export(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// The calls of one recording, with the graph left stopped.
bool Record(IEncoderModule* encoder) {
  ComPtr<IGraphBuilder> graph;
  if (!Check("create graph", CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_PPV_ARGS(graph.GetAddressOf())))) {
    return false;
  }
  bool ok = Check("Initialize", encoder->Initialize("Software\\SampleHost", nullptr));

  // Settings may be given before the board is attached: 8 Mbit/s, 16:9.
  VideoSettings video{};
  ok = ok && Check("read video", encoder->SetVideoSettings(nullptr, &video));
  video.bitRate = video.peakBitRate = 8000000;
  video.aspect16x9 = 1;
  ok = ok && Check("SetVideoSettings", encoder->SetVideoSettings(&video, &video));

  // The pin is ours from here on, even when LoadEncoder fails while it sets
  // the board up. A real host connects it to its multiplexer or file writer
  // and runs the graph after InitializeEncoder.
  ComPtr<IPin> pin;
  INT32 valueA = 0, valueB = 0;
  ok = ok && Check("LoadEncoder", encoder->LoadEncoder(graph.Get(), pin.GetAddressOf(), &valueA, &valueB));
  ok = ok && Check("InitializeEncoder", encoder->InitializeEncoder());
  ok = ok && Check("StartEncoder", encoder->StartEncoder());
  for (int poll = 0; ok && poll < 3; ++poll) {
    EncoderStatus status{};
    ok = Check("GetEncStatus", encoder->GetEncStatus(&status));
    if (ok) {
      std::printf("  state %d, flags %d, error 0x%08lX\n", static_cast<int>(status.stateCode),
                  static_cast<int>(status.flags), static_cast<unsigned long>(status.errorCode));
      ok = status.stateCode == 3 && (status.flags & 1) == 0;
    }
    Sleep(100);
  }
  ok = ok && Check("StopEncoder", encoder->StopEncoder());

  // Detach in any case, so that no filter of the board stays in the graph.
  Check("UnloadEncoder", encoder->UnloadEncoder(graph.Get()));
  return ok;
}

// True when the module answers that nothing of it is in use any more.
bool CanUnload(HMODULE module) {
  const auto canUnloadNow = Export<LPFNCANUNLOADNOW>(module, "DllCanUnloadNow");
  const HRESULT hr = canUnloadNow ? canUnloadNow() : E_NOINTERFACE;
  Check("DllCanUnloadNow", hr);
  return hr == S_OK;
}

// First way: load the DLL and call its export CreateEncoder.
bool ThroughExport() {
  const HMODULE module = LoadLibraryW(L"zelkenc.dll");
  if (!module) {
    std::fprintf(stderr, "zelkenc.dll cannot be loaded (error %lu)\n", GetLastError());
    return false;
  }
  bool ok = false;
  if (const auto createEncoder = Export<PFN_CreateEncoder>(module, "CreateEncoder")) {
    // The ComPtr takes over the one reference the export hands out. (Not with
    // Attach: mingw-w64's ComPtr::Attach adds a reference of its own.)
    ComPtr<IEncoderModule> encoder;
    *encoder.GetAddressOf() = createEncoder(nullptr);
    ok = encoder && Record(encoder.Get());
  }
  ok = CanUnload(module) && ok;
  FreeLibrary(module);
  return ok;
}

// Second way: create the registered class through COM.
bool ThroughCom() {
  bool ok = false;
  {
    ComPtr<IEncoderModule> encoder;
    const HRESULT hr = CoCreateInstance(__uuidof(ZelkEncoder), nullptr, CLSCTX_INPROC_SERVER,
                                        IID_PPV_ARGS(encoder.GetAddressOf()));
    if (hr == REGDB_E_CLASSNOTREG) std::fprintf(stderr, "zelkenc.dll is not registered: regsvr32 zelkenc.dll\n");
    ok = Check("CoCreateInstance", hr) && Record(encoder.Get());
  }
  return CanUnload(GetModuleHandleW(L"zelkenc.dll")) && ok;
}

}  // namespace

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  std::puts("-- through CreateEncoder");
  bool ok = ThroughExport();
  std::puts("-- through CoCreateInstance");
  ok = ThroughCom() && ok;
  CoUninitialize();
  std::puts(ok ? "recorded both ways; the module can unload" : "FAILED");
  return ok ? 0 : 1;
}
