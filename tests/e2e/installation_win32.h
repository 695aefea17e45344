// One Korvalin installation of its own per test: program folder, simulated
// keyboard, skin and help, and a Documents folder.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/registry_override_win32.h"
#include "base/handles_win32.h"

namespace kv::e2e {

// One Korvalin installation in a temporary folder: the program, the
// simulated keyboard library, the skin and help folders, and its own
// Documents folder (the shell's personal folder of the current user is
// pointed there while the installation exists). Its windows are not left to
// a window manager: there is none on the virtual display, and Wine would
// wait for one each time a window hides.
class Installation {
 public:
  Installation();
  ~Installation();
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  const std::wstring& programFolder() const { return folder_; }
  const std::wstring& documentsFolder() const { return documents_; }
  // The user's local data folder as the program sees it (LOCALAPPDATA).
  const std::wstring& localAppDataFolder() const { return localAppData_; }
  std::wstring path(const std::wstring& relative) const { return folder_ + relative; }
  std::wstring exePath() const { return folder_ + L"Korvalin.exe"; }
  bool exists(const std::wstring& relative) const;
  // Removes a file of the installation (a missing library or picture).
  bool remove(const std::wstring& relative);
  // Puts another build's library in place of the simulated keyboard's
  // Tessaro.dll (a path relative to the test's bin folder: "hid\\Tessaro.dll").
  bool useLibrary(const std::wstring& builtLibrary);

  // Environment for the processes started from here (the simulated
  // keyboard's settings).
  void setEnv(const std::wstring& name, const std::wstring& value);

  // Starts Korvalin.exe with the given argument string; the process handle
  // is empty on failure.
  UniqueKernelHandle start(const std::wstring& arguments = L"") const;

 private:
  std::wstring base_;
  std::wstring folder_;
  std::wstring documents_;
  std::wstring localAppData_;
  std::vector<std::pair<std::wstring, std::wstring>> env_;
  std::vector<std::unique_ptr<RegistryOverride>> registry_;
};

}  // namespace kv::e2e
