// The program's one diagnostics path: lines on the debugger output, each
// "Korvalin: <what>". A failed call is written once, where it happens, as
// its operation and its error code in one format:
//   Korvalin: <operation> failed (error <code>)
// A debugger (or a viewer of the debugger output) reads them; without one a
// line costs a system call.
#pragma once

#include <windows.h>

#include <string_view>

namespace kv {

// "Korvalin: <what>".
void LogLine(std::wstring_view what);
// "Korvalin: <operation> failed (error <code>)": the code of a call that
// returns its error (a registry call, an HRESULT, a result code).
void LogFailure(std::wstring_view operation, unsigned long error);
// The same with GetLastError, read before anything else can change it.
void ReportWin32Failure(std::wstring_view operation);
// "Korvalin: <cause of the code>[: <detail>]", then the process ends with
// the code (one of base/exit_codes.h).
[[noreturn]] void ExitFatally(int exitCode, std::wstring_view detail = {});

}  // namespace kv
