#pragma once
// Start-up milestones on the debugger output. The start-up benchmark
// (tools/bench_startup) runs the program as a debugger and times them to show
// where a start spends its time; without a debugger nothing is written.
#include <windows.h>

#include <string>

#include "base/log_win32.h"

namespace kv {

inline void StartupMark(const wchar_t* step) {
  static const bool debugged = IsDebuggerPresent() != FALSE;
  if (!debugged) return;
  LogLine(std::wstring(L"start-up ") + step);
}

}  // namespace kv
