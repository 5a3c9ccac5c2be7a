/*
 * A recording host in plain C. It drives zelkenc.dll twice, first through the
 * plain export CreateEncoder, then through COM, and each time records once:
 * attach the board to a DirectShow graph, initialise, start, poll the status,
 * stop, detach, release. At the end it checks that the module can unload.
 *
 * Run it beside zelkenc.dll and MbPciEncoder.rom, with the board's driver
 * installed and zelkenc.dll registered (regsvr32 zelkenc.dll).
 */
#define COBJMACROS
#include <windows.h>
#include <dshow.h>
#include <stdio.h>

/* This file defines IID_IEncoderModule and CLSID_ZelkEncoder for the program. */
#include <initguid.h>
#include <zelk/encoder_module.h>

/* Prints the step and its result; returns nonzero when it succeeded. */
static int Check(const char *step, HRESULT hr) {
  printf("%-20s 0x%08lX\n", step, (unsigned long)hr);
  return SUCCEEDED(hr);
}

/* One recording on the board. */
static int Record(IEncoderModule *encoder) {
  IGraphBuilder *graph = NULL;
  IPin *pin = NULL;
  INT32 valueA = 0, valueB = 0;
  VideoSettings video;
  EncoderStatus status;
  int ok, poll;

  if (!Check("create graph", CoCreateInstance(&CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER,
                                              &IID_IGraphBuilder, (void **)&graph))) {
    return 0;
  }
  ok = Check("Initialize", IEncoderModule_Initialize(encoder, "Software\\SampleHost", NULL));

  /* Settings may be given before the board is attached: 8 Mbit/s, 16:9. */
  ok = ok && Check("read video", IEncoderModule_SetVideoSettings(encoder, NULL, &video));
  video.bitRate = video.peakBitRate = 8000000;
  video.aspect16x9 = 1;
  ok = ok && Check("SetVideoSettings", IEncoderModule_SetVideoSettings(encoder, &video, &video));

  /* The pin is ours from here on, even when LoadEncoder fails while it sets
   * the board up. A real host connects it to its multiplexer or file writer
   * and runs the graph after InitializeEncoder. */
  ok = ok && Check("LoadEncoder", IEncoderModule_LoadEncoder(encoder, (IFilterGraph *)graph, &pin,
                                                             &valueA, &valueB));
  ok = ok && Check("InitializeEncoder", IEncoderModule_InitializeEncoder(encoder));
  ok = ok && Check("StartEncoder", IEncoderModule_StartEncoder(encoder));
  for (poll = 0; ok && poll < 3; ++poll) {
    ok = Check("GetEncStatus", IEncoderModule_GetEncStatus(encoder, &status));
    if (ok) {
      printf("  state %d, flags %d, error 0x%08lX\n", (int)status.stateCode, (int)status.flags,
             (unsigned long)status.errorCode);
      ok = status.stateCode == 3 && (status.flags & 1) == 0;
    }
    Sleep(100);
  }
  ok = ok && Check("StopEncoder", IEncoderModule_StopEncoder(encoder));

  /* Detach in any case, so that no filter of the board stays in the graph. */
  Check("UnloadEncoder", IEncoderModule_UnloadEncoder(encoder, (IFilterGraph *)graph));
  if (pin) IPin_Release(pin);
  IGraphBuilder_Release(graph);
  return ok;
}

/* Nonzero when the module answers that nothing of it is in use any more. */
static int CanUnload(HMODULE module) {
  LPFNCANUNLOADNOW canUnloadNow =
      module ? (LPFNCANUNLOADNOW)(void (*)(void))GetProcAddress(module, "DllCanUnloadNow") : NULL;
  HRESULT hr = canUnloadNow ? canUnloadNow() : E_NOINTERFACE;

  Check("DllCanUnloadNow", hr);
  return hr == S_OK;
}

/* First way: load the DLL and call its export CreateEncoder. */
static int ThroughExport(void) {
  HMODULE module = LoadLibraryW(L"zelkenc.dll");
  PFN_CreateEncoder createEncoder;
  IEncoderModule *encoder;
  int ok;

  if (!module) {
    fprintf(stderr, "zelkenc.dll cannot be loaded (error %lu)\n", GetLastError());
    return 0;
  }
  /* GetProcAddress returns a generic function pointer; cast it to its type. */
  createEncoder = (PFN_CreateEncoder)(void (*)(void))GetProcAddress(module, "CreateEncoder");
  encoder = createEncoder ? createEncoder(NULL) : NULL;
  ok = encoder && Record(encoder);
  if (encoder) IEncoderModule_Release(encoder);
  ok = CanUnload(module) && ok;
  FreeLibrary(module);
  return ok;
}

/* Second way: create the registered class through COM. */
static int ThroughCom(void) {
  IEncoderModule *encoder = NULL;
  HRESULT hr = CoCreateInstance(&CLSID_ZelkEncoder, NULL, CLSCTX_INPROC_SERVER, &IID_IEncoderModule,
                                (void **)&encoder);
  int ok;

  if (hr == REGDB_E_CLASSNOTREG) fprintf(stderr, "zelkenc.dll is not registered: regsvr32 zelkenc.dll\n");
  if (!Check("CoCreateInstance", hr)) return 0;
  ok = Record(encoder);
  IEncoderModule_Release(encoder);
  return CanUnload(GetModuleHandleW(L"zelkenc.dll")) && ok;
}

int main(void) {
  int ok;

  if (FAILED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED))) return 1;
  puts("-- through CreateEncoder");
  ok = ThroughExport();
  puts("-- through CoCreateInstance");
  ok = ThroughCom() && ok;
  CoUninitialize();
  puts(ok ? "recorded both ways; the module can unload" : "FAILED");
  return ok ? 0 : 1;
}
