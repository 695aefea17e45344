#include "keys/key_capture.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

constexpr uint32_t kExtended = 1u << 24;
constexpr uint32_t kRepeat = 1u << 30;
constexpr uint32_t kRelease = (1u << 31) | (1u << 30);
constexpr uint32_t scan(uint32_t s) { return s << 16; }

TEST(KeyCodeFromMessage, TableOfMessages) {
  struct Case {
    const char* what;
    uint32_t vk, flags;
    KeyCode expected;
  } cases[] = {
      {"a letter by its own scan code", 0x41, scan(0x1E), 0x01E},
      {"right Shift", 0x10, scan(0x36), 0x036},
      {"right Shift by its own virtual key", 0xA1, scan(0x36), 0x036},
      {"right Shift flagged extended is still 0x36", 0x10, scan(0x36) | kExtended, 0x036},
      {"left Shift", 0x10, scan(0x2A), 0x02A},
      {"right Ctrl is extended", 0x11, scan(0x1D) | kExtended, 0x11D},
      {"right Alt", 0x12, scan(0x38) | kExtended, 0x138},
      {"Print Screen", 0x2C, scan(0x37) | kExtended, 0x137},
      {"virtual key 0xFF takes the scan code", 0xFF, scan(0x37) | kExtended, 0x137},
      {"no scan code falls back to the virtual key", 0x41, 0, 0x01E},
      {"no scan code and an unknown virtual key", 0x07, 0, 0},
      {"keypad 1 with NumLock", 0x61, scan(0x4F), 0x04F},
      {"keypad 1 without NumLock (End)", 0x23, scan(0x4F), 0x04F},
      {"the End key of the arrow block", 0x23, scan(0x4F) | kExtended, 0x14F},
      {"a scan code that disagrees with the virtual key", 0x41, scan(0x30), 0x01E},
      {"flags above the extended bit do not matter", 0x42, scan(0x30) | kRelease, 0x030},
  };
  for (const Case& c : cases) EXPECT_EQ(keyCodeFromMessage(c.vk, c.flags), c.expected) << c.what;
}

TEST(CaptureAction, PressesCapturedOnceRepeatsAndReleasesSwallowed) {
  EXPECT_EQ(captureActionOf(0x01E, scan(0x1E)), CaptureAction::Capture);
  EXPECT_EQ(captureActionOf(0x01E, scan(0x1E) | kRepeat), CaptureAction::Swallow);
  EXPECT_EQ(captureActionOf(0x01E, scan(0x1E) | kRelease), CaptureAction::Swallow);
  EXPECT_EQ(captureActionOf(0, 0), CaptureAction::PassOn);
}

TEST(CaptureAction, PrintScreenOnEveryMessage) {
  for (uint32_t f : {0u, kRepeat, kRelease})
    EXPECT_EQ(captureActionOf(kPrintScreenKey, scan(0x37) | kExtended | f), CaptureAction::Capture) << f;
}

TEST(CaptureAction, MediaKeysGoOnToTheSystem) {
  for (KeyCode k : {0x120, 0x130, 0x12E, 0x124, 0x122, 0x119, 0x110, 0x16D, 0x132, 0x167, 0x168, 0x16A, 0x169, 0x166,
                    0x165, 0x16B, 0x121, 0x16C}) {
    EXPECT_TRUE(isPassedOnKey(static_cast<KeyCode>(k))) << std::hex << k;
    EXPECT_EQ(captureActionOf(static_cast<KeyCode>(k), 0), CaptureAction::PassOn) << std::hex << k;
  }
  EXPECT_FALSE(isPassedOnKey(0x01E));
  EXPECT_FALSE(isPassedOnKey(kPrintScreenKey));
}

TEST(LowLevelCapture, WinAndApplicationsKeysOnly) {
  EXPECT_EQ(lowLevelCaptureKey(0x5B), 0x15B);
  EXPECT_EQ(lowLevelCaptureKey(0x5C), 0x15C);
  EXPECT_EQ(lowLevelCaptureKey(0x5D), 0x15D);
  EXPECT_EQ(lowLevelCaptureKey(0x41), 0);
  EXPECT_EQ(lowLevelCaptureKey(0x2C), 0);
}

TEST(Recorder, PressesAndReleasesOnceRepeatsSwallowedMediaPassed) {
  struct Case {
    KeyCode code;
    uint32_t flags;
    RecordAction action;
  } cases[] = {{0x01E, scan(0x1E), RecordAction::Record},
               {0x01E, scan(0x1E) | kRepeat, RecordAction::Swallow},
               {0x01E, scan(0x1E) | kRelease, RecordAction::Record},
               {0x121, scan(0x21) | kExtended, RecordAction::PassOn},
               {0, 0, RecordAction::PassOn}};
  for (const auto& c : cases) EXPECT_EQ(recordActionOf(c.code, c.flags), c.action) << std::hex << c.code << " " << c.flags;
  EXPECT_TRUE(isReleaseMessage(kRelease));
  EXPECT_FALSE(isReleaseMessage(kRepeat));
}

TEST(Recorder, ExtraPressBeforeTheKeysThatNeedIt) {
  for (KeyCode k : {0x54, 0x71, 0x72, 0x137, 0x1E}) {
    for (bool release : {false, true}) {
      MacroAction out[2]{};
      size_t n = recordedActions(k, release, 345, out);
      bool extra = k != 0x1E;
      ASSERT_EQ(n, extra ? 2u : 1u) << std::hex << k;
      if (extra) {
        EXPECT_EQ(out[0].key, k);
        EXPECT_EQ(out[0].state, kMacroPress);
        EXPECT_EQ(out[0].delay, 2u);
      }
      EXPECT_EQ(out[n - 1].key, k);
      EXPECT_EQ(out[n - 1].state, release ? kMacroRelease : kMacroPress);
      EXPECT_EQ(out[n - 1].delay, 345u);
    }
  }
}

// The low-level hook's events go through the thread hook's rules: the
// recorder keeps a press and a release of each key, never an auto-repeat.
TEST(LowLevelKeys, EventsBecomeWhatTheThreadHookWouldSee) {
  LowLevelKeys keys;
  struct Step {
    const char* what;
    uint32_t vk, scan;
    bool extended, release;
    KeyCode code;
    RecordAction record;
  } steps[] = {
      {"left Win pressed", 0x5B, 0x5B, true, false, 0x15B, RecordAction::Record},
      {"its repeat", 0x5B, 0x5B, true, false, 0x15B, RecordAction::Swallow},
      {"right Win while held", 0x5C, 0x5C, true, false, 0x15C, RecordAction::Record},
      {"right Win released", 0x5C, 0x5C, true, true, 0x15C, RecordAction::Record},
      {"left Win released", 0x5B, 0x5B, true, true, 0x15B, RecordAction::Record},
      {"left Win pressed again", 0x5B, 0x5B, true, false, 0x15B, RecordAction::Record},
      {"Applications by its virtual key", 0x5D, 0, false, false, 0x15D, RecordAction::Record},
      {"left Shift by its side's key", 0xA0, 0x2A, false, false, 0x02A, RecordAction::Record},
      {"right Shift pressed with left held is no repeat", 0xA1, 0x36, false, false, 0x036, RecordAction::Record},
      {"left Shift repeats", 0xA0, 0x2A, false, false, 0x02A, RecordAction::Swallow},
      {"right Ctrl", 0xA3, 0x1D, true, false, 0x11D, RecordAction::Record},
      {"left Ctrl is another key", 0xA2, 0x1D, false, false, 0x01D, RecordAction::Record},
      {"right Alt", 0xA5, 0x38, true, false, 0x138, RecordAction::Record},
      {"a letter", 0x41, 0x1E, false, false, 0x01E, RecordAction::Record},
      {"the letter repeats", 0x41, 0x1E, false, false, 0x01E, RecordAction::Swallow},
      {"the letter released", 0x41, 0x1E, false, true, 0x01E, RecordAction::Record},
      {"Print Screen", 0x2C, 0x37, true, false, 0x137, RecordAction::Record},
      {"a media key goes on", 0xB7, 0x21, true, false, 0x121, RecordAction::PassOn},
  };
  for (const Step& s : steps) {
    ThreadHookKey k = keys.toThreadHook(s.vk, s.scan, s.extended, s.release);
    KeyCode code = lowLevelKeyCode(k);
    EXPECT_EQ(code, s.code) << s.what;
    EXPECT_EQ(recordActionOf(code, k.flags), s.record) << s.what;
    EXPECT_EQ(isReleaseMessage(k.flags), s.release) << s.what;
  }
}

TEST(LowLevelKeys, CaptureTakesAHeldKeyOnceAndForgetsKeysOnClear) {
  LowLevelKeys keys;
  auto press = [&](uint32_t vk, uint32_t scan) {
    ThreadHookKey k = keys.toThreadHook(vk, scan, false, false);
    return captureActionOf(lowLevelKeyCode(k), k.flags);
  };
  EXPECT_EQ(press(0x41, 0x1E), CaptureAction::Capture);
  EXPECT_EQ(press(0x41, 0x1E), CaptureAction::Swallow);
  // The hook was out meanwhile: a key seen held before is a fresh press now.
  keys.clear();
  EXPECT_EQ(press(0x41, 0x1E), CaptureAction::Capture);
  ThreadHookKey up = keys.toThreadHook(0x41, 0x1E, false, true);
  EXPECT_EQ(captureActionOf(lowLevelKeyCode(up), up.flags), CaptureAction::Swallow);
  EXPECT_EQ(press(0x41, 0x1E), CaptureAction::Capture);
}

// The Enter that answered a message box lifts once the editor is in front
// again: that release is not the editor's, nor one of a key held from before
// the hook came.
TEST(LowLevelKeys, AReleaseIsOursOnlyWhenItsPressWas) {
  LowLevelKeys keys;
  EXPECT_FALSE(keys.toThreadHook(0x0D, 0x1C, false, false, /*here=*/false).strayRelease);
  EXPECT_TRUE(keys.toThreadHook(0x0D, 0x1C, false, true, /*here=*/true).strayRelease);
  // Held elsewhere, repeating here: still not ours.
  (void)keys.toThreadHook(0x41, 0x1E, false, false, false);
  ThreadHookKey repeat = keys.toThreadHook(0x41, 0x1E, false, false, true);
  EXPECT_EQ(captureActionOf(lowLevelKeyCode(repeat), repeat.flags), CaptureAction::Swallow);
  EXPECT_TRUE(keys.toThreadHook(0x41, 0x1E, false, true, true).strayRelease);
  // Pressed and released here.
  EXPECT_FALSE(keys.toThreadHook(0x41, 0x1E, false, false, true).strayRelease);
  EXPECT_FALSE(keys.toThreadHook(0x41, 0x1E, false, true, true).strayRelease);
  // Held when the hook came (forgotten by clear).
  (void)keys.toThreadHook(0x42, 0x30, false, false, true);
  keys.clear();
  EXPECT_TRUE(keys.toThreadHook(0x42, 0x30, false, true, true).strayRelease);
}

// Delays from injected timestamps: 1 ms resolution, no drift however the
// events fall between milliseconds, nothing negative from a clock read late.
TEST(RecordClock, DelaysInWholeMillisecondsFromMicroseconds) {
  RecordClock clock;
  clock.start(1'000'400);
  struct Step {
    uint64_t nowUs;
    uint32_t delay;
  } steps[] = {
      {1'001'399, 1},   // 1.0 ms later by the millisecond it falls in
      {1'002'000, 1},
      {1'002'999, 0},   // within the same millisecond
      {1'019'000, 17},  // not a ~16 ms tick: what happened
      {1'018'500, 0},   // a clock read on another thread a little behind
      {1'020'000, 1},
      {41'020'000, 40'000'000 / 1000},
  };
  uint64_t total = 0;
  for (const Step& s : steps) {
    uint32_t d = clock.elapsedMs(s.nowUs);
    EXPECT_EQ(d, s.delay) << s.nowUs;
    total += d;
  }
  EXPECT_EQ(total, 41'020u - 1'000u);  // the delays add up to the time elapsed
}

}  // namespace
}  // namespace kv
