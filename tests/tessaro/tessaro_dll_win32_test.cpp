// Tessaro.dll as Korvalin.exe uses it: loaded by the program's loader from
// the program's folder, configured by the environment, driven from outside
// through its control pipe and kvsimctl, keeping its memory in a state file.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "device/device_link.h"
#include "device/protocol.h"
#include "device/transport.h"
#include "device/transport_win32.h"
#include "tessaro/sim/sim_control_win32.h"
#include "tessaro/sim/sim_factory.h"
#include "tessaro/sim/sim_keyboard.h"
#include "widgets/application_win32.h"

namespace {

std::wstring tempFile(const std::wstring& stem) {
  wchar_t tmp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, tmp);
  return std::wstring(tmp, n) + stem + std::to_wstring(GetCurrentProcessId());
}

std::vector<uint8_t> readAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class TessaroDllTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    statePath = tempFile(L"kv-dll-state-");
    tracePath = tempFile(L"kv-dll-trace-");
    pipeName = kv::sim::PipeNameFrom(L"KorvalinSimTest-" + std::to_wstring(GetCurrentProcessId()));
    DeleteFileW(statePath.c_str());
    DeleteFileW(tracePath.c_str());
    SetEnvironmentVariableW(L"KORVALIN_SIM_STATE", statePath.c_str());
    SetEnvironmentVariableW(L"KORVALIN_SIM_TRACE", tracePath.c_str());
    SetEnvironmentVariableW(L"KORVALIN_SIM_PIPE", pipeName.c_str());
    SetEnvironmentVariableW(L"KORVALIN_SIM_ROUND_TRIP_MS", L"0.5");
    SetEnvironmentVariableW(L"KORVALIN_SIM_MACRO_UNITS", L"32");
    SetEnvironmentVariableW(L"KORVALIN_SIM_PROFILE", L"1");
    loadResult = kv::TryLoadTransport(kv::DefaultTransportCallback, &deviceCount, &cause);
    kv::TransactionTiming t;
    t.responseTimeout = std::chrono::milliseconds(300);
    kv::DeviceLinkState().timing = t;
  }
  static void TearDownTestSuite() {
    DeleteFileW(statePath.c_str());
    DeleteFileW(tracePath.c_str());
  }
  void SetUp() override {
    ASSERT_EQ(loadResult, 0) << std::string(cause.begin(), cause.end());
    std::string reply;
    ASSERT_TRUE(kv::sim::SendControl(pipeName, "fault clear", &reply)) << reply;
    ASSERT_TRUE(kv::sim::SendControl(pipeName, "plug", &reply)) << reply;
  }
  static std::string control(const std::string& line) {
    std::string reply;
    EXPECT_TRUE(kv::sim::SendControl(pipeName, line, &reply)) << reply;
    return reply;
  }

  static inline std::wstring statePath, tracePath, pipeName, cause;
  static inline int loadResult = -1;
  static inline int deviceCount = 0;
};

// Windows cannot rename an open file: the unreadable state file must be
// closed before it is set aside, or the next save overwrites it.
TEST(SimStateFileWindows, UnreadableFileIsSetAsideAndSurvivesTheNextSave) {
  const std::wstring path = tempFile(L"kv-sim-bad-state-");
  const std::wstring bad = path + L".bad";
  for (bool earlierBad : {false, true}) {
    DeleteFileW(path.c_str());
    DeleteFileW(bad.c_str());
    if (earlierBad) std::ofstream(std::filesystem::path(bad), std::ios::binary) << "an older one";
    const std::string garbage = "KVSIMST1 but cut short";
    std::ofstream(std::filesystem::path(path), std::ios::binary) << garbage;
    kv::sim::SimConfig config;
    config.roundTrip = std::chrono::microseconds(0);
    config.statePath = std::filesystem::path(path);
    {
      kv::sim::SimKeyboard kb(config);
      EXPECT_EQ(kb.read(kv::sim::Region::Info, 11, 1), std::vector<uint8_t>{kv::sim::kDefaultMacroUnits});
      auto lines = kb.trace();
      EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("kept as") != std::string::npos;
      })) << "earlier .bad: " << earlierBad;
      ASSERT_TRUE(kb.save());
    }
    std::vector<uint8_t> kept = readAll(bad);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), garbage) << "earlier .bad: " << earlierBad;
    kv::sim::SimMemory saved;
    std::string error;
    EXPECT_TRUE(kv::sim::ParseState(readAll(path), &saved, &error)) << error;
  }
  DeleteFileW(path.c_str());
  DeleteFileW(bad.c_str());
}

TEST_F(TessaroDllTest, LoadsFromTheProgramFolderAndAnswers) {
  EXPECT_EQ(deviceCount, 1);
  std::array<uint8_t, 324> table{};
  ASSERT_EQ(kv::ReadDefaultKeyTable(table), 1);
  EXPECT_EQ(table, kv::sim::kKeySlotTemplate);
  std::array<uint8_t, 48> info{};
  ASSERT_EQ(kv::ReadInfoBlock(info), 1);
  EXPECT_EQ(info[10], 1);  // KORVALIN_SIM_PROFILE
  EXPECT_EQ(info[11], 32);  // KORVALIN_SIM_MACRO_UNITS
  EXPECT_NE(control("status").find("roundtrip_us=500"), std::string::npos);
}

TEST_F(TessaroDllTest, ControlPipeUnplugsInjectsFaultsAndReadsTheTrace) {
  EXPECT_EQ(control("unplug"), "OK\n");
  EXPECT_EQ(kv::CountDevices(), 0);
  std::array<uint8_t, 48> info{};
  EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultNoDevice);
  EXPECT_EQ(control("plug"), "OK\n");
  EXPECT_EQ(kv::CountDevices(), 1);

  EXPECT_EQ(control("trace clear"), "OK\n");
  EXPECT_EQ(control("fault status FF 5"), "OK\n");
  EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultStatusError);
  std::string trace = control("trace");
  size_t outs = 0;
  for (size_t at = trace.find("\nOUT 0433000330"); at != std::string::npos; at = trace.find("\nOUT 0433000330", at + 1))
    ++outs;
  EXPECT_EQ(outs, 3u) << trace;
  EXPECT_EQ(control("fault clear"), "OK\n");
  EXPECT_EQ(kv::ReadInfoBlock(info), 1);
  EXPECT_EQ(control("bogus").substr(0, 3), "ERR");

  // A lying keyboard: the write succeeds and the memory keeps the old byte.
  const std::string before = control("read settings 57 1");
  EXPECT_EQ(control("fault lie 1"), "OK\n");
  const uint8_t rate = before == "OK\n02\n" ? 1 : 2;
  ASSERT_EQ(kv::BeginConfig(), 1);
  EXPECT_EQ(kv::WriteSettings(std::span(&rate, 1), 1, 57), 1);
  ASSERT_EQ(kv::EndConfig(), 1);
  EXPECT_EQ(control("read settings 57 1"), before);
  EXPECT_EQ(control("fault lie x").substr(0, 3), "ERR");
}

TEST_F(TessaroDllTest, MemoryGoesToTheStateFileAtEndConfig) {
  std::array<uint8_t, 324> table = kv::sim::kKeySlotTemplate;
  table[24] = 0x02;
  table[25] = 0x02;
  table[26] = 0x04;  // Esc becomes A
  ASSERT_EQ(kv::BeginConfig(), 1);
  ASSERT_EQ(kv::WriteKeyTable(table, 2), 1);
  ASSERT_EQ(kv::EndConfig(), 1);
  std::vector<uint8_t> image = readAll(statePath);
  kv::sim::SimMemory memory;
  std::string error;
  ASSERT_TRUE(kv::sim::ParseState(image, &memory, &error)) << error;
  EXPECT_TRUE(std::equal(table.begin(), table.end(), memory.keyTables.begin() + 2 * 324));
  EXPECT_EQ(memory.macro.size(), 32u * 128);
}

TEST_F(TessaroDllTest, TraceFileHasBothDirections) {
  std::array<uint8_t, 48> info{};
  ASSERT_EQ(kv::ReadInfoBlock(info), 1);
  control("status");  // the answer is traced before the pipe replies
  std::vector<uint8_t> bytes = readAll(tracePath);
  std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("OUT 0433000330"), std::string::npos);
  EXPECT_TRUE(std::regex_search(text, std::regex("\nIN 04[0-9A-F]{4}0330000000[0-9A-F]{112}\n")));
}

TEST_F(TessaroDllTest, KvsimctlDrivesItFromAnotherProcess) {
  auto run = [](const std::wstring& args) -> long {
    std::wstring exe = kv::ExecutableFolder() + L"kvsimctl.exe";
    std::wstring cmd = L"\"" + exe + L"\" --pipe " + pipeName + L" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      return -1;
    DWORD code = 99;
    if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<long>(code);
  };
  EXPECT_EQ(run(L"event 0402 2"), 0);
  EXPECT_NE(control("status").find("profile=2"), std::string::npos);
  EXPECT_EQ(run(L"no such command"), 1);
  kv::ResetActiveProfileCache();
  EXPECT_EQ(kv::GetActiveProfile(), 2);
}

}  // namespace
