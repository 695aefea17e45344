// Tessaro.dll over the simulated keyboard. Configured by environment
// variables read on the first call (never in DllMain):
//   KORVALIN_SIM_STATE          state file; "none" or empty = memory only;
//                               default %LOCALAPPDATA%\Korvalin\Tessaro.state
//   KORVALIN_SIM_TRACE          trace file (appended); default none
//   KORVALIN_SIM_ROUND_TRIP_MS  round trip per transaction, default 2
//   KORVALIN_SIM_MACRO_UNITS    macro memory in 128-byte units (1-255)
//   KORVALIN_SIM_PROFILE        active profile at start (0-2)
//   KORVALIN_SIM_ATTACHED       0 = start with the keyboard unplugged
//   KORVALIN_SIM_PIPE           control pipe name; "none" = no pipe
#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "base/handles_win32.h"
#include "tessaro/sim/sim_control_win32.h"
#include "tessaro/sim/sim_transport.h"

namespace {

std::optional<std::wstring> env(const wchar_t* name) {
  wchar_t small[1024];
  DWORD n = GetEnvironmentVariableW(name, small, 1024);
  if (n == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::wstring();
  }
  if (n < 1024) return std::wstring(small, n);
  std::wstring big(n, L'\0');
  DWORD m = GetEnvironmentVariableW(name, big.data(), n);
  if (m == 0 || m >= n) return std::nullopt;
  big.resize(m);
  return big;
}

std::optional<long> envInteger(const wchar_t* name, long lo, long hi) {
  auto v = env(name);
  if (!v || v->empty()) return std::nullopt;
  wchar_t* end = nullptr;
  long n = std::wcstol(v->c_str(), &end, 10);
  if (*end != L'\0' || n < lo || n > hi) return std::nullopt;
  return n;
}

std::wstring dllFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&dllFolder), &self))
    return {};
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  std::wstring p(path, n);
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

// Sleep and the standard library's sleeps count in milliseconds, and under
// Wine a wait with a timeout wakes up to a millisecond late. The native
// delay takes 100 ns units, and Wine sleeps it with a microsecond timer.
// Windows, though, ends it at its timer's next tick (about 15.6 ms unless a
// program asked for finer): there a high-resolution waitable timer (Windows
// 10 1803 and later) sleeps a 2 ms answer as a keyboard takes it. The timer
// is used only where the native delay measures coarse: under Wine a timer
// wait is a request to the server, slower than the delay.
using DelayFn = LONG(NTAPI*)(BOOLEAN, const LARGE_INTEGER*);

DelayFn nativeDelay() {
  static const auto delay = reinterpret_cast<DelayFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDelayExecution")));
  return delay;
}

void delayNatively(std::chrono::nanoseconds d) {
  DelayFn delay = nativeDelay();
  if (!delay) {
    std::this_thread::sleep_for(d);
    return;
  }
  LARGE_INTEGER relative{};
  relative.QuadPart = -static_cast<LONGLONG>(d.count() / 100);  // negative: relative to now
  if (relative.QuadPart == 0) return;
  (void)delay(FALSE, &relative);  // a non-alertable delay only ends when it has run
}

// A 1 ms native delay that takes more than 4 ms: the system's tick decides.
bool nativeDelayIsCoarse() {
  LARGE_INTEGER f{}, t0{}, t1{};
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t0);
  delayNatively(std::chrono::milliseconds(1));
  QueryPerformanceCounter(&t1);
  return f.QuadPart > 0 && (t1.QuadPart - t0.QuadPart) * 1000 > 4 * f.QuadPart;
}

// The high-resolution timer, or null where there is none (before Windows 10
// 1803 the flag is refused) or the native delay is fine.
HANDLE highResolutionTimer() {
  static const kv::UniqueKernelHandle timer = [] {
    kv::UniqueKernelHandle t;
    if (!nativeDelayIsCoarse()) return t;
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
    constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION = 0x00000002;
#endif
    t.reset(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS));
    return t;
  }();
  return timer.get();
}

void preciseSleep(std::chrono::nanoseconds d) {
  static std::mutex timerMutex;  // one timer: one sleeper at a time
  if (HANDLE timer = highResolutionTimer()) {
    std::lock_guard lock(timerMutex);
    LARGE_INTEGER due{};
    due.QuadPart = -static_cast<LONGLONG>(d.count() / 100);
    if (due.QuadPart == 0) return;
    if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) && WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0)
      return;
  }
  delayNatively(d);
}

// The user's own local data folder: installed, the DLL's folder is under
// Program Files, which a program run as the user cannot write.
std::wstring defaultStateFolder() {
  std::wstring base;
  if (auto local = env(L"LOCALAPPDATA"); local && !local->empty()) {
    base = *local;
  } else {
    wchar_t path[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path)))
      base = path;
  }
  if (base.empty()) return dllFolder();
  if (base.back() != L'\\') base += L'\\';
  std::wstring folder = base + L"Korvalin\\";
  // Already there is as good; a failure shows when the state is saved.
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return dllFolder();
  return folder;
}

void saveFailed(const std::filesystem::path& statePath) {
  std::wstring line = L"Tessaro: the simulated keyboard's memory cannot be kept: " + statePath.wstring() +
                      L" cannot be written\n";
  OutputDebugStringW(line.c_str());
}

kv::sim::SimConfig configFromEnvironment() {
  kv::sim::SimConfig c;
  c.saveFailed = saveFailed;
  auto state = env(L"KORVALIN_SIM_STATE");
  if (!state) {
    std::wstring folder = defaultStateFolder();
    if (!folder.empty()) c.statePath = folder + L"Tessaro.state";
  } else if (!state->empty() && *state != L"none") {
    c.statePath = *state;
  }
  auto trace = env(L"KORVALIN_SIM_TRACE");
  if (trace && !trace->empty()) c.tracePath = *trace;
  if (auto rt = env(L"KORVALIN_SIM_ROUND_TRIP_MS"); rt && !rt->empty()) {
    wchar_t* end = nullptr;
    double ms = std::wcstod(rt->c_str(), &end);
    if (*end == L'\0' && ms >= 0 && ms <= 10000) c.roundTrip = std::chrono::microseconds(static_cast<long>(ms * 1000));
  }
  c.preciseSleep = preciseSleep;
  if (auto u = envInteger(L"KORVALIN_SIM_MACRO_UNITS", 1, 255)) c.macroUnits = static_cast<int>(*u);
  if (auto p = envInteger(L"KORVALIN_SIM_PROFILE", 0, 2)) c.activeProfile = static_cast<int>(*p);
  if (auto a = envInteger(L"KORVALIN_SIM_ATTACHED", 0, 1)) c.attached = *a != 0;
  return c;
}

void ensureStarted() {
  static std::once_flag once;
  std::call_once(once, [] {
    kv::sim::SetConfigProvider(configFromEnvironment);
    auto keyboard = kv::sim::CurrentKeyboard();
    std::wstring pipe = kv::sim::ControlPipeName(GetCurrentProcessId());
    if (!kv::sim::StartControlPipe(pipe)) keyboard->note("control pipe thread not started");
    else if (!pipe.empty()) keyboard->note("control pipe " + std::string(pipe.begin(), pipe.end()));
  });
}

}  // namespace

#define KV_SHIM_IMPL kv::sim
#define KV_SHIM_READY ensureStarted
#include "tessaro/export_shims.inc"
