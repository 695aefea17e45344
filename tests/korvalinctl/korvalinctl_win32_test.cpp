// korvalinctl.exe under Windows: the simulated keyboard in-process with
// --sim, and without it the Tessaro.dll beside the program.
#include <gtest/gtest.h>
#include <windows.h>

#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "device/transport_win32.h"
#include "tessaro/sim/sim_keyboard.h"
#include "widgets/application_win32.h"

namespace {

std::wstring tempPath(const std::wstring& stem) {
  wchar_t tmp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, tmp);
  return std::wstring(tmp, n) + stem + std::to_wstring(GetCurrentProcessId());
}

std::string readAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Result {
  long rc = -1;
  std::string out;
  std::string err;
};

class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~Handle() {
    if (valid()) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return h_ && h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

class KorvalinctlExeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_ = tempPath(L"kvctl-state-");
    dllState_ = tempPath(L"kvctl-dll-state-");
    trace_ = tempPath(L"kvctl-trace-");
    for (const std::wstring* p : {&state_, &dllState_, &trace_}) DeleteFileW(p->c_str());
    SetEnvironmentVariableW(L"KORVALIN_SIM_STATE", dllState_.c_str());
    SetEnvironmentVariableW(L"KORVALIN_SIM_PIPE", L"none");
    SetEnvironmentVariableW(L"KORVALIN_SIM_ROUND_TRIP_MS", L"0");
    SetEnvironmentVariableW(L"KORVALIN_SIM_ATTACHED", nullptr);
  }
  void TearDown() override {
    for (const std::wstring* p : {&state_, &dllState_, &trace_}) DeleteFileW(p->c_str());
  }

  Result Run(const std::wstring& args) {
    Result r;
    std::wstring outPath = tempPath(L"kvctl-out-"), errPath = tempPath(L"kvctl-err-");
    {
      SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
      Handle out(CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
      Handle err(CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
      if (!out.valid() || !err.valid()) {
        ADD_FAILURE() << "cannot create the output files: " << GetLastError();
        return r;
      }
      std::wstring exe = kv::ExecutableFolder() + L"korvalinctl.exe";
      std::wstring cmd = L"\"" + exe + L"\" " + args;
      STARTUPINFOW si{};
      si.cb = sizeof si;
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
      si.hStdOutput = out.get();
      si.hStdError = err.get();
      PROCESS_INFORMATION pi{};
      if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
        return r;
      }
      Handle process(pi.hProcess), thread(pi.hThread);
      lastPid_ = pi.dwProcessId;
      DWORD code = 99;
      if (WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0 && GetExitCodeProcess(process.get(), &code))
        r.rc = static_cast<long>(code);
    }
    r.out = readAll(outPath);
    r.err = readAll(errPath);
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    return r;
  }

  kv::sim::SimMemory StateOf(const std::wstring& path) {
    std::string bytes = readAll(path);
    kv::sim::SimMemory m;
    std::string why;
    EXPECT_TRUE(kv::sim::ParseState(std::vector<uint8_t>(bytes.begin(), bytes.end()), &m, &why)) << why;
    return m;
  }

  std::wstring state_, dllState_, trace_;
  DWORD lastPid_ = 0;  // of the last run, which has ended
};

TEST_F(KorvalinctlExeTest, SimulatedKeyboardInProcess) {
  ASSERT_EQ(Run(L"--sim \"" + state_ + L"\" sim-new --profile 2").rc, 0);
  Result shown = Run(L"--sim \"" + state_ + L"\" --round-trip 0 lighting show --profile 1");
  ASSERT_EQ(shown.rc, 0) << shown.err;
  EXPECT_NE(shown.out.find("\"effect\": 254"), std::string::npos) << shown.out;
  EXPECT_EQ(StateOf(state_).info[10], 2);
}

TEST_F(KorvalinctlExeTest, TessaroDllBesideTheProgram) {
  Result r = Run(L"--trace \"" + trace_ + L"\" report-rate 2 --profile 1");
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(StateOf(dllState_).settings[57], 2);
  std::string trace = readAll(trace_);
  EXPECT_NE(trace.find("OUT 044200060139000002"), std::string::npos) << trace;
  EXPECT_NE(trace.find("\nIN 04"), std::string::npos) << trace;

  Result info = Run(L"info");
  EXPECT_EQ(info.rc, 0) << info.err;
  EXPECT_NE(info.out.find("\"macro_memory\": 8192"), std::string::npos) << info.out;

  // Through the library only counts can be told: no list of nodes.
  Result devices = Run(L"devices");
  EXPECT_EQ(devices.rc, 0) << devices.err;
  EXPECT_NE(devices.out.find("\"keyboards\": 1"), std::string::npos) << devices.out;
  EXPECT_NE(devices.out.find("\"led\": 1"), std::string::npos) << devices.out;
  EXPECT_EQ(devices.out.find("\"found\""), std::string::npos) << devices.out;
}

TEST_F(KorvalinctlExeTest, BadInputAndNoKeyboard) {
  ASSERT_EQ(Run(L"info").rc, 0);  // creates the library's state file
  std::string before = readAll(dllState_);
  Result bad = Run(L"lighting brightness 9");
  EXPECT_EQ(bad.rc, 2);
  EXPECT_EQ(bad.err.rfind("korvalinctl: lighting brightness: N must be 0-4", 0), 0u) << bad.err;
  EXPECT_EQ(readAll(dllState_), before);

  SetEnvironmentVariableW(L"KORVALIN_SIM_ATTACHED", L"0");
  Result none = Run(L"info");
  EXPECT_EQ(none.rc, 3);
  EXPECT_NE(none.err.find("no keyboard attached"), std::string::npos) << none.err;
}

// A save killed before its rename leaves "<name>.tmp-<pid>"; the next save
// of the file removes it unless that process still runs.
TEST_F(KorvalinctlExeTest, SaveRemovesTheTemporaryFileOfAKilledSave) {
  const std::wstring file = tempPath(L"kvctl-profile-") + L".kvp";
  ASSERT_EQ(Run(L"file new \"" + file + L"\"").rc, 0);
  const std::wstring dead = file + L".tmp-" + std::to_wstring(lastPid_);
  const std::wstring running = file + L".tmp-" + std::to_wstring(GetCurrentProcessId());
  std::ofstream(std::filesystem::path(dead), std::ios::binary) << "half a profile";
  std::ofstream(std::filesystem::path(running), std::ios::binary) << "a save in progress";
  Result again = Run(L"file new \"" + file + L"\"");
  EXPECT_EQ(again.rc, 0) << again.err;
  EXPECT_EQ(GetFileAttributesW(dead.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(running.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(readAll(file).size(), 32832u);
  for (const std::wstring& p : {file, dead, running}) DeleteFileW(p.c_str());
}

// Windows file names ignore case: the same file however it is spelled.
TEST_F(KorvalinctlExeTest, TraceOnTheStateFileIsRefused) {
  ASSERT_EQ(Run(L"--sim \"" + state_ + L"\" sim-new").rc, 0);
  const std::string before = readAll(state_);
  std::wstring shouted = state_;
  for (wchar_t& c : shouted) c = static_cast<wchar_t>(towupper(c));
  Result r = Run(L"--sim \"" + state_ + L"\" --trace \"" + shouted + L"\" info");
  EXPECT_EQ(r.rc, 2);
  EXPECT_NE(r.err.find("is the same file as --sim"), std::string::npos) << r.err;
  EXPECT_EQ(readAll(state_), before);
}

// A backup through Tessaro.dll, restored onto a factory-new keyboard with the
// read-back; a damaged copy refused with nothing written; a lying
// in-process keyboard caught.
TEST_F(KorvalinctlExeTest, BackupRestoreAndVerify) {
  const std::wstring backup = tempPath(L"kvctl-backup-"), damaged = tempPath(L"kvctl-damaged-");
  ASSERT_EQ(Run(L"lighting fill --profile 2").rc, 0);
  ASSERT_EQ(Run(L"switch 1").rc, 0);
  Result b = Run(L"backup \"" + backup + L"\"");
  ASSERT_EQ(b.rc, 0) << b.err;
  const std::string kept = readAll(dllState_);

  DeleteFileW(dllState_.c_str());  // a factory-new keyboard
  ASSERT_EQ(Run(L"info").rc, 0);
  std::string file = readAll(backup);
  ASSERT_EQ(file.size(), 1898u + 8192u);
  file[2000] ^= 0x40;
  {
    std::ofstream out(std::filesystem::path(damaged), std::ios::binary);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
  }
  const std::string factory = readAll(dllState_);
  Result refused = Run(L"restore \"" + damaged + L"\"");
  EXPECT_EQ(refused.rc, 2);
  EXPECT_NE(refused.err.find("damaged keyboard backup: checksum"), std::string::npos) << refused.err;
  EXPECT_EQ(readAll(dllState_), factory);

  Result r = Run(L"restore \"" + backup + L"\" --verify");
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(readAll(dllState_), kept);

  ASSERT_EQ(Run(L"--sim \"" + state_ + L"\" sim-new").rc, 0);
  Result lied = Run(L"--sim \"" + state_ + L"\" --round-trip 0 --sim-fault \"lie 1\" lighting clear --verify");
  EXPECT_EQ(lied.rc, 1);
  EXPECT_NE(lied.err.find("verify failed: colours 0 differs at offset 0x00"), std::string::npos) << lied.err;
  DeleteFileW(backup.c_str());
  DeleteFileW(damaged.c_str());
}

}  // namespace
