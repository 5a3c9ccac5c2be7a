#include "property_channel.h"

#include <zelk/encoder_module.h>

namespace zelk {
namespace {

// The property interface lives only for one request.
HRESULT PropertySetOf(const ComPtr<IBaseFilter>& filter, ComPtr<IKsPropertySet>& ks) {
  if (!filter) return ZELK_E_NO_CAPTURE_FILTER;
  if (FAILED(filter.As(&ks)) || !ks) return ZELK_E_NO_CAPTURE_FILTER;
  return S_OK;
}

}  // namespace

HRESULT PropertyChannel::Set(const GUID& set, ULONG id, const void* instance, ULONG instanceLength, const void* data,
                             ULONG dataLength, DWORD waitMs) const {
  ComPtr<IKsPropertySet> ks;
  ZELK_RETURN_IF_FAILED(PropertySetOf(filter_, ks));
  const HRESULT hr = ks->Set(set, id, const_cast<void*>(instance), instanceLength, const_cast<void*>(data),
                             dataLength);
  if (waitMs != 0) Sleep(waitMs);
  return hr;
}

HRESULT PropertyChannel::Get(const GUID& set, ULONG id, const void* instance, ULONG instanceLength, void* data,
                             ULONG dataLength, ULONG* returned, DWORD waitMs) const {
  ComPtr<IKsPropertySet> ks;
  ZELK_RETURN_IF_FAILED(PropertySetOf(filter_, ks));
  ULONG ignored = 0;
  const HRESULT hr = ks->Get(set, id, const_cast<void*>(instance), instanceLength, data, dataLength,
                             returned ? returned : &ignored);
  if (waitMs != 0) Sleep(waitMs);
  return hr;
}

HRESULT PropertyChannel::SetDeviceProperty(ULONG id, const void* data, ULONG size) const {
  return Set(DevicePropertySet, id, nullptr, 0, data, size);
}

HRESULT PropertyChannel::ReadDeviceRegister(uint32_t device, uint8_t flags, uint32_t reg, uint32_t* value,
                                            DWORD waitMs) const {
  *value = 0;
  const RegisterAccessInstance instance{device, flags, reg};
  return Get(DevicePropertySet, kPropRegisterAccess, &instance, sizeof instance, value, sizeof *value,
             nullptr, waitMs);
}

HRESULT PropertyChannel::WriteDeviceRegister(uint32_t device, uint8_t flags, uint32_t reg, uint32_t value,
                                             DWORD waitMs) const {
  const RegisterAccessInstance instance{device, static_cast<uint8_t>(flags | kAccessWrite), reg};
  return Set(DevicePropertySet, kPropRegisterAccess, &instance, sizeof instance, &value, sizeof value,
             waitMs);
}

HRESULT PropertyChannel::WriteRegisterTable(const RegisterWriteEntry* rows, size_t count, size_t* failedRow) const {
  HRESULT hr = S_OK;
  for (size_t row = 0; row < count; ++row) {
    const RegisterWriteEntry& entry = rows[row];
    hr = WriteDeviceRegister(entry.device, static_cast<uint8_t>(entry.flags), entry.reg, entry.value,
                             entry.waitMs);
    if (FAILED(hr)) {
      *failedRow = row;
      return hr;
    }
  }
  *failedRow = count;
  return hr;
}

}  // namespace zelk
