// The key hooks with a window of the test's own in front: keys sent through
// the system's input queue reach the low-level hook on its thread, and a
// low-level hook taken out behind the hooks' back (as Windows does with one
// that answered too late) is noticed and installed again.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "keys/key_hooks_win32.h"

namespace kv {
namespace {

struct Captured : KeyCaptureTarget {
  std::vector<KeyCode> keys;
  void OnKeyCaptured(KeyCode code) override { keys.push_back(code); }
};

void send(WORD vk, WORD scan, bool extended) {
  INPUT in[2]{};
  for (int i = 0; i < 2; ++i) {
    in[i].type = INPUT_KEYBOARD;
    in[i].ki.wVk = vk;
    in[i].ki.wScan = scan;
    in[i].ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (i == 1 ? KEYEVENTF_KEYUP : 0);
  }
  ASSERT_EQ(SendInput(2, in, sizeof in[0]), 2u);
}

// Pumps this thread's messages until cond() holds or the time is up.
template <class F>
bool pumpUntil(F cond, DWORD timeoutMs = 3000) {
  ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!cond()) {
    if (GetTickCount64() >= end) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  }
  return true;
}

class KeyHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = CreateWindowExW(0, L"STATIC", L"editor", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
    (void)SetForegroundWindow(window_);
    ASSERT_TRUE(pumpUntil([&] { return GetForegroundWindow() == window_; }));
  }
  void TearDown() override {
    removeCaptureHooks(config_);
    DestroyWindow(window_);
  }
  WorkingConfig config_;
  Captured target_;
  HWND window_ = nullptr;
};

TEST_F(KeyHooks, ARemovedLowLevelHookIsInstalledAgain) {
  installCaptureHooks(config_, target_, window_);
  ASSERT_TRUE(lowLevelKeyHookInstalled());
  send(VK_LWIN, 0x5B, true);
  ASSERT_TRUE(pumpUntil([&] { return !target_.keys.empty(); })) << "the Win key was not captured";
  EXPECT_EQ(target_.keys.back(), 0x15B);

  int installs = lowLevelKeyHookInstallCount();
  dropLowLevelKeyHookForTest();
  target_.keys.clear();
  // The letter reaches this thread: the backup hook takes it and has the
  // low-level hook put back.
  send('A', 0x1E, false);
  ASSERT_TRUE(pumpUntil([&] { return !target_.keys.empty(); })) << "the letter was lost";
  EXPECT_EQ(target_.keys.back(), 0x01E);
  // At least once more: on a loaded machine the first Win key may have
  // outwaited the low-level hook and been taken by the backup as well.
  EXPECT_TRUE(pumpUntil([&] { return lowLevelKeyHookInstallCount() > installs; })) << "not installed again";
  target_.keys.clear();
  // The Win key never reaches a thread hook: only a low-level hook installed
  // again takes it.
  send(VK_LWIN, 0x5B, true);
  ASSERT_TRUE(pumpUntil([&] { return !target_.keys.empty(); })) << "the low-level hook did not come back";
  EXPECT_EQ(target_.keys.back(), 0x15B);
}

TEST_F(KeyHooks, OutOfFrontThereIsNoLowLevelHook) {
  installCaptureHooks(config_, target_, window_);
  EXPECT_TRUE(lowLevelKeyHookInstalled());
  setKeyHooksInFront(false);
  EXPECT_FALSE(lowLevelKeyHookInstalled());
  setKeyHooksInFront(true);
  EXPECT_TRUE(lowLevelKeyHookInstalled());
  removeCaptureHooks(config_);
  EXPECT_FALSE(lowLevelKeyHookInstalled());
}

}  // namespace
}  // namespace kv
