#include "host_settings.h"

#include <string>

#include "report.h"

namespace zelkhost {
namespace {

constexpr uint32_t kCatvPlanBit = 0x10000;

const char* InputName(int32_t input) {
  switch (input) {
    case 0: return "composite";
    case 1: return "S-video";
    case 2: return "tuner";
    default: return "unknown";
  }
}

bool Refused(SettingsReport* report, const char* operation, HRESULT hr) {
  if (report->problem.empty()) report->problem = std::string(operation) + " refused the setting: " + DescribeResult(hr);
  return false;
}

}  // namespace

bool ApplyStoredSettings(IEncoderModule* encoder, const Options& options, SettingsReport* report) {
  bool ok = true;
  if (options.input) {
    int32_t in = *options.input, out = -1;
    // Before LoadEncoder the input is stored and the re-initialisation that
    // follows it is refused: that is expected here.
    const HRESULT hr = encoder->SetVideoInput(&in, &out);
    report->echo += Format("   video input       %d (%s)\n", out, InputName(out));
    if (out != in) ok = Refused(report, "SetVideoInput", hr);
  }
  if (options.AnyVideoSettings()) {
    VideoSettings settings{};
    encoder->SetVideoSettings(nullptr, &settings);
    if (options.bitRate) settings.bitRate = settings.peakBitRate = *options.bitRate;
    if (options.wide) settings.aspect16x9 = 1;
    VideoSettings out{};
    const HRESULT hr = encoder->SetVideoSettings(&settings, &out);
    report->echo += Format("   video settings    bit rate %d, peak %d bits/s, aspect %s\n", out.bitRate, out.peakBitRate,
        out.aspect16x9 ? "16:9" : "4:3");
    if (FAILED(hr)) ok = Refused(report, "SetVideoSettings", hr);
  }
  if (options.channel) {
    const uint32_t code = static_cast<uint32_t>(*options.channel) | (options.catv ? kCatvPlanBit : 0u);
    ChannelEntry entry{};
    const HRESULT hr = encoder->SetChannel(code, &entry);
    report->echo += Format("   channel           %d, plan %s, video carrier %.2f MHz\n", entry.channelNumber,
        (entry.plan & 1) ? "CATV" : "terrestrial", entry.frequencyHz / 1e6);
    if (FAILED(hr)) ok = Refused(report, "SetChannel", hr);
  }
  if (options.tunerMode) {
    const HRESULT hr = encoder->SetTunerMode(*options.tunerMode);
    int32_t mode = -1, status = 0;
    encoder->GetTunerMode(&mode, &status);  // no board yet: only the mode is meaningful
    report->echo += Format("   tuner mode        %d\n", mode);
    if (FAILED(hr)) ok = Refused(report, "SetTunerMode", hr);
  }
  if (options.volume) {
    int32_t in = *options.volume, out = 0;
    const HRESULT hr = encoder->SetVolume(&in, &out);
    report->echo += Format("   volume            %d (1/100 dB)\n", out);
    if (FAILED(hr)) ok = Refused(report, "SetVolume", hr);
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
    report->echo += Format("   picture           brightness %d, contrast %d, saturation %d, hue %d\n", out.brightness, out.contrast,
        out.saturation, out.hue);
    if (FAILED(hr)) ok = Refused(report, "SetPictureSettings", hr);
  }
  return ok;
}

bool ApplyProcessing(IEncoderModule* encoder, const Options& options, SettingsReport* report) {
  VideoProcessing processing{};
  encoder->SetVideoProcessing(nullptr, &processing);
  if (options.processing) processing.processingFlags = *options.processing;
  if (options.filterMode) processing.filterMode = static_cast<uint8_t>(*options.filterMode);
  VideoProcessing out{};
  const HRESULT hr = encoder->SetVideoProcessing(&processing, &out);
  report->echo += Format("   video processing  flags 0x%X, filter mode %u\n", out.processingFlags, out.filterMode);
  if (FAILED(hr)) return Refused(report, "SetVideoProcessing", hr);
  if (hr == ZELK_INVALID_PARAMETER) {
    report->problem = "SetVideoProcessing refused filter mode " + std::to_string(processing.filterMode);
    return false;
  }
  return true;
}

}  // namespace zelkhost
