// The loader under Wine: a library lacking one entry point, an Init that
// fails and a missing library each end the program with their own code; a
// Tessaro.dll planted in the current folder or on PATH is never loaded.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "device/transport.h"
#include "device/transport_win32.h"
#include "widgets/application_win32.h"

namespace {

std::wstring bin() { return kv::ExecutableFolder(); }

class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& tag) {
    wchar_t tmp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, tmp);
    EXPECT_GT(n, 0u);
    path_ = std::wstring(tmp, n) + L"kv-loader-" + tag + L"-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    EXPECT_TRUE(CreateDirectoryW(path_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  }
  ~ScratchFolder() {
    for (const std::wstring& f : files_) DeleteFileW(f.c_str());
    RemoveDirectoryW(path_.c_str());
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  void copy(const std::wstring& from, const std::wstring& as) {
    std::wstring to = path_ + as;
    ASSERT_TRUE(CopyFileW((bin() + from).c_str(), to.c_str(), FALSE)) << GetLastError();
    files_.push_back(to);
  }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  std::vector<std::wstring> files_;
};

class ProcessHandles {
 public:
  explicit ProcessHandles(const PROCESS_INFORMATION& pi) : pi_(pi) {}
  ~ProcessHandles() {
    if (pi_.hThread) CloseHandle(pi_.hThread);
    if (pi_.hProcess) CloseHandle(pi_.hProcess);
  }
  ProcessHandles(const ProcessHandles&) = delete;
  ProcessHandles& operator=(const ProcessHandles&) = delete;
  HANDLE process() const { return pi_.hProcess; }

 private:
  PROCESS_INFORMATION pi_;
};

// Runs the probe from programFolder with currentFolder as its current
// folder; returns its exit code, or -1.
long runProbe(const std::wstring& programFolder, const std::wstring& currentFolder) {
  std::wstring exe = programFolder + L"transport_probe.exe";
  std::wstring cmd = L"\"" + exe + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, currentFolder.c_str(), &si,
                      &pi)) {
    ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
    return -1;
  }
  ProcessHandles handles(pi);
  if (WaitForSingleObject(handles.process(), 60000) != WAIT_OBJECT_0) {
    TerminateProcess(handles.process(), 99);
    ADD_FAILURE() << "the probe did not end";
    return -1;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(handles.process(), &code)) return -1;
  return static_cast<long>(code);
}

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The simulated keyboard of the probes keeps no state and opens no pipe.
    SetEnvironmentVariableW(L"KORVALIN_SIM_STATE", L"none");
    SetEnvironmentVariableW(L"KORVALIN_SIM_PIPE", L"none");
  }
};

TEST_F(LoaderTest, EachUnusableLibraryEndsWithItsOwnCode) {
  struct Case {
    const wchar_t* tag;
    const wchar_t* library;  // copied as Tessaro.dll; null = none
    long exitCode;
  };
  const Case cases[] = {
      {L"nofeature", L"TessaroStub_nofeature.dll", kv::kExitTransportEntryPointMissing},
      {L"initfails", L"TessaroStub_initfails.dll", kv::kExitTransportInitFailed},
      {L"missing", nullptr, kv::kExitTransportLibraryMissing},
      {L"working", L"Tessaro.dll", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tag, c.tag + wcslen(c.tag)));
    ScratchFolder program(c.tag);
    program.copy(L"transport_probe.exe", L"transport_probe.exe");
    if (c.library) program.copy(c.library, L"Tessaro.dll");
    EXPECT_EQ(runProbe(program.path(), program.path()), c.exitCode);
  }
}

TEST_F(LoaderTest, LibraryInTheCurrentFolderOrOnPathIsNotLoaded) {
  ScratchFolder program(L"noplant");
  program.copy(L"transport_probe.exe", L"transport_probe.exe");
  ScratchFolder planted(L"planted");
  planted.copy(L"Tessaro.dll", L"Tessaro.dll");

  wchar_t oldPath[32768];
  DWORD n = GetEnvironmentVariableW(L"PATH", oldPath, 32768);
  std::wstring path = planted.path() + (n ? L";" + std::wstring(oldPath, n) : L"");
  ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", path.c_str()));
  long code = runProbe(program.path(), planted.path());
  SetEnvironmentVariableW(L"PATH", n ? std::wstring(oldPath, n).c_str() : nullptr);
  EXPECT_EQ(code, kv::kExitTransportLibraryMissing);
}

TEST_F(LoaderTest, BindingNamesTheMissingEntryPoint) {
  kv::TransportApi api;
  std::wstring cause;
  EXPECT_EQ(kv::BindTransportLibrary(bin() + L"TessaroStub_nofeature.dll", &api, &cause),
            kv::kExitTransportEntryPointMissing);
  EXPECT_NE(cause.find(L"RequestStatusSetFeature"), std::wstring::npos);
  EXPECT_FALSE(api.complete());

  EXPECT_EQ(kv::BindTransportLibrary(bin() + L"TessaroStub_initfails.dll", &api, &cause), 0);
  EXPECT_TRUE(api.complete());
  EXPECT_NE(api.module, nullptr);

  EXPECT_EQ(kv::BindTransportLibrary(bin() + L"NoSuchLibrary.dll", &api, &cause),
            kv::kExitTransportLibraryMissing);
}

}  // namespace
