#include "support/expect.h"

#include <board_protocol.h>
#include <request_log.h>

#include <cstdio>

namespace zelk::test {
namespace {

using board::kDevicePropertySet;
using board::kInputPropertySet;
using board::kPropRegisterAccess;

std::string Line(bool isSet, const GUID& set, ULONG id, const Bytes& instance, const Bytes& data,
                 HRESULT hr = S_OK) {
  sim::LoggedRequest request;
  request.isSet = isSet;
  request.set = set;
  request.id = id;
  request.instance = instance;
  request.data = data;
  request.result = hr;
  return sim::Describe(request);
}

Bytes RegisterInstance(uint32_t device, uint8_t flags, const Bytes& reg) {
  Bytes instance = Le32(device);
  instance.push_back(flags);
  instance.insert(instance.end(), reg.begin(), reg.end());
  return instance;
}

}  // namespace

Bytes Le32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)};
}

std::string RegWrite(uint32_t device, uint32_t reg, uint32_t value, uint8_t flags) {
  return Line(true, kDevicePropertySet, kPropRegisterAccess, RegisterInstance(device, flags, Le32(reg)), Le32(value));
}

std::string RegRead(uint32_t device, uint32_t reg, uint32_t value, uint8_t flags) {
  return Line(false, kDevicePropertySet, kPropRegisterAccess, RegisterInstance(device, flags, Le32(reg)), Le32(value));
}

std::string RegReadFailed(uint32_t device, uint32_t reg, HRESULT hr, uint8_t flags) {
  return Line(false, kDevicePropertySet, kPropRegisterAccess, RegisterInstance(device, flags, Le32(reg)), {}, hr);
}

std::string TunerWrite(uint8_t band, uint32_t divider) {
  return Line(true, kDevicePropertySet, kPropRegisterAccess,
              RegisterInstance(board::kDevTuner, board::kAccessTunerFrequency, {band, 0xC6, 0x00, 0x00}),
              Le32(divider));
}

std::string DevSet(ULONG id, const Bytes& payload) { return Line(true, kDevicePropertySet, id, {}, payload); }
std::string DevGet(ULONG id, const Bytes& returned) { return Line(false, kDevicePropertySet, id, {}, returned); }
std::string DevGetFailed(ULONG id, HRESULT hr) { return Line(false, kDevicePropertySet, id, {}, {}, hr); }
std::string InpSet(ULONG id, const Bytes& payload) { return Line(true, kInputPropertySet, id, {}, payload); }

std::string Failed(const std::string& line, HRESULT hr) {
  char code[24];
  std::snprintf(code, sizeof code, " -> 0x%08lX", static_cast<unsigned long>(hr));
  return line + code;
}

}  // namespace zelk::test
