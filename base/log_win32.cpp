#include "base/log_win32.h"

#include <cstring>
#include <string>

#include "base/exit_codes.h"

namespace kv {

void LogLine(std::wstring_view what) {
  std::wstring line = L"Korvalin: ";
  line += what;
  line += L"\n";
  OutputDebugStringW(line.c_str());
}

void LogFailure(std::wstring_view operation, unsigned long error) {
  std::wstring line(operation);
  line += L" failed (error " + std::to_wstring(error) + L")";
  LogLine(line);
}

void ReportWin32Failure(std::wstring_view operation) { LogFailure(operation, GetLastError()); }

void ExitFatally(int exitCode, std::wstring_view detail) {
  const char* cause = exitCause(exitCode);
  std::wstring line(cause, cause + std::strlen(cause));
  if (!detail.empty()) {
    line += L": ";
    line += detail;
  }
  LogLine(line);
  ExitProcess(static_cast<UINT>(exitCode));
}

}  // namespace kv
