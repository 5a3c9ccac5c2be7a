// The board's front end: tuner, video inputs, picture registers of the video
// decoder, the enhancer unit (ghost reducer and 3D Y/C separator), filter mode
// and volume. Every operation reaches the board only through the device
// property channel; the encoder object's ITunerControl face and its CtrlGr,
// Ctrl3dyc, WriteFilterMode and WriteVolume operations forward here.
#pragma once

#include <windows.h>

#include <cstdint>

#include <zelk/encoder_module.h>

namespace zelk {
class PropertyChannel;
}

namespace zelk::tuner {

// The object's fields that the front-end operations read.
struct FrontEndState {
  BOOL enhancerPresent;      // the board carries the ghost reducer and 3D Y/C separator
  uint32_t processingFlags;  // bit 0: 3D Y/C separation on, bit 1: ghost reduction on
  int32_t videoInput;        // 0 composite, 1 S-video, 2 tuner
};

// Picture record: brightness, contrast, saturation, hue (16 bytes).
struct PictureValues {
  int32_t brightness;
  int32_t contrast;
  int32_t saturation;
  int32_t hue;
};
static_assert(sizeof(PictureValues) == 16, "picture record is 16 bytes");

// The video decoder's ready bit (register 0x1F bit 0): one read, then up to
// five more 20 ms apart. S_OK when ready, S_FALSE when it never was (a failed
// read counts as not ready); without a capture filter the property channel's error.
HRESULT WaitForDecoderReady(const PropertyChannel& properties);

// Enhancer unit and the small settings.
HRESULT CtrlGr(const PropertyChannel& properties, BOOL enhancerPresent, uint32_t enable);
HRESULT Ctrl3dyc(const PropertyChannel& properties, BOOL enhancerPresent, uint32_t enable);
HRESULT WriteFilterMode(const PropertyChannel& properties, const uint8_t* mode);
HRESULT WriteVolume(const PropertyChannel& properties, int32_t volume);

// Channel tables (process-wide, shared by every object) and tuning.
int32_t LookupChannelFrequency(ChannelEntry* entry);       // 0, or 87 out of range
int32_t StoreChannelFrequency(const ChannelEntry* entry);  // 0, or 87 (range or overflow)
HRESULT SetChannel(const PropertyChannel& properties, const FrontEndState& state, uint32_t channelCode);

// Input selection and the tuner's companion device.
HRESULT SetInput(const PropertyChannel& properties, const FrontEndState& state, int32_t input);
HRESULT SetTunerMode(const PropertyChannel& properties, int32_t mode);
HRESULT GetTunerStatus(const PropertyChannel& properties, int32_t* status);

// Picture adjustment.
HRESULT SetBCSH(const PropertyChannel& properties, PictureValues* picture);
HRESULT GetBCSH(const PropertyChannel& properties, PictureValues* picture);

}  // namespace zelk::tuner
