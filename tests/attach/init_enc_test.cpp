// Firmware and set-up download, checked byte by byte against what the
// simulated board received.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "encoder/encoder_object.h"
#include "module/module_state.h"
#include "support/expect.h"
#include "support/sim_rig.h"
#include "support/trace_capture.h"

namespace zelk {
namespace {

using test::Bytes;
using test::Lines;
using test::RegWrite;

// The set-up register writes as the board's documentation lists them:
// "register=value" per device, the 100 ms settle after decoder register 0x88.
constexpr char kDecoderRows[] =
    "01=08 03=20 0F=0F 10=06 11=00 12=00 13=00 14=05 15=11 16=01 17=DA 18=40 19=80 1A=77 1B=42 1C=A9 1D=01 "
    "3A=08 40=00 53=55 58=00 59=47 5A=06 5B=83 5D=0C 5E=00 88=00 80=90 81=00 83=00 84=F0 85=00 86=70 87=31 "
    "90=00 91=08 92=00 93=C0 94=04 95=00 96=D0 97=02 98=0A 99=00 9A=06 9B=01 9C=D0 9D=02 9E=07 9F=01 A0=01 "
    "A1=00 A2=00 A4=80 A5=40 A6=40 A8=F4 A9=03 AA=00 AC=FA AD=01 AE=00 B0=00 B1=04 B2=00 B3=04 B4=00 B8=00 "
    "B9=00 BA=00 BB=00 BC=00 BD=00 BE=00 BF=00 0A=80 0B=41 0C=40 0D=FFFFFF00 08=68";
constexpr char kVolumeRows[] = "1E=00 00=17 02=17 0A=00 0C=5A 0E=02 10=00 12=01";
constexpr char kGhostRows[] =
    "00=40 01=B8 02=58 03=87 04=86 05=03 06=14 07=0B 08=AF 09=7F 0A=00 0B=00 0C=1D 0D=5E 0E=00 0F=D0";
constexpr char kYcRows[] =
    "00=5F 01=01 02=A1 03=24 04=25 05=34 06=11 07=01 08=56 09=48 0A=00 0B=38 0C=A0 0D=05 0E=08 0F=44 "
    "10=00 11=08 12=53 13=F8 14=53 15=60 16=10 17=00";

Lines Writes(uint32_t device, const char* rows) {
  Lines lines;
  std::istringstream in(rows);
  std::string row;
  while (in >> row) {
    const size_t eq = row.find('=');
    lines.push_back(RegWrite(device, std::stoul(row.substr(0, eq), nullptr, 16),
                             std::stoul(row.substr(eq + 1), nullptr, 16)));
  }
  return lines;
}

Lines StartupWrites() {
  Lines lines = Writes(0x21, kDecoderRows);
  const Lines volume = Writes(0x1B, kVolumeRows);
  lines.insert(lines.end(), volume.begin(), volume.end());
  return lines;
}

Lines EnhancerWrites() {
  Lines lines = Writes(0x12, kGhostRows);
  const Lines yc = Writes(0x5C, kYcRows);
  lines.insert(lines.end(), yc.begin(), yc.end());
  return lines;
}

// The parameter block, field by field: 32-bit little-endian values at the
// given offsets, single bytes at 12 to 15 and 240, zero everywhere else.
Bytes ExpectedParameterBlock() {
  Bytes block(341, 0);
  const std::pair<int, uint32_t> words[] = {
      {4, 2},     {20, 2},    {28, 5},    {32, 2},     {36, 18},   {40, 19},  {44, 6},    {48, 7},
      {52, 276},  {56, 1716}, {84, 720},  {88, 480},   {104, 255}, {108, 1},  {120, 1},   {124, 15},
      {128, 3},   {140, 1},   {144, 2},   {148, 5},    {152, 16},  {156, 1},  {160, 1},   {164, 4},
      {168, 6144}, {172, 6144}, {180, 1}, {184, 1},    {192, 1},   {196, 2048}, {200, 16}, {204, 33},
      {208, 49},  {212, 33},  {216, 2},   {220, 1},    {224, 1},   {236, 1},  {245, 1},   {253, 48000},
      {257, 224}, {261, 1},   {265, 2},   {277, 3},    {281, 4},   {285, 6},  {305, 2},   {313, 192},
      {317, 1},   {337, 1}};
  for (const auto& [offset, value] : words) {
    for (int byte = 0; byte < 4; ++byte) block[offset + byte] = static_cast<uint8_t>(value >> (8 * byte));
  }
  block[13] = 0x22;
  block[14] = 0xD4;
  block[15] = 0x72;
  return block;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of("\\/") + 1); }

class InitEncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RecordModulePath(nullptr);  // the test program's folder holds MbPciEncoder.rom
    firmwarePath = Folder(modulePath) + "MbPciEncoder.rom";
    object.captureFilter = rig.filter;
  }
  void TearDown() override {
    object.captureFilter.Reset();
    RecordModulePath(nullptr);
  }
  // Points the module at a folder of the test's own, with or without a firmware file.
  std::string UseFolder(const char* name, const Bytes* firmware) {
    const std::string folder = Folder(firmwarePath) + name + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string file = folder + "MbPciEncoder.rom";
    DeleteFileA(file.c_str());
    if (firmware) std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(firmware->data()), firmware->size());
    std::snprintf(modulePath, MAX_PATH, "%szelkenc.dll", folder.c_str());
    return file;
  }
  Lines Head(size_t count) const {
    Lines lines = rig.Lines();
    lines.resize(count < lines.size() ? count : lines.size());
    return lines;
  }

  test::SimRig rig;
  EncoderObject object{nullptr, nullptr};
  test::TraceCapture trace;
  std::string firmwarePath;
};

TEST_F(InitEncTest, DownloadsFirmwareBlockRecordAndStartupTable) {
  rig.board->SetBoardCode(4096);
  ASSERT_EQ(object.InitEnc(), S_OK);
  EXPECT_FALSE(object.enhancerPresent);

  const Bytes image = ReadFile(firmwarePath);
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(rig.board->Firmware(), image);
  EXPECT_EQ(rig.board->ParameterBlock(), ExpectedParameterBlock());

  Lines expected = {
      test::DevSet(91, [&] {
        Bytes header = test::Le32(static_cast<uint32_t>(image.size()));
        const Bytes one = test::Le32(1);
        header.insert(header.end(), one.begin(), one.end());
        header.insert(header.end(), image.begin(), image.end());
        return header;
      }()),
      test::DevGet(90, [] {
        Bytes info = test::Le32(4096);
        info.resize(30, 0);
        return info;
      }()),
      test::DevSet(88, ExpectedParameterBlock()),
      test::DevSet(99, {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,
                        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
  };
  const Lines writes = StartupWrites();
  expected.insert(expected.end(), writes.begin(), writes.end());
  ASSERT_EQ(writes.size(), 88u);
  EXPECT_EQ(rig.Lines(), expected);
  EXPECT_TRUE(trace.Lines().empty());

  // The only wait: 100 ms after the write of decoder register 0x88 (row 26).
  EXPECT_GE(rig.MicrosecondsBetween(4 + 26, 4 + 27), 100000);
}

TEST_F(InitEncTest, EnhancerBoardsGetTheEnhancerTableAndKeepTheFlag) {
  for (uint32_t code : {4721u, 5632u}) {
    rig.board->SetBoardCode(code);
    rig.ClearLog();
    object.enhancerPresent = FALSE;
    ASSERT_EQ(object.InitEnc(), S_OK) << code;
    EXPECT_TRUE(object.enhancerPresent);
    Lines expected = StartupWrites();
    const Lines enhancer = EnhancerWrites();
    expected.insert(expected.end(), enhancer.begin(), enhancer.end());
    Lines writes = rig.Lines();
    writes.erase(writes.begin(), writes.begin() + 4);
    EXPECT_EQ(writes, expected) << code;
    EXPECT_EQ(writes.size(), 128u);
  }
  // A later load that reports another board code does not clear the flag: the
  // enhancer table is written again, and this board, without the unit, refuses it.
  rig.board->SetBoardCode(4096);
  rig.ClearLog();
  const HRESULT hr = object.InitEnc();
  EXPECT_TRUE(FAILED(hr));
  EXPECT_TRUE(object.enhancerPresent);
  EXPECT_EQ(rig.Lines().size(), 4u + 88u + 1u);
  EXPECT_EQ(trace.LastStep(), 9);
}

TEST_F(InitEncTest, MissingFirmwareSendsNothing) {
  UseFolder("no-firmware", nullptr);
  EXPECT_EQ(object.InitEnc(), E_FAIL);
  EXPECT_TRUE(rig.Lines().empty());
  ASSERT_EQ(trace.Lines().size(), 1u);
  EXPECT_EQ(trace.Lines()[0], "ERROR -----> InitEnc()  step=1  idxAry=0  hr=0x0\n");
}

TEST_F(InitEncTest, UnknownModulePathNeverFallsBackToTheCurrentFolder) {
  // The current folder holds a firmware file, but the module's own path could
  // not be read: the firmware is not looked for anywhere else.
  RecordModulePath(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10)));
  ASSERT_EQ(modulePath[0], '\0');
  char current[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, current);
  SetCurrentDirectoryA(Folder(firmwarePath).c_str());
  EXPECT_EQ(object.InitEnc(), E_FAIL);
  SetCurrentDirectoryA(current);
  EXPECT_EQ(trace.LastStep(), 1);
  EXPECT_TRUE(rig.Lines().empty());
}

TEST_F(InitEncTest, EmptyFirmwareSendsTheBareHeader) {
  const Bytes empty;
  UseFolder("empty-firmware", &empty);
  EXPECT_EQ(object.InitEnc(), S_OK);
  EXPECT_EQ(Head(1), (Lines{test::DevSet(91, {0, 0, 0, 0, 1, 0, 0, 0})}));
  EXPECT_EQ(rig.Lines().size(), 4u + 88u);
}

TEST_F(InitEncTest, FirmwareTooLargeForTheHeaderFailsBeforeSending) {
  // 4 GiB - 8 bytes cannot be described with the header's 32-bit length. The
  // file is sparse: it takes no disk space.
  const std::string file = UseFolder("huge-firmware", nullptr);
  HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  size.QuadPart = 0xFFFFFFFFll - 7;
  ASSERT_TRUE(SetFilePointerEx(handle, size, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(handle));
  CloseHandle(handle);

  EXPECT_EQ(object.InitEnc(), E_FAIL);
  EXPECT_TRUE(rig.Lines().empty());
  EXPECT_EQ(trace.LastStep(), 2);
  DeleteFileA(file.c_str());
}

TEST_F(InitEncTest, EachRequestFailureStopsAtItsStep) {
  struct Case {
    size_t request;  // 1-based position of the failing request
    int step;
    int row;
  };
  // 91, 90, 88, 99, then the start-up rows: 5 is row 0, 92 the last row (87);
  // with the enhancer unit, 93 is its row 0.
  const Case cases[] = {{1, 3, 0}, {2, 4, 0}, {3, 6, 0}, {4, 7, 0}, {5, 8, 0}, {31, 8, 26}, {92, 8, 87},
                        {93, 9, 0}, {132, 9, 39}};
  for (const Case& c : cases) {
    rig.board->SetBoardCode(4721);
    rig.ClearLog();
    rig.board->ClearFaults();
    rig.board->FailRequest(c.request, E_ACCESSDENIED);
    trace.Clear();
    EXPECT_EQ(object.InitEnc(), E_ACCESSDENIED) << c.request;
    EXPECT_EQ(rig.Lines().size(), c.request) << "nothing after the failing request";
    ASSERT_EQ(trace.Lines().size(), 1u);
    char line[96];
    std::snprintf(line, sizeof line, "ERROR -----> InitEnc()  step=%d  idxAry=%d  hr=0x80070005\n", c.step, c.row);
    EXPECT_EQ(trace.Lines()[0], line);
  }
}

TEST_F(InitEncTest, TheSettleWaitFollowsAFailedWriteToo) {
  rig.board->FailRequest(31, E_ACCESSDENIED);  // decoder register 0x88, row 26
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  EXPECT_EQ(object.InitEnc(), E_ACCESSDENIED);
  QueryPerformanceCounter(&end);
  EXPECT_GE((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart, 100);
}

TEST_F(InitEncTest, ResultIsThatOfTheLastWrite) {
  rig.board->FailWhen(
      [](const sim::LoggedRequest& request) {
        return request.id == 89 && request.instance.size() == 9 && request.instance[0] == 0x1B &&
               request.instance[5] == 0x12;
      },
      S_FALSE);
  EXPECT_EQ(object.InitEnc(), S_FALSE);
  EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(InitEncTest, WithoutACaptureFilterNothingIsSent) {
  object.captureFilter.Reset();
  EXPECT_EQ(object.InitEnc(), ZELK_E_NO_CAPTURE_FILTER);
  EXPECT_EQ(trace.LastStep(), 3);
  EXPECT_TRUE(rig.Lines().empty());
}

}  // namespace
}  // namespace zelk
