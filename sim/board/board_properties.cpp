// The simulated driver's property handlers: each request is checked against
// the board's property table (board_protocol.h) the way a kernel-streaming
// driver checks sets, IDs, directions and sizes, then carried out on the board.
#include <strmif.h>
#include <vfwmsgs.h>

#include <cstring>

#include "board_protocol.h"
#include "board_state.h"

namespace zelk::sim {
namespace {

using board::PropertyInfo;

// Size check of a buffer: too small is a short buffer, too large (or a
// buffer where none belongs) is an invalid argument.
HRESULT CheckSize(ULONG given, ULONG wanted, bool largerAllowed) {
  if (given < wanted) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  if (given > wanted && !largerAllowed) return E_INVALIDARG;
  return S_OK;
}

HRESULT CheckRequest(const PropertyInfo* property, const LoggedRequest& request) {
  if (!property || (request.isSet ? !property->set : !property->get)) return E_PROP_ID_UNSUPPORTED;
  HRESULT hr = CheckSize(static_cast<ULONG>(request.instance.size()), property->instanceSize, false);
  if (FAILED(hr) || property->payloadSize == board::kAnySize) return hr;
  // A Get may offer a larger buffer; the driver fills what the property holds.
  return CheckSize(request.dataLength, property->payloadSize, !request.isSet);
}

}  // namespace

bool Board::State::HasDevice(uint32_t device) const {
  for (const board::DeviceInfo& info : board::kDevices)
    if (info.device == device) return !info.enhancerUnit || board::HasEnhancerUnit(boardCode);
  return false;
}

HRESULT Board::State::Handle(const LoggedRequest& request, const void* data, std::vector<uint8_t>* out) {
  if (!board::IsPropertySet(request.set)) return E_PROP_SET_UNSUPPORTED;
  const PropertyInfo* property = board::FindProperty(request.set, request.id);
  ZELK_SIM_RETURN_IF_FAILED(CheckRequest(property, request));
  if (property->needsFirmware && !firmwareLoaded) return HRESULT_FROM_WIN32(ERROR_NOT_READY);

  const auto* bytes = static_cast<const uint8_t*>(data);
  if (property->inputSet) {  // the input routing property: the enhancer routing group
    inputRouting = LoadLe32(bytes);
    return S_OK;
  }
  if (request.id == board::kPropRegisterAccess) return RegisterAccess(request, data, out);
  return request.isSet ? DeviceSet(request.id, bytes, request.dataLength) : DeviceGet(request.id, out);
}

HRESULT Board::State::Supported(const GUID& set, ULONG id, DWORD* support) const {
  *support = 0;
  if (!board::IsPropertySet(set)) return E_PROP_SET_UNSUPPORTED;
  const PropertyInfo* property = board::FindProperty(set, id);
  if (!property) return E_PROP_ID_UNSUPPORTED;
  *support = (property->get ? KSPROPERTY_SUPPORT_GET : 0) | (property->set ? KSPROPERTY_SUPPORT_SET : 0);
  return S_OK;
}

HRESULT Board::State::RegisterAccess(const LoggedRequest& request, const void* data, std::vector<uint8_t>* out) {
  board::RegisterAccessInstance access;
  std::memcpy(&access, request.instance.data(), sizeof access);
  const uint32_t device = access.device, reg = access.reg;
  const uint8_t flags = access.flags;
  // Bit 0 of the flags is the bus direction; it must agree with the request.
  if (((flags & board::kAccessWrite) != 0) != request.isSet) return E_INVALIDARG;
  if (!HasDevice(device)) return HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);  // no acknowledge on the bus

  if (request.isSet) {
    const uint32_t value = LoadLe32(static_cast<const uint8_t*>(data));
    if (device == board::kDevTuner && flags == board::kAccessTunerFrequency) {
      // The "register" bytes carry the band-switch byte and the control byte.
      tunerDivider = value;
      tunerBand = static_cast<uint8_t>(reg);
    } else {
      registers[RegisterKey(device, reg)] = value;
    }
    return S_OK;
  }

  uint32_t value = 0;
  const auto found = registers.find(RegisterKey(device, reg));
  if (found != registers.end()) value = found->second;
  if (device == board::kDevDecoder && reg == board::kDecoderStatus) {
    ++decoderReads;
    const bool ready = decoderReadyAfter >= 0 && decoderReads > decoderReadyAfter;
    value = ready ? (value | board::kDecoderReadyBit) : (value & ~board::kDecoderReadyBit);
  }
  out->resize(4);
  std::memcpy(out->data(), &value, 4);
  return S_OK;
}

HRESULT Board::State::DeviceSet(ULONG id, const uint8_t* data, ULONG length) {
  switch (id) {
    case board::kPropFirmware: {
      // Header: image length N, then 1; the image follows, N + 8 bytes in all.
      if (length < board::kFirmwareHeaderSize) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
      if (LoadLe32(data + 4) != board::kFirmwareHeaderTag || LoadLe32(data) != length - board::kFirmwareHeaderSize)
        return E_INVALIDARG;
      firmware.assign(data + board::kFirmwareHeaderSize, data + length);
      firmwareLoaded = true;
      return S_OK;
    }
    case board::kPropParameterBlock:
      parameterBlock.assign(data, data + length);
      return S_OK;
    case board::kPropInputNotify:
      inputNotification.assign(data, data + length);
      return S_OK;
    case board::kPropControlRecord:
      controlRecord.assign(data, data + length);
      return S_OK;
    default:  // video format, aspect, filter mode, peak bit rate, bit rate: one 32-bit value
      encoderProperties[id] = LoadLe32(data);
      return S_OK;
  }
}

HRESULT Board::State::DeviceGet(ULONG id, std::vector<uint8_t>* out) {
  if (id == board::kPropDeviceInfo) {  // board code, then 26 bytes the driver leaves zero
    out->assign(board::FindProperty(board::kDevicePropertySet, id)->payloadSize, 0);
    std::memcpy(out->data(), &boardCode, 4);
  } else {  // the encoder status report
    out->assign(statusReport.begin(), statusReport.end());
  }
  return S_OK;
}

}  // namespace zelk::sim
