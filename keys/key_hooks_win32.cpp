#include "keys/key_hooks_win32.h"

#include <windows.h>
#include <imm.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "base/handles_win32.h"
#include "base/log_win32.h"
#include "keys/key_capture.h"
#include "resources/window_messages.h"

namespace kv {
namespace {

enum class Mode { None, Capture, Record };

constexpr WPARAM kDropForTest = 1;  // with kMsgHookApply

// What both threads share, under its mutex. The targets and the receiving
// window are the user-interface thread's alone.
struct HookState {
  std::mutex mutex;
  Mode mode = Mode::None;
  HWND editor = nullptr;
  bool inFront = false;     // the editor is active
  uint32_t generation = 0;  // a new one per installation: posts of an earlier one are dropped
  LowLevelKeys keys;        // the hook thread's view of the keys held
  RecordClock clock;
  HHOOK lowLevel = nullptr;  // the hook thread's
  // Keys the low-level hook let through on purpose (a stray release), by
  // code and release: the backup hook lets them through as well.
  std::deque<std::pair<KeyCode, bool>> passedOn;
  HWND hookWindow = nullptr;  // the hook thread's message window
  int installs = 0;           // low-level hooks installed so far (for tests)
  bool reinstallAsked = false;
  HWND receiver = nullptr;    // the user-interface thread's message window
  // Time spent in the recorder's hook, written to the debugger output when a
  // recording stops.
  LONGLONG recordTicks = 0;
  int recordEvents = 0;
};
HookState g;

// The user-interface thread's.
KeyCaptureTarget* g_captureTarget = nullptr;
MacroRecordTarget* g_recordTarget = nullptr;
HHOOK g_threadHook = nullptr;
// Joined whenever the hooks go; a process ending with them in (an exit
// from inside a handler) must not end in std::terminate.
struct HookThread {
  std::thread thread;
  ~HookThread() {
    if (thread.joinable()) thread.detach();
  }
} g_hook;

uint64_t nowMicroseconds() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);  // never fails on XP and later
    return f.QuadPart > 0 ? f.QuadPart : 1;
  }();
  LARGE_INTEGER t{};
  QueryPerformanceCounter(&t);
  auto q = static_cast<uint64_t>(t.QuadPart);
  auto f = static_cast<uint64_t>(frequency);
  return q / f * 1000000u + q % f * 1000000u / f;
}

bool isKeyMessage(WPARAM wp) { return wp == WM_KEYDOWN || wp == WM_KEYUP || wp == WM_SYSKEYDOWN || wp == WM_SYSKEYUP; }

LPARAM tagged(uint32_t generation, uint32_t low17) {
  return static_cast<LPARAM>((static_cast<uint64_t>(generation & 0x7FFF) << 17) | (low17 & 0x1FFFF));
}

// Acts on one key under the lock: 0 to pass it on, 1 when it is taken
// (captured, recorded or swallowed); posts what it takes to the receiver.
int actOnKey(KeyCode key, uint32_t flags, uint64_t nowUs) {
  if (g.mode == Mode::Capture) {
    switch (captureActionOf(key, flags)) {
      case CaptureAction::PassOn: return 0;
      case CaptureAction::Swallow: return 1;
      case CaptureAction::Capture:
        if (!PostMessageW(g.receiver, kMsgHookCaptured, key, tagged(g.generation, 0))) ReportWin32Failure(L"PostMessageW(captured key)");
        return 1;
    }
    return 1;
  }
  switch (recordActionOf(key, flags)) {
    case RecordAction::PassOn: return 0;
    case RecordAction::Swallow: return 1;
    case RecordAction::Record: break;
  }
  MacroAction actions[2]{};
  size_t n = recordedActions(key, isReleaseMessage(flags), g.clock.elapsedMs(nowUs), actions);
  for (size_t i = 0; i < n; ++i) {
    uint32_t low = actions[i].key | (actions[i].state == kMacroRelease ? 0x10000u : 0u);
    if (!PostMessageW(g.receiver, kMsgHookRecorded, actions[i].delay, tagged(g.generation, low)))
      ReportWin32Failure(L"PostMessageW(recorded key)");
  }
  return 1;
}

// When a low-level event happened, in microseconds of nowMicroseconds: now,
// as the hook runs at once on Windows; but an event that waited before it
// reached the hook (Wine reads a window's input from the X server only when
// the thread owning that window pumps messages) by its own time, which
// counts in the system's ticks.
uint64_t eventTime(const KBDLLHOOKSTRUCT& k, uint64_t nowUs) {
  constexpr DWORD kWaitedMs = 40;  // more than two ticks of 15.6 ms
  DWORD age = GetTickCount() - k.time;  // wraps as both do
  if (age <= kWaitedMs || age > 60000 || static_cast<uint64_t>(age) * 1000 > nowUs) return nowUs;
  return nowUs - static_cast<uint64_t>(age) * 1000;
}

// The hook thread: low-level events, in front only.
LRESULT CALLBACK LowLevelProc(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION && isKeyMessage(wp)) {
    uint64_t t0 = nowMicroseconds();
    LARGE_INTEGER q0{};
    QueryPerformanceCounter(&q0);
    const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
    std::lock_guard lock(g.mutex);
    // The foreground decides, not the last activation seen: the editor's
    // deactivation may wait behind a busy user-interface thread.
    bool here = g.mode != Mode::None && g.editor && GetForegroundWindow() == g.editor;
    // Keys are followed elsewhere too: one pressed there is not ours when
    // it is released here.
    ThreadHookKey key = g.keys.toThreadHook(k->vkCode, k->scanCode, (k->flags & LLKHF_EXTENDED) != 0,
                                            (k->flags & LLKHF_UP) != 0, here);
    if (here && key.strayRelease) {
      if (g.passedOn.size() >= 32) g.passedOn.pop_front();
      g.passedOn.emplace_back(lowLevelKeyCode(key), true);
    }
    if (here && !key.strayRelease) {
      int taken = actOnKey(lowLevelKeyCode(key), key.flags, eventTime(*k, t0));
      if (g.mode == Mode::Record && taken) {
        LARGE_INTEGER q1{};
        QueryPerformanceCounter(&q1);
        g.recordTicks += q1.QuadPart - q0.QuadPart;
        ++g.recordEvents;
      }
      if (taken) return 1;
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

// Puts the low-level hook in or takes it out as wanted; on the hook thread.
void applyWanted(bool reinstall) {
  std::lock_guard lock(g.mutex);
  bool wanted = g.mode != Mode::None && g.inFront;
  if (reinstall) g.reinstallAsked = false;
  if (g.lowLevel && (!wanted || reinstall)) {
    (void)UnhookWindowsHookEx(g.lowLevel);  // one Windows removed already is what was asked
    g.lowLevel = nullptr;
  }
  if (wanted && !g.lowLevel) {
    g.keys.clear();
    g.passedOn.clear();
    g.lowLevel = SetWindowsHookExW(WH_KEYBOARD_LL, LowLevelProc, GetModuleHandleW(nullptr), 0);
    if (!g.lowLevel) ReportWin32Failure(L"SetWindowsHookExW(WH_KEYBOARD_LL)");
    else ++g.installs;
  }
}

LRESULT CALLBACK HookWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kMsgHookApply:
      if (wp == kDropForTest) {
        std::lock_guard lock(g.mutex);
        // Unhooked, but still believed installed: what a removal by Windows leaves.
        if (g.lowLevel) (void)UnhookWindowsHookEx(g.lowLevel);  // a test's own doing
        return 0;
      }
      applyWanted(false);
      return 0;
    case kMsgHookReinstall:
      LogLine(L"the low-level keyboard hook was gone: installed again");
      applyWanted(true);
      return 0;
    case WM_CLOSE:
      (void)DestroyWindow(hwnd);  // our own window
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

void hookThreadMain(HANDLE ready) {
  HWND w = CreateWindowExW(0, L"KorvalinKeyHookThread", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  if (!w) ReportWin32Failure(L"CreateWindowExW(key hook thread)");
  {
    std::lock_guard lock(g.mutex);
    g.hookWindow = w;
  }
  (void)SetEvent(ready);  // the creator waits on it
  if (!w) return;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) (void)DispatchMessageW(&msg);
  std::lock_guard lock(g.mutex);
  if (g.lowLevel) (void)UnhookWindowsHookEx(g.lowLevel);  // ending: nothing to do on failure
  g.lowLevel = nullptr;
  g.hookWindow = nullptr;
}

// The user-interface thread's receiver of the hook thread's posts.
LRESULT CALLBACK ReceiverProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != kMsgHookCaptured && msg != kMsgHookRecorded) return DefWindowProcW(hwnd, msg, wp, lp);
  auto bits = static_cast<uint64_t>(lp);
  uint32_t generation;
  {
    std::lock_guard lock(g.mutex);
    generation = g.generation;
  }
  if (((bits >> 17) & 0x7FFF) != (generation & 0x7FFF)) return 0;  // an earlier installation's
  if (msg == kMsgHookCaptured) {
    if (g_captureTarget) g_captureTarget->OnKeyCaptured(static_cast<KeyCode>(wp));
  } else if (g_recordTarget) {
    MacroAction a{};
    a.delay = static_cast<uint32_t>(wp);
    a.key = static_cast<KeyCode>(bits & 0xFFFF);
    a.state = (bits & 0x10000) ? kMacroRelease : kMacroPress;
    g_recordTarget->OnRecordedAction(a);
  }
  return 0;
}

bool registerClasses() {
  static const bool registered = [] {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW c{};
    c.hInstance = instance;
    c.lpfnWndProc = HookWindowProc;
    c.lpszClassName = L"KorvalinKeyHookThread";
    bool ok = RegisterClassW(&c) != 0;
    if (!ok) ReportWin32Failure(L"RegisterClassW(key hook thread)");
    c.lpfnWndProc = ReceiverProc;
    c.lpszClassName = L"KorvalinKeyHookReceiver";
    if (!RegisterClassW(&c)) {
      ReportWin32Failure(L"RegisterClassW(key hook receiver)");
      ok = false;
    }
    return ok;
  }();
  return registered;
}

// The user-interface thread's backup: a key message reaching this thread was
// not taken by the low-level hook, so that hook is gone (or never came).
LRESULT CALLBACK ThreadProc(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION) {
    auto flags = static_cast<uint32_t>(lp);
    KeyCode key = keyCodeFromMessage(static_cast<uint32_t>(wp), flags);
    std::lock_guard lock(g.mutex);
    auto passed = std::find(g.passedOn.begin(), g.passedOn.end(), std::make_pair(key, isReleaseMessage(flags)));
    if (passed != g.passedOn.end()) {
      g.passedOn.erase(passed);
    } else if (g.mode != Mode::None && g.inFront && g.editor && GetForegroundWindow() == g.editor) {
      if (actOnKey(key, flags, nowMicroseconds())) {
        if (g.hookWindow && !g.reinstallAsked)
          g.reinstallAsked = PostMessageW(g.hookWindow, kMsgHookReinstall, 0, 0) != FALSE;  // the key is taken either way
        return 1;
      }
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

void startHookThread() {
  if (g_hook.thread.joinable()) return;
  UniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!ready) {
    ReportWin32Failure(L"CreateEventW(key hook thread)");
    return;
  }
  g_hook.thread = std::thread(hookThreadMain, ready.get());
  (void)WaitForSingleObject(ready.get(), INFINITE);  // the thread sets it on every path
}

void stopHookThread() {
  if (!g_hook.thread.joinable()) return;
  HWND w;
  {
    std::lock_guard lock(g.mutex);
    w = g.hookWindow;
  }
  if (w) (void)SendMessageW(w, WM_CLOSE, 0, 0);  // ends its loop
  g_hook.thread.join();
}

// Brings both hooks in line with the shared state; user-interface thread.
void applyOnBothThreads() {
  bool wanted;
  HWND hookWindow;
  {
    std::lock_guard lock(g.mutex);
    wanted = g.mode != Mode::None && g.inFront;
    hookWindow = g.hookWindow;
  }
  // Sent: the low-level hook is out before a message box can come up.
  if (hookWindow) (void)SendMessageW(hookWindow, kMsgHookApply, 0, 0);
  if (wanted && !g_threadHook) {
    g_threadHook = SetWindowsHookExW(WH_KEYBOARD, ThreadProc, nullptr, GetCurrentThreadId());
    if (!g_threadHook) ReportWin32Failure(L"SetWindowsHookExW(WH_KEYBOARD)");
  } else if (!wanted && g_threadHook) {
    (void)UnhookWindowsHookEx(g_threadHook);  // gone already is what was asked
    g_threadHook = nullptr;
  }
}

// An input method (Chinese, Japanese) turns keys into VK_PROCESSKEY and
// composes text: while the editor takes keys, it has none.
void inputMethodOff(HWND editor) {
  if (!editor) return;
  (void)ImmAssociateContextEx(editor, nullptr, IACE_CHILDREN);  // without an input method nothing changes
  (void)ImmAssociateContext(editor, nullptr);                    // the previous context is the default one
}

void inputMethodBack(HWND editor) {
  if (!editor || !IsWindow(editor)) return;
  (void)ImmAssociateContextEx(editor, nullptr, IACE_DEFAULT);
  (void)EnumChildWindows(
      editor, [](HWND child, LPARAM) -> BOOL { return ImmAssociateContextEx(child, nullptr, IACE_DEFAULT), TRUE; }, 0);
}

void install(Mode mode, HWND editor) {
  if (!registerClasses()) return;
  if (!g.receiver) {
    g.receiver = CreateWindowExW(0, L"KorvalinKeyHookReceiver", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (!g.receiver) ReportWin32Failure(L"CreateWindowExW(key hook receiver)");
  }
  startHookThread();
  inputMethodOff(editor);
  {
    std::lock_guard lock(g.mutex);
    g.mode = mode;
    g.editor = editor;
    g.inFront = GetForegroundWindow() == editor;
    ++g.generation;
    g.clock.start(nowMicroseconds());
    g.recordTicks = 0;
    g.recordEvents = 0;
  }
  applyOnBothThreads();
}

void remove(Mode mode) {
  HWND editor;
  {
    std::lock_guard lock(g.mutex);
    if (g.mode != mode) return;
    g.mode = Mode::None;
    ++g.generation;
    editor = g.editor;
  }
  inputMethodBack(editor);
  applyOnBothThreads();
  stopHookThread();
}

}  // namespace

void installCaptureHooks(WorkingConfig&, KeyCaptureTarget& target, HWND window) {
  g_recordTarget = nullptr;
  g_captureTarget = &target;
  install(Mode::Capture, window);
}

void removeCaptureHooks(WorkingConfig&) {
  remove(Mode::Capture);
  g_captureTarget = nullptr;
}

void installRecordHooks(WorkingConfig&, MacroRecordTarget& target, HWND window) {
  g_captureTarget = nullptr;
  g_recordTarget = &target;
  install(Mode::Record, window);
}

void removeRecordHooks(WorkingConfig&) {
  int events;
  LONGLONG ticks;
  {
    std::lock_guard lock(g.mutex);
    events = g.mode == Mode::Record ? g.recordEvents : 0;
    ticks = g.recordTicks;
  }
  remove(Mode::Record);
  g_recordTarget = nullptr;
  if (events > 0) {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    wchar_t line[160];
    swprintf(line, 160, L"recorder: %d events, %.1f us per event in the hooks", events,
             f.QuadPart ? 1e6 * static_cast<double>(ticks) / static_cast<double>(f.QuadPart) / events : 0.0);
    LogLine(line);
  }
}

void setKeyHooksInFront(bool inFront) {
  {
    std::lock_guard lock(g.mutex);
    if (g.inFront == inFront) return;
    g.inFront = inFront;
  }
  applyOnBothThreads();
}

bool lowLevelKeyHookInstalled() {
  std::lock_guard lock(g.mutex);
  return g.lowLevel != nullptr;
}

int lowLevelKeyHookInstallCount() {
  std::lock_guard lock(g.mutex);
  return g.installs;
}

void dropLowLevelKeyHookForTest() {
  HWND w;
  {
    std::lock_guard lock(g.mutex);
    w = g.hookWindow;
  }
  if (w) (void)SendMessageW(w, kMsgHookApply, kDropForTest, 0);  // answers 0
}

void openOnScreenKeyboard() {
  // ShellExecuteW returns a value above 32 on success.
  if (reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", L"osk.exe", L"", L"", SW_SHOW)) <= 32)
    ReportWin32Failure(L"ShellExecuteW(osk.exe)");
}

}  // namespace kv
