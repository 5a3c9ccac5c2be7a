// The simulated driver's property handlers: which IDs each property set
// knows, their directions and payload sizes, and what each request does to
// the board. Size and direction checks answer the way a kernel-streaming
// driver does.
#include <strmif.h>
#include <vfwmsgs.h>

#include <cstring>

#include "board_state.h"

namespace zelk::sim {
namespace {

// {F766A10B-2D29-420F-A07F-11FFD3C98068}: the encoder board's own properties.
constexpr GUID kDeviceSet = {0xf766a10b, 0x2d29, 0x420f, {0xa0, 0x7f, 0x11, 0xff, 0xd3, 0xc9, 0x80, 0x68}};
// {A2713CE2-056E-4FBE-9436-7D6D73D1FDA3}: the input routing property.
constexpr GUID kInputSet = {0xa2713ce2, 0x056e, 0x4fbe, {0x94, 0x36, 0x7d, 0x6d, 0x73, 0xd1, 0xfd, 0xa3}};

constexpr ULONG kRegisterAccess = 89;
constexpr ULONG kFirmware = 91;
constexpr ULONG kInputRouting = 14;
constexpr ULONG kAnySize = 0xFFFFFFFF;  // firmware: checked against its own header

// Devices on the board's register bus.
constexpr uint32_t kGhostReducer = 0x12;
constexpr uint32_t kVolume = 0x1B;
constexpr uint32_t kDecoder = 0x21;
constexpr uint32_t kTunerCompanion = 0x5B;
constexpr uint32_t kYcSeparator = 0x5C;
constexpr uint32_t kTuner = 0x60;
constexpr uint32_t kDecoderStatusRegister = 0x1F;  // bit 0: decoder ready
constexpr uint8_t kWriteFlag = 0x01;
constexpr uint8_t kTunerFrequencyFlags = 0x0B;  // tuner synthesiser write: band, control byte, divider

struct PropertyRule {
  ULONG id;
  bool get;
  bool set;
  ULONG instanceSize;
  ULONG payloadSize;
  bool needsFirmware;  // the encoder chip answers only once its firmware runs
};

constexpr PropertyRule kDeviceProperties[] = {
    {27, false, true, 0, 4, true},    // video format code
    {28, false, true, 0, 4, true},    // aspect code
    {41, false, true, 0, 4, false},   // filter mode
    {44, false, true, 0, 4, true},    // peak bit rate
    {45, false, true, 0, 4, true},    // bit rate
    {88, false, true, 0, 341, true},  // encoder parameter block
    {kRegisterAccess, true, true, 9, 4, false},
    {90, true, false, 0, 30, false},  // device information
    {kFirmware, false, true, 0, kAnySize, false},
    {93, true, false, 0, 10, true},   // encoder status report
    {94, false, true, 0, 2, false},   // input notification
    {99, false, true, 0, 36, true},   // encoder control record
};
static_assert(sizeof kDeviceProperties / sizeof kDeviceProperties[0] == 12, "twelve device properties");

constexpr PropertyRule kInputProperties[] = {{kInputRouting, false, true, 0, 4, false}};

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

template <size_t N>
const PropertyRule* Find(const PropertyRule (&table)[N], ULONG id) {
  for (const PropertyRule& rule : table)
    if (rule.id == id) return &rule;
  return nullptr;
}

// Size check of a buffer: too small is a short buffer, too large (or a
// buffer where none belongs) is an invalid argument.
HRESULT CheckSize(ULONG given, ULONG wanted, bool largerAllowed) {
  if (given < wanted) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  if (given > wanted && !largerAllowed) return E_INVALIDARG;
  return S_OK;
}

HRESULT CheckRequest(const PropertyRule* rule, const LoggedRequest& request) {
  if (!rule || (request.isSet ? !rule->set : !rule->get)) return E_PROP_ID_UNSUPPORTED;
  HRESULT hr = CheckSize(static_cast<ULONG>(request.instance.size()), rule->instanceSize, false);
  if (FAILED(hr) || rule->payloadSize == kAnySize) return hr;
  // A Get may offer a larger buffer; the driver fills what the property holds.
  return CheckSize(request.dataLength, rule->payloadSize, !request.isSet);
}

}  // namespace

bool Board::State::HasDevice(uint32_t device) const {
  switch (device) {
    case kDecoder:
    case kVolume:
    case kTunerCompanion:
    case kTuner:
      return true;
    case kGhostReducer:
    case kYcSeparator:  // the enhancer unit, fitted on boards 4721 and 5632
      return boardCode == 4721 || boardCode == 5632;
    default:
      return false;
  }
}

HRESULT Board::State::Handle(const LoggedRequest& request, const void* data, std::vector<uint8_t>* out) {
  const bool deviceSet = SameGuid(request.set, kDeviceSet);
  if (!deviceSet && !SameGuid(request.set, kInputSet)) return E_PROP_SET_UNSUPPORTED;
  const PropertyRule* rule = deviceSet ? Find(kDeviceProperties, request.id) : Find(kInputProperties, request.id);
  ZELK_SIM_RETURN_IF_FAILED(CheckRequest(rule, request));
  if (rule->needsFirmware && !firmwareLoaded) return HRESULT_FROM_WIN32(ERROR_NOT_READY);

  const auto* bytes = static_cast<const uint8_t*>(data);
  if (!deviceSet) {  // property 14 of the input set: the enhancer routing group
    inputRouting = LoadLe32(bytes);
    return S_OK;
  }
  if (request.id == kRegisterAccess) return RegisterAccess(request, data, out);
  return request.isSet ? DeviceSet(request.id, bytes, request.dataLength) : DeviceGet(request.id, out);
}

HRESULT Board::State::Supported(const GUID& set, ULONG id, DWORD* support) const {
  *support = 0;
  const bool deviceSet = SameGuid(set, kDeviceSet);
  if (!deviceSet && !SameGuid(set, kInputSet)) return E_PROP_SET_UNSUPPORTED;
  const PropertyRule* rule = deviceSet ? Find(kDeviceProperties, id) : Find(kInputProperties, id);
  if (!rule) return E_PROP_ID_UNSUPPORTED;
  *support = (rule->get ? KSPROPERTY_SUPPORT_GET : 0) | (rule->set ? KSPROPERTY_SUPPORT_SET : 0);
  return S_OK;
}

HRESULT Board::State::RegisterAccess(const LoggedRequest& request, const void* data, std::vector<uint8_t>* out) {
  const uint32_t device = LoadLe32(&request.instance[0]);
  const uint8_t flags = request.instance[4];
  const uint32_t reg = LoadLe32(&request.instance[5]);
  // Bit 0 of the flags is the bus direction; it must agree with the request.
  if (((flags & kWriteFlag) != 0) != request.isSet) return E_INVALIDARG;
  if (!HasDevice(device)) return HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);  // no acknowledge on the bus

  if (request.isSet) {
    const uint32_t value = LoadLe32(static_cast<const uint8_t*>(data));
    if (device == kTuner && flags == kTunerFrequencyFlags) {
      // The "register" bytes carry the band-switch byte and the control byte.
      tunerDivider = value;
      tunerBand = request.instance[5];
    } else {
      registers[RegisterKey(device, reg)] = value;
    }
    return S_OK;
  }

  uint32_t value = 0;
  const auto found = registers.find(RegisterKey(device, reg));
  if (found != registers.end()) value = found->second;
  if (device == kDecoder && reg == kDecoderStatusRegister) {
    ++decoderReads;
    const bool ready = decoderReadyAfter >= 0 && decoderReads > decoderReadyAfter;
    value = ready ? (value | 1u) : (value & ~1u);
  }
  out->resize(4);
  std::memcpy(out->data(), &value, 4);
  return S_OK;
}

HRESULT Board::State::DeviceSet(ULONG id, const uint8_t* data, ULONG length) {
  switch (id) {
    case kFirmware: {
      // Header: image length N, then 1; the image follows, N + 8 bytes in all.
      if (length < 8) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
      if (LoadLe32(data + 4) != 1 || LoadLe32(data) != length - 8) return E_INVALIDARG;
      firmware.assign(data + 8, data + length);
      firmwareLoaded = true;
      return S_OK;
    }
    case 88:
      parameterBlock.assign(data, data + length);
      return S_OK;
    case 94:
      inputNotification.assign(data, data + length);
      return S_OK;
    case 99:
      controlRecord.assign(data, data + length);
      return S_OK;
    default:  // 27, 28, 41, 44, 45: one 32-bit value
      encoderProperties[id] = LoadLe32(data);
      return S_OK;
  }
}

HRESULT Board::State::DeviceGet(ULONG id, std::vector<uint8_t>* out) {
  if (id == 90) {  // device information: board code, then 26 bytes the driver leaves zero
    out->assign(30, 0);
    std::memcpy(out->data(), &boardCode, 4);
  } else {  // 93: the encoder status report
    out->assign(statusReport.begin(), statusReport.end());
  }
  return S_OK;
}

}  // namespace zelk::sim
