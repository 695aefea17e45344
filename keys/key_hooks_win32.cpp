#include "keys/key_hooks_win32.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "base/handles_win32.h"
#include "base/log_win32.h"
#include "keys/key_capture.h"

namespace kv {
namespace {

// The hook procedures get no context: the one capture in progress.
WorkingConfig* g_config = nullptr;
KeyCaptureTarget* g_target = nullptr;

HHOOK hookOf(void* h) { return static_cast<HHOOK>(h); }

// The one recording in progress.
WorkingConfig* g_recordConfig = nullptr;
MacroRecordTarget* g_recordTarget = nullptr;
// Time spent in the recorder's hooks, written to the debugger output when a
// recording stops.
LONGLONG g_recordTicks = 0;
int g_recordEvents = 0;

void deliverRecorded(KeyCode key, bool release) {
  LARGE_INTEGER t0{}, t1{};
  QueryPerformanceCounter(&t0);
  DWORD now = GetTickCount();
  MacroAction actions[2]{};
  size_t n = recordedActions(key, release, now - g_recordConfig->lastTick, actions);
  for (size_t i = 0; i < n; ++i) g_recordTarget->OnRecordedAction(actions[i]);
  g_recordConfig->lastTick = now;
  QueryPerformanceCounter(&t1);
  g_recordTicks += t1.QuadPart - t0.QuadPart;
  ++g_recordEvents;
}

LRESULT CALLBACK RecordProc(int code, WPARAM wp, LPARAM lp) {
  HHOOK self = g_recordConfig ? hookOf(g_recordConfig->recordHook) : nullptr;
  if (code != HC_ACTION || !g_recordTarget) return CallNextHookEx(self, code, wp, lp);
  auto flags = static_cast<uint32_t>(lp);
  KeyCode key = keyCodeFromMessage(static_cast<uint32_t>(wp), flags);
  switch (recordActionOf(key, flags)) {
    case RecordAction::PassOn:
      return CallNextHookEx(self, code, wp, lp);
    case RecordAction::Swallow:
      return 1;
    case RecordAction::Record:
      deliverRecorded(key, isReleaseMessage(flags));
      return 1;
  }
  return 1;
}

LRESULT CALLBACK RecordProcLL(int code, WPARAM wp, LPARAM lp) {
  HHOOK self = g_recordConfig ? hookOf(g_recordConfig->recordHookLL) : nullptr;
  if (code == HC_ACTION && g_recordTarget &&
      (wp == WM_KEYDOWN || wp == WM_KEYUP || wp == WM_SYSKEYDOWN || wp == WM_SYSKEYUP)) {
    const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
    bool down = wp == WM_KEYDOWN || wp == WM_SYSKEYDOWN;
    LowLevelRecord r = lowLevelRecordOf(k->vkCode, down, g_recordConfig->lastWinKey);
    if (r.handled) {
      if (r.record) deliverRecorded(r.code, r.release);
      return 1;
    }
  }
  return CallNextHookEx(self, code, wp, lp);
}

LRESULT CALLBACK CaptureProc(int code, WPARAM wp, LPARAM lp) {
  HHOOK self = g_config ? hookOf(g_config->captureHook) : nullptr;
  if (code != HC_ACTION || !g_target) return CallNextHookEx(self, code, wp, lp);
  auto flags = static_cast<uint32_t>(lp);
  KeyCode key = keyCodeFromMessage(static_cast<uint32_t>(wp), flags);
  switch (captureActionOf(key, flags)) {
    case CaptureAction::PassOn:
      return CallNextHookEx(self, code, wp, lp);
    case CaptureAction::Swallow:
      return 1;
    case CaptureAction::Capture:
      g_target->OnKeyCaptured(key);
      return 1;
  }
  return 1;
}

LRESULT CALLBACK CaptureProcLL(int code, WPARAM wp, LPARAM lp) {
  HHOOK self = g_config ? hookOf(g_config->captureHookLL) : nullptr;
  if (code == HC_ACTION && g_target &&
      (wp == WM_KEYDOWN || wp == WM_KEYUP || wp == WM_SYSKEYDOWN || wp == WM_SYSKEYUP)) {
    const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
    if (KeyCode key = lowLevelCaptureKey(k->vkCode)) {
      g_target->OnKeyCaptured(key);
      return 1;
    }
  }
  return CallNextHookEx(self, code, wp, lp);
}

// A thread keyboard hook for this thread and a low-level one, both run on
// this thread. Failures leave a field empty; that pair then simply sees less.
void installPair(void*& thread, HOOKPROC threadProc, void*& lowLevel, HOOKPROC lowLevelProc, const wchar_t* what) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  thread = SetWindowsHookExW(WH_KEYBOARD, threadProc, instance, GetCurrentThreadId());
  if (!thread) ReportWin32Failure((std::wstring(L"SetWindowsHookExW(WH_KEYBOARD, ") + what + L")").c_str());
  lowLevel = SetWindowsHookExW(WH_KEYBOARD_LL, lowLevelProc, instance, 0);
  if (!lowLevel) ReportWin32Failure((std::wstring(L"SetWindowsHookExW(WH_KEYBOARD_LL, ") + what + L")").c_str());
}

// True when a hook was installed.
bool removePair(void*& thread, void*& lowLevel) {
  bool had = thread || lowLevel;
  for (void** h : {&thread, &lowLevel}) {
    if (*h) (void)UnhookWindowsHookEx(hookOf(*h));  // a hook already gone is what was asked
    *h = nullptr;
  }
  return had;
}

}  // namespace

void installCaptureHooks(WorkingConfig& config, KeyCaptureTarget& target) {
  removeCaptureHooks(config);
  g_config = &config;
  g_target = &target;
  installPair(config.captureHook, CaptureProc, config.captureHookLL, CaptureProcLL, L"capture");
}

void removeCaptureHooks(WorkingConfig& config) {
  (void)removePair(config.captureHook, config.captureHookLL);  // none installed: nothing to do
  if (g_config == &config) g_target = nullptr;
}

void installRecordHooks(WorkingConfig& config, MacroRecordTarget& target) {
  removeRecordHooks(config);
  g_recordConfig = &config;
  g_recordTarget = &target;
  g_recordTicks = 0;
  g_recordEvents = 0;
  config.lastTick = GetTickCount();
  config.lastWinKey = 0;
  config.recordTarget = &target;
  installPair(config.recordHook, RecordProc, config.recordHookLL, RecordProcLL, L"recorder");
}

void removeRecordHooks(WorkingConfig& config) {
  bool had = removePair(config.recordHook, config.recordHookLL);
  config.recordTarget = nullptr;
  if (g_recordConfig == &config) g_recordTarget = nullptr;
  if (had && g_recordEvents > 0) {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    wchar_t line[160];
    swprintf(line, 160, L"recorder: %d events, %.1f us per event in the hooks", g_recordEvents,
             f.QuadPart ? 1e6 * static_cast<double>(g_recordTicks) / static_cast<double>(f.QuadPart) / g_recordEvents
                        : 0.0);
    LogLine(line);
  }
}

void openOnScreenKeyboard() {
  // ShellExecuteW returns a value above 32 on success.
  if (reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", L"osk.exe", L"", L"", SW_SHOW)) <= 32)
    ReportWin32Failure(L"ShellExecuteW(osk.exe)");
}

}  // namespace kv
