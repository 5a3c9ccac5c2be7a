// The host's settings operations. Each checks and stores *in* first, then
// copies the value in force to *out*, also after a refusal. A value that only
// waits for InitializeEncoder is stored without the board; one that goes to
// the board at once (volume and picture from state 1, channel and tuner mode
// while the tuner is in use) is stored only when the board took it.
// InitializeEncoder sends the whole stored configuration again. Each holds
// objectLock for its whole run, waits included; SetChannelFrequency touches
// only the process-wide channel tables, whose entries are atomic, and takes no
// lock.
#include <cstring>

#include "encoder/encoder_object.h"

namespace zelk {
namespace {

constexpr DWORD kChannelReportDelayMs = 200;  // the tuner settles before the channel is reported

bool ValidVideoSettings(const VideoSettings& in) {
  return in.videoType == 0 && in.rateControl == 2 && in.videoReserved == 0 && in.bitRate == in.peakBitRate &&
         in.videoFormatCode != 1;
}

bool ValidAudioSettings(const AudioSettings& in) {
  return in.audioType == 0 && in.audioChannels == 2 && in.audioReserved == 0;
}

}  // namespace

HRESULT EncoderObject::SetVideoInput(const int32_t* in, int32_t* out) {
  LockGuard guard(objectLock);
  HRESULT hr = S_OK;
  if (in) {
    if (state == kStateEncoding) {
      hr = E_FAIL;
    } else if (*in < 0 || *in > 2) {
      hr = E_INVALIDARG;  // the board has inputs 0, 1 and 2 only
    } else {
      videoInput = *in;
    }
  }
  if (out) *out = videoInput;
  if (hr == E_INVALIDARG || state == kStateEncoding) return hr;
  return InitializeEncoder();
}

HRESULT EncoderObject::SetVideoSettings(const VideoSettings* in, VideoSettings* out) {
  LockGuard guard(objectLock);
  HRESULT hr = S_OK;
  if (in) {
    if (state == kStateEncoding || !ValidVideoSettings(*in)) {
      hr = E_FAIL;
    } else {
      video = *in;
    }
  }
  if (out) *out = video;
  return hr;
}

HRESULT EncoderObject::SetAudioSettings(const AudioSettings* in, AudioSettings* out) {
  LockGuard guard(objectLock);
  HRESULT hr = S_OK;
  if (in) {
    if (state == kStateEncoding || !ValidAudioSettings(*in)) {
      hr = E_FAIL;
    } else {
      audio = *in;
    }
  }
  if (out) *out = audio;
  return hr;
}

HRESULT EncoderObject::SetChannel(uint32_t channelCode, ChannelEntry* out) {
  LockGuard guard(objectLock);
  HRESULT hr = S_OK;
  if (TunerActive()) {
    hr = TC_SetChannel(channelCode);
    if (SUCCEEDED(hr)) tvChannel = channelCode;
  } else {
    tvChannel = channelCode;
  }
  if (out) {
    Sleep(kChannelReportDelayMs);
    out->channelNumber = 0;
    GetChannelInfo(out);
  }
  return hr;
}

HRESULT EncoderObject::SetChannelFrequency(const ChannelEntry* entry) {
  if (!entry) return E_POINTER;
  return tuner::StoreChannelFrequency(entry);
}

HRESULT EncoderObject::GetChannelInfo(ChannelEntry* entry) {
  if (!entry) return E_POINTER;
  LockGuard guard(objectLock);
  if (entry->channelNumber != 0) {
    tuner::LookupChannelFrequency(entry);
    return S_OK;
  }
  entry->channelNumber = static_cast<int32_t>(tvChannel & 0xFFFF);
  entry->plan = static_cast<int32_t>((tvChannel >> 16) & 1);
  tuner::LookupChannelFrequency(entry);
  if (TunerActive()) {
    int32_t tunerStatus = 0;
    if (SUCCEEDED(TC_GetTunerStatus(&tunerStatus))) entry->plan |= tunerStatus;
  }
  return S_OK;
}

HRESULT EncoderObject::SetTunerMode(int32_t mode) {
  LockGuard guard(objectLock);
  HRESULT hr = S_OK;
  if (TunerActive()) {
    hr = TC_SetTunerMode(mode);
    if (FAILED(hr)) return hr;
  }
  tunerMode = mode;
  return hr;
}

HRESULT EncoderObject::GetTunerMode(int32_t* mode, int32_t* tunerStatus) {
  if (!mode) return E_POINTER;
  LockGuard guard(objectLock);
  *mode = tunerMode;
  int32_t ignored = 0;
  return TC_GetTunerStatus(tunerStatus ? tunerStatus : &ignored);
}

HRESULT EncoderObject::SetVolume(const int32_t* in, int32_t* out) {
  LockGuard guard(objectLock);
  HRESULT hr = S_OK;
  if (in) {
    if (state >= kStateAttached) hr = WriteVolume(*in);
    if (SUCCEEDED(hr)) volume = *in;
  }
  if (out) *out = volume;
  return hr;
}

HRESULT EncoderObject::SetPictureSettings(const PictureSettings* in, PictureSettings* out) {
  LockGuard guard(objectLock);
  HRESULT hr = S_OK;
  if (in) {
    tuner::PictureValues values{in->brightness, in->contrast, in->saturation, in->hue};
    if (state >= kStateAttached) hr = TC_SetBCSH(&values);
    // The host's values are stored as given; the board holds the clamped ones.
    if (SUCCEEDED(hr)) picture = {in->brightness, in->contrast, in->saturation, in->hue};
  }
  if (out) {
    out->brightness = picture.brightness;
    out->contrast = picture.contrast;
    out->saturation = picture.saturation;
    out->hue = picture.hue;
  }
  return hr;
}

HRESULT EncoderObject::SetVideoProcessing(const VideoProcessing* in, VideoProcessing* out) {
  LockGuard guard(objectLock);
  HRESULT hr = S_OK;
  if (in) {
    if (in->filterMode > 2) {
      hr = ZELK_INVALID_PARAMETER;
    } else if (state == kStateEncoding) {
      hr = E_FAIL;
    } else if (!enhancerPresent && (in->processingFlags & 3)) {
      hr = E_FAIL;  // ghost reduction and 3D Y/C separation need the enhancer unit
    } else {
      processingFlags = in->processingFlags;
      filterMode = in->filterMode;
      std::memcpy(filterModeExtra, in->filterModeExtra, sizeof filterModeExtra);
      processingReserved = in->processingReserved;
    }
  }
  if (out) {
    out->processingFlags = processingFlags;
    out->filterMode = filterMode;
    std::memcpy(out->filterModeExtra, filterModeExtra, sizeof filterModeExtra);
    out->processingReserved = processingReserved;
  }
  return hr;
}

}  // namespace zelk
