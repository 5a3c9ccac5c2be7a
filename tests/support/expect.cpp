#include "support/expect.h"

#include <request_log.h>

#include <cstdio>

namespace zelk::test {
namespace {

constexpr GUID kDeviceSet = {0xf766a10b, 0x2d29, 0x420f, {0xa0, 0x7f, 0x11, 0xff, 0xd3, 0xc9, 0x80, 0x68}};
constexpr GUID kInputSet = {0xa2713ce2, 0x056e, 0x4fbe, {0x94, 0x36, 0x7d, 0x6d, 0x73, 0xd1, 0xfd, 0xa3}};
constexpr ULONG kRegisterAccess = 89;

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
  return Line(true, kDeviceSet, kRegisterAccess, RegisterInstance(device, flags, Le32(reg)), Le32(value));
}

std::string RegRead(uint32_t device, uint32_t reg, uint32_t value, uint8_t flags) {
  return Line(false, kDeviceSet, kRegisterAccess, RegisterInstance(device, flags, Le32(reg)), Le32(value));
}

std::string RegReadFailed(uint32_t device, uint32_t reg, HRESULT hr, uint8_t flags) {
  return Line(false, kDeviceSet, kRegisterAccess, RegisterInstance(device, flags, Le32(reg)), {}, hr);
}

std::string TunerWrite(uint8_t band, uint32_t divider) {
  return Line(true, kDeviceSet, kRegisterAccess, RegisterInstance(0x60, 0x0B, {band, 0xC6, 0x00, 0x00}),
              Le32(divider));
}

std::string DevSet(ULONG id, const Bytes& payload) { return Line(true, kDeviceSet, id, {}, payload); }
std::string DevGet(ULONG id, const Bytes& returned) { return Line(false, kDeviceSet, id, {}, returned); }
std::string DevGetFailed(ULONG id, HRESULT hr) { return Line(false, kDeviceSet, id, {}, {}, hr); }
std::string InpSet(ULONG id, const Bytes& payload) { return Line(true, kInputSet, id, {}, payload); }

std::string Failed(const std::string& line, HRESULT hr) {
  char code[24];
  std::snprintf(code, sizeof code, " -> 0x%08lX", static_cast<unsigned long>(hr));
  return line + code;
}

}  // namespace zelk::test
