// InitEnc: puts the board into a known state after the capture filter has been
// attached: firmware download, board variant, parameter block, control record
// and the fixed register tables.
#include <windows.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "encoder/encoder_object.h"
#include "encoder/firmware_file.h"
#include "encoder/setup_tables.h"
#include "encoder/trace.h"
#include "module/module_state.h"

namespace zelk {
namespace {

// The firmware file stays open for the whole routine and is closed on every way out.
struct FileHandle {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~FileHandle() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

// Reads the whole file behind the 8-byte header {N, 1}. Null on any failure.
std::unique_ptr<uint8_t[]> ReadFirmware(HANDLE file, uint32_t* imageBytes) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
      !FirmwareSizeAccepted(static_cast<ULONGLONG>(size.QuadPart))) {
    return nullptr;
  }
  const uint32_t length = static_cast<uint32_t>(size.QuadPart);
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[length + kFirmwareHeaderBytes]);
  if (!buffer) return nullptr;
  const uint32_t header[2] = {length, 1};
  std::memcpy(buffer.get(), header, sizeof header);
  DWORD total = 0;
  while (total < length) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.get() + kFirmwareHeaderBytes + total, length - total, &got, nullptr) || got == 0) {
      return nullptr;  // read error or short file
    }
    total += got;
  }
  *imageBytes = length;
  return buffer;
}

bool IsEnhancerBoard(uint32_t boardCode) {
  for (uint32_t code : setup::kEnhancerBoardCodes) {
    if (boardCode == code) return true;
  }
  return false;
}

}  // namespace

HRESULT EncoderObject::InitEnc() {
  const PropertyChannel properties = Properties();
  FileHandle firmware;
  const std::string path = FirmwarePathBeside(modulePath);
  if (!path.empty()) firmware.handle = OpenFirmwareFile(path);
  if (firmware.handle == INVALID_HANDLE_VALUE) {
    FailStep(kInitEncTrace, 1, S_OK);
    return E_FAIL;
  }

  uint32_t imageBytes = 0;
  std::unique_ptr<uint8_t[]> download = ReadFirmware(firmware.handle, &imageBytes);
  if (!download) {
    FailStep(kInitEncTrace, 2, S_OK);
    return E_FAIL;
  }
  HRESULT hr = properties.SetDeviceProperty(kPropFirmware, download.get(), imageBytes + kFirmwareHeaderBytes);
  download.reset();
  if (FAILED(hr)) return FailStep(kInitEncTrace, 3, hr);

  uint8_t deviceInfo[setup::kDeviceInfoSize] = {};
  hr = properties.Get(DevicePropertySet, kPropDeviceInfo, nullptr, 0, deviceInfo, sizeof deviceInfo);
  if (FAILED(hr)) return FailStep(kInitEncTrace, 4, hr);
  uint32_t boardCode = 0;
  std::memcpy(&boardCode, deviceInfo, sizeof boardCode);
  if (IsEnhancerBoard(boardCode)) enhancerPresent = TRUE;  // never cleared again

  hr = properties.SetDeviceProperty(kPropParameterBlock, setup::kEncoderParameterBlock.data(),
                                    static_cast<ULONG>(setup::kEncoderParameterBlock.size()));
  if (FAILED(hr)) return FailStep(kInitEncTrace, 6, hr);

  const setup::ControlRecord record = setup::MakeControlRecord(2);
  hr = properties.SetDeviceProperty(kPropControlRecord, record.data(), sizeof record);
  if (FAILED(hr)) return FailStep(kInitEncTrace, 7, hr);

  size_t row = 0;
  hr = properties.WriteRegisterTable(setup::kStartupRegisterTable, &row);
  if (FAILED(hr)) return FailStep(kInitEncTrace, 8, hr, static_cast<int>(row));

  if (enhancerPresent) {
    hr = properties.WriteRegisterTable(setup::kEnhancerRegisterTable, &row);
    if (FAILED(hr)) return FailStep(kInitEncTrace, 9, hr, static_cast<int>(row));
  }
  return hr;
}

}  // namespace zelk
