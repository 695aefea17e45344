// The application object: one per process, started from wWinMain with
// RunApplication. A dialog-based program runs its main dialog modally in
// InitInstance and returns FALSE, so no further message loop runs.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base/program_folder_win32.h"

namespace kv {

class CApplication {
 public:
  CApplication();
  virtual ~CApplication();
  CApplication(const CApplication&) = delete;
  CApplication& operator=(const CApplication&) = delete;

  // TRUE = run the message loop (Run) afterwards; FALSE = end at once.
  virtual BOOL InitInstance();
  // The process exit code.
  virtual int ExitInstance();
  // Pumps messages through the window layer until WM_QUIT.
  virtual int Run();

  HINSTANCE instance() const noexcept { return instance_; }
  // The per-user settings live under HKEY_CURRENT_USER\Software\<key>\<profile name>.
  void SetRegistryKey(std::wstring_view key);
  const std::wstring& registryKey() const noexcept { return registryKey_; }
  // The executable's base name ("Korvalin" for Korvalin.exe).
  const std::wstring& profileName() const noexcept { return profileName_; }
  // The folder of the executable, with a trailing backslash.
  const std::wstring& programFolder() const noexcept { return programFolder_; }

  static CApplication* current() noexcept;

 private:
  friend int RunApplication(CApplication& app, HINSTANCE instance);
  HINSTANCE instance_ = nullptr;
  std::wstring registryKey_;
  std::wstring profileName_;
  std::wstring programFolder_;
  int quitCode_ = 0;
};

// Initialises common controls and OLE, then InitInstance, Run (when asked
// for) and ExitInstance. Returns the exit code.
int RunApplication(CApplication& app, HINSTANCE instance);

}  // namespace kv
