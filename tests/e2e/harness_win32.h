// End-to-end tools: real pointer and key input through the X server
// (xdotool), window queries across processes, the notification area and
// screen pixels, as the tests drive and watch the real Korvalin.exe under
// Wine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "base/handles_win32.h"

namespace kv::e2e {

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
// Waits for a window to go; true when it went while the other still
// existed (the order in which a program closes its windows).
bool closesBefore(HWND window, HWND other, DWORD timeoutMs = 10000);
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

// The file name field of a common file dialog; null when it has none.
HWND fileNameField(HWND dialog);
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

// The bytes of a simulated keyboard's "read" reply; empty for an error.
std::vector<uint8_t> bytesOf(const std::string& reply);

// The traced reports to the keyboard with this command byte, as
// (address, length) pairs.
std::vector<std::pair<int, int>> tracedCommands(const std::vector<std::string>& trace, int command);

}  // namespace kv::e2e
