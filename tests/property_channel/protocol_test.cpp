// The module's own copy of the board protocol against the one the simulator,
// the demo host and the tests share, value by value: a wrong value on either
// side shows here rather than as a board that answers differently from the
// real one.
#include <gtest/gtest.h>

#include <board_protocol.h>
#include <encoder/property_channel.h>
#include <encoder/setup_tables.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

namespace zelk::test {
namespace {

TEST(BoardProtocol, ModuleAndSharedCopiesAgree) {
  EXPECT_TRUE(IsEqualGUID(DevicePropertySet, board::kDevicePropertySet));
  EXPECT_TRUE(IsEqualGUID(InputPropertySet, board::kInputPropertySet));

  // Every property the module sends, with the name the shared table gives it.
  struct ModuleProperty {
    const GUID* set;
    ULONG id;
    const char* name;
  };
  const ModuleProperty kModule[] = {
      {&DevicePropertySet, kPropVideoFormat, "video format"},
      {&DevicePropertySet, kPropAspect, "aspect"},
      {&DevicePropertySet, kPropFilterMode, "filter mode"},
      {&DevicePropertySet, kPropPeakBitRate, "peak bit rate"},
      {&DevicePropertySet, kPropBitRate, "bit rate"},
      {&DevicePropertySet, kPropParameterBlock, "parameter block"},
      {&DevicePropertySet, kPropRegisterAccess, "register"},
      {&DevicePropertySet, kPropDeviceInfo, "device info"},
      {&DevicePropertySet, kPropFirmware, "firmware"},
      {&DevicePropertySet, kPropEncoderStatus, "status"},
      {&DevicePropertySet, kPropInputNotify, "input notify"},
      {&DevicePropertySet, kPropControlRecord, "control record"},
      {&InputPropertySet, kPropInputRouting, "input routing"},
  };
  ASSERT_EQ(std::size(kModule), std::size(board::kProperties)) << "a property only one side knows";
  for (const ModuleProperty& property : kModule) {
    const board::PropertyInfo* shared = board::FindProperty(*property.set, property.id);
    ASSERT_NE(shared, nullptr) << property.name << " (" << property.id << ") is not in the shared table";
    EXPECT_EQ(std::string(shared->name), property.name) << "property " << property.id;
  }
  const auto payloadSize = [](ULONG id) { return board::FindProperty(DevicePropertySet, id)->payloadSize; };
  EXPECT_EQ(setup::kParameterBlockSize, payloadSize(kPropParameterBlock));
  EXPECT_EQ(sizeof(setup::ControlRecord), payloadSize(kPropControlRecord));
  EXPECT_EQ(setup::kDeviceInfoSize, payloadSize(kPropDeviceInfo));

  struct ModuleDevice {
    uint32_t device;
    const char* name;
  };
  const ModuleDevice kDevices[] = {
      {kDevGhostReducer, "ghost reducer"}, {kDevVolume, "volume"},
      {kDevDecoder, "decoder"},            {kDevTunerCompanion, "tuner companion"},
      {kDevYcSeparator, "Y/C separator"},  {kDevTuner, "tuner"},
  };
  ASSERT_EQ(std::size(kDevices), std::size(board::kDevices)) << "a device only one side knows";
  for (const ModuleDevice& device : kDevices) {
    const char* shared = board::DeviceName(device.device);
    ASSERT_NE(shared, nullptr) << device.name << " (0x" << std::hex << device.device << ") is not shared";
    EXPECT_EQ(std::string(shared), device.name);
  }
  EXPECT_TRUE(std::equal(std::begin(setup::kEnhancerBoardCodes), std::end(setup::kEnhancerBoardCodes),
                         std::begin(board::kEnhancerBoardCodes), std::end(board::kEnhancerBoardCodes)))
      << "the boards with the enhancer unit differ";

  EXPECT_EQ(kAccessRead, board::kAccessRead);
  EXPECT_EQ(kAccessWrite, board::kAccessWrite);
  const RegisterAccessInstance module{0x01020304, 0x05, 0x06070809};
  const board::RegisterAccessInstance shared{0x01020304, 0x05, 0x06070809};
  static_assert(sizeof module == sizeof shared, "both register-access instances are 9 bytes");
  EXPECT_EQ(std::memcmp(&module, &shared, sizeof module), 0) << "the instance fields lie differently";
}

}  // namespace
}  // namespace zelk::test
