// End-to-end harness: runs the real Korvalin.exe under Wine on the X display,
// in a fresh program folder and Documents folder per test, and drives it as a
// user would, with real pointer and key input through the X server (xdotool).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kv::e2e {

// Runs a Unix program from inside Wine and waits for it; returns its exit code
// (or -1 when it could not be started).
int runUnix(const std::wstring& commandLine, DWORD timeoutMs = 20000);
// The Unix path of a Windows path (for Unix tools such as xdotool).
std::wstring unixPath(const std::wstring& windowsPath);

// Real input through the X server, in screen coordinates.
void click(int x, int y, int button = 1);
void doubleClick(int x, int y);
void mouseDown(int x, int y);
void mouseMoveTo(int x, int y);
void mouseUp();
void pressKey(const char* keysym);  // e.g. "F1", "Escape", "ctrl+s"

// Saves a screenshot of the whole X screen as build/e2e/<name>.png; returns its path.
std::wstring screenshot(const std::string& name);
// A pixel of the screen as 0x00BBGGRR.
COLORREF screenPixel(int x, int y);

// Polls until cond() holds or the time is up.
template <class F>
bool waitFor(F cond, DWORD timeoutMs = 10000, DWORD stepMs = 50) {
  DWORD start = GetTickCount();
  for (;;) {
    if (cond()) return true;
    if (GetTickCount() - start >= timeoutMs) return cond();
    Sleep(stepMs);
  }
}

struct WindowInfo {
  bool exists = false;
  bool visible = false;
  bool enabled = false;
  RECT rect{};
  std::wstring text;
};
WindowInfo describe(HWND hwnd);

// One Korvalin installation in a temporary folder: the program, the simulated
// keyboard library, the skin and help folders, and its own Documents folder.
class Installation {
 public:
  Installation();
  ~Installation();
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  const std::wstring& programFolder() const { return folder_; }
  const std::wstring& documentsFolder() const { return documents_; }
  std::wstring path(const std::wstring& relative) const { return folder_ + relative; }
  // Removes a file of the installation (a missing library or picture).
  bool remove(const std::wstring& relative);

  // Environment for the processes started from here (the simulated keyboard's settings).
  void setEnv(const std::wstring& name, const std::wstring& value);

  // Starts Korvalin.exe with the given argument string; returns the process.
  HANDLE start(const std::wstring& arguments = L"");

 private:
  std::wstring folder_;
  std::wstring documents_;
  std::vector<std::pair<std::wstring, std::wstring>> env_;
};

// The process of a running Korvalin.exe and its main window.
class Running {
 public:
  explicit Running(HANDLE process) : process_(process) {}
  ~Running();
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;

  HANDLE process() const { return process_; }
  DWORD pid() const { return GetProcessId(process_); }
  bool alive() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
  // Waits for the process to end; returns its exit code, or STILL_ACTIVE on time-out.
  DWORD waitExit(DWORD timeoutMs = 15000);
  // The top-level window of this process that carries the MAIN marker.
  HWND mainWindow() const;
  HWND waitMainWindow(DWORD timeoutMs = 15000) const;
  // A top-level window of this process with that title (message boxes, dialogs).
  HWND findTopLevel(const std::wstring& title) const;
  void terminate();

 private:
  HANDLE process_;
};

// Redirects the current user's Documents folder (the shell's personal folder).
void setDocumentsFolder(const std::wstring& folder);
void restoreDocumentsFolder();

}  // namespace kv::e2e

namespace kv::e2e {

// Wine draws notification-area icons in its standalone tray window when the X
// desktop has no tray; each icon is a child window there.
std::vector<HWND> trayIconWindows();
// True when the tray icon window shows this icon resource of the program
// (compares the pixels the window shows with the icon drawn the same size).
bool trayShowsIcon(HWND trayIcon, const std::wstring& exePath, int iconId);
// The resource id among candidates that the first tray icon shows, or 0.
int trayIconId(const std::wstring& exePath, std::initializer_list<int> candidates);

}  // namespace kv::e2e
