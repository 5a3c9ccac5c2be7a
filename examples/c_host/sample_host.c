/*
 * A recording host in plain C. It drives zelkenc.dll twice, first through the
 * plain export CreateEncoder, then through COM, and each time records once:
 * attach the board to a DirectShow graph, initialise, start, connect the
 * board's pin to the system's File writer, run the graph for 3 s while polling
 * the status, stop, detach, release. The recording goes to sample_host_c.mpg
 * in the current folder (the second one replaces the first). Between the stop
 * and the detach the same graph records again, 4 s into sample_host_c_2.mpg,
 * switching to the S-video input after 1 s. Neither run may see the graph
 * complete: a capture source streams until the host stops it. At the end it
 * checks that the module can unload.
 *
 * Run it beside zelkenc.dll and MbPciEncoder.rom, with zelkenc.dll registered
 * (regsvr32 zelkenc.dll) and a board: the real one with its driver installed,
 * or the package's virtual board (regsvr32 sim\x64\zelksim.dll, or
 * sim\x86 for a 32-bit build), which is what it is tested on.
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

#define RECORD_FILE L"sample_host_c.mpg"
#define RECORD_SECONDS 3
#define SECOND_FILE L"sample_host_c_2.mpg"
#define SECOND_SECONDS 4

/* Releases a COM interface through its IUnknown, when there is one. */
static void Free(void *object) {
  if (object) IUnknown_Release((IUnknown *)object);
}

/* Adds the system's File writer to the graph, writing to `file`, and
 * connects the board's pin to it. */
static int ConnectFileWriterTo(IGraphBuilder *graph, IPin *pin, const WCHAR *file) {
  IBaseFilter *writer = NULL;
  IFileSinkFilter *sink = NULL;
  IEnumPins *pins = NULL;
  IPin *input = NULL;
  int ok = Check("create File writer", CoCreateInstance(&CLSID_FileWriter, NULL, CLSCTX_INPROC_SERVER,
                                                         &IID_IBaseFilter, (void **)&writer));

  ok = ok && Check("file sink", IBaseFilter_QueryInterface(writer, &IID_IFileSinkFilter, (void **)&sink));
  ok = ok && Check("SetFileName", IFileSinkFilter_SetFileName(sink, file, NULL));
  ok = ok && Check("AddFilter", IGraphBuilder_AddFilter(graph, writer, file));
  ok = ok && Check("writer pins", IBaseFilter_EnumPins(writer, &pins));
  ok = ok && IEnumPins_Next(pins, 1, &input, NULL) == S_OK;
  ok = ok && Check("ConnectDirect", IGraphBuilder_ConnectDirect(graph, pin, input, NULL));
  Free(input);
  Free(pins);
  Free(sink);
  Free(writer); /* the graph holds it now */
  return ok;
}

/* Nonzero when the graph has reported that its stream completed (EC_COMPLETE)
 * since the last look; reads and frees every event waiting. */
static int Completed(IGraphBuilder *graph) {
  IMediaEvent *events = NULL;
  long code;
  LONG_PTR param1, param2;
  int completed = 0;

  if (FAILED(IGraphBuilder_QueryInterface(graph, &IID_IMediaEvent, (void **)&events))) return 0;
  while (IMediaEvent_GetEvent(events, &code, &param1, &param2, 0) == S_OK) {
    if (code == EC_COMPLETE) completed = 1;
    IMediaEvent_FreeEventParams(events, code, param1, param2);
  }
  Free(events);
  if (completed) puts("  the graph completed while the board was recording");
  return completed;
}

static int ConnectFileWriter(IGraphBuilder *graph, IPin *pin) { return ConnectFileWriterTo(graph, pin, RECORD_FILE); }

/* Runs the graph for RECORD_SECONDS, polling the encoder's status each second. */
static int RunAndPoll(IGraphBuilder *graph, IEncoderModule *encoder) {
  IMediaControl *control = NULL;
  EncoderStatus status;
  DWORD started;
  int ok = Check("media control", IGraphBuilder_QueryInterface(graph, &IID_IMediaControl, (void **)&control));
  int poll;

  ok = ok && Check("Run", IMediaControl_Run(control));
  started = GetTickCount();
  for (poll = 0; ok && poll < RECORD_SECONDS; ++poll) {
    Sleep(1000);
    ok = Check("GetEncStatus", IEncoderModule_GetEncStatus(encoder, &status));
    if (ok) {
      printf("  state %d, flags %d, error 0x%08lX\n", (int)status.stateCode, (int)status.flags,
             (unsigned long)status.errorCode);
      ok = status.stateCode == 3 && (status.flags & 1) == 0 && !Completed(graph);
    }
  }
  if (control) {
    ok = Check("Stop", IMediaControl_Stop(control)) && ok;
    printf("recorded %.1f s\n", (GetTickCount() - started) / 1000.0);
  }
  Free(control);
  return ok;
}

/* The second recording in the same graph, into SECOND_FILE: what every
 * recording application does between two recordings. After 1 s the encoder
 * is stopped, switched to the S-video input and started again while the graph
 * runs; the board's stream goes on and changes its picture where its clip
 * ends a pass. */
static int RecordAgain(IGraphBuilder *graph, IEncoderModule *encoder) {
  IBaseFilter *writer = NULL;
  IFileSinkFilter *sink = NULL;
  IMediaControl *control = NULL;
  INT32 svideo = 1;
  DWORD started;
  int ok = Check("find File writer", IGraphBuilder_FindFilterByName(graph, RECORD_FILE, &writer));

  ok = ok && Check("file sink", IBaseFilter_QueryInterface(writer, &IID_IFileSinkFilter, (void **)&sink));
  ok = ok && Check("SetFileName", IFileSinkFilter_SetFileName(sink, SECOND_FILE, NULL));
  ok = ok && Check("media control", IGraphBuilder_QueryInterface(graph, &IID_IMediaControl, (void **)&control));
  Completed(graph); /* what the first run left */
  ok = ok && Check("Run again", IMediaControl_Run(control));
  started = GetTickCount();
  if (ok) {
    Sleep(1000);
    ok = !Completed(graph);
    ok = ok && Check("StopEncoder", IEncoderModule_StopEncoder(encoder));
    ok = ok && Check("SetVideoInput", IEncoderModule_SetVideoInput(encoder, &svideo, NULL));
    ok = ok && Check("StartEncoder", IEncoderModule_StartEncoder(encoder));
    while (ok && GetTickCount() - started < SECOND_SECONDS * 1000) {
      Sleep(250);
      ok = !Completed(graph);
    }
  }
  if (control) {
    ok = Check("Stop", IMediaControl_Stop(control)) && ok;
    printf("recorded %.1f s again\n", (GetTickCount() - started) / 1000.0);
  }
  Free(control);
  Free(sink);
  Free(writer);
  return ok;
}

/* One recording on the board. */
static int Record(IEncoderModule *encoder) {
  IGraphBuilder *graph = NULL;
  IPin *pin = NULL;
  INT32 valueA = 0, valueB = 0;
  VideoSettings video;
  WIN32_FILE_ATTRIBUTE_DATA file;
  int ok;

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
   * the board up. The board streams once InitializeEncoder has configured it
   * and the graph runs. */
  ok = ok && Check("LoadEncoder", IEncoderModule_LoadEncoder(encoder, (IFilterGraph *)graph, &pin,
                                                             &valueA, &valueB));
  ok = ok && Check("InitializeEncoder", IEncoderModule_InitializeEncoder(encoder));
  ok = ok && Check("StartEncoder", IEncoderModule_StartEncoder(encoder));
  ok = ok && ConnectFileWriter(graph, pin);
  ok = ok && RunAndPoll(graph, encoder);
  ok = ok && RecordAgain(graph, encoder);
  ok = ok && Check("StopEncoder", IEncoderModule_StopEncoder(encoder));
  if (ok && GetFileAttributesExW(RECORD_FILE, GetFileExInfoStandard, &file))
    printf("%lu bytes in sample_host_c.mpg\n", (unsigned long)file.nFileSizeLow);

  /* Detach in any case, so that no filter of the board stays in the graph. */
  Check("UnloadEncoder", IEncoderModule_UnloadEncoder(encoder, (IFilterGraph *)graph));
  Free(pin);
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

/* ---- Two boards in one PC: two programmes at once ----------------------
 * Two objects, each bound to its own board by the board's device path (the
 * path is what an application remembers: it stays the same across reboots,
 * while the order of the list may not). Both boards go into one graph, each
 * with its own File writer, and the graph runs once for both. */
#define BOARD_FILE_1 L"sample_board1.mpg"
#define BOARD_FILE_2 L"sample_board2.mpg"

/* Binds the encoder to board `index` of the list, by its path; a device
 * without a path is bound by its index (an empty path would unbind). */
static int BindByPath(IEncoderModule *encoder, UINT32 index) {
  IEncoderBoards *boards = NULL;
  BSTR name = NULL, path = NULL;
  int ok = Check("IEncoderBoards", IEncoderModule_QueryInterface(encoder, &IID_IEncoderBoards, (void **)&boards));

  ok = ok && Check("GetBoard", IEncoderBoards_GetBoard(boards, index, &name, &path));
  if (ok) printf("  %ls at %ls\n", name, path);
  ok = ok && Check("Bind", SysStringLen(path) ? IEncoderBoards_BindBoardByPath(boards, path)
                                              : IEncoderBoards_BindBoardByIndex(boards, index));
  SysFreeString(name);
  SysFreeString(path);
  Free(boards);
  return ok;
}

/* Attaches the bound board to the graph and starts its encoder, writing to `file`. */
static int StartBoard(IGraphBuilder *graph, IEncoderModule *encoder, const WCHAR *file, IPin **pin) {
  INT32 valueA = 0, valueB = 0;
  int ok = Check("Initialize", IEncoderModule_Initialize(encoder, "Software\\SampleHost", NULL));

  ok = ok && Check("LoadEncoder", IEncoderModule_LoadEncoder(encoder, (IFilterGraph *)graph, pin,
                                                             &valueA, &valueB));
  ok = ok && Check("InitializeEncoder", IEncoderModule_InitializeEncoder(encoder));
  ok = ok && Check("StartEncoder", IEncoderModule_StartEncoder(encoder));
  return ok && ConnectFileWriterTo(graph, *pin, file);
}

/* Sets *recorded when two boards were there and both recorded. */
static int RecordTwoBoards(int *recorded) {
  IEncoderModule *encoders[2] = {NULL, NULL};
  IPin *pins[2] = {NULL, NULL};
  const WCHAR *files[2] = {BOARD_FILE_1, BOARD_FILE_2};
  IGraphBuilder *graph = NULL;
  IEncoderBoards *boards = NULL;
  UINT32 count = 0;
  int ok, i;

  ok = Check("create graph", CoCreateInstance(&CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER,
                                              &IID_IGraphBuilder, (void **)&graph));
  for (i = 0; i < 2; ++i) {
    ok = ok && Check("CoCreateInstance", CoCreateInstance(&CLSID_ZelkEncoder, NULL, CLSCTX_INPROC_SERVER,
                                                          &IID_IEncoderModule, (void **)&encoders[i]));
  }
  ok = ok && Check("IEncoderBoards", IEncoderModule_QueryInterface(encoders[0], &IID_IEncoderBoards,
                                                                   (void **)&boards));
  ok = ok && Check("GetBoardCount", IEncoderBoards_GetBoardCount(boards, &count));
  Free(boards);
  if (ok && count < 2) printf("  %u board in this PC: nothing to record from a second one\n", (unsigned)count);
  for (i = 0; i < 2 && count >= 2; ++i) ok = ok && BindByPath(encoders[i], (UINT32)i + 1);
  for (i = 0; i < 2 && count >= 2; ++i) ok = ok && StartBoard(graph, encoders[i], files[i], &pins[i]);
  /* Both File writers are in the graph: one Run records both boards. */
  ok = ok && (count < 2 || RunAndPoll(graph, encoders[0]));
  ok = ok && (count < 2 || Check("GetEncStatus 2", IEncoderModule_GetEncStatus(encoders[1], &(EncoderStatus){0})));
  for (i = 0; i < 2; ++i) {
    if (!encoders[i]) continue;
    if (!pins[i]) {
      IEncoderModule_Release(encoders[i]);
      continue;
    }
    ok = Check("StopEncoder", IEncoderModule_StopEncoder(encoders[i])) && ok;
    if (graph) Check("UnloadEncoder", IEncoderModule_UnloadEncoder(encoders[i], (IFilterGraph *)graph));
    Free(pins[i]);
    IEncoderModule_Release(encoders[i]);
  }
  Free(graph);
  *recorded = ok && count >= 2;
  return ok;
}

int main(void) {
  int ok, twoBoards = 0;

  if (FAILED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED))) return 1;
  puts("-- through CreateEncoder");
  ok = ThroughExport();
  puts("-- through CoCreateInstance");
  ok = ThroughCom() && ok;
  puts("-- two boards at once");
  ok = RecordTwoBoards(&twoBoards) && ok;
  CoUninitialize();
  if (!ok) puts("FAILED");
  else if (twoBoards) puts("recorded both ways and from two boards at once; the module can unload");
  else puts("recorded both ways (one board: none from two at once); the module can unload");
  return ok ? 0 : 1;
}
