// EncoderObject: the module's one COM object. It drives one capture filter and
// holds the state, every encoding and tuner setting, and the reference to the
// capture filter through which all device traffic goes.
//
// Faces, in layout order: IEncoderModule (handed to the host), GraphControl
// (embedded graph control), the nondelegating unknown (carries the count,
// makes the object aggregatable), ITunerControl (used by the object itself,
// never handed out) and IEncoderBoards (the host's choice of board).
//
// Threads. Every IEncoderModule slot that reads or writes the object holds
// objectLock from entry to return, so calls on one object run one after
// another, waits included, and the operations they reach (the ITunerControl
// face, InitEnc and the front-end writers) run under it. The lock gives turns
// in the order they were asked for (FairLock), so a call waits only for the
// calls ahead of it. Under objectLock the
// object calls only the capture filter's property interface and Sleep, never
// the host: the host's graph is used by LoadEncoder and UnloadEncoder under
// GraphControl's graphLock alone, taken before objectLock, never after it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include <zelk/encoder_module.h>

#include "com_support.h"
#include "encoder/device_search.h"
#include "encoder/fair_lock.h"
#include "encoder/graph_control.h"
#include "encoder/property_channel.h"
#include "tuner/front_end.h"

namespace zelk {

// The nondelegating unknown: slots QueryInterface, AddRef, Release, then the
// destructor, so it can be handed out as an IUnknown.
class INonDelegatingUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) = 0;
  virtual ULONG STDMETHODCALLTYPE InnerAddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE InnerRelease() = 0;
  virtual ~INonDelegatingUnknown() = default;
};

// The object's tuner and video-input face (11 slots, no reference counting).
class ITunerControl {
 public:
  virtual HRESULT STDMETHODCALLTYPE TC_Reserved0() = 0;
  virtual HRESULT STDMETHODCALLTYPE TC_Reserved1() = 0;
  virtual HRESULT STDMETHODCALLTYPE TC_SetChannel(uint32_t channelCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE TC_Reserved3(int32_t value) = 0;
  virtual HRESULT STDMETHODCALLTYPE TC_SetTunerMode(int32_t mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE TC_GetTunerStatus(int32_t* status) = 0;
  virtual HRESULT STDMETHODCALLTYPE TC_Reserved6(int32_t value) = 0;
  virtual HRESULT STDMETHODCALLTYPE TC_Reserved7(int32_t value) = 0;
  virtual HRESULT STDMETHODCALLTYPE TC_SetBCSH(tuner::PictureValues* picture) = 0;
  virtual HRESULT STDMETHODCALLTYPE TC_GetBCSH(tuner::PictureValues* picture) = 0;
  virtual HRESULT STDMETHODCALLTYPE TC_Reserved10(int32_t value) = 0;

 protected:
  ~ITunerControl() = default;
};

// {9A1C3F0E-5B7D-4E21-8C4A-2F6E1D0B7A53}: internal identifier of the tuner face.
// No QueryInterface hands it out; tests ask for it to prove that.
inline constexpr IID IID_ITunerControl = {
    0x9a1c3f0e, 0x5b7d, 0x4e21, {0x8c, 0x4a, 0x2f, 0x6e, 0x1d, 0x0b, 0x7a, 0x53}};

enum EncoderState : int32_t {
  kStateCreated = 0,
  kStateAttached = 1,
  kStateInitialized = 2,
  kStateEncoding = 3,
};

class EncoderObject final : public IEncoderModule,
                            public GraphControl,
                            public INonDelegatingUnknown,
                            public ITunerControl,
                            public IEncoderBoards {
 public:
  // `result` is neither read nor written.
  EncoderObject(IUnknown* outer, HRESULT* result);
  ~EncoderObject() override;

  IUnknown* InnerUnknown() { return reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this)); }

  // IUnknown (slots 0-2): passed to the controlling unknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IEncoderModule.
  HRESULT STDMETHODCALLTYPE Initialize(const char* registryKey, IUnknown* notify) override;
  HRESULT STDMETHODCALLTYPE LoadEncoder(IFilterGraph* graph, IPin** pin, int32_t* valueA,
                                        int32_t* valueB) override;
  HRESULT STDMETHODCALLTYPE Reserved5(int32_t value) override;
  HRESULT STDMETHODCALLTYPE UnloadEncoder(IFilterGraph* graph) override;
  HRESULT STDMETHODCALLTYPE InitializeEncoder() override;
  HRESULT STDMETHODCALLTYPE UninitializeEncoder() override;
  HRESULT STDMETHODCALLTYPE StartEncoder() override;
  HRESULT STDMETHODCALLTYPE StopEncoder() override;
  HRESULT STDMETHODCALLTYPE Reserved11() override;
  HRESULT STDMETHODCALLTYPE Reserved12() override;
  HRESULT STDMETHODCALLTYPE SetVideoInput(const int32_t* in, int32_t* out) override;
  HRESULT STDMETHODCALLTYPE SetVideoSettings(const VideoSettings* in, VideoSettings* out) override;
  HRESULT STDMETHODCALLTYPE SetAudioSettings(const AudioSettings* in, AudioSettings* out) override;
  HRESULT STDMETHODCALLTYPE SetChannel(uint32_t channelCode, ChannelEntry* out) override;
  HRESULT STDMETHODCALLTYPE SetChannelFrequency(const ChannelEntry* entry) override;
  HRESULT STDMETHODCALLTYPE GetChannelInfo(ChannelEntry* entry) override;
  HRESULT STDMETHODCALLTYPE SetTunerMode(int32_t mode) override;
  HRESULT STDMETHODCALLTYPE GetTunerMode(int32_t* mode, int32_t* status) override;
  HRESULT STDMETHODCALLTYPE SetVolume(const int32_t* in, int32_t* out) override;
  HRESULT STDMETHODCALLTYPE SetPictureSettings(const PictureSettings* in, PictureSettings* out) override;
  HRESULT STDMETHODCALLTYPE SetVideoProcessing(const VideoProcessing* in, VideoProcessing* out) override;
  HRESULT STDMETHODCALLTYPE GetEncStatus(EncoderStatus* status) override;
  HRESULT STDMETHODCALLTYPE Reserved25(int32_t a, int32_t b, int32_t c, int32_t d) override;

  // GraphControl.
  HRESULT GraphReserved1() override;
  HRESULT GraphReserved2() override;

  // Nondelegating unknown.
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE InnerAddRef() override;
  ULONG STDMETHODCALLTYPE InnerRelease() override;

  // ITunerControl.
  HRESULT STDMETHODCALLTYPE TC_Reserved0() override;
  HRESULT STDMETHODCALLTYPE TC_Reserved1() override;
  HRESULT STDMETHODCALLTYPE TC_SetChannel(uint32_t channelCode) override;
  HRESULT STDMETHODCALLTYPE TC_Reserved3(int32_t value) override;
  HRESULT STDMETHODCALLTYPE TC_SetTunerMode(int32_t mode) override;
  HRESULT STDMETHODCALLTYPE TC_GetTunerStatus(int32_t* status) override;
  HRESULT STDMETHODCALLTYPE TC_Reserved6(int32_t value) override;
  HRESULT STDMETHODCALLTYPE TC_Reserved7(int32_t value) override;
  HRESULT STDMETHODCALLTYPE TC_SetBCSH(tuner::PictureValues* picture) override;
  HRESULT STDMETHODCALLTYPE TC_GetBCSH(tuner::PictureValues* picture) override;
  HRESULT STDMETHODCALLTYPE TC_Reserved10(int32_t value) override;

  // IEncoderBoards (board_binding.cpp).
  HRESULT STDMETHODCALLTYPE GetBoardCount(UINT32* count) override;
  HRESULT STDMETHODCALLTYPE GetBoard(UINT32 index, BSTR* name, BSTR* devicePath) override;
  HRESULT STDMETHODCALLTYPE BindBoardByIndex(UINT32 index) override;
  HRESULT STDMETHODCALLTYPE BindBoardByPath(const WCHAR* devicePath) override;
  HRESULT STDMETHODCALLTYPE GetBinding(UINT32* index, BSTR* devicePath) override;

  // Step 1 of LoadEncoder for a bound object: the bound board's filter into
  // the graph under the board's own name, or ZELK_E_BOARD_GONE with a trace
  // line that names what was asked.
  HRESULT AddBoundBoard(const BoardBinding& binding, ComPtr<IBaseFilter>* filter);

  // Object operations of the set-up and the front end.
  HRESULT InitEnc();
  HRESULT TC_SetInput(int32_t input);
  HRESULT CtrlGr(uint32_t enable);
  HRESULT Ctrl3dyc(uint32_t enable);
  HRESULT WriteFilterMode(const uint8_t* mode);
  HRESULT WriteVolume(int32_t volume);

  // The property channel to the board through captureFilter.
  PropertyChannel Properties() const { return PropertyChannel(captureFilter); }
  tuner::FrontEndState FrontEnd() const { return {enhancerPresent, processingFlags, videoInput}; }
  bool TunerActive() const { return state >= kStateInitialized && videoInput == 2; }

  // Fields, with their values after construction.
  IUnknown* outerUnknown;  // not counted
  volatile LONG refCount = 0;
  int32_t state = kStateCreated;
  int32_t videoInput = 0;
  int32_t tunerMode = 3;
  uint32_t tvChannel = 1;  // channel code: bits 0-15 the number, bit 16 the plan
  int32_t volume = -2594;
  tuner::PictureValues picture{128, 68, 64, 0};  // brightness, contrast, saturation, hue
  BOOL enhancerPresent = FALSE;
  uint32_t processingFlags = 0;
  uint8_t filterMode = 1;
  uint8_t filterModeExtra[3] = {0, 0, 0};
  uint32_t processingReserved = 0;
  VideoSettings video{0, 2, 6000000, 6000000, 0, 0, 0};
  AudioSettings audio{0, 224000, 2, 0};
  ComPtr<IBaseFilter> captureFilter;
  ComPtr<IUnknown> notify;
  BoardBinding binding;  // the board the next LoadEncoder attaches
  bool loading = false;  // a LoadEncoder runs: binding is refused meanwhile
  // Guards every field above but the counts; see Threads at the top.
  FairLock objectLock;
};

}  // namespace zelk
