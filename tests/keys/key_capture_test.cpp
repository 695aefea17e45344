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

TEST(Recorder, WinKeysThroughTheLowLevelHookOncePerPress) {
  uint8_t last = 0;
  struct Step {
    uint32_t vk;
    bool down;
    bool handled, record;
    KeyCode code;
  } steps[] = {
      {0x5B, true, true, true, 0x15B},    // press
      {0x5B, true, true, false, 0},       // its repeat
      {0x5C, true, true, true, 0x15C},    // the other Win key while held
      {0x5C, false, true, true, 0x15C},   // release
      {0x5B, false, true, true, 0x15B},
      {0x41, true, false, false, 0},      // other keys: the thread hook's
      {0x5B, true, true, true, 0x15B},    // pressed again after its release
  };
  for (const auto& s : steps) {
    LowLevelRecord r = lowLevelRecordOf(s.vk, s.down, last);
    EXPECT_EQ(r.handled, s.handled) << std::hex << s.vk << s.down;
    EXPECT_EQ(r.record, s.record) << std::hex << s.vk << s.down;
    if (s.record) {
      EXPECT_EQ(r.code, s.code);
      EXPECT_EQ(r.release, !s.down);
    }
  }
}

}  // namespace
}  // namespace kv
