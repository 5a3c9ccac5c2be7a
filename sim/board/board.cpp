// The simulated board's entry points, request log, fault injection,
// scripting and effects. The property handlers are in board_properties.cpp.
#include "board.h"

#include <cstring>

#include "board_state.h"

namespace zelk::sim {
namespace {

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

int64_t Microseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency) {
  return (to.QuadPart - from.QuadPart) * 1000000 / frequency.QuadPart;
}

LoggedRequest Arrival(bool isSet, const GUID& set, ULONG id, const void* instance, ULONG instanceLength,
                      ULONG dataLength) {
  LoggedRequest request;
  request.isSet = isSet;
  request.set = set;
  request.id = id;
  const auto* bytes = static_cast<const uint8_t*>(instance);
  if (bytes) request.instance.assign(bytes, bytes + instanceLength);
  request.dataLength = dataLength;
  return request;
}

}  // namespace

Board::Board(int number) : number_(number), state_(std::make_shared<State>()) { Reset(); }

HRESULT Board::State::InjectedFault(const LoggedRequest& request) {
  const uint64_t number = ++requests;
  for (auto it = failAtRequest.begin(); it != failAtRequest.end(); ++it) {
    if (it->first == number) {
      const HRESULT hr = it->second;
      failAtRequest.erase(it);
      return hr;
    }
  }
  for (const auto& [predicate, hr] : failWhen)
    if (predicate(request)) return hr;
  return S_OK;
}

void Board::Reset() {
  std::lock_guard<std::mutex> guard(state_->lock);
  State& s = *state_;
  QueryPerformanceFrequency(&s.frequency);
  QueryPerformanceCounter(&s.start);
  s.boardCode = kDefaultBoardCode;
  s.statusReport = {};
  s.decoderReadyAfter = 0;
  s.decoderReads = 0;
  s.registers.clear();
  s.firmwareLoaded = false;
  s.firmware.clear();
  s.parameterBlock.clear();
  s.controlRecord.clear();
  s.inputNotification.clear();
  s.encoderProperties.clear();
  s.inputRouting.reset();
  s.tunerDivider = 0;
  s.tunerBand = 0;
  s.log.clear();
  s.requests = 0;
  s.failAtRequest.clear();
  s.failWhen.clear();
  s.hold.reset();
  s.streamFault = ZELK_SIM_STREAM_NORMAL;
  s.streamFaultFrom = 0;
  s.clipFolder.clear();
  s.streamStatus = SimStreamStatus{};
}

HRESULT Board::Set(const GUID& set, ULONG id, const void* instance, ULONG instanceLength, const void* data,
                   ULONG dataLength) {
  return Serve(true, set, id, instance, instanceLength, const_cast<void*>(data), dataLength, nullptr);
}

HRESULT Board::Get(const GUID& set, ULONG id, const void* instance, ULONG instanceLength, void* data,
                   ULONG dataLength, ULONG* returned) {
  return Serve(false, set, id, instance, instanceLength, data, dataLength, returned);
}

// One request as the driver sees it: logged on arrival, failed by an injected
// fault or carried out, its result logged. An injected success code (S_FALSE,
// say) is what a driver answers after doing the work.
HRESULT Board::Serve(bool isSet, const GUID& set, ULONG id, const void* instance, ULONG instanceLength, void* data,
                     ULONG dataLength, ULONG* returned) {
  const LARGE_INTEGER arrival = Now();
  HoldIfAsked(set, id);
  std::lock_guard<std::mutex> guard(state_->lock);
  LoggedRequest request = Arrival(isSet, set, id, instance, instanceLength, dataLength);
  request.timeUs = Microseconds(state_->start, arrival, state_->frequency);
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (isSet && bytes) request.data.assign(bytes, bytes + dataLength);
  if (returned) *returned = 0;

  const HRESULT injected = state_->InjectedFault(request);
  request.result = injected;
  if (SUCCEEDED(injected)) {
    std::vector<uint8_t> out;
    if ((instanceLength && !instance) || (dataLength && !data)) {
      request.result = E_POINTER;
    } else {
      request.result = state_->Handle(request, isSet ? data : nullptr, isSet ? nullptr : &out);
    }
    if (request.result == S_OK) request.result = injected;
    if (!isSet && SUCCEEDED(request.result)) {
      // The handlers checked the caller's buffer against the property's size.
      if (!out.empty()) std::memcpy(data, out.data(), out.size());
      if (returned) *returned = static_cast<ULONG>(out.size());
      request.data = std::move(out);
    }
  }
  state_->log.push_back(std::move(request));
  return state_->log.back().result;
}

HRESULT Board::QuerySupported(const GUID& set, ULONG id, DWORD* support) {
  if (!support) return E_POINTER;
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->Supported(set, id, support);
}

void Board::SetBoardCode(uint32_t code) {
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->boardCode = code;
}

void Board::SetStatusReport(const std::array<uint8_t, 10>& report) {
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->statusReport = report;
}

void Board::SetDecoderReadyAfterReads(int reads) {
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->decoderReadyAfter = reads;
  state_->decoderReads = 0;
}

void Board::SetRegister(uint32_t device, uint32_t reg, uint32_t value) {
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->registers[RegisterKey(device, reg)] = value;
}

uint32_t Board::Register(uint32_t device, uint32_t reg) const {
  std::lock_guard<std::mutex> guard(state_->lock);
  const auto found = state_->registers.find(RegisterKey(device, reg));
  return found == state_->registers.end() ? 0 : found->second;
}

bool Board::HasDevice(uint32_t device) const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->HasDevice(device);
}

bool Board::FirmwareLoaded() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->firmwareLoaded;
}

std::vector<uint8_t> Board::Firmware() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->firmware;
}

std::vector<uint8_t> Board::ParameterBlock() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->parameterBlock;
}

std::vector<uint8_t> Board::ControlRecord() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->controlRecord;
}

std::optional<uint32_t> Board::EncoderProperty(ULONG id) const {
  std::lock_guard<std::mutex> guard(state_->lock);
  const auto found = state_->encoderProperties.find(id);
  if (found == state_->encoderProperties.end()) return std::nullopt;
  return found->second;
}

std::vector<uint8_t> Board::InputNotification() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->inputNotification;
}

std::optional<uint32_t> Board::InputRouting() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->inputRouting;
}

uint32_t Board::TunerDivider() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->tunerDivider;
}

uint8_t Board::TunerBand() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->tunerBand;
}

std::vector<LoggedRequest> Board::Log() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->log;
}

size_t Board::LogCount() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->log.size();
}

bool Board::LogEntry(size_t index, LoggedRequest* entry) const {
  std::lock_guard<std::mutex> guard(state_->lock);
  if (index >= state_->log.size()) return false;
  *entry = state_->log[index];
  return true;
}

void Board::ClearLog() {
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->log.clear();
}

void Board::FailRequest(size_t k, HRESULT hr) {
  std::lock_guard<std::mutex> guard(state_->lock);
  if (k == 0) return;
  state_->failAtRequest.emplace_back(state_->requests + k, hr);
}

void Board::FailWhen(std::function<bool(const LoggedRequest&)> predicate, HRESULT hr) {
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->failWhen.emplace_back(std::move(predicate), hr);
}

void Board::ClearFaults() {
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->failAtRequest.clear();
  state_->failWhen.clear();
}

void Board::HoldNextArrival(const GUID& set, ULONG id, HANDLE arrived, HANDLE resume) {
  std::lock_guard<std::mutex> guard(state_->lock);
  state_->hold = State::Hold{set, id, arrived, resume};
}

// Outside the board's lock: the holder may script the board meanwhile.
void Board::HoldIfAsked(const GUID& set, ULONG id) {
  std::optional<State::Hold> hold;
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (!state_->hold || state_->hold->id != id || !IsEqualGUID(state_->hold->set, set)) return;
    hold.swap(state_->hold);
  }
  SetEvent(hold->arrived);
  WaitForSingleObject(hold->resume, kHoldLimitMs);
}

}  // namespace zelk::sim
