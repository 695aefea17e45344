// Starts a program, times it until its main window is visible, and ends it:
//   kv_startup_probe [--marker] [--verbose] [--runs N] PROGRAM
// The process runs under the probe as a debugger, so every DLL it loads is
// timed as well. --marker waits for the window carrying the MAIN marker
// (Korvalin's main window), shown with its taskbar button, instead of any
// visible top-level window. Prints
// one line per run: "run <n> visible_ms <t> dll_ms <t> dlls <count>", where
// dll_ms is when the last DLL before the window was loaded; then the medians.
// --verbose names every DLL with the time it was loaded. Lines the program
// writes to the debugger output as "Korvalin: start-up <step>" are timed as
// marks: the first of each step before the window is visible; their medians
// follow as "median mark <ms> <step>".
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr LONG_PTR kMainMarker = 0x4D41494E;  // "MAIN"

// The window is looked for among the top-level dialog windows only (one
// request to the window server), not by enumerating every top-level window:
// Korvalin makes a tooltip window per button, and asking after each of them
// every millisecond slowed the start being measured several times over.
bool windowVisible(DWORD pid, bool marker) {
  for (HWND h = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); h;
       h = FindWindowExW(nullptr, h, L"#32770", nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner != pid || !IsWindowVisible(h)) continue;
    // Korvalin's main window is created visible and hides itself at once; it
    // is shown for the user only once it has a taskbar button.
    if (marker && (GetWindowLongPtrW(h, GWLP_USERDATA) != kMainMarker ||
                   !(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_APPWINDOW)))
      continue;
    return true;
  }
  return false;
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
  std::vector<std::pair<std::string, double>> marks;  // in the order they came
};

constexpr char kMarkPrefix[] = "Korvalin: start-up ";

// The debugger-output line of a debug event, narrowed (Wine sends ANSI, a
// Windows debugger may see UTF-16).
std::string debugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& s) {
  size_t unit = s.fUnicode ? 2 : 1;
  std::string raw(s.nDebugStringLength * unit, '\0');
  SIZE_T got = 0;
  if (!ReadProcessMemory(process, s.lpDebugStringData, raw.data(), raw.size(), &got)) return {};
  raw.resize(got);
  if (s.fUnicode) {
    std::string narrow;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) narrow += raw[i];
    raw = narrow;
  }
  raw = raw.c_str();  // up to its terminator
  while (!raw.empty() && (raw.back() == '\n' || raw.back() == '\r')) raw.pop_back();
  return raw;
}

bool g_verbose = false;

// Waits until the desktop's thread answers. A process's first window waits
// for that thread, so work the previous run left it (its tray icon, its
// windows) would otherwise be counted in this run's start.
void settleDesktop() {
  DWORD_PTR result = 0;
  (void)SendMessageTimeoutW(GetDesktopWindow(), WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
}

Run timeOnce(const std::wstring& program, bool marker) {
  settleDesktop();
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
        case OUTPUT_DEBUG_STRING_EVENT:
          if (run.visibleMs < 0) {
            std::string text = debugString(pi.hProcess, e.u.DebugString);
            if (text.rfind(kMarkPrefix, 0) == 0) {
              std::string step = text.substr(sizeof kMarkPrefix - 1);
              bool seen = std::any_of(run.marks.begin(), run.marks.end(), [&](auto& m) { return m.first == step; });
              if (!seen) run.marks.emplace_back(step, msSince(start));
            }
          }
          break;
        case CREATE_PROCESS_DEBUG_EVENT:
          if (e.u.CreateProcessInfo.hFile) CloseHandle(e.u.CreateProcessInfo.hFile);
          break;
        case EXCEPTION_DEBUG_EVENT:
          // First-chance exceptions belong to the program (the initial
          // breakpoint included).
          if (e.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
          if (g_verbose && run.visibleMs < 0)
            std::printf("  %8.1f ms  exception %08lx\n", msSince(start), e.u.Exception.ExceptionRecord.ExceptionCode);
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
  std::vector<std::string> steps;  // in the order of the first run
  std::map<std::string, std::vector<double>> markTimes;
  for (int r = 0; r < runs; ++r) {
    Run run = timeOnce(program, marker);
    if (run.visibleMs < 0) {
      std::fprintf(stderr, "kv_startup_probe: run %d: no window\n", r + 1);
      return 1;
    }
    std::printf("run %d visible_ms %.1f dll_ms %.1f dlls %d\n", r + 1, run.visibleMs, run.lastDllMs, run.dlls);
    for (auto& [step, ms] : run.marks) {
      std::printf("  mark %8.1f %s\n", ms, step.c_str());
      if (!markTimes.count(step)) steps.push_back(step);
      markTimes[step].push_back(ms);
    }
    std::fflush(stdout);
    visible.push_back(run.visibleMs);
    dll.push_back(run.lastDllMs);
    Sleep(300);  // the previous process's windows and tray icon are gone
  }
  std::printf("median visible_ms %.1f dll_ms %.1f\n", median(visible), median(dll));
  for (auto& step : steps) std::printf("median mark %.1f %s\n", median(markTimes[step]), step.c_str());
  return 0;
}
