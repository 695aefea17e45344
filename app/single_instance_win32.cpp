#include "app/single_instance_win32.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include "base/log_win32.h"

namespace kv {

std::vector<std::wstring> CommandLineArguments() {
  std::vector<std::wstring> args;
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return args;
}

DWORD FindOtherInstance(const std::wstring& fileName) {
  // Fails as CreateFile does, with INVALID_HANDLE_VALUE.
  UniqueFile snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return 0;
  DWORD self = GetCurrentProcessId();
  // Another user's session (fast user switching, a terminal server) runs its
  // own instance: its windows are not ours to show or close.
  DWORD session = 0;
  bool knowSession = ProcessIdToSessionId(self, &session) != 0;
  DWORD found = 0;
  PROCESSENTRY32W pe{};
  pe.dwSize = sizeof pe;
  for (BOOL ok = Process32FirstW(snap.get(), &pe); ok; ok = Process32NextW(snap.get(), &pe)) {
    if (pe.th32ProcessID == self || lstrcmpiW(pe.szExeFile, fileName.c_str()) != 0) continue;
    DWORD theirs = 0;
    if (knowSession && ProcessIdToSessionId(pe.th32ProcessID, &theirs) && theirs != session) continue;
    found = pe.th32ProcessID;
    break;
  }
  return found;
}

HWND FindMainWindowOf(DWORD pid) {
  for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == pid && GetWindowLongPtrW(h, GWLP_USERDATA) == kMainWindowMarker) return h;
  }
  return nullptr;
}

namespace {

void tellInstance(DWORD pid, UINT msg, WPARAM tag) {
  HWND main = FindMainWindowOf(pid);
  if (!main) return;
  if (msg == kMsgShow) {
    // Windows gives the foreground only to the process the user started
    // last: this one. Lend it to the instance that is to come to the front.
    if (!AllowSetForegroundWindow(pid)) LogLine(L"AllowSetForegroundWindow failed: the window may not come to the front");
    // Showing may open a message box in the other instance; this start must
    // not wait for the user to dismiss it.
    SendNotifyMessageW(main, msg, tag, 0);
    return;
  }
  DWORD_PTR result = 0;
  // Wait for the other instance to shut down, but not forever.
  SendMessageTimeoutW(main, msg, tag, 0, SMTO_NORMAL, 10000, &result);
}

}  // namespace

InstanceCheck CheckSingleInstance(const std::vector<std::wstring>& args, const std::wstring& programFileName) {
  InstanceCheck check;
  for (const auto& arg : args) {
    if (lstrcmpiW(arg.c_str(), L"/Kill") == 0) {
      if (DWORD pid = FindOtherInstance(programFileName)) {
        tellInstance(pid, kMsgKill, kTagKill);
        check.continueRunning = false;
        return check;
      }
    } else if (lstrcmpiW(arg.c_str(), L"/Start") == 0) {
      check.suppressFirstShow = true;
    }
  }
  // Created and tested in one step: two quick starts that both only opened
  // it first would both run. Waiting on it is all that is ever done with it.
  check.mutex.reset(CreateMutexExW(nullptr, kInstanceMutexName, CREATE_MUTEX_INITIAL_OWNER, SYNCHRONIZE));
  if (!check.mutex) {
    // Without the mutex a later start cannot tell this one runs; this one
    // still works.
    ReportWin32Failure(L"CreateMutexExW");
  } else if (GetLastError() == ERROR_ALREADY_EXISTS) {
    if (DWORD pid = FindOtherInstance(programFileName)) {
      tellInstance(pid, kMsgShow, kTagOpen);
      check.continueRunning = false;
      check.mutex.reset();
      return check;
    }
    // A copy under another file name holds it: run anyway.
  }
  return check;
}

void LaunchCompanion(const std::wstring& path) {
  // No package ships it: the shell would be asked for a missing file at
  // every start (and may say so to the user).
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  (void)ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_HIDE);  // its failure is ignored
}

}  // namespace kv
