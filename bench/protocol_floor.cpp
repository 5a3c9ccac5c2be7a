#include "protocol_floor.h"

#include <algorithm>
#include <cstring>

#include "board_protocol.h"

namespace bench {
namespace {

using namespace zelk::board;

constexpr uint32_t kDecoderInputSwitch = 0x88;
constexpr uint32_t kAny = 0xFFFFFFFF;

enum class Kind { AnyRequest, RegisterWrite, RegisterRead, ReadNotReady };

struct Match {
  Kind kind;
  uint32_t device;
  uint32_t reg;
};

// "After a request matching `after`, the next request matching `before` comes
// at least `waitMs` later." With `untilEnd` the wait is due even when no such
// request follows: the call returns only after it.
struct TimingRule {
  const char* what;
  Match after;
  Match before;
  int waitMs;
  bool untilEnd;
};

constexpr TimingRule kTimingRules[] = {
    {"the video decoder settles after a write of its input switch (register 0x88)",
     {Kind::RegisterWrite, kDevDecoder, kDecoderInputSwitch}, {Kind::AnyRequest, kAny, kAny}, 100, true},
    {"the decoder's ready bit (status register 0x1F, bit 0) is polled every 20 ms while clear",
     {Kind::ReadNotReady, kDevDecoder, kDecoderStatus}, {Kind::RegisterRead, kDevDecoder, kDecoderStatus}, 20, false},
    {"the tuned channel is reported 200 ms after the tuner was programmed", {Kind::RegisterWrite, kDevTuner, kAny},
     {Kind::RegisterRead, kDevTunerCompanion, kCompanionStatus}, 200, false},
};

// Device and register of a register access; false for any other request.
bool RegisterAccess(const zelk::sim::LoggedRequest& request, uint32_t* device, uint32_t* reg) {
  RegisterAccessInstance instance;
  if (!IsEqualGUID(request.set, kDevicePropertySet) || request.id != kPropRegisterAccess ||
      request.instance.size() != sizeof instance) {
    return false;
  }
  std::memcpy(&instance, request.instance.data(), sizeof instance);
  *device = instance.device;
  *reg = instance.reg;
  return true;
}

bool Matches(const Match& match, const zelk::sim::LoggedRequest& request) {
  if (match.kind == Kind::AnyRequest) return true;
  uint32_t device = 0, reg = 0;
  if (!RegisterAccess(request, &device, &reg)) return false;
  if ((match.device != kAny && device != match.device) || (match.reg != kAny && reg != match.reg)) return false;
  switch (match.kind) {
    case Kind::RegisterWrite: return request.isSet;
    case Kind::RegisterRead: return !request.isSet;
    case Kind::ReadNotReady: return !request.isSet && (request.data.empty() || !(request.data[0] & kDecoderReadyBit));
    default: return false;
  }
}

}  // namespace

Floor MandatedWait(const std::vector<zelk::sim::LoggedRequest>& requests) {
  Floor floor;
  const size_t count = requests.size();
  // earliest[i]: the soonest request i may arrive; earliest[count]: the return.
  std::vector<int64_t> earliest(count + 1, 0);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) earliest[i] = std::max(earliest[i], earliest[i - 1]);
    for (const TimingRule& rule : kTimingRules) {
      if (!Matches(rule.after, requests[i])) continue;
      size_t next = i + 1;
      while (next < count && !Matches(rule.before, requests[next])) ++next;
      if (next == count && !rule.untilEnd) continue;
      earliest[next] = std::max(earliest[next], earliest[i] + int64_t{rule.waitMs} * 1000);
      floor.waitsMs.push_back(rule.waitMs);
      floor.spans.emplace_back(i, next);
    }
  }
  if (count > 0) earliest[count] = std::max(earliest[count], earliest[count - 1]);
  floor.waitUs = earliest[count];
  return floor;
}

int64_t WaitedUs(const Floor& floor, const std::vector<zelk::sim::LoggedRequest>& requests, int64_t callEndUs) {
  int64_t waited = 0;
  // Gap k runs from request k - 1 to request k, or to the end for k = count.
  for (size_t k = 1; k <= requests.size(); ++k) {
    const bool inWait = std::any_of(floor.spans.begin(), floor.spans.end(),
                                    [k](const auto& span) { return span.first < k && k <= span.second; });
    if (!inWait) continue;
    const int64_t to = k < requests.size() ? requests[k].timeUs : callEndUs;
    waited += to - requests[k - 1].timeUs;
  }
  return waited;
}

std::vector<RuleText> TimingRules() {
  std::vector<RuleText> rules;
  for (const TimingRule& rule : kTimingRules) rules.push_back({rule.what, rule.waitMs});
  return rules;
}

}  // namespace bench
