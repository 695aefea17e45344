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
  DWORD found = 0;
  PROCESSENTRY32W pe{};
  pe.dwSize = sizeof pe;
  for (BOOL ok = Process32FirstW(snap.get(), &pe); ok; ok = Process32NextW(snap.get(), &pe)) {
    if (pe.th32ProcessID != self && lstrcmpiW(pe.szExeFile, fileName.c_str()) == 0) {
      found = pe.th32ProcessID;
      break;
    }
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
  UniqueKernelHandle mutex(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kInstanceMutexName));
  if (mutex) {
    if (DWORD pid = FindOtherInstance(programFileName)) {
      tellInstance(pid, kMsgShow, kTagOpen);
      check.continueRunning = false;
      return check;  // the mutex handle closes here
    }
    check.mutex = std::move(mutex);  // a copy under another file name holds it: run anyway
  } else {
    check.mutex.reset(CreateMutexW(nullptr, TRUE, kInstanceMutexName));
    // Without the mutex a later start cannot tell this one runs; this one
    // still works.
    if (!check.mutex) ReportWin32Failure(L"CreateMutexW");
  }
  return check;
}

void LaunchCompanion(const std::wstring& path) {
  (void)ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_HIDE);  // its failure is ignored
}

}  // namespace kv
