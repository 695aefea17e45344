// A running Korvalin.exe as the tests see it from outside: its process, its
// main window and the simulated keyboard's control pipe.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/handles_win32.h"

namespace kv::e2e {

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

}  // namespace kv::e2e
