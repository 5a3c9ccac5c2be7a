// Fault injection: the k-th request or every matching request fails with the
// chosen result, is logged, and has no effect.
#include <gtest/gtest.h>

#include <encoder/property_channel.h>
#include <sim_filters.h>

#include "support/expect.h"
#include "support/sim_rig.h"

namespace zelk::test {
namespace {

constexpr HRESULT kInjected = E_ACCESSDENIED;

bool IsRegisterWrite(const sim::LoggedRequest& request, uint32_t device, uint32_t reg) {
  if (!request.isSet || request.id != kPropRegisterAccess || request.instance.size() != 9) return false;
  uint32_t d, r;
  memcpy(&d, &request.instance[0], 4);
  memcpy(&r, &request.instance[5], 4);
  return d == device && r == reg;
}

TEST(Faults, KthRequestFailsOnceAndHasNoEffect) {
  SimRig rig;
  rig.board->SetRegister(0x21, 0x0A, 0x11);
  rig.board->FailRequest(2, kInjected);
  rig.board->FailRequest(4, S_FALSE);  // a success code is handed back as given
  uint32_t value = 0;
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x21, 0x00, 0x0B, 0x22, 0), S_OK);
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x21, 0x00, 0x0A, 0x33, 0), kInjected);
  EXPECT_EQ(rig.properties.ReadDeviceRegister(0x21, 0x00, 0x0A, &value, 0), S_OK);
  EXPECT_EQ(value, 0x11u);  // the failed write changed nothing
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x21, 0x00, 0x0C, 0x44, 0), S_FALSE);
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x21, 0x00, 0x0A, 0x55, 0), S_OK);
  EXPECT_EQ(rig.Lines(), (Lines{RegWrite(0x21, 0x0B, 0x22), Failed(RegWrite(0x21, 0x0A, 0x33), kInjected),
                                RegRead(0x21, 0x0A, 0x11), RegWrite(0x21, 0x0C, 0x44),
                                RegWrite(0x21, 0x0A, 0x55)}));
  EXPECT_EQ(rig.board->Register(0x21, 0x0A), 0x55u);
}

TEST(Faults, FailedReadLeavesTheCallersBufferAndTheReadyCount) {
  auto board = std::make_shared<sim::Board>();
  board->SetDecoderReadyAfterReads(1);
  board->FailRequest(1, kInjected);
  const uint8_t instance[9] = {0x21, 0, 0, 0, 0x00, 0x1F, 0, 0, 0};
  uint32_t value = 0xCAFE;
  ULONG returned = 77;
  const GUID set = DevicePropertySet;
  EXPECT_EQ(board->Get(set, 89, instance, 9, &value, 4, &returned), kInjected);
  EXPECT_EQ(value, 0xCAFEu);
  EXPECT_EQ(returned, 0u);
  // The failed read was no read of the decoder: the next one still sees "not ready".
  EXPECT_EQ(board->Get(set, 89, instance, 9, &value, 4, &returned), S_OK);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(board->Get(set, 89, instance, 9, &value, 4, &returned), S_OK);
  EXPECT_EQ(value, 1u);
}

TEST(Faults, PredicateFailsEveryMatchingRequestUntilCleared) {
  SimRig rig;
  rig.board->SetBoardCode(4721);
  rig.board->FailWhen([](const sim::LoggedRequest& r) { return IsRegisterWrite(r, 0x12, 0x00); }, kInjected);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(rig.properties.WriteDeviceRegister(0x12, 0x00, 0x00, 0x40, 0), kInjected);
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x12, 0x00, 0x01, 0xB8, 0), S_OK);
  EXPECT_EQ(rig.board->Register(0x12, 0x00), 0u);
  rig.board->ClearFaults();
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x12, 0x00, 0x00, 0x40, 0), S_OK);
  EXPECT_EQ(rig.board->Register(0x12, 0x00), 0x40u);
  EXPECT_EQ(rig.board->LogCount(), 4u);
}

TEST(Faults, InjectedFaultComesBeforeTheDriversOwnChecks) {
  // The predicate sees the request as it arrives, also one the driver would refuse.
  SimRig rig;
  rig.board->FailWhen([](const sim::LoggedRequest& r) { return r.id == kPropParameterBlock; }, kInjected);
  const uint8_t block[341] = {};
  EXPECT_EQ(rig.properties.SetDeviceProperty(kPropParameterBlock, block, sizeof block), kInjected);
  EXPECT_EQ(rig.Lines(), (Lines{Failed(DevSet(88, Bytes(341)), kInjected)}));
}

TEST(Faults, ControlInterfaceMatchesSetIdDeviceRegisterAndValue) {
  SimRig rig;
  ComPtr<ISimBoardControl> control;
  ASSERT_EQ(rig.filter.As(&control), S_OK);
  SimFaultMatch match{};
  match.isSet = TRUE;
  match.set = DevicePropertySet;
  match.id = kPropRegisterAccess;
  match.matchDevice = TRUE;
  match.device = 0x21;
  match.matchRegister = TRUE;
  match.reg = 0x02;
  match.matchValue = TRUE;
  match.value = 0xC5;
  match.hr = kInjected;
  ASSERT_EQ(control->FailMatching(&match), S_OK);
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x21, 0x00, 0x02, 0xC4, 0), S_OK);
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x21, 0x00, 0x02, 0xC5, 0), kInjected);
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x1B, 0x00, 0x02, 0xC5, 0), S_OK);
  uint32_t value = 0;
  EXPECT_EQ(rig.properties.ReadDeviceRegister(0x21, 0x00, 0x02, &value, 0), S_OK);  // a Get never matches
  EXPECT_EQ(value, 0xC4u);
  ASSERT_EQ(control->FailRequest(1, kInjected), S_OK);
  EXPECT_EQ(rig.properties.ReadDeviceRegister(0x21, 0x00, 0x02, &value, 0), kInjected);
  ASSERT_EQ(control->ClearFaults(), S_OK);
  EXPECT_EQ(rig.properties.WriteDeviceRegister(0x21, 0x00, 0x02, 0xC5, 0), S_OK);
}

}  // namespace
}  // namespace zelk::test
