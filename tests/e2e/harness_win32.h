// End-to-end harness: runs the real Korvalin.exe under Wine on the X display,
// in a fresh program folder and Documents folder per test, and drives it as a
// user would, with real pointer and key input through the X server (xdotool),
// window queries, the simulated keyboard's control pipe and screen pixels.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "resources/control_ids.h"
#include "widgets/handles_win32.h"

namespace kv::e2e {

inline constexpr LONG_PTR kMainMarker = 0x4D41494E;  // "MAIN"
inline constexpr UINT kTrayIconUid = ID_TRAY_ICON;

// ---- waiting --------------------------------------------------------------------

// Polls until cond() holds or the time is up; returns the last result.
template <class F>
bool waitFor(F cond, DWORD timeoutMs = 10000, DWORD stepMs = 30) {
  ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (cond()) return true;
    if (GetTickCount64() >= end) return cond();
    Sleep(stepMs);
  }
}

// True when cond() holds at every poll for the whole period: the check of
// something that must not happen.
template <class F>
bool holdsFor(F cond, DWORD periodMs, DWORD stepMs = 30) {
  ULONGLONG end = GetTickCount64() + periodMs;
  for (;;) {
    if (!cond()) return false;
    if (GetTickCount64() >= end) return true;
    Sleep(stepMs);
  }
}

// ---- Unix tools and real input ------------------------------------------------------

// Runs a Unix command line (through /bin/sh; no double quotes in it) from
// inside Wine and waits for it; returns its exit code, or -1 when it could
// not be started or did not end in time.
int runUnix(const std::wstring& commandLine, DWORD timeoutMs = 20000);
// The Unix path of a Windows path (for Unix tools).
std::wstring unixPath(const std::wstring& windowsPath);

// Real pointer and key input through the X server, in screen coordinates.
void mouseMoveTo(int x, int y);
void click(int x, int y, int button = 1);
void doubleClick(int x, int y);
// Presses the left button at (x0, y0), moves in steps to (x1, y1), releases.
void drag(int x0, int y0, int x1, int y1);
// The same along a path of points, in steps between each two.
void dragAlong(const std::vector<POINT>& path);
void pressKey(const char* keysym);  // an xdotool key name: "F1", "Escape", "ctrl+s"
// Types the text on the keyboard (no single quotes in it).
void typeText(const std::wstring& text);
void keyDown(const char* keysym);
void keyUp(const char* keysym);
// A press and release through the system's input queue, for keys the virtual
// display's keymap does not have (the media keys): xdotool would bind them to
// a spare key code that Wine, which read the keymap at its start, takes for
// another key.
void sendSystemKey(WORD vk, WORD scan, bool extended);

// Runs a program of the test's own folder with arguments, waits for it, and
// returns its exit code (-1 when it could not run) with its standard output.
int runBesideTests(const std::wstring& exeName, const std::wstring& arguments, std::string* output);

// ---- the screen ---------------------------------------------------------------------

// A pixel of the screen.
COLORREF pixelAt(int x, int y);
// A few pixels across a window (a 4 x 4 grid inside it), to tell its looks
// apart: the same control drawn with another face gives other pixels.
std::vector<COLORREF> looksOf(HWND hwnd);

// Saves a screenshot of the whole X screen as build/e2e/<name>.png; returns
// its path (empty when it could not be written).
std::wstring screenshot(const std::string& name);

// ---- windows --------------------------------------------------------------------------

struct WindowInfo {
  bool exists = false;
  bool visible = false;
  bool enabled = false;
  RECT rect{};
  LONG_PTR style = 0;
  LONG_PTR exStyle = 0;
  std::wstring text;
  std::wstring className;
};
WindowInfo describe(HWND hwnd);

// Top-level windows of a process, in z-order.
std::vector<HWND> topLevelWindows(DWORD pid, bool visibleOnly);
// The first top-level window of the process with that class (and title,
// when given).
HWND findTopLevel(DWORD pid, const wchar_t* className, const wchar_t* title = nullptr);
// The text of a message box (its static text control).
std::wstring messageBoxText(HWND box);

// The text of the tooltip that a control of another process shows (its
// tooltip window's one tool), read through memory lent in that process.
// A control whose tooltip is not made yet gets the pointer rested on it
// first (and put back after); empty when no tooltip comes.
std::wstring tooltipOf(HANDLE process, HWND control);
// A real click at the centre of a window.
void clickCentre(HWND hwnd);
// The text of a cell of another process's list view (report view), read
// through memory lent in that process.
std::wstring listItemText(HANDLE process, HWND list, int row, int column);
// A part (LVIR_BOUNDS, LVIR_ICON, ...) of a row of another process's list
// view, in screen coordinates; empty when the row is not there.
RECT listItemRect(HANDLE process, HWND list, int row, int part);
// The contents of a control of another process (an edit's text is not its
// caption, which is all GetWindowText reads there).
std::wstring controlText(HWND control);

// A common file dialog of the process: a dialog that is neither the window
// excluded nor a message box; null when none shows in time.
HWND waitFileDialog(DWORD pid, HWND exclude, DWORD timeoutMs = 5000);
// Types a full path into the file dialog's name field with real key input
// and confirms it with Enter.
bool enterFileName(HWND dialog, const std::wstring& path);

// ---- the notification area ---------------------------------------------------------------

// Wine draws notification-area icons in its standalone tray window when the
// X screen has no tray of its own; each icon is a child window there.
HWND trayWindow();
// Moves the tray window where the program's own windows do not cover it
// (the bottom-left corner of the screen).
void keepTrayUncovered();
std::vector<HWND> trayIconWindows();
// The icon resource of exePath among candidates that the tray icon window
// shows, by comparing the screen's pixels with each candidate's small image;
// 0 when none matches clearly. KV_E2E_DEBUG=1 prints the comparison.
int shownIconId(HWND trayIcon, const std::wstring& exePath, std::initializer_list<int> candidates);
// The one tray icon's id, or 0 when there is not exactly one icon.
int trayIconId(const std::wstring& exePath);
// Screen centre of a window.
POINT centreOf(HWND hwnd);
// Waits until the window has stopped moving and is the one a click at its
// centre reaches (a window just shown may not be there yet).
bool waitClickable(HWND hwnd, DWORD timeoutMs = 5000);
// Removes a notification icon as the shell would lose it when it restarts.
bool deleteTrayIcon(HWND owner, UINT uid);

// ---- an installation of the program ------------------------------------------------------------

// Sets a string value under HKEY_CURRENT_USER for as long as the object
// lives; puts back what was there (or removes the value) afterwards.
class RegistryOverride {
 public:
  RegistryOverride(std::wstring key, std::wstring name, const std::wstring& value);
  ~RegistryOverride();
  RegistryOverride(const RegistryOverride&) = delete;
  RegistryOverride& operator=(const RegistryOverride&) = delete;

 private:
  std::wstring key_, name_;
  bool hadValue_ = false;
  DWORD type_ = REG_SZ;
  std::vector<BYTE> old_;
};

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

// A running Korvalin.exe: its process, its main window and its simulated
// keyboard. The destructor ends the process if it still runs.
class Running {
 public:
  explicit Running(UniqueKernelHandle process) : process_(std::move(process)) {}
  ~Running();
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;

  bool started() const { return static_cast<bool>(process_); }
  HANDLE process() const { return process_.get(); }
  DWORD pid() const { return process_ ? GetProcessId(process_.get()) : 0; }
  bool alive() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

  // Waits for the process to end; returns its exit code, or STILL_ACTIVE on
  // time-out. With sawWindow, polls meanwhile and records whether any
  // visible top-level window of the process appeared.
  DWORD waitExit(DWORD timeoutMs = 15000, bool* sawWindow = nullptr);

  // The top-level window of this process that carries the MAIN marker.
  HWND mainWindow() const;
  HWND waitMainWindow(DWORD timeoutMs = 15000);
  bool mainVisible() const;

  // A command to the simulated keyboard over its control pipe; the reply's
  // first line is "OK" or "ERR ...". Returns the whole reply (empty when the
  // pipe cannot be reached).
  std::string sim(const std::string& command) const;
  std::vector<std::string> trace() const;

  void terminate();

 private:
  UniqueKernelHandle process_;
  HWND main_ = nullptr;  // remembered to clear its tray icon after a kill
};

// The bytes of a simulated keyboard's "read" reply; empty for an error.
std::vector<uint8_t> bytesOf(const std::string& reply);

// The traced reports to the keyboard with this command byte, as
// (address, length) pairs.
std::vector<std::pair<int, int>> tracedCommands(const std::vector<std::string>& trace, int command);

}  // namespace kv::e2e
