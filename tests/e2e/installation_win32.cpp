#include "tests/e2e/installation_win32.h"

#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <optional>

#include "tests/e2e/harness_win32.h"
#include "widgets/application_win32.h"

namespace kv::e2e {
namespace {

const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

bool copyTree(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code ec;
  std::filesystem::copy(from, to,
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing,
                        ec);
  return !ec;
}

}  // namespace

namespace {

// Ends every Korvalin.exe of this Wine prefix (or Windows session) that is
// still running. A scenario's own program is ended by its Running; a
// program started some other way (a key reaching the desktop, a hand-over)
// would take every later start's hand-over and fail the scenarios after it.
void endStrayPrograms() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, L"Korvalin.exe") != 0) continue;
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
      std::printf("[ stray ] a Korvalin.exe (process %lu) outlived its scenario: ended\n",
                  static_cast<unsigned long>(entry.th32ProcessID));
      std::fflush(stdout);
      if (!TerminateProcess(process, 255) || WaitForSingleObject(process, 5000) != WAIT_OBJECT_0)
        std::printf("[ stray ] process %lu did not end (error %lu)\n", static_cast<unsigned long>(entry.th32ProcessID),
                    GetLastError());
      CloseHandle(process);
    }
  }
  CloseHandle(snapshot);
}

}  // namespace

Installation::Installation() {
  endStrayPrograms();
  static std::atomic<int> counter{0};
  wchar_t tmp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, tmp);
  base_ = std::wstring(tmp, n) + L"kv_e2e_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
          std::to_wstring(counter++) + L"\\";
  folder_ = base_ + L"Korvalin\\";
  documents_ = base_ + L"Documents";
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  std::filesystem::create_directories(documents_, ec);
  std::wstring bin = ExecutableFolder();
  for (const wchar_t* f : {L"Korvalin.exe", L"Tessaro.dll"}) CopyFileW((bin + f).c_str(), (folder_ + f).c_str(), FALSE);
  copyTree(bin + L"Skins", folder_ + L"Skins");
  copyTree(bin + L"Help", folder_ + L"Help");
  registry_.push_back(std::make_unique<RegistryOverride>(kShellFolders, L"Personal", documents_));
  // The simulated keyboard keeps its memory in the user's local data folder:
  // one of the installation's own.
  localAppData_ = base_ + L"LocalAppData";
  std::filesystem::create_directories(localAppData_, ec);
  setEnv(L"LOCALAPPDATA", localAppData_);
  registry_.push_back(
      std::make_unique<RegistryOverride>(L"Software\\Wine\\AppDefaults\\Korvalin.exe\\X11 Driver", L"Managed", L"N"));
}

Installation::~Installation() {
  endStrayPrograms();
  registry_.clear();
  std::error_code ec;
  // A process just ended may still hold a file for a moment.
  waitFor([&] {
    std::filesystem::remove_all(base_, ec);
    return !ec;
  }, 3000, 100);
}

bool Installation::exists(const std::wstring& relative) const {
  return GetFileAttributesW(path(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Installation::remove(const std::wstring& relative) { return DeleteFileW(path(relative).c_str()) != FALSE; }

bool Installation::useLibrary(const std::wstring& builtLibrary) {
  return CopyFileW((ExecutableFolder() + builtLibrary).c_str(), path(L"Tessaro.dll").c_str(), FALSE) != FALSE;
}

void Installation::setEnv(const std::wstring& name, const std::wstring& value) { env_.emplace_back(name, value); }

UniqueKernelHandle Installation::start(const std::wstring& arguments) const {
  // What the test process had is put back afterwards (LOCALAPPDATA is the
  // system's).
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> before;
  for (const auto& [name, value] : env_) {
    wchar_t old[32768];
    DWORD n = GetEnvironmentVariableW(name.c_str(), old, 32768);
    before.emplace_back(name, n > 0 && n < 32768 ? std::optional<std::wstring>(std::wstring(old, n)) : std::nullopt);
  }
  for (const auto& [name, value] : env_) SetEnvironmentVariableW(name.c_str(), value.c_str());
  std::wstring exe = exePath();
  std::wstring cmd = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  BOOL ok = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(), &si, &pi);
  for (auto it = before.rbegin(); it != before.rend(); ++it)
    SetEnvironmentVariableW(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
  if (!ok) return UniqueKernelHandle();
  CloseHandle(pi.hThread);
  return UniqueKernelHandle(pi.hProcess);
}

}  // namespace kv::e2e
