// The lighting panel, the report rate and the indicators as a user meets
// them: the real Korvalin.exe with the simulated keyboard, driven by real
// pointer input, checked on the keyboard's memory and trace, the window's
// controls and the screen's pixels.
#include <gtest/gtest.h>

#include <colordlg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "model/key_codes.h"
#include "tests/e2e/korvalin_fixture_win32.h"

namespace kv::e2e {
namespace {

using namespace ids::main_dlg;

constexpr int kComboPerKey = kSimEffectCount - 1;  // the list position of 254
constexpr COLORREF kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);

// Byte and bit of a key's LED in a user pattern.
struct LedBit {
  int offset;
  uint8_t bit;
};
LedBit ledBitOf(int controlId, int mode) {
  uint8_t led = LedIndexOfButton(static_cast<uint16_t>(controlId));
  return {mode * 18 + led / 8, static_cast<uint8_t>(1u << (led % 8))};
}

// The fixture with the lighting panel's controls and the keyboard's lighting
// memory at hand.
class LightingE2e : public KorvalinFixture {
 protected:
  void restart() {
    ASSERT_TRUE(PostMessageW(main(), kMsgKill, kTagKill, 0));  // an orderly close
    ASSERT_EQ(app_->waitExit(), 0u);
    app_.reset();
    startSettled();
  }

  bool shown(int id) const { return IsWindowVisible(mainItem(id)) != FALSE; }
  void clickItem(int id) { clickCentre(mainItem(id)); }

  // Opens a drop-down list with a real click and clicks its item.
  void choose(int comboId, int index) {
    clickItem(comboId);
    HWND list = nullptr;
    ASSERT_TRUE(waitFor([&] {
      for (HWND h : topLevelWindows(app_->pid(), true))
        if (describe(h).className == L"ComboLBox") list = h;
      return list != nullptr;
    }, 5000));
    int top = static_cast<int>(SendMessageW(list, LB_GETTOPINDEX, 0, 0));
    int height = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
    RECT client{};
    GetClientRect(list, &client);
    int rows = height > 0 ? client.bottom / height : 1;
    if (index < top || index >= top + rows) {
      // Scrolling the list is not what is tested: show the item, then click it.
      SendMessageW(list, LB_SETTOPINDEX, index, 0);
      top = static_cast<int>(SendMessageW(list, LB_GETTOPINDEX, 0, 0));
    }
    POINT p{client.right / 2, (index - top) * height + height / 2};
    ClientToScreen(list, &p);
    click(p.x, p.y);
    waitFor([&] { return !IsWindowVisible(list); }, 3000);
  }
  // A real click on a level control at a position (the control's picture is
  // 0-4 from left to right).
  void clickLevel(int id, int position) {
    RECT r{};
    GetWindowRect(mainItem(id), &r);
    int w = r.right - r.left;
    int x = position * w / 4 - 10 + w / 8;  // the control counts from 10 pixels left of its picture
    click(r.left + std::clamp(x, 2, w - 3), (r.top + r.bottom) / 2);
  }

  std::vector<uint8_t> read(const std::string& region, int offset, int length) const {
    return bytesOf(app_->sim("read " + region + " " + std::to_string(offset) + " " + std::to_string(length)));
  }
  int settingsByte(int profile, int field) const {
    auto b = read("settings", profile * static_cast<int>(kSettingsRecordSize) + field, 1);
    return b.empty() ? -1 : b[0];
  }
  int colourByte(int profile, int offset) const {
    auto b = read("colours", profile * static_cast<int>(kColourRegionSize) + offset, 1);
    return b.empty() ? -1 : b[0];
  }

  // The colour overlay of a key: a frame drawn inside the button's edge.
  COLORREF overlayOf(int id) const {
    RECT r{};
    GetWindowRect(mainItem(id), &r);
    return pixelAt(r.left + 1, (r.top + r.bottom) / 2);
  }
  // A few pixels of a control, to tell its looks apart.
  std::vector<COLORREF> looksOf(int id) const { return e2e::looksOf(mainItem(id)); }

  // The list position of an effect code in the simulated keyboard's list.
  static int comboOf(int effect) { return effect == 254 ? kComboPerKey : effect - 1; }
  // Picks an effect from the list with real clicks and waits for its write.
  void chooseEffect(int profile, int effect) {
    choose(CONTROL_XGcombox.id, comboOf(effect));
    ASSERT_TRUE(waitFor([&] { return settingsByte(profile, 0) == effect; }, 3000)) << "effect " << effect;
  }
  // All three profiles' lighting records.
  std::vector<uint8_t> records() const { return read("settings", 0, 3 * static_cast<int>(kSettingsRecordSize)); }

  // Clicks a colour button and waits for the system's colour dialog.
  HWND openColourDialog(int buttonId) {
    clickItem(buttonId);
    HWND dialog = nullptr;
    EXPECT_TRUE(waitFor([&] { return (dialog = dialogWith(COLOR_RED)) != nullptr; }, 5000)) << "colour dialog";
    if (dialog) waitClickable(GetDlgItem(dialog, COLOR_RED));
    return dialog;
  }
  // Types red, green and blue into the dialog's boxes with the keyboard:
  // into the red box, then Tab to the next. The boxes show what was typed.
  void typeColour(HWND dialog, int r, int g, int b) {
    clickCentre(GetDlgItem(dialog, COLOR_RED));
    pressKey("Home");
    pressKey("shift+End");
    typeText(std::to_wstring(r));
    pressKey("Tab");
    typeText(std::to_wstring(g));
    pressKey("Tab");
    typeText(std::to_wstring(b));
    BOOL ok = FALSE;
    EXPECT_TRUE(waitFor([&] {
      return static_cast<int>(GetDlgItemInt(dialog, COLOR_RED, &ok, FALSE)) == r &&
             static_cast<int>(GetDlgItemInt(dialog, COLOR_GREEN, &ok, FALSE)) == g &&
             static_cast<int>(GetDlgItemInt(dialog, COLOR_BLUE, &ok, FALSE)) == b;
    }, 3000)) << "the boxes show " << r << " " << g << " " << b;
  }
  // Chooses a colour through a colour button: the dialog, the keys, Enter.
  void chooseColour(int buttonId, int r, int g, int b, const char* shotName = nullptr) {
    HWND dialog = openColourDialog(buttonId);
    ASSERT_NE(dialog, nullptr);
    typeColour(dialog, r, g, b);
    if (shotName) shot(shotName);
    pressKey("Return");
    ASSERT_TRUE(waitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 5000));
  }
  // The colour a control shows at its centre.
  COLORREF centreColour(int id) const {
    POINT c = centreOf(mainItem(id));
    return pixelAt(c.x, c.y);
  }
};

// The record as expected after one field's change: the bytes at offset of
// one profile's record replaced.
std::vector<uint8_t> withBytes(std::vector<uint8_t> records, int profile, int offset, std::vector<uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), records.begin() + profile * kSettingsRecordSize + offset);
  return records;
}

// ---- the lamp ------------------------------------------------------------------------------

TEST_F(LightingE2e, ClosedPanelIgnoresKeysAndTheLampStateSurvivesARestart) {
  Running& app = startSettled();
  EXPECT_FALSE(shown(CONTROL_XGcombox.id));
  EXPECT_TRUE(shown(CONTROL_DengStaPic.id));
  clearTrace();
  clickItem(kFnControlId);
  // A key opens its editor instead of painting.
  clickItem(KEY_01E.id);
  HWND opened = nullptr;
  ASSERT_TRUE(waitFor([&] { return (opened = editor()) != nullptr; }, 5000));
  Sleep(300);
  EXPECT_TRUE(traced(kCmdWriteColours).empty()) << "a closed panel paints nothing";
  clickCentre(GetDlgItem(opened, IDCANCEL));
  ASSERT_TRUE(waitFor([&] { return !IsWindow(opened) || !IsWindowVisible(opened); }, 5000));
  pointerAway();
  shot("lighting_closed");

  clickItem(CONTROL_DengStaPic.id);
  ASSERT_TRUE(waitFor([&] { return shown(CONTROL_XGcombox.id); }, 3000));
  // Effect 1 (profile 0): brightness and speed, no per-key tools.
  EXPECT_TRUE(shown(CONTROL_LightSlider.id));
  EXPECT_TRUE(shown(CONTROL_SpeedSlider.id));
  EXPECT_FALSE(shown(CONTROL_umCombo.id));
  EXPECT_FALSE(shown(CONTROL_HONGPIC.id));
  pointerAway();
  shot("lighting_open_effect1");

  restart();
  EXPECT_TRUE(shown(CONTROL_XGcombox.id)) << "DengCheck kept the panel open";
  clickItem(CONTROL_DengStaPic.id);
  ASSERT_TRUE(waitFor([&] { return !shown(CONTROL_XGcombox.id); }, 3000));
  restart();
  EXPECT_FALSE(shown(CONTROL_XGcombox.id));
  (void)app;
}

// ---- painting ---------------------------------------------------------------------------

TEST_F(LightingE2e, PaintAndEraseClicksWriteOneByteEach) {
  activeProfile(1);  // the factory's per-key profile
  panelStartsOpen();
  startSettled();
  ASSERT_EQ(selectedEffectIndex(), kComboPerKey);
  EXPECT_TRUE(shown(CONTROL_umCombo.id));
  EXPECT_TRUE(shown(CONTROL_USERgjStaPic1.id));
  EXPECT_FALSE(shown(CONTROL_SpeedSlider.id));
  // Pattern 0 lights A: erase it first, then paint it back.
  LedBit a = ledBitOf(KEY_01E.id, 0);
  ASSERT_NE(colourByte(1, a.offset) & a.bit, 0);
  EXPECT_EQ(overlayOf(KEY_01E.id), kWhite);

  clickItem(CONTROL_USERgjStaPic2.id);  // erase tool
  ASSERT_TRUE(waitFor([&] { return settingsByte(1, 16) == 1; }, 3000));
  clearTrace();
  clickItem(KEY_01E.id);
  ASSERT_TRUE(waitFor([&] { return (colourByte(1, a.offset) & a.bit) == 0; }, 3000));
  EXPECT_EQ(traced(kCmdWriteColours), (std::vector<std::pair<int, int>>{{256 + a.offset, 1}}));
  EXPECT_EQ(overlayOf(KEY_01E.id), kBlack);

  clickItem(CONTROL_USERgjStaPic1.id);  // paint tool
  ASSERT_TRUE(waitFor([&] { return settingsByte(1, 16) == 0; }, 3000));
  clearTrace();
  POINT c = centreOf(mainItem(KEY_01E.id));
  mouseMoveTo(c.x, c.y);
  auto t0 = std::chrono::steady_clock::now();
  click(c.x, c.y);
  auto clicked = std::chrono::steady_clock::now();
  ASSERT_TRUE(waitFor([&] { return (colourByte(1, a.offset) & a.bit) != 0; }, 3000, 1));
  auto done = std::chrono::steady_clock::now();
  using ms = std::chrono::duration<double, std::milli>;
  std::printf("[ figure ] paint click to keyboard byte: %.1f ms from starting the click (xdotool start-up included), "
              "%.1f ms after the click's tool returned (pipe polling included)\n",
              ms(done - t0).count(), ms(done - clicked).count());
  EXPECT_EQ(traced(kCmdWriteColours), (std::vector<std::pair<int, int>>{{256 + a.offset, 1}}));
  EXPECT_EQ(traced(kCmdBeginConfig).size(), 1u) << "one bracket";
  EXPECT_EQ(traced(kCmdEndConfig).size(), 1u);
  EXPECT_EQ(overlayOf(KEY_01E.id), kWhite);
  pointerAway();
  shot("lighting_painting");

  // Another effect: a key click does nothing; the G keys are not painted.
  choose(CONTROL_XGcombox.id, 0);
  ASSERT_TRUE(waitFor([&] { return settingsByte(1, 0) == 1; }, 3000));
  // The effect is written before the panel shows it: wait for the tools to go.
  EXPECT_TRUE(waitFor([&] { return !shown(CONTROL_umCombo.id); }, 3000));
  clearTrace();
  clickItem(KEY_01E.id);
  Sleep(300);
  EXPECT_EQ(editor(), nullptr) << "with the panel open a key click is a paint click";
  // A G key has no LED: it still opens its editor.
  clickItem(FUNC_G3.id);
  HWND opened = nullptr;
  ASSERT_TRUE(waitFor([&] { return (opened = editor()) != nullptr; }, 5000)) << "G3 opens its editor";
  EXPECT_TRUE(traced(kCmdWriteColours).empty());
  clickCentre(GetDlgItem(opened, IDCANCEL));
  ASSERT_TRUE(waitFor([&] { return !IsWindow(opened) || !IsWindowVisible(opened); }, 5000));
}

TEST_F(LightingE2e, DragPaintsEachKeyOnce) {
  activeProfile(1);
  panelStartsOpen();
  Running& app = startSettled();
  clickItem(CONTROL_HXsjsStaPic.id);  // clear pattern 0
  ASSERT_TRUE(waitFor([&] { return read("colours", 256, 18) == std::vector<uint8_t>(18, 0); }, 3000));
  clearTrace();
  const int row[] = {KEY_010.id, KEY_011.id, KEY_012.id, KEY_013.id, KEY_014.id};  // Q W E R T
  POINT from = centreOf(mainItem(row[0])), to = centreOf(mainItem(row[4]));
  mouseMoveTo(from.x, from.y);  // as a hand comes to rest before it presses
  Sleep(200);
  drag(from.x, from.y, to.x, to.y);
  waitFor([&] { return traced(kCmdWriteColours).size() >= 5; }, 5000);
  Sleep(300);
  auto written = traced(kCmdWriteColours);
  EXPECT_EQ(written.size(), 5u);
  for (int id : row) {
    LedBit b = ledBitOf(id, 0);
    EXPECT_NE(colourByte(1, b.offset) & b.bit, 0) << "key " << id;
    EXPECT_EQ(overlayOf(id), kWhite) << "key " << id;
  }
  EXPECT_EQ(overlayOf(KEY_015.id), kBlack) << "Y was not crossed";
  pointerAway();
  shot("lighting_drag");

  // Erasing there and back again: each key once.
  clickItem(CONTROL_USERgjStaPic2.id);
  ASSERT_TRUE(waitFor([&] { return settingsByte(1, 16) == 1; }, 3000));
  clearTrace();
  POINT e = centreOf(mainItem(KEY_012.id));
  mouseMoveTo(from.x, from.y);
  Sleep(200);
  dragAlong({from, e, from});
  waitFor([&] { return traced(kCmdWriteColours).size() >= 3; }, 5000);
  Sleep(300);
  EXPECT_EQ(traced(kCmdWriteColours).size(), 3u) << "Q, W and E, each once";
  for (int id : {KEY_010.id, KEY_011.id, KEY_012.id}) {
    LedBit b = ledBitOf(id, 0);
    EXPECT_EQ(colourByte(1, b.offset) & b.bit, 0) << "key " << id;
  }
  LedBit r = ledBitOf(KEY_013.id, 0);
  EXPECT_NE(colourByte(1, r.offset) & r.bit, 0) << "R was not reached";
  (void)app;
}

TEST_F(LightingE2e, UserModeThreeShowsPatternTwo) {
  activeProfile(1);
  panelStartsOpen();
  Running& app = startSettled();
  clearTrace();
  choose(CONTROL_umCombo.id, 2);
  ASSERT_TRUE(waitFor([&] { return settingsByte(1, 3) == 2; }, 3000));
  // Pattern 2 lights the grave accent and not T.
  EXPECT_EQ(overlayOf(KEY_029.id), kWhite);
  EXPECT_EQ(overlayOf(KEY_014.id), kBlack);
  pointerAway();
  shot("lighting_open_perkey_mode3");
  (void)app;
}

// ---- effects and levels -----------------------------------------------------------------------

// Lights Off chosen in the program: the list stays, and another effect can
// be chosen from it (no dead end).
TEST_F(LightingE2e, LightsOffKeepsTheListAndAnotherEffectCanBeChosen) {
  panelStartsOpen();
  Running& app = startSettled();
  chooseEffect(0, 8);
  EXPECT_TRUE(holdsFor([&] { return shown(CONTROL_XGcombox.id); }, 1000)) << "the list stays for Lights Off";
  EXPECT_FALSE(shown(CONTROL_LightSlider.id));
  EXPECT_FALSE(shown(CONTROL_JTysButton.id));
  pointerAway();
  shot("lighting_open_effect8");
  for (int effect : {16, 23, 28}) {  // the other effects the list used to hide for
    chooseEffect(0, effect);
    EXPECT_TRUE(holdsFor([&] { return shown(CONTROL_XGcombox.id); }, 500)) << "effect " << effect;
  }
  chooseEffect(0, 4);
  EXPECT_TRUE(waitFor([&] { return shown(CONTROL_LightSlider.id) && shown(CONTROL_HXysButton.id); }, 2000));

  // The keyboard changes its own effect and says so: the panel follows.
  ASSERT_EQ(app.sim("write settings 0 05"), "OK\n");
  ASSERT_EQ(app.sim("event 0401"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return selectedEffectIndex() == 4 && shown(CONTROL_XGcombox.id); }, 5000));
  EXPECT_TRUE(shown(CONTROL_LightSlider.id));
  EXPECT_FALSE(shown(CONTROL_SpeedSlider.id)) << "effect 5 has no speed";
  pointerAway();
  shot("lighting_open_effect5");
}

TEST_F(LightingE2e, ArrowKeysDoNotChangeTheEffect) {
  panelStartsOpen();
  Running& app = startSettled();
  // Two clicks open and close the list and leave the focus on it.
  clickItem(CONTROL_XGcombox.id);
  Sleep(300);
  clickItem(CONTROL_XGcombox.id);
  Sleep(300);
  clearTrace();
  for (const char* key : {"Down", "Down", "Right", "Up", "Left"}) pressKey(key);
  Sleep(500);
  EXPECT_EQ(selectedEffectIndex(), 0);
  EXPECT_TRUE(traced(kCmdWriteSettings).empty());
  EXPECT_EQ(settingsByte(0, 0), 1);
  (void)app;
}

// The keyboard's own effect 23, then the panel opened: the list shows, so
// the program can leave the effect.
TEST_F(LightingE2e, OpeningOnEffect23ShowsTheListAndAnotherEffectCanBeChosen) {
  Running& app = startSettled();
  ASSERT_EQ(app.sim("write settings 0 17"), "OK\n");
  ASSERT_EQ(app.sim("event 0401"), "OK\n");
  ASSERT_TRUE(waitFor([&] { return selectedEffectIndex() == 22; }, 5000));
  clickItem(CONTROL_DengStaPic.id);
  ASSERT_TRUE(waitFor([&] { return shown(CONTROL_XGcombox.id); }, 3000));
  EXPECT_FALSE(shown(CONTROL_LightSlider.id)) << "effect 23 has no brightness";
  chooseEffect(0, 1);
  EXPECT_TRUE(waitFor([&] { return shown(CONTROL_LightSlider.id) && shown(CONTROL_BLFXLStaPic.id); }, 2000));
  (void)app;
}

TEST_F(LightingE2e, LevelControlsWriteOnlyChangedValues) {
  panelStartsOpen();
  Running& app = startSettled();  // profile 0: brightness 4, speed 2 (position 2)
  clearTrace();
  clickLevel(CONTROL_LightSlider.id, 4);
  Sleep(500);
  for (auto [address, length] : traced(kCmdWriteSettings)) EXPECT_NE(address, 1) << "brightness unchanged";
  clickLevel(CONTROL_SpeedSlider.id, 1);
  EXPECT_TRUE(waitFor([&] { return settingsByte(0, 2) == 3; }, 3000)) << "position 1 writes 4 - 1";
  clickLevel(CONTROL_SpeedSlider.id, 4);
  EXPECT_TRUE(waitFor([&] { return settingsByte(0, 2) == 0; }, 3000));
  (void)app;
}

// ---- colours and the other fields of an effect -------------------------------------------------------

// Each colour button: the colour dialog driven by keys, the colour at its
// bytes of the active profile's record and nothing else changed; the button
// shows it. The per-key effect still paints afterwards.
TEST_F(LightingE2e, ColourDialogWritesEachColourAtItsBytesOfTheActiveProfile) {
  activeProfile(2);
  panelStartsOpen();
  startSettled();
  struct Case {
    int effect;
    int button;
    int r, g, b;
    int offset;
    const char* shotName;
  };
  const Case cases[] = {
      {4, CONTROL_HXysButton.id, 18, 52, 86, 5, "lighting_colours_effect4"},
      {7, CONTROL_FYYSButton.id, 200, 100, 50, 5, "lighting_colours_effect7"},
      {17, CONTROL_TSysButton.id, 0, 128, 255, 25, "lighting_colours_effect17"},
      {19, CONTROL_CDysButton.id, 255, 255, 0, 30, nullptr},
      {254, CONTROL_USERysButton.id, 10, 200, 30, 12, nullptr},
      {254, CONTROL_USERjsButton.id, 90, 0, 160, 9, "lighting_colours_effect254"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "effect " << c.effect << " offset " << c.offset);
    if (settingsByte(2, 0) != c.effect) chooseEffect(2, c.effect);
    ASSERT_TRUE(waitFor([&] { return shown(c.button); }, 2000)) << "the effect shows its colour button";
    const std::vector<uint8_t> before = records();
    clearTrace();
    chooseColour(c.button, c.r, c.g, c.b, c.effect == 4 ? "lighting_colour_dialog" : nullptr);
    const std::vector<uint8_t> expected =
        withBytes(before, 2, c.offset, {static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.b)});
    EXPECT_TRUE(waitFor([&] { return records() == expected; }, 3000)) << "only the colour's three bytes change";
    EXPECT_EQ(traced(kCmdWriteSettings), (std::vector<std::pair<int, int>>{{2 * 42 + c.offset, 3}}));
    EXPECT_EQ(traced(kCmdBeginConfig).size(), 1u) << "one bracket";
    pointerAway();
    EXPECT_TRUE(waitFor([&] { return centreColour(c.button) == RGB(c.r, c.g, c.b); }, 2000)) << "the button shows it";
    if (c.shotName) shot(c.shotName);
  }
  // The per-key effect still paints: A in pattern 0 of profile 2.
  LedBit a = ledBitOf(KEY_01E.id, 0);
  int was = colourByte(2, a.offset);
  clickItem(CONTROL_HXsjsStaPic.id);  // clear the pattern first
  ASSERT_TRUE(waitFor([&] { return colourByte(2, a.offset) == 0; }, 3000)) << was;
  clearTrace();
  clickItem(KEY_01E.id);
  ASSERT_TRUE(waitFor([&] { return (colourByte(2, a.offset) & a.bit) != 0; }, 3000));
  EXPECT_EQ(traced(kCmdWriteColours), (std::vector<std::pair<int, int>>{{2 * 256 + a.offset, 1}}));
}

// Random colour, preset colour, trigger and direction: one byte each, in the
// active profile's record, nothing else.
TEST_F(LightingE2e, RandomPresetTriggerAndDirectionWriteTheirByteOnly) {
  activeProfile(1);
  panelStartsOpen();
  startSettled();
  struct Case {
    int effect;
    int picture;
    int offset;
    int value;  // -1: the flag turned over
  };
  const Case cases[] = {
      {5, CONTROL_ZSrandStaPic.id, 4, -1},   {5, CONTROL_ZSrandStaPic.id, 4, -1},
      {7, CONTROL_LVPIC.id, 17, 2},         {7, CONTROL_LANPIC.id, 17, 3},
      {7, CONTROL_FYrandStaPic.id, 18, -1},  {7, CONTROL_FYggcfStaPic.id, 19, 1},
      {7, CONTROL_FYdjcfStaPic.id, 19, 0},  {17, CONTROL_TSsjsStaPic.id, 28, -1},
      {19, CONTROL_CDsjsStaPic.id, 33, -1}, {12, CONTROL_BLFXLStaPic.id, 3, 1},
      {18, CONTROL_BLFXRStaPic.id, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "effect " << c.effect << " offset " << c.offset);
    if (settingsByte(1, 0) != c.effect) chooseEffect(1, c.effect);
    ASSERT_TRUE(waitFor([&] { return shown(c.picture); }, 2000));
    const std::vector<uint8_t> before = records();
    const int old = before[42 + c.offset];
    const int value = c.value >= 0 ? c.value : (old ? 0 : 1);
    auto look = looksOf(c.picture);
    clearTrace();
    clickItem(c.picture);
    EXPECT_TRUE(waitFor([&] { return records() == withBytes(before, 1, c.offset, {static_cast<uint8_t>(value)}); },
                        3000));
    EXPECT_EQ(traced(kCmdWriteSettings), (std::vector<std::pair<int, int>>{{42 + c.offset, 1}}));
    if (old != value) {
      pointerAway();
      EXPECT_TRUE(waitFor([&] { return looksOf(c.picture) != look; }, 2000)) << "the picture shows the choice";
    }
  }
  pointerAway();
  shot("lighting_fields_effect18");
}

// The static effect: the keys are tinted with its colour before the
// keyboard shows it; not with a random colour, nor with another effect.
TEST_F(LightingE2e, StaticColourTintsTheKeyboardPicture) {
  panelStartsOpen();
  startSettled();
  pointerAway();
  Sleep(300);
  const COLORREF plain = centreColour(KEY_01E.id);
  chooseEffect(0, 5);
  if (settingsByte(0, 4) != 0) {  // the factory's colour may be random
    clickItem(CONTROL_ZSrandStaPic.id);
    ASSERT_TRUE(waitFor([&] { return settingsByte(0, 4) == 0; }, 3000));
  }
  chooseColour(CONTROL_JTysButton.id, 255, 0, 0);
  ASSERT_TRUE(waitFor([&] { return read("settings", 5, 3) == std::vector<uint8_t>{255, 0, 0}; }, 3000));
  pointerAway();
  auto reddish = [&](int id) {
    COLORREF p = centreColour(id);
    return GetRValue(p) > GetGValue(p) + 80 && GetRValue(p) > GetBValue(p) + 80;
  };
  EXPECT_TRUE(waitFor([&] { return reddish(KEY_01E.id) && reddish(KEY_039.id) && reddish(kFnControlId); }, 3000))
      << "A, Space and Fn tinted red";
  // Every key, the one the pointer rested on when the dialog closed too.
  Sleep(800);
  for (const KeyButton& k : KeyButtonTable) EXPECT_TRUE(reddish(k.controlId)) << "key " << k.controlId;
  shot("lighting_static_tint");

  clickItem(CONTROL_ZSrandStaPic.id);  // random colours: no tint
  ASSERT_TRUE(waitFor([&] { return settingsByte(0, 4) == 1; }, 3000));
  pointerAway();
  EXPECT_TRUE(waitFor([&] { return centreColour(KEY_01E.id) == plain; }, 3000));
  clickItem(CONTROL_ZSrandStaPic.id);
  ASSERT_TRUE(waitFor([&] { return settingsByte(0, 4) == 0; }, 3000));
  pointerAway();
  EXPECT_TRUE(waitFor([&] { return reddish(KEY_01E.id); }, 3000));
  chooseEffect(0, 4);  // breathing: no tint
  pointerAway();
  EXPECT_TRUE(waitFor([&] { return centreColour(KEY_01E.id) == plain; }, 3000));
}

// The colour dialog's custom colours come from the settings file and go
// back to it.
TEST_F(LightingE2e, CustomColoursAreKeptInTheSettingsFile) {
  panelStartsOpen();
  const std::wstring settings = documentsFile(L"Korvalin\\wskb.ini");
  ASSERT_TRUE(WritePrivateProfileStringW(L"KEYCOLOR", L"CustomColors", L"FF00FF,00FFFF", settings.c_str()));
  startSettled();
  chooseEffect(0, 5);
  const std::vector<uint8_t> before = records();
  HWND dialog = openColourDialog(CONTROL_JTysButton.id);
  ASSERT_NE(dialog, nullptr);
  typeColour(dialog, 1, 2, 3);
  clickCentre(GetDlgItem(dialog, COLOR_ADD));  // into the first custom slot
  Sleep(300);
  pressKey("Escape");
  ASSERT_TRUE(waitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 5000));
  wchar_t value[256] = {};
  EXPECT_TRUE(waitFor([&] {
    GetPrivateProfileStringW(L"KEYCOLOR", L"CustomColors", L"", value, 256, settings.c_str());
    return std::wstring(value).starts_with(L"010203,00FFFF,FFFFFF");
  }, 3000)) << utf8(value);
  Sleep(300);
  EXPECT_EQ(records(), before) << "a cancelled dialog writes no colour";
}

// ---- report rate and indicators -----------------------------------------------------------------

TEST_F(LightingE2e, ReportRateWritesOneByteAndFollowsTheKeyboard) {
  activeProfile(2);
  Running& app = startSettled();
  pointerAway();
  Sleep(300);
  auto setLook = looksOf(FUNC_REPORT4.id);  // the factory's index 3
  auto report3Unset = looksOf(FUNC_REPORT3.id);
  clearTrace();
  clickItem(FUNC_REPORT3.id);
  ASSERT_TRUE(waitFor([&] { return settingsByte(2, 15) == 2; }, 3000));
  EXPECT_EQ(traced(kCmdWriteSettings), (std::vector<std::pair<int, int>>{{99, 1}}));
  pointerAway();
  Sleep(300);
  EXPECT_NE(looksOf(FUNC_REPORT4.id), setLook);
  EXPECT_NE(looksOf(FUNC_REPORT3.id), report3Unset) << "report3 now shows its set look";

  ASSERT_EQ(app.sim("write settings 99 07"), "OK\n");
  ASSERT_EQ(app.sim("event 0401"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return looksOf(FUNC_REPORT4.id) == setLook; }, 5000)) << "7 shows report4";
  EXPECT_EQ(looksOf(FUNC_REPORT3.id), report3Unset);
  shot("lighting_report_rate");
}

TEST_F(LightingE2e, TwoBankPressesLeaveTheIndicatorAsItStarted) {
  Running& app = startSettled();
  pointerAway();
  Sleep(300);
  auto startLook = looksOf(LOCK_AB.id);
  auto text = [&](int id) {
    wchar_t t[16] = {};
    GetWindowTextW(mainItem(id), t, 16);
    return std::wstring(t);
  };
  ASSERT_EQ(app.sim("event 02FF"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return text(FUNC_G1.id) == L"B1"; }, 3000));
  EXPECT_TRUE(waitFor([&] { return looksOf(LOCK_AB.id) != startLook; }, 3000));
  shot("lighting_bank_b");
  ASSERT_EQ(app.sim("event 02FF"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return text(FUNC_G1.id) == L"A1"; }, 3000));
  EXPECT_TRUE(waitFor([&] { return text(FUNC_G5.id) == L"A5"; }, 3000));
  EXPECT_EQ(text(FUNC_G6.id), L"");
  EXPECT_TRUE(waitFor([&] { return looksOf(LOCK_AB.id) == startLook; }, 3000));
}

}  // namespace
}  // namespace kv::e2e
