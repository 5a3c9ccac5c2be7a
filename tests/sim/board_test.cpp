// The board model answers property requests the way the board's driver does:
// sizes, IDs, sets, firmware gating, missing devices, registers and scripting.
#include <gtest/gtest.h>

#include <strmif.h>
#include <vfwmsgs.h>

#include <board.h>
#include <board_protocol.h>

#include "support/expect.h"

namespace zelk::test {
namespace {

using board::kDevicePropertySet;
using board::kInputPropertySet;
constexpr GUID kOtherSet = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
const HRESULT kShort = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
const HRESULT kNotReady = HRESULT_FROM_WIN32(ERROR_NOT_READY);
const HRESULT kNoDevice = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);

struct BoardTest : ::testing::Test {
  HRESULT SetDev(ULONG id, const Bytes& payload) {
    return board.Set(kDevicePropertySet, id, nullptr, 0, payload.data(), static_cast<ULONG>(payload.size()));
  }
  HRESULT GetDev(ULONG id, Bytes* out, ULONG size) {
    out->assign(size, 0xEE);
    ULONG returned = 0;
    const HRESULT hr = board.Get(kDevicePropertySet, id, nullptr, 0, out->data(), size, &returned);
    out->resize(SUCCEEDED(hr) ? returned : size);
    return hr;
  }
  static Bytes Instance(uint32_t device, uint8_t flags, uint32_t reg) {
    Bytes instance = Le32(device);
    instance.push_back(flags);
    const Bytes r = Le32(reg);
    instance.insert(instance.end(), r.begin(), r.end());
    return instance;
  }
  HRESULT Write(uint32_t device, uint32_t reg, uint32_t value, uint8_t flags = 0x01) {
    const Bytes instance = Instance(device, flags, reg);
    return board.Set(kDevicePropertySet, 89, instance.data(), 9, &value, 4);
  }
  HRESULT Read(uint32_t device, uint32_t reg, uint32_t* value, uint8_t flags = 0x00) {
    const Bytes instance = Instance(device, flags, reg);
    ULONG returned = 0;
    return board.Get(kDevicePropertySet, 89, instance.data(), 9, value, 4, &returned);
  }
  void LoadFirmware(const Bytes& image = {0xAA, 0xBB}) {
    Bytes buffer = Le32(static_cast<uint32_t>(image.size()));
    const Bytes one = Le32(1);
    buffer.insert(buffer.end(), one.begin(), one.end());
    buffer.insert(buffer.end(), image.begin(), image.end());
    ASSERT_EQ(SetDev(91, buffer), S_OK);
  }
  Lines LogLines() const { return sim::Describe(board.Log()); }

  sim::Board board;
};

TEST_F(BoardTest, PayloadAndInstanceSizesAreChecked) {
  LoadFirmware();
  EXPECT_EQ(SetDev(41, {1, 0, 0}), kShort);
  EXPECT_EQ(SetDev(41, {1, 0, 0, 0, 0}), E_INVALIDARG);
  EXPECT_EQ(SetDev(88, Bytes(340)), kShort);
  EXPECT_EQ(SetDev(88, Bytes(342)), E_INVALIDARG);
  EXPECT_EQ(SetDev(88, Bytes(341)), S_OK);
  EXPECT_EQ(SetDev(99, Bytes(35)), kShort);
  EXPECT_EQ(SetDev(99, Bytes(36)), S_OK);
  EXPECT_EQ(SetDev(94, {1}), kShort);
  EXPECT_EQ(SetDev(94, {1, 2}), S_OK);
  const uint32_t value = 1;
  EXPECT_EQ(board.Set(kInputPropertySet, 14, nullptr, 0, &value, 2), kShort);
  // Instance data where none belongs, and a short register-access instance.
  const Bytes instance = Instance(0x21, 0x01, 0x0A);
  EXPECT_EQ(board.Set(kDevicePropertySet, 41, instance.data(), 9, &value, 4), E_INVALIDARG);
  EXPECT_EQ(board.Set(kDevicePropertySet, 89, instance.data(), 8, &value, 4), kShort);
  EXPECT_EQ(board.Set(kDevicePropertySet, 89, instance.data(), 9, &value, 3), kShort);
  // Get buffers: too small is refused, larger is filled with the property's bytes.
  Bytes out;
  EXPECT_EQ(GetDev(90, &out, 29), kShort);
  EXPECT_EQ(GetDev(93, &out, 9), kShort);
  EXPECT_EQ(GetDev(90, &out, 40), S_OK);
  EXPECT_EQ(out.size(), 30u);
  // Nothing of the refused requests took effect.
  EXPECT_EQ(board.ParameterBlock(), Bytes(341));
  EXPECT_EQ(board.InputNotification(), (Bytes{1, 2}));
  EXPECT_FALSE(board.InputRouting());
  EXPECT_FALSE(board.EncoderProperty(41));
  EXPECT_EQ(board.Register(0x21, 0x0A), 0u);
}

TEST_F(BoardTest, UnknownIdsSetsAndDirectionsAreRefused) {
  LoadFirmware();
  EXPECT_EQ(SetDev(42, Le32(0)), E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(board.Set(kInputPropertySet, 15, nullptr, 0, Le32(0).data(), 4), E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(board.Set(kOtherSet, 41, nullptr, 0, Le32(0).data(), 4), E_PROP_SET_UNSUPPORTED);
  Bytes out;
  EXPECT_EQ(GetDev(41, &out, 4), E_PROP_ID_UNSUPPORTED);  // Set-only
  EXPECT_EQ(SetDev(90, Bytes(30)), E_PROP_ID_UNSUPPORTED);  // Get-only
  DWORD support = 0;
  EXPECT_EQ(board.QuerySupported(kDevicePropertySet, 89, &support), S_OK);
  EXPECT_EQ(support, DWORD{KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET});
  EXPECT_EQ(board.QuerySupported(kDevicePropertySet, 93, &support), S_OK);
  EXPECT_EQ(support, DWORD{KSPROPERTY_SUPPORT_GET});
  EXPECT_EQ(board.QuerySupported(kInputPropertySet, 14, &support), S_OK);
  EXPECT_EQ(support, DWORD{KSPROPERTY_SUPPORT_SET});
  EXPECT_EQ(board.QuerySupported(kDevicePropertySet, 50, &support), E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(board.QuerySupported(kOtherSet, 89, &support), E_PROP_SET_UNSUPPORTED);
  // Every refused request is in the log with its result.
  EXPECT_EQ(LogLines().back(), Failed(DevSet(90, Bytes(30)), E_PROP_ID_UNSUPPORTED));
}

TEST_F(BoardTest, EncoderPropertiesWaitForFirmware) {
  Bytes out;
  for (const ULONG id : {27, 28, 44, 45}) EXPECT_EQ(SetDev(id, Le32(6144)), kNotReady) << id;
  EXPECT_EQ(SetDev(88, Bytes(341)), kNotReady);
  EXPECT_EQ(SetDev(99, Bytes(36)), kNotReady);
  EXPECT_EQ(GetDev(93, &out, 10), kNotReady);
  // The driver's own properties and the register bus work without firmware.
  EXPECT_EQ(SetDev(41, Le32(1)), S_OK);
  EXPECT_EQ(SetDev(94, {0, 2}), S_OK);
  EXPECT_EQ(GetDev(90, &out, 30), S_OK);
  EXPECT_EQ(Write(0x21, 0x0A, 0x80), S_OK);
  EXPECT_FALSE(board.FirmwareLoaded());

  LoadFirmware({1, 2, 3});
  EXPECT_TRUE(board.FirmwareLoaded());
  EXPECT_EQ(board.Firmware(), (Bytes{1, 2, 3}));
  EXPECT_EQ(SetDev(44, Le32(6144)), S_OK);
  EXPECT_EQ(board.EncoderProperty(44), 6144u);
  EXPECT_EQ(GetDev(90, &out, 30), S_OK);
}

TEST_F(BoardTest, FirmwareHeaderIsChecked) {
  EXPECT_EQ(SetDev(91, {3, 0, 0, 0, 1, 0, 0}), kShort);
  EXPECT_EQ(SetDev(91, {3, 0, 0, 0, 1, 0, 0, 0, 9, 9}), E_INVALIDARG);        // N larger than sent
  EXPECT_EQ(SetDev(91, {1, 0, 0, 0, 1, 0, 0, 0, 9, 9}), E_INVALIDARG);        // N smaller than sent
  EXPECT_EQ(SetDev(91, {2, 0, 0, 0, 2, 0, 0, 0, 9, 9}), E_INVALIDARG);        // second word not 1
  EXPECT_EQ(SetDev(91, {0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 9, 9}), E_INVALIDARG);  // N + 8 wraps
  EXPECT_FALSE(board.FirmwareLoaded());
  EXPECT_EQ(SetDev(91, {0, 0, 0, 0, 1, 0, 0, 0}), S_OK);  // an empty image is an image
  EXPECT_TRUE(board.FirmwareLoaded());
  EXPECT_TRUE(board.Firmware().empty());
}

TEST_F(BoardTest, EnhancerDevicesExistOnlyOnBoardsThatCarryThem) {
  uint32_t value = 0;
  for (const uint32_t device : {0x12u, 0x5Cu}) {
    EXPECT_EQ(Write(device, 0x00, 0x40), kNoDevice);
    EXPECT_EQ(Read(device, 0x00, &value), kNoDevice);
  }
  EXPECT_EQ(Write(0x33, 0x00, 0x01), kNoDevice);
  for (const uint32_t code : {4721u, 5632u}) {
    board.SetBoardCode(code);
    EXPECT_EQ(Write(0x12, 0x00, 0x40), S_OK);
    EXPECT_EQ(Write(0x5C, 0x17, 0x00), S_OK);
    Bytes out;
    ASSERT_EQ(GetDev(90, &out, 30), S_OK);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), Le32(code));
    EXPECT_EQ(Bytes(out.begin() + 4, out.end()), Bytes(26));
  }
  EXPECT_EQ(board.Register(0x12, 0x00), 0x40u);
  board.SetBoardCode(4096);
  EXPECT_FALSE(board.HasDevice(0x12));
  EXPECT_TRUE(board.HasDevice(0x21) && board.HasDevice(0x1B) && board.HasDevice(0x5B) && board.HasDevice(0x60));
}

TEST_F(BoardTest, RegistersHoldWhatWasWrittenAndStartAtZero) {
  uint32_t value = 0xFFFFFFFF;
  EXPECT_EQ(Read(0x21, 0x02, &value), S_OK);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(Write(0x21, 0x0D, 0xFFFFFF00), S_OK);
  EXPECT_EQ(Read(0x21, 0x0D, &value), S_OK);
  EXPECT_EQ(value, 0xFFFFFF00u);
  board.SetRegister(0x5B, 0x00, 0x40);  // tuner companion status
  EXPECT_EQ(Read(0x5B, 0x00, &value), S_OK);
  EXPECT_EQ(value, 0x40u);
  // The access flags must agree with the direction.
  EXPECT_EQ(Write(0x21, 0x0A, 1, 0x00), E_INVALIDARG);
  EXPECT_EQ(Read(0x21, 0x0A, &value, 0x01), E_INVALIDARG);
}

TEST_F(BoardTest, TunerWriteRecordsDividerAndBand) {
  const Bytes instance = {0x60, 0, 0, 0, 0x0B, 0x08, 0xC6, 0x00, 0x00};
  const uint32_t divider = 13184;
  ASSERT_EQ(board.Set(kDevicePropertySet, 89, instance.data(), 9, &divider, 4), S_OK);
  EXPECT_EQ(board.TunerDivider(), 13184u);
  EXPECT_EQ(board.TunerBand(), 0x08);
  EXPECT_EQ(LogLines(), (Lines{TunerWrite(0x08, 13184)}));
}

TEST_F(BoardTest, DecoderReadyBitFollowsTheScript) {
  uint32_t value = 0;
  auto readyBits = [&](int reads) {
    std::vector<int> bits;
    for (int i = 0; i < reads; ++i) {
      value = 0xFFFF;
      EXPECT_EQ(Read(0x21, 0x1F, &value), S_OK);
      bits.push_back(static_cast<int>(value & 1));
    }
    return bits;
  };
  EXPECT_EQ(readyBits(2), (std::vector<int>{1, 1}));  // ready at once by default
  board.SetDecoderReadyAfterReads(2);
  EXPECT_EQ(readyBits(4), (std::vector<int>{0, 0, 1, 1}));
  board.SetDecoderReadyAfterReads(-1);
  EXPECT_EQ(readyBits(7), std::vector<int>(7, 0));
  // Other bits of the register read back as written.
  board.SetRegister(0x21, 0x1F, 0x80);
  board.SetDecoderReadyAfterReads(1);
  EXPECT_EQ(Read(0x21, 0x1F, &value), S_OK);
  EXPECT_EQ(value, 0x80u);
  EXPECT_EQ(Read(0x21, 0x1F, &value), S_OK);
  EXPECT_EQ(value, 0x81u);
}

TEST_F(BoardTest, StatusReportAndEffectsAreKept) {
  LoadFirmware();
  board.SetStatusReport({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  Bytes out;
  ASSERT_EQ(GetDev(93, &out, 10), S_OK);
  EXPECT_EQ(out, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  Bytes record(36);
  record[12] = 3;
  EXPECT_EQ(SetDev(99, record), S_OK);
  EXPECT_EQ(board.ControlRecord(), record);
  EXPECT_EQ(board.Set(kInputPropertySet, 14, nullptr, 0, Le32(2).data(), 4), S_OK);
  EXPECT_EQ(board.InputRouting(), 2u);
  for (const ULONG id : {27, 28, 41, 44, 45}) EXPECT_EQ(SetDev(id, Le32(id * 2)), S_OK);
  for (const ULONG id : {27, 28, 41, 44, 45}) EXPECT_EQ(board.EncoderProperty(id), id * 2);
}

TEST_F(BoardTest, LogKeepsEveryRequestInOrderWithItsTime) {
  LoadFirmware();
  board.ClearLog();
  uint32_t value = 0;
  board.SetRegister(0x21, 0x03, 0x24);
  ASSERT_EQ(Read(0x21, 0x03, &value), S_OK);
  Sleep(5);
  ASSERT_EQ(Write(0x21, 0x03, 0x04), S_OK);
  EXPECT_EQ(SetDev(41, {1}), kShort);
  Bytes out;
  ASSERT_EQ(GetDev(93, &out, 12), S_OK);
  const auto log = board.Log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(sim::Describe(log), (Lines{RegRead(0x21, 0x03, 0x24), RegWrite(0x21, 0x03, 0x04),
                                       Failed(DevSet(41, {0x01}), kShort), DevGet(93, Bytes(10))}));
  EXPECT_EQ(log[3].dataLength, 12u);  // the caller's buffer, beside the 10 bytes returned
  EXPECT_GE(log[1].timeUs - log[0].timeUs, 4000);
  for (size_t i = 1; i < log.size(); ++i) EXPECT_GE(log[i].timeUs, log[i - 1].timeUs);
  board.Reset();
  EXPECT_EQ(board.LogCount(), 0u);
  EXPECT_FALSE(board.FirmwareLoaded());
  EXPECT_EQ(board.Register(0x21, 0x03), 0u);
}

}  // namespace
}  // namespace zelk::test
