// Public interface of the MB86393 PCI capture board encoder module (zelkenc.dll).
//
// A host recording application loads zelkenc.dll, gets an encoder object from the
// export CreateEncoder (or through COM, class CLSID_ZelkEncoder), hands it its
// DirectShow filter graph with LoadEncoder and drives the board through the 26
// slots of IEncoderModule. The firmware image "MbPciEncoder.rom" must lie in the
// folder that holds zelkenc.dll.
//
// This header is self-contained: it needs only the Windows SDK headers.
#ifndef ZELK_ENCODER_MODULE_H
#define ZELK_ENCODER_MODULE_H

#include <windows.h>
#include <unknwn.h>
#include <strmif.h>
#include <stddef.h>
#include <stdint.h>

// ---------------------------------------------------------------------------
// Result codes a host sees beside S_OK, S_FALSE, E_FAIL, E_POINTER, E_NOTIMPL,
// E_NOINTERFACE and the driver's own codes, which are passed on unchanged.
// ---------------------------------------------------------------------------

// Plain positive 87 (not a failure HRESULT): an out-of-range channel in
// SetChannelFrequency, a filter mode above 2 in SetVideoProcessing. A sign test
// counts it as success.
#define ZELK_INVALID_PARAMETER ((HRESULT)87)

// A request to the board was not sent because no capture filter is attached
// (before LoadEncoder or after UnloadEncoder), or the filter offers no
// IKsPropertySet.
#define ZELK_E_NO_CAPTURE_FILTER ((HRESULT)0x80040A01L)

// GraphControl::Run: the graph answered S_FALSE and did not report the running
// state within 100 polls of 100 ms. The graph is stopped again before this
// code is returned.
#define ZELK_E_GRAPH_RUN_TIMEOUT ((HRESULT)0x80040A02L)

// Error codes that GetEncStatus reports in EncoderStatus::errorCode.
#define ZELK_ENC_ERROR_GENERAL ((HRESULT)0x87780006L)
#define ZELK_ENC_ERROR_FLAG2 ((HRESULT)0x8778001FL)
#define ZELK_ENC_ERROR_DETAIL ((HRESULT)0x87780028L)

// ---------------------------------------------------------------------------
// Host records: little-endian, packed, exchanged by pointer.
// ---------------------------------------------------------------------------
#pragma pack(push, 1)

// Video encoding settings (SetVideoSettings).
struct VideoSettings {
  int32_t videoType;        // must be 0
  int32_t rateControl;      // must be 2
  int32_t bitRate;          // bits per second; must equal peakBitRate
  int32_t peakBitRate;      // bits per second
  int32_t videoFormatCode;  // must not be 1
  int32_t aspect16x9;       // 0: 4:3, any other value: 16:9
  int32_t videoReserved;    // must be 0
};

// Audio encoding settings (SetAudioSettings); stored and returned only.
struct AudioSettings {
  int32_t audioType;      // must be 0
  int32_t audioBitRate;   // bits per second, any value
  int32_t audioChannels;  // must be 2
  int32_t audioReserved;  // must be 0
};

// Picture settings (SetPictureSettings). Offset 0 is neither read nor written.
struct PictureSettings {
  int32_t ignored;
  int32_t brightness;  // default 128
  int32_t contrast;    // default 68
  int32_t saturation;  // default 64
  int32_t hue;         // default 0
};

// Video processing (SetVideoProcessing).
struct VideoProcessing {
  uint32_t processingFlags;  // bit 0: 3D Y/C separation, bit 1: ghost reduction
  uint8_t filterMode;        // 0, 1 or 2
  uint8_t filterModeExtra[3];  // stored and returned as given
  uint32_t processingReserved;  // stored and returned as given
};

// One channel of the built-in channel plans (SetChannel, SetChannelFrequency,
// GetChannelInfo). The bytes not named are neither read nor written.
struct ChannelEntry {
  int32_t channelNumber;  // 1..62 terrestrial, 1..113 CATV; 0 = current channel
  int32_t plan;           // 0 terrestrial, 1 CATV; may carry 0x100/0x200 tuner status
  int32_t frequencyHz;    // video carrier in Hz
  int32_t cleared12;      // set to 0 by a lookup
  uint8_t cleared16;      // set to 0 by a lookup
  uint8_t reserved17[7];
  uint8_t cleared24;      // set to 0 by a lookup
  uint8_t reserved25[3];
};

// Encoder status (GetEncStatus).
struct EncoderStatus {
  int32_t stateCode;  // 1 (created or attached), 2 (initialised), 3 (encoding)
  int32_t flags;      // bit 0: errorCode is valid; bit 1: video decoder not ready
  int32_t errorCode;  // 0 or the encoder's error code
};

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(VideoSettings) == 28, "VideoSettings is 28 bytes");
static_assert(offsetof(VideoSettings, bitRate) == 8, "VideoSettings layout");
static_assert(offsetof(VideoSettings, videoFormatCode) == 16, "VideoSettings layout");
static_assert(offsetof(VideoSettings, videoReserved) == 24, "VideoSettings layout");
static_assert(sizeof(AudioSettings) == 16, "AudioSettings is 16 bytes");
static_assert(offsetof(AudioSettings, audioChannels) == 8, "AudioSettings layout");
static_assert(offsetof(AudioSettings, audioReserved) == 12, "AudioSettings layout");
static_assert(sizeof(PictureSettings) == 20, "PictureSettings is 20 bytes");
static_assert(offsetof(PictureSettings, brightness) == 4, "PictureSettings layout");
static_assert(offsetof(PictureSettings, hue) == 16, "PictureSettings layout");
static_assert(sizeof(VideoProcessing) == 12, "VideoProcessing is 12 bytes");
static_assert(offsetof(VideoProcessing, filterMode) == 4, "VideoProcessing layout");
static_assert(offsetof(VideoProcessing, filterModeExtra) == 5, "VideoProcessing layout");
static_assert(offsetof(VideoProcessing, processingReserved) == 8, "VideoProcessing layout");
static_assert(sizeof(ChannelEntry) == 28, "ChannelEntry is 28 bytes");
static_assert(offsetof(ChannelEntry, plan) == 4, "ChannelEntry layout");
static_assert(offsetof(ChannelEntry, frequencyHz) == 8, "ChannelEntry layout");
static_assert(offsetof(ChannelEntry, cleared12) == 12, "ChannelEntry layout");
static_assert(offsetof(ChannelEntry, cleared16) == 16, "ChannelEntry layout");
static_assert(offsetof(ChannelEntry, cleared24) == 24, "ChannelEntry layout");
static_assert(sizeof(EncoderStatus) == 12, "EncoderStatus is 12 bytes");
static_assert(offsetof(EncoderStatus, flags) == 4, "EncoderStatus layout");
static_assert(offsetof(EncoderStatus, errorCode) == 8, "EncoderStatus layout");
#endif

// ---------------------------------------------------------------------------
// Identifiers.
// ---------------------------------------------------------------------------

// {8F813A5B-16CD-4E71-A3E2-7C65E7E4D0F7}
static const IID IID_IEncoderModule = {
    0x8f813a5b, 0x16cd, 0x4e71, {0xa3, 0xe2, 0x7c, 0x65, 0xe7, 0xe4, 0xd0, 0xf7}};

// {337E5D3E-AC5C-4C8E-AC22-B757C57CF1D7}, registered as "ZelkEncoderMb86393",
// in-process server, ThreadingModel "Both".
static const CLSID CLSID_ZelkEncoder = {
    0x337e5d3e, 0xac5c, 0x4c8e, {0xac, 0x22, 0xb7, 0x57, 0xc5, 0x7c, 0xf1, 0xd7}};

// ---------------------------------------------------------------------------
// Threads.
//
// The class is registered with ThreadingModel "Both". An object made by
// CreateEncoder or in the multithreaded apartment may be called from any
// thread, from several at once:
// - Calls on one object run one after another: each holds the object's lock
//   from entry to return, so it sees the state, the settings and the capture
//   filter as whole earlier calls left them; records are copied whole. After
//   UnloadEncoder a request finds no filter (ZELK_E_NO_CAPTURE_FILTER).
// - Waits inside one call delay other calls on the same object: 100 ms of
//   decoder settling in LoadEncoder, InitializeEncoder and SetVideoInput, up to
//   100 ms of ready polling in GetEncStatus, 20 ms steps when ghost reduction
//   switches, 200 ms before SetChannel reports the channel.
// - Different objects never block each other. The channel tables shared by
//   all objects (SetChannelFrequency) take no lock.
// - LoadEncoder and UnloadEncoder call into the host's graph without the
//   object's lock: other calls go on meanwhile, and a host may make any call
//   while it holds a lock of its own around its graph. The two wait for each
//   other, also while they call the graph: a host that calls them on one
//   object from two threads holds its graph lock around both or around neither.
// - A host that calls from one thread at a time sees no difference.
//
// Failing steps are reported to the debugger output (OutputDebugStringA) as
// lines beginning "zelkenc: ", e.g. "zelkenc: ERROR ---> LoadEncoder()  step=2".
// ---------------------------------------------------------------------------

// ---------------------------------------------------------------------------
// The encoder interface. Slots 0 to 25, in this order.
//
// Settings operations (slots 13 to 23) take an optional in and an optional out
// pointer: in is checked and stored first, then the value in force is copied
// to out, also after a refusal.
//
// States: 0 created, 1 capture filter attached and set up, 2 initialised and
// idle, 3 encoding.
// ---------------------------------------------------------------------------
#ifdef __cplusplus
struct IEncoderModule : public IUnknown {
  // 3: keeps the notification interface; the key name is only traced.
  virtual HRESULT STDMETHODCALLTYPE Initialize(const char* registryKey, IUnknown* notify) = 0;
  // 4: finds "MB86393 PCI Capture", adds it to the graph, returns its
  // "Video/Muxed Out" pin (the host owns the reference; it may be null), writes
  // 0 and 8 to the two values and downloads firmware and set-up. A null graph or
  // a null out-argument is refused with E_POINTER before anything is touched.
  virtual HRESULT STDMETHODCALLTYPE LoadEncoder(IFilterGraph* graph, IPin** pin, int32_t* valueA,
                                                int32_t* valueB) = 0;
  // 5: ignored, returns S_OK.
  virtual HRESULT STDMETHODCALLTYPE Reserved5(int32_t value) = 0;
  // 6: removes the capture filter and its downstream from the graph; S_OK.
  virtual HRESULT STDMETHODCALLTYPE UnloadEncoder(IFilterGraph* graph) = 0;
  // 7: sends the stored configuration (states 1 and 2), state 2 on success.
  virtual HRESULT STDMETHODCALLTYPE InitializeEncoder() = 0;
  // 8: S_OK in state 2, E_FAIL otherwise; changes nothing.
  virtual HRESULT STDMETHODCALLTYPE UninitializeEncoder() = 0;
  // 9: state 2 -> 3.
  virtual HRESULT STDMETHODCALLTYPE StartEncoder() = 0;
  // 10: state 3 -> 2.
  virtual HRESULT STDMETHODCALLTYPE StopEncoder() = 0;
  // 11, 12: E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE Reserved11() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved12() = 0;
  // 13: 0 composite, 1 S-video, 2 tuner. Other values are refused with
  // E_INVALIDARG (nothing stored, out still filled).
  virtual HRESULT STDMETHODCALLTYPE SetVideoInput(const int32_t* in, int32_t* out) = 0;
  // 14
  virtual HRESULT STDMETHODCALLTYPE SetVideoSettings(const VideoSettings* in, VideoSettings* out) = 0;
  // 15
  virtual HRESULT STDMETHODCALLTYPE SetAudioSettings(const AudioSettings* in, AudioSettings* out) = 0;
  // 16: channel code: bits 0-15 channel number, bit 16 plan (0 terrestrial, 1 CATV).
  virtual HRESULT STDMETHODCALLTYPE SetChannel(uint32_t channelCode, ChannelEntry* out) = 0;
  // 17: overrides one entry of the process-wide channel tables. Null: E_POINTER.
  virtual HRESULT STDMETHODCALLTYPE SetChannelFrequency(const ChannelEntry* entry) = 0;
  // 18: channelNumber 0 describes the current channel. Null: E_POINTER.
  virtual HRESULT STDMETHODCALLTYPE GetChannelInfo(ChannelEntry* entry) = 0;
  // 19
  virtual HRESULT STDMETHODCALLTYPE SetTunerMode(int32_t mode) = 0;
  // 20: null mode: E_POINTER. Without a capture filter the mode is written and
  // ZELK_E_NO_CAPTURE_FILTER is returned for the status.
  virtual HRESULT STDMETHODCALLTYPE GetTunerMode(int32_t* mode, int32_t* status) = 0;
  // 21: hundredths of a decibel, -10000 (lowest) to 0 (highest).
  virtual HRESULT STDMETHODCALLTYPE SetVolume(const int32_t* in, int32_t* out) = 0;
  // 22
  virtual HRESULT STDMETHODCALLTYPE SetPictureSettings(const PictureSettings* in, PictureSettings* out) = 0;
  // 23
  virtual HRESULT STDMETHODCALLTYPE SetVideoProcessing(const VideoProcessing* in, VideoProcessing* out) = 0;
  // 24: null record: E_POINTER, nothing sent.
  virtual HRESULT STDMETHODCALLTYPE GetEncStatus(EncoderStatus* status) = 0;
  // 25: E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE Reserved25(int32_t a, int32_t b, int32_t c, int32_t d) = 0;
};
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IEncoderModule, 0x8f813a5b, 0x16cd, 0x4e71, 0xa3, 0xe2, 0x7c, 0x65, 0xe7, 0xe4, 0xd0, 0xf7)
#endif
#endif  // __cplusplus

// The plain export: returns a new object's IEncoderModule face with one
// reference, or null when memory is exhausted. The HRESULT argument is neither
// read nor written and may be null: test the returned pointer.
#ifdef __cplusplus
typedef IEncoderModule*(WINAPI* PFN_CreateEncoder)(HRESULT* result);
#endif

#endif  // ZELK_ENCODER_MODULE_H
