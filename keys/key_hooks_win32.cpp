#include "keys/key_hooks_win32.h"

#include <windows.h>
#include <shellapi.h>

#include "keys/key_capture.h"
#include "widgets/handles_win32.h"

namespace kv {
namespace {

// The hook procedures get no context: the one capture in progress.
WorkingConfig* g_config = nullptr;
KeyCaptureTarget* g_target = nullptr;

HHOOK hookOf(void* h) { return static_cast<HHOOK>(h); }

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

}  // namespace

void installCaptureHooks(WorkingConfig& config, KeyCaptureTarget& target) {
  removeCaptureHooks(config);
  g_config = &config;
  g_target = &target;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  // Failures leave the field empty; the page then simply captures nothing.
  config.captureHook = SetWindowsHookExW(WH_KEYBOARD, CaptureProc, instance, GetCurrentThreadId());
  if (!config.captureHook) ReportWin32Failure(L"SetWindowsHookExW(WH_KEYBOARD)");
  config.captureHookLL = SetWindowsHookExW(WH_KEYBOARD_LL, CaptureProcLL, instance, 0);
  if (!config.captureHookLL) ReportWin32Failure(L"SetWindowsHookExW(WH_KEYBOARD_LL)");
}

void removeCaptureHooks(WorkingConfig& config) {
  for (void** h : {&config.captureHook, &config.captureHookLL}) {
    if (*h) (void)UnhookWindowsHookEx(hookOf(*h));  // a hook already gone is what was asked
    *h = nullptr;
  }
  if (g_config == &config) g_target = nullptr;
}

void openOnScreenKeyboard() {
  // ShellExecuteW returns a value above 32 on success.
  if (reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", L"osk.exe", L"", L"", SW_SHOW)) <= 32)
    ReportWin32Failure(L"ShellExecuteW(osk.exe)");
}

}  // namespace kv
