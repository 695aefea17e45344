// Undo and redo as a user meets them: Ctrl+Z and Ctrl+Y pressed on the real
// Korvalin.exe after a remap, a painted stroke and a report-rate change,
// checked on the keyboard's memory and trace, the key buttons, Apply and its
// tooltip; the button menu's Undo and Redo items.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/korvalin_fixture_win32.h"

namespace kv::e2e {
namespace {

using namespace ids::main_dlg;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

class UndoE2e : public KorvalinFixture {
 protected:
  std::vector<uint8_t> read(const std::string& region, int offset, int length) const {
    return bytesOf(app_->sim("read " + region + " " + std::to_string(offset) + " " + std::to_string(length)));
  }
  int settingsByte(int profile, int field) const {
    auto b = read("settings", profile * static_cast<int>(kSettingsRecordSize) + field, 1);
    return b.empty() ? -1 : b[0];
  }
  std::vector<uint8_t> colours(int profile) const {
    return read("colours", profile * static_cast<int>(kColourRegionSize), static_cast<int>(kColourRegionSize));
  }
  // Presses keys with the main window in front, as the user's hand does.
  void press(const char* keysym) {
    (void)SetForegroundWindow(main());  // may be refused; the window is in front already after a click
    pressKey(keysym);
  }
  // The time from pressing a key until the control's looks change, printed
  // as a figure.
  bool timedUntilRedrawn(const char* keysym, HWND control, const char* what) {
    const std::vector<COLORREF> before = looksOf(control);
    const auto t0 = Clock::now();
    pressKey(keysym);
    const auto sent = Clock::now();
    const bool changed = waitFor([&] { return looksOf(control) != before; }, 3000, 1);
    const auto seen = Clock::now();
    std::printf("[ figure ] %s redraw: %.1f ms after the key's tool returned, %.1f ms from starting the key "
                "(xdotool start-up and pixel polling included)\n",
                what, Ms(seen - sent).count(), Ms(seen - t0).count());
    return changed;
  }
};

TEST_F(UndoE2e, RemapUndoneAndRedoneThenApplyWritesB) {
  Running& app = startShown();
  const int keyA = KEY_01E.id;
  const int recordA = recordOffsetOfUsage("04");
  ASSERT_GE(recordA, 0);
  ASSERT_TRUE(assignKey(keyA, "b", L"B"));
  ASSERT_TRUE(waitFor([&] { return tooltip(keyA) == L"AKeys, Set: Key(B)"; }, 3000)) << utf8(tooltip(keyA));
  EXPECT_TRUE(mainApplyEnabled());
  EXPECT_EQ(tooltip(CONTROL2_APPLY.id), L"Waiting for Apply: 1\r\nA \u2192 B");
  // The tooltip as the user sees it, resting on Apply.
  POINT apply = centreOf(mainItem(CONTROL2_APPLY.id));
  int step = 0;
  EXPECT_TRUE(waitFor([&] {
    for (HWND h : topLevelWindows(app.pid(), true))
      if (describe(h).className == L"tooltips_class32") return true;
    // A hand resting on the button moves a little now and then: the button
    // makes its tooltip when the pointer rests, the tooltip shows after
    // the next move and a rest.
    if (step++ % 30 == 0) mouseMoveTo(apply.x + (step / 30) % 4, apply.y);
    return false;
  }, 10000, 100));
  Sleep(300);
  shot("undo_apply_tooltip");
  pointerAway();

  (void)SetForegroundWindow(main());
  ASSERT_TRUE(timedUntilRedrawn("ctrl+z", mainItem(keyA), "undo"));
  EXPECT_TRUE(waitFor([&] { return tooltip(keyA) == L"A"; }, 3000)) << utf8(tooltip(keyA));
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 3000)) << "the only waiting change was undone";
  EXPECT_EQ(tooltip(CONTROL2_APPLY.id), L"Nothing is waiting to be written.");
  EXPECT_EQ(keyRecord(0, recordA), "020204") << "nothing reaches the keyboard";
  pointerAway();
  shot("undo_remap_undone");

  ASSERT_TRUE(timedUntilRedrawn("ctrl+y", mainItem(keyA), "redo"));
  EXPECT_TRUE(waitFor([&] { return tooltip(keyA) == L"AKeys, Set: Key(B)"; }, 3000)) << utf8(tooltip(keyA));
  EXPECT_TRUE(mainApplyEnabled());

  // Ctrl+Shift+Z redoes too: undone by the menu, redone by the keys.
  clickCentre(mainItem(CONTROL_MENU.id));
  HWND menu = nullptr;
  ASSERT_TRUE(waitFor([&] {
    for (HWND h : topLevelWindows(app.pid(), true))
      if (describe(h).className == L"#32768") menu = h;
    return menu != nullptr;
  }, 3000));
  Sleep(200);
  shot("undo_menu_items");
  pressKey("Down");  // the first item: "Undo: A → B"
  pressKey("Return");
  EXPECT_TRUE(waitFor([&] { return tooltip(keyA) == L"A"; }, 3000)) << "the menu's Undo";
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 3000));
  press("ctrl+shift+z");
  EXPECT_TRUE(waitFor([&] { return tooltip(keyA) == L"AKeys, Set: Key(B)"; }, 3000)) << utf8(tooltip(keyA));
  EXPECT_TRUE(waitFor([&] { return mainApplyEnabled(); }, 3000));

  clearTrace();
  ASSERT_TRUE(waitClickable(mainItem(CONTROL2_APPLY.id)));
  clickCentre(mainItem(CONTROL2_APPLY.id));
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));
  EXPECT_TRUE(waitFor([&] { return keyRecord(0, recordA) == "020205"; }, 5000)) << keyRecord(0, recordA);
  pointerAway();
  shot("undo_remap_applied");

  // History stays across Apply: undoing now makes the old key wait again.
  press("ctrl+z");
  EXPECT_TRUE(waitFor([&] { return tooltip(keyA) == L"A"; }, 3000));
  EXPECT_TRUE(waitFor([&] { return mainApplyEnabled(); }, 3000)) << "the keyboard holds B: A waits now";
  EXPECT_EQ(tooltip(CONTROL2_APPLY.id), L"Waiting for Apply: 1\r\nA \u2192 default");
}

TEST_F(UndoE2e, PaintedStrokeUndoneRestoresTheKeyboardsBytesInOneBracket) {
  activeProfile(1);  // the factory's per-key profile
  panelStartsOpen();
  startSettled();
  const int row[] = {KEY_010.id, KEY_011.id, KEY_012.id, KEY_013.id, KEY_014.id};  // Q W E R T
  // Erase across the row, so each key's byte changes whatever the pattern.
  clickCentre(mainItem(CONTROL_USERgjStaPic2.id));
  ASSERT_TRUE(waitFor([&] { return settingsByte(1, 16) == 1; }, 3000));
  const std::vector<uint8_t> erased = colours(1);
  POINT from = centreOf(mainItem(row[0])), to = centreOf(mainItem(row[4]));
  mouseMoveTo(from.x, from.y);
  Sleep(200);
  clearTrace();
  drag(from.x, from.y, to.x, to.y);
  ASSERT_TRUE(waitFor([&] { return traced(kCmdWriteColours).size() >= 5; }, 5000));
  Sleep(300);
  const auto strokeWrites = traced(kCmdWriteColours);
  ASSERT_EQ(strokeWrites.size(), 5u);
  const std::vector<uint8_t> painted = colours(1);
  ASSERT_NE(painted, erased);
  pointerAway();

  clearTrace();
  press("ctrl+z");
  EXPECT_TRUE(waitFor([&] { return colours(1) == erased; }, 5000)) << "the whole stroke is one step";
  Sleep(300);
  EXPECT_EQ(traced(kCmdBeginConfig).size(), 1u) << "one bracket";
  EXPECT_EQ(traced(kCmdEndConfig).size(), 1u);
  const auto undoWrites = traced(kCmdWriteColours);
  ASSERT_EQ(undoWrites.size(), 5u) << "as the stroke wrote them, last first";
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(undoWrites[i], strokeWrites[4 - i]);
  shot("undo_stroke_undone");

  // The tool change before it is no undo step; the stroke comes back.
  press("ctrl+y");
  EXPECT_TRUE(waitFor([&] { return colours(1) == painted; }, 5000));
  press("ctrl+z");
  EXPECT_TRUE(waitFor([&] { return colours(1) == erased; }, 5000));
  EXPECT_FALSE(mainApplyEnabled()) << "written changes never wait for Apply";
}

TEST_F(UndoE2e, ReportRateUndoneRestoresSettingsByteFifteen) {
  activeProfile(2);
  Running& app = startSettled();
  const int was = settingsByte(2, 15);
  ASSERT_EQ(was, 3);
  pointerAway();
  Sleep(300);
  const auto setLook = looksOf(mainItem(FUNC_REPORT4.id));
  clickCentre(mainItem(FUNC_REPORT3.id));
  ASSERT_TRUE(waitFor([&] { return settingsByte(2, 15) == 2; }, 3000));
  pointerAway();
  clearTrace();
  press("ctrl+z");
  EXPECT_TRUE(waitFor([&] { return settingsByte(2, 15) == 3; }, 3000));
  Sleep(300);
  EXPECT_EQ(traced(kCmdWriteSettings), (std::vector<std::pair<int, int>>{{99, 1}})) << "one byte, as the change";
  EXPECT_EQ(traced(kCmdBeginConfig).size(), 1u);
  EXPECT_TRUE(waitFor([&] { return looksOf(mainItem(FUNC_REPORT4.id)) == setLook; }, 3000))
      << "the button of the restored rate shows set";
  shot("undo_report_rate");
  press("ctrl+y");
  EXPECT_TRUE(waitFor([&] { return settingsByte(2, 15) == 2; }, 3000));
  (void)app;
}

}  // namespace
}  // namespace kv::e2e
