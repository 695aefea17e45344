// Starts a program, times it until its main window is visible, and ends it:
//   kv_startup_probe [--marker] [--verbose] [--runs N] PROGRAM
// The process runs under the probe as a debugger, so every DLL it loads is
// timed as well. --marker waits for the window carrying the MAIN marker
// (Korvalin's main window), shown with its taskbar button, instead of any
// visible top-level window. Prints
// one line per run: "run <n> visible_ms <t> dll_ms <t> dlls <count>", where
// dll_ms is when the last DLL before the window was loaded; then the medians.
// --verbose names every DLL with the time it was loaded.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr LONG_PTR kMainMarker = 0x4D41494E;  // "MAIN"

struct Search {
  DWORD pid;
  bool marker;
  bool found = false;
};

BOOL CALLBACK FindWindowOf(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid != s->pid || !IsWindowVisible(h)) return TRUE;
  // Korvalin's main window is created visible and hides itself at once; it
  // is shown for the user only once it has a taskbar button.
  if (s->marker && (GetWindowLongPtrW(h, GWLP_USERDATA) != kMainMarker ||
                    !(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_APPWINDOW)))
    return TRUE;
  s->found = true;
  return FALSE;
}

bool windowVisible(DWORD pid, bool marker) {
  Search s{pid, marker};
  EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

double msSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(freq.QuadPart);
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Run {
  double visibleMs = -1;
  double lastDllMs = 0;
  int dlls = 0;
};

bool g_verbose = false;

Run timeOnce(const std::wstring& program, bool marker) {
  Run run;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring line = L"\"" + program + L"\"";
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &si,
                      &pi)) {
    std::fprintf(stderr, "kv_startup_probe: CreateProcess failed, GetLastError %lu\n", GetLastError());
    return run;
  }
  // Debug events arrive as they happen; the window is polled in between.
  for (;;) {
    DEBUG_EVENT e{};
    if (WaitForDebugEvent(&e, 1)) {
      DWORD status = DBG_CONTINUE;
      switch (e.dwDebugEventCode) {
        case LOAD_DLL_DEBUG_EVENT:
          if (run.visibleMs < 0) {
            run.lastDllMs = msSince(start);
            ++run.dlls;
            if (g_verbose && e.u.LoadDll.hFile) {
              wchar_t name[MAX_PATH] = L"?";
              GetFinalPathNameByHandleW(e.u.LoadDll.hFile, name, MAX_PATH, 0);
              std::printf("  %8.1f ms  %ls\n", run.lastDllMs, name);
            }
          }
          if (e.u.LoadDll.hFile) CloseHandle(e.u.LoadDll.hFile);
          break;
        case CREATE_PROCESS_DEBUG_EVENT:
          if (e.u.CreateProcessInfo.hFile) CloseHandle(e.u.CreateProcessInfo.hFile);
          break;
        case EXCEPTION_DEBUG_EVENT:
          // First-chance exceptions belong to the program (the initial
          // breakpoint included).
          if (e.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
          break;
        default:
          break;
      }
      bool exited = e.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT;
      ContinueDebugEvent(e.dwProcessId, e.dwThreadId, status);
      if (exited) break;
    }
    if (run.visibleMs < 0 && windowVisible(pi.dwProcessId, marker)) {
      run.visibleMs = msSince(start);
      TerminateProcess(pi.hProcess, 0);
    }
    if (run.visibleMs < 0 && msSince(start) > 30000) {
      TerminateProcess(pi.hProcess, 1);
    }
  }
  WaitForSingleObject(pi.hProcess, 5000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return run;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool marker = false;
  int runs = 5;
  std::wstring program;
  for (int i = 1; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a == L"--verbose") {
      g_verbose = true;
    } else if (a == L"--marker") {
      marker = true;
    } else if (a == L"--runs" && i + 1 < argc) {
      runs = std::max(1, _wtoi(argv[++i]));
    } else {
      program = a;
    }
  }
  if (program.empty()) {
    std::fprintf(stderr, "usage: kv_startup_probe [--marker] [--runs N] PROGRAM\n");
    return 2;
  }
  std::vector<double> visible, dll;
  for (int r = 0; r < runs; ++r) {
    Run run = timeOnce(program, marker);
    if (run.visibleMs < 0) {
      std::fprintf(stderr, "kv_startup_probe: run %d: no window\n", r + 1);
      return 1;
    }
    std::printf("run %d visible_ms %.1f dll_ms %.1f dlls %d\n", r + 1, run.visibleMs, run.lastDllMs, run.dlls);
    std::fflush(stdout);
    visible.push_back(run.visibleMs);
    dll.push_back(run.lastDllMs);
    Sleep(300);  // the previous process's windows and tray icon are gone
  }
  std::printf("median visible_ms %.1f dll_ms %.1f\n", median(visible), median(dll));
  return 0;
}
