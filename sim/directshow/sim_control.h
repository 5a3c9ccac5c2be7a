// The simulated board's private control interface and class identifiers.
//
// zelksim.dll serves the capture filter class CLSID_ZelkSimCapture; every
// instance made from one device talks to that device's board (the board is
// the hardware, filter instances are handles to it). The DLL can register up
// to 8 boards (regsvr32 /i:N zelksim.dll), each a device of its own with its
// own "DevicePath", its own state, request log, faults and stream; a filter
// learns its board from the device's property bag (IPersistPropertyBag::Load)
// and drives board 1 when it is created without one. A test or the demo host
// queries an instance of a board's device for ISimBoardControl to script that
// board, read its request log and inject faults. Self-contained: only Windows
// headers, plain COM types.
#ifndef ZELK_SIM_CONTROL_H
#define ZELK_SIM_CONTROL_H

#include <windows.h>
#include <unknwn.h>

// {6C1B7E52-3F0A-4D8B-9E61-2A54C9D7B301}: the simulated capture board, registered
// in the video-input category as "MB86393 PCI Capture".
static const CLSID CLSID_ZelkSimCapture = {
    0x6c1b7e52, 0x3f0a, 0x4d8b, {0x9e, 0x61, 0x2a, 0x54, 0xc9, 0xd7, 0xb3, 0x01}};
// {6C1B7E52-3F0A-4D8B-9E61-2A54C9D7B302}: "other camera", a plain video-input
// filter without the board (one output pin "Capture", no IKsPropertySet).
static const CLSID CLSID_ZelkSimOtherCamera = {
    0x6c1b7e52, 0x3f0a, 0x4d8b, {0x9e, 0x61, 0x2a, 0x54, 0xc9, 0xd7, 0xb3, 0x02}};
// {6C1B7E52-3F0A-4D8B-9E61-2A54C9D7B303}: the downstream test filter (class ID
// only, created in-process, never registered).
static const CLSID CLSID_ZelkSimTestFilter = {
    0x6c1b7e52, 0x3f0a, 0x4d8b, {0x9e, 0x61, 0x2a, 0x54, 0xc9, 0xd7, 0xb3, 0x03}};

// {6C1B7E52-3F0A-4D8B-9E61-2A54C9D7B304}: the board's filter as a faulty driver
// exposes it without its output pin (only "Video In").
static const CLSID CLSID_ZelkSimCaptureWithoutPin = {
    0x6c1b7e52, 0x3f0a, 0x4d8b, {0x9e, 0x61, 0x2a, 0x54, 0xc9, 0xd7, 0xb3, 0x04}};
// {6C1B7E52-3F0A-4D8B-9E61-2A54C9D7B305}: the board's pins without
// IKsPropertySet (and without ISimBoardControl).
static const CLSID CLSID_ZelkSimCaptureWithoutProperties = {
    0x6c1b7e52, 0x3f0a, 0x4d8b, {0x9e, 0x61, 0x2a, 0x54, 0xc9, 0xd7, 0xb3, 0x05}};

#define ZELK_SIM_DEVICE_NAME L"MB86393 PCI Capture"
#define ZELK_SIM_OUTPUT_PIN L"Video/Muxed Out"
#define ZELK_SIM_INPUT_PIN L"Video In"

#define ZELK_SIM_LOG_INSTANCE_MAX 32
#define ZELK_SIM_LOG_DATA_MAX 512

#pragma pack(push, 8)
// One request of the board's log. Instance and payload bytes beyond the
// inline buffers are read with GetLogBytes.
typedef struct SimLogEntry {
  BOOL isSet;           // Set (TRUE) or Get (FALSE)
  GUID set;             // property set
  ULONG id;             // property ID
  ULONG instanceSize;   // instance bytes sent (may exceed the inline buffer)
  BYTE instance[ZELK_SIM_LOG_INSTANCE_MAX];
  ULONG dataSize;       // Set: payload bytes sent; Get: bytes handed back
  BYTE data[ZELK_SIM_LOG_DATA_MAX];
  ULONG dataLength;     // length of the caller's payload buffer
  HRESULT result;       // what the board answered
  LONGLONG timeUs;      // arrival, microseconds since the board was created or reset
} SimLogEntry;

// A fault: every request that matches fails with hr and has no effect.
// Device, register and value are compared only for register accesses
// (property 89, 9-byte instance); the value only for a write.
typedef struct SimFaultMatch {
  BOOL isSet;
  GUID set;
  ULONG id;
  BOOL matchDevice;
  DWORD device;
  BOOL matchRegister;
  DWORD reg;
  BOOL matchValue;
  DWORD value;
  HRESULT hr;
} SimFaultMatch;

// What the board has received (the last of each).
typedef struct SimBoardEffects {
  BOOL firmwareLoaded;
  ULONG firmwareLength;         // image bytes after the 8-byte header
  ULONG parameterBlockLength;   // 0 until property 88 arrived
  BYTE parameterBlock[341];
  ULONG controlRecordLength;    // 0 until property 99 arrived
  BYTE controlRecord[36];
  ULONG encoderPropertyMask;    // bit i: encoderProperty[i] received; order 27, 28, 41, 44, 45
  DWORD encoderProperty[5];
  ULONG inputNotificationLength;  // 0 until property 94 arrived
  BYTE inputNotification[2];
  BOOL inputRoutingSet;         // property 14 of the input set
  DWORD inputRouting;
  DWORD tunerDivider;           // last tuner frequency write
  BYTE tunerBand;
} SimBoardEffects;

// Faults of the encoder's output scripted with ScriptStream.
#define ZELK_SIM_STREAM_NORMAL 0   // the stream as the encoder makes it
#define ZELK_SIM_STREAM_DEAD 1     // the board stops sending: no further sample, no end of stream
#define ZELK_SIM_STREAM_CORRUPT 2  // every further sample is damaged (pack start code and payload bytes)

// What the output pin's streaming is doing (SimStreamStatus::state).
#define ZELK_SIM_STREAM_IDLE 0                // the filter is stopped, or runs without a connected pin
#define ZELK_SIM_STREAM_NO_FIRMWARE 1         // running, waiting for the firmware download
#define ZELK_SIM_STREAM_NOT_CONFIGURED 2      // running, waiting for the encoder configuration (control record)
#define ZELK_SIM_STREAM_DELIVERING 3          // samples go downstream
#define ZELK_SIM_STREAM_BOARD_DEAD 4          // a scripted dead board: nothing more until the filter stops
#define ZELK_SIM_STREAM_DOWNSTREAM_STOPPED 5  // the downstream pin refused a sample (lastResult)
#define ZELK_SIM_STREAM_NO_CLIP 6             // a clip could not be read (lastResult, reason)
#define ZELK_SIM_STREAM_NO_SAMPLES_TAKEN 7    // the downstream pin has no IMemInputPin

// The encoder output's counters since the board was created or reset.
typedef struct SimStreamStatus {
  DWORD state;                 // ZELK_SIM_STREAM_IDLE ...
  ULONGLONG samples;           // samples delivered
  ULONGLONG bytes;             // bytes delivered
  ULONG runs;                  // runs that delivered a first sample (each one marked a discontinuity)
  LONGLONG lastStart;          // time stamps of the last sample, 100 ns on the graph's stream time
  LONGLONG lastEnd;
  ULONGLONG clipBytes;         // the clip playing: its bytes per pass and its length in 90 kHz ticks,
  ULONGLONG clipTicks;         // so the stream's nominal rate is clipBytes * 90000 / clipTicks bytes/s
  ULONGLONG threadCpuUs;       // CPU time of the streaming thread of the last run, in microseconds
  HRESULT lastResult;          // the last refusal or error, S_OK otherwise
  char reason[160];            // the last line the board logged about its stream
} SimStreamStatus;
#pragma pack(pop)

#ifdef __cplusplus
// {6C1B7E52-3F0A-4D8B-9E61-2A54C9D7B310}. MIDL_INTERFACE gives the interface
// its UUID for compilers that read __declspec(uuid); mingw-w64 learns it from
// __CRT_UUID_DECL below. Either way __uuidof(ISimBoardControl) and
// IID_PPV_ARGS work.
MIDL_INTERFACE("6C1B7E52-3F0A-4D8B-9E61-2A54C9D7B310")
ISimBoardControl : public IUnknown {
  // Power-on state: scripting, registers, firmware, effects, log and faults cleared.
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  // Board code of property 90 (4721 and 5632: enhancer unit fitted). Default 4096.
  virtual HRESULT STDMETHODCALLTYPE SetBoardCode(DWORD code) = 0;
  // The 10-byte report of property 93.
  virtual HRESULT STDMETHODCALLTYPE SetStatusReport(const BYTE* report10) = 0;
  // Decoder ready bit (device 0x21, register 0x1F, bit 0): not ready for the
  // first `reads` reads, then ready. 0 = at once, -1 = never.
  virtual HRESULT STDMETHODCALLTYPE SetDecoderReadyAfterReads(LONG reads) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetRegister(DWORD device, DWORD reg, DWORD value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRegister(DWORD device, DWORD reg, DWORD* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEffects(SimBoardEffects* effects) = 0;
  // The firmware image received (after the header). *copied = bytes written.
  virtual HRESULT STDMETHODCALLTYPE GetFirmware(BYTE* buffer, ULONG size, ULONG* copied) = 0;

  virtual HRESULT STDMETHODCALLTYPE GetLogCount(ULONG* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLogEntry(ULONG index, SimLogEntry* entry) = 0;
  // All instance (instance = TRUE) or payload bytes of one entry.
  virtual HRESULT STDMETHODCALLTYPE GetLogBytes(ULONG index, BOOL instance, BYTE* buffer, ULONG size,
                                                ULONG* copied) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearLog() = 0;

  // Fails the k-th request from now (1 = the next one) with hr.
  virtual HRESULT STDMETHODCALLTYPE FailRequest(ULONG k, HRESULT hr) = 0;
  virtual HRESULT STDMETHODCALLTYPE FailMatching(const SimFaultMatch* match) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearFaults() = 0;

  // Holds the next request of property `id` of `*set` as it arrives, before
  // the board looks at it: signals `arrived`, then waits for `resume` (at most
  // 10 s). For benchmarks that inspect the caller while a request is in flight.
  virtual HRESULT STDMETHODCALLTYPE HoldNextArrival(const GUID* set, ULONG id, HANDLE arrived, HANDLE resume) = 0;

  // The encoder's output. A fault from the `afterSamples`-th sample on (0 = the
  // next one); ZELK_SIM_STREAM_NORMAL takes it back.
  virtual HRESULT STDMETHODCALLTYPE ScriptStream(DWORD fault, ULONG afterSamples) = 0;
  // The folder of the clips (zelksim_composite.mpg, zelksim_svideo.mpg,
  // zelksim_tuner.mpg); null or empty: the folder of zelksim.dll.
  virtual HRESULT STDMETHODCALLTYPE SetClipFolder(LPCWSTR folder) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStreamStatus(SimStreamStatus* status) = 0;
};
#if defined(__MINGW32__) && defined(__CRT_UUID_DECL)
__CRT_UUID_DECL(ISimBoardControl, 0x6c1b7e52, 0x3f0a, 0x4d8b, 0x9e, 0x61, 0x2a, 0x54, 0xc9, 0xd7, 0xb3, 0x10)
#endif
#endif  // __cplusplus

static const IID IID_ISimBoardControl = {
    0x6c1b7e52, 0x3f0a, 0x4d8b, {0x9e, 0x61, 0x2a, 0x54, 0xc9, 0xd7, 0xb3, 0x10}};

// Exports of zelksim.dll beside the four COM exports, for tests that need
// further video-input devices. Registered through the filter mapper in the
// video-input category; `kind` picks the device's class (TRUE and FALSE keep
// their old meaning: another handle to the shared board, an "other camera").
#define ZELK_SIM_OTHER_CAMERA 0
#define ZELK_SIM_BOARD 1
#define ZELK_SIM_BOARD_WITHOUT_PIN 2
#define ZELK_SIM_BOARD_WITHOUT_PROPERTIES 3
typedef HRESULT(WINAPI* PFN_SimRegisterDevice)(LPCWSTR friendlyName, LPCWSTR instanceName, BOOL kind);
typedef HRESULT(WINAPI* PFN_SimUnregisterDevice)(LPCWSTR instanceName);

#endif  // ZELK_SIM_CONTROL_H
