#pragma once
// Start-up milestones on the debugger output. The start-up benchmark
// (tools/bench_startup) runs the program as a debugger and times them to show
// where a start spends its time; without a debugger nothing is written.
#include <windows.h>

#include <string>

namespace kv {

inline void StartupMark(const wchar_t* step) {
  static const bool debugged = IsDebuggerPresent() != FALSE;
  if (!debugged) return;
  OutputDebugStringW((std::wstring(L"Korvalin: start-up ") + step + L"\n").c_str());
}

}  // namespace kv
