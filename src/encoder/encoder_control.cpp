// Encoder initialisation, start, stop and status.
#include <cstring>
#include <iterator>

#include "encoder/encoder_object.h"
#include "encoder/setup_tables.h"
#include "encoder/trace.h"

namespace zelk {
namespace {


// Bit rate in units of 1/1024 Mbit/s, as the encoder's rate properties take it.
// The product is formed in 64 bits: above about 2.1 Gbit/s it no longer fits
// 32 bits, and the code itself always does.
int32_t RateCode(int32_t bitsPerSecond) {
  return static_cast<int32_t>(static_cast<int64_t>(bitsPerSecond / 1000) * 1024 / 1000);
}

// The encoder's video format codes; values without a code of their own encode as 0.
uint32_t FormatCode(int32_t videoFormatCode) {
  constexpr uint32_t kFormatCodes[] = {0, 0, 1, 2, 6, 5};
  if (videoFormatCode < 0 || static_cast<size_t>(videoFormatCode) >= std::size(kFormatCodes)) return 0;
  return kFormatCodes[videoFormatCode];
}

// MPEG-2 aspect-ratio codes: 2 for 4:3, 3 for 16:9.
uint32_t AspectCode(int32_t aspect16x9) { return aspect16x9 == 0 ? 2 : 3; }

#pragma pack(push, 1)
// What property 93 reports.
struct EncoderStatusReport {
  uint32_t errorValue;
  uint8_t errorFlag1;
  uint8_t errorFlag2;
  uint16_t errorWord;
  uint16_t errorDetail;
};
#pragma pack(pop)
static_assert(sizeof(EncoderStatusReport) == 10, "status report is 10 bytes");

int32_t ErrorCodeOf(const EncoderStatusReport& report) {
  switch (report.errorDetail) {
    case 0x2204:
    case 0x2205:
    case 0x3100:
    case 0x3101:
      return ZELK_ENC_ERROR_DETAIL;
    default:
      break;
  }
  if (report.errorFlag2 & 0x08) return ZELK_ENC_ERROR_FLAG2;
  return ZELK_ENC_ERROR_GENERAL;
}


}  // namespace

HRESULT EncoderObject::InitializeEncoder() {
  LockGuard guard(objectLock);
  if (state != kStateAttached && state != kStateInitialized) return FailStep(kInitializeEncoderTrace, 1, E_FAIL);
  HRESULT hr = TC_SetInput(videoInput);
  if (FAILED(hr)) return FailStep(kInitializeEncoderTrace, 2, hr);
  if (videoInput == 2) {
    hr = TC_SetChannel(tvChannel);
    if (FAILED(hr)) return FailStep(kInitializeEncoderTrace, 3, hr);
    hr = TC_SetTunerMode(tunerMode);
    if (FAILED(hr)) return FailStep(kInitializeEncoderTrace, 4, hr);
  }
  // The object's own picture fields: they keep the clamped values.
  hr = TC_SetBCSH(&picture);
  if (FAILED(hr)) return FailStep(kInitializeEncoderTrace, 5, hr);
  hr = WriteFilterMode(&filterMode);
  if (FAILED(hr)) return FailStep(kInitializeEncoderTrace, 6, hr);
  hr = WriteVolume(volume);
  if (FAILED(hr)) return FailStep(kInitializeEncoderTrace, 7, hr);

  const PropertyChannel properties = Properties();
  const int32_t peakRate = RateCode(video.peakBitRate);
  hr = properties.SetDeviceProperty(kPropPeakBitRate, &peakRate, sizeof peakRate);
  if (FAILED(hr)) return FailStep(kInitializeEncoderTrace, 8, hr);
  const int32_t rate = RateCode(video.bitRate);
  hr = properties.SetDeviceProperty(kPropBitRate, &rate, sizeof rate);
  if (FAILED(hr)) return FailStep(kInitializeEncoderTrace, 9, hr);
  const uint32_t format = FormatCode(video.videoFormatCode);
  hr = properties.SetDeviceProperty(kPropVideoFormat, &format, sizeof format);
  if (FAILED(hr)) return FailStep(kInitializeEncoderTrace, 10, hr);
  const uint32_t aspect = AspectCode(video.aspect16x9);
  hr = properties.SetDeviceProperty(kPropAspect, &aspect, sizeof aspect);
  if (FAILED(hr)) return FailStep(kInitializeEncoderTrace, 11, hr);
  const setup::ControlRecord record = setup::MakeControlRecord(aspect);
  hr = properties.SetDeviceProperty(kPropControlRecord, record.data(), sizeof record);
  if (FAILED(hr)) return FailStep(kInitializeEncoderTrace, 12, hr);

  state = kStateInitialized;
  return hr;
}

HRESULT EncoderObject::StartEncoder() {
  LockGuard guard(objectLock);
  if (state != kStateInitialized) return E_FAIL;
  const HRESULT hr = CtrlGr(processingFlags & 2);
  state = kStateEncoding;  // encoding has started even when ghost reduction did not switch
  return hr;
}

HRESULT EncoderObject::StopEncoder() {
  LockGuard guard(objectLock);
  if (state != kStateEncoding) return E_FAIL;
  state = kStateInitialized;
  return S_OK;
}

HRESULT EncoderObject::GetEncStatus(EncoderStatus* status) {
  if (!status) return E_POINTER;
  LockGuard guard(objectLock);
  status->stateCode = state <= kStateAttached ? 1 : state;

  const PropertyChannel properties = Properties();
  EncoderStatusReport report{};
  const HRESULT hr = properties.Get(DevicePropertySet, kPropEncoderStatus, nullptr, 0, &report, sizeof report);
  if (FAILED(hr)) return FailStep(kGetEncStatusTrace, 1, hr);

  status->flags = 0;
  status->errorCode = 0;
  if (report.errorValue != 0) {
    status->flags = 1;
    status->errorCode = static_cast<int32_t>(report.errorValue);
  } else if (report.errorFlag1 || report.errorFlag2 || report.errorWord || report.errorDetail) {
    status->flags = 1;
    status->errorCode = ErrorCodeOf(report);
  }
  if (tuner::WaitForDecoderReady(properties) != S_OK) status->flags |= 2;  // a failed read counts as not ready
  return hr;
}

}  // namespace zelk
