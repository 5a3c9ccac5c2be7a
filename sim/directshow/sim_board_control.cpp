// ISimBoardControl on the capture filter: the board's scripting, effects,
// log and faults with a plain COM ABI (fixed buffers, no library types).
#include <algorithm>
#include <cstring>
#include <iterator>

#include "board_protocol.h"
#include "sim_filter.h"
#include "sim_filters.h"

namespace zelk::sim {
namespace {

// The order of SimBoardEffects::encoderProperty.
constexpr ULONG kEncoderPropertyIds[] = {board::kPropVideoFormat, board::kPropAspect, board::kPropFilterMode,
                                         board::kPropPeakBitRate, board::kPropBitRate};
static_assert(std::size(kEncoderPropertyIds) == std::size(SimBoardEffects{}.encoderProperty),
              "one entry of SimBoardEffects::encoderProperty per encoder property");

template <size_t N>
ULONG CopyBytes(const std::vector<uint8_t>& from, BYTE (&to)[N]) {
  const size_t count = std::min(from.size(), N);
  if (count) std::memcpy(to, from.data(), count);
  return static_cast<ULONG>(from.size());
}

HRESULT CopyOut(const std::vector<uint8_t>& from, BYTE* buffer, ULONG size, ULONG* copied) {
  if (!copied || (size && !buffer)) return E_POINTER;
  *copied = static_cast<ULONG>(std::min<size_t>(from.size(), size));
  if (*copied) std::memcpy(buffer, from.data(), *copied);
  return *copied == from.size() ? S_OK : S_FALSE;
}

// Device, register and value of a register access (property 89).
bool MatchesRegister(const SimFaultMatch& match, const LoggedRequest& request) {
  if (!match.matchDevice && !match.matchRegister && !match.matchValue) return true;
  board::RegisterAccessInstance access;
  if (request.instance.size() != sizeof access) return false;
  std::memcpy(&access, request.instance.data(), sizeof access);
  if (match.matchDevice && access.device != match.device) return false;
  if (match.matchRegister && access.reg != match.reg) return false;
  if (!match.matchValue) return true;
  uint32_t value;
  if (!request.isSet || request.data.size() != 4) return false;
  std::memcpy(&value, request.data.data(), 4);
  return value == match.value;
}

}  // namespace

STDMETHODIMP SimFilter::Reset() {
  board_->Reset();
  return S_OK;
}

STDMETHODIMP SimFilter::SetBoardCode(DWORD code) {
  board_->SetBoardCode(code);
  return S_OK;
}

STDMETHODIMP SimFilter::SetStatusReport(const BYTE* report10) {
  if (!report10) return E_POINTER;
  std::array<uint8_t, 10> report;
  std::memcpy(report.data(), report10, report.size());
  board_->SetStatusReport(report);
  return S_OK;
}

STDMETHODIMP SimFilter::SetDecoderReadyAfterReads(LONG reads) {
  board_->SetDecoderReadyAfterReads(reads);
  return S_OK;
}

STDMETHODIMP SimFilter::SetRegister(DWORD device, DWORD reg, DWORD value) {
  board_->SetRegister(device, reg, value);
  return S_OK;
}

STDMETHODIMP SimFilter::GetRegister(DWORD device, DWORD reg, DWORD* value) {
  if (!value) return E_POINTER;
  *value = board_->Register(device, reg);
  return S_OK;
}

STDMETHODIMP SimFilter::GetEffects(SimBoardEffects* effects) {
  if (!effects) return E_POINTER;
  *effects = SimBoardEffects{};
  effects->firmwareLoaded = board_->FirmwareLoaded();
  effects->firmwareLength = static_cast<ULONG>(board_->Firmware().size());
  effects->parameterBlockLength = CopyBytes(board_->ParameterBlock(), effects->parameterBlock);
  effects->controlRecordLength = CopyBytes(board_->ControlRecord(), effects->controlRecord);
  for (size_t i = 0; i < std::size(kEncoderPropertyIds); ++i) {
    if (const auto value = board_->EncoderProperty(kEncoderPropertyIds[i])) {
      effects->encoderPropertyMask |= 1u << i;
      effects->encoderProperty[i] = *value;
    }
  }
  effects->inputNotificationLength = CopyBytes(board_->InputNotification(), effects->inputNotification);
  if (const auto routing = board_->InputRouting()) {
    effects->inputRoutingSet = TRUE;
    effects->inputRouting = *routing;
  }
  effects->tunerDivider = board_->TunerDivider();
  effects->tunerBand = board_->TunerBand();
  return S_OK;
}

STDMETHODIMP SimFilter::GetFirmware(BYTE* buffer, ULONG size, ULONG* copied) {
  return CopyOut(board_->Firmware(), buffer, size, copied);
}

STDMETHODIMP SimFilter::GetLogCount(ULONG* count) {
  if (!count) return E_POINTER;
  *count = static_cast<ULONG>(board_->LogCount());
  return S_OK;
}

STDMETHODIMP SimFilter::GetLogEntry(ULONG index, SimLogEntry* entry) {
  if (!entry) return E_POINTER;
  LoggedRequest request;
  if (!board_->LogEntry(index, &request)) return E_INVALIDARG;
  *entry = SimLogEntry{};
  entry->isSet = request.isSet;
  entry->set = request.set;
  entry->id = request.id;
  entry->instanceSize = CopyBytes(request.instance, entry->instance);
  entry->dataSize = CopyBytes(request.data, entry->data);
  entry->dataLength = request.dataLength;
  entry->result = request.result;
  entry->timeUs = request.timeUs;
  return S_OK;
}

STDMETHODIMP SimFilter::GetLogBytes(ULONG index, BOOL instance, BYTE* buffer, ULONG size, ULONG* copied) {
  LoggedRequest request;
  if (!board_->LogEntry(index, &request)) return E_INVALIDARG;
  return CopyOut(instance ? request.instance : request.data, buffer, size, copied);
}

STDMETHODIMP SimFilter::ClearLog() {
  board_->ClearLog();
  return S_OK;
}

STDMETHODIMP SimFilter::FailRequest(ULONG k, HRESULT hr) {
  if (k == 0) return E_INVALIDARG;
  board_->FailRequest(k, hr);
  return S_OK;
}

STDMETHODIMP SimFilter::FailMatching(const SimFaultMatch* match) {
  if (!match) return E_POINTER;
  const SimFaultMatch copy = *match;
  board_->FailWhen(
      [copy](const LoggedRequest& request) {
        return !!copy.isSet == request.isSet && IsEqualGUID(copy.set, request.set) && copy.id == request.id &&
               MatchesRegister(copy, request);
      },
      copy.hr);
  return S_OK;
}

STDMETHODIMP SimFilter::ClearFaults() {
  board_->ClearFaults();
  return S_OK;
}

STDMETHODIMP SimFilter::HoldNextArrival(const GUID* set, ULONG id, HANDLE arrived, HANDLE resume) {
  if (!set) return E_POINTER;
  if (!arrived || !resume) return E_INVALIDARG;
  board_->HoldNextArrival(*set, id, arrived, resume);
  return S_OK;
}

STDMETHODIMP SimFilter::ScriptStream(DWORD fault, ULONG afterSamples) {
  if (fault > ZELK_SIM_STREAM_CORRUPT) return E_INVALIDARG;
  board_->ScriptStream(fault, afterSamples);
  return S_OK;
}

STDMETHODIMP SimFilter::SetClipFolder(LPCWSTR folder) {
  board_->SetClipFolder(folder ? folder : L"");
  return S_OK;
}

STDMETHODIMP SimFilter::GetStreamStatus(SimStreamStatus* status) {
  if (!status) return E_POINTER;
  *status = board_->StreamStatus();
  return S_OK;
}

std::vector<LoggedRequest> ReadLog(ISimBoardControl* control) {
  std::vector<LoggedRequest> log;
  ULONG count = 0;
  if (!control || FAILED(control->GetLogCount(&count))) return log;
  for (ULONG i = 0; i < count; ++i) {
    SimLogEntry entry;
    if (FAILED(control->GetLogEntry(i, &entry))) break;
    LoggedRequest request;
    request.isSet = entry.isSet != FALSE;
    request.set = entry.set;
    request.id = entry.id;
    request.instance.resize(entry.instanceSize);
    request.data.resize(entry.dataSize);
    ULONG copied = 0;
    if (entry.instanceSize > ZELK_SIM_LOG_INSTANCE_MAX)
      control->GetLogBytes(i, TRUE, request.instance.data(), entry.instanceSize, &copied);
    else if (entry.instanceSize)
      std::memcpy(request.instance.data(), entry.instance, entry.instanceSize);
    if (entry.dataSize > ZELK_SIM_LOG_DATA_MAX)
      control->GetLogBytes(i, FALSE, request.data.data(), entry.dataSize, &copied);
    else if (entry.dataSize)
      std::memcpy(request.data.data(), entry.data, entry.dataSize);
    request.dataLength = entry.dataLength;
    request.result = entry.result;
    request.timeUs = entry.timeUs;
    log.push_back(std::move(request));
  }
  return log;
}

}  // namespace zelk::sim
