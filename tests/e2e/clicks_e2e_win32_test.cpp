// Quick clicks and hovering as a user makes them: the real Korvalin.exe with
// the simulated keyboard, driven by real X pointer input. A second click soon
// after the first arrives as a double-click; every image button and picture
// must take it as a click all the same. Hovering the keyboard picture must
// not leave a window behind per button.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "model/key_codes.h"
#include "resources/control_ids.h"
#include "tests/e2e/harness_win32.h"
#include "tests/e2e/installation_win32.h"
#include "tests/e2e/registry_override_win32.h"
#include "tests/e2e/running_win32.h"

namespace kv::e2e {
namespace {

using namespace ids::main_dlg;

constexpr int kCmdWriteInfoBlock = 0x04, kCmdReadSettings = 0x05, kCmdWriteSettings = 0x06, kCmdWriteColours = 0x11;
constexpr int kSettingsRecordSize = 42, kFieldReportRate = 15;
constexpr int kEffectCount = 29;  // the simulated keyboard's effect list

class Clicks : public ::testing::Test {
 protected:
  void SetUp() override { keepTrayUncovered(); }

  std::wstring settingsFile() const { return install_.documentsFolder() + L"\\Korvalin\\wskb.ini"; }
  void panelStartsOpen() {
    CreateDirectoryW((install_.documentsFolder() + L"\\Korvalin").c_str(), nullptr);
    ASSERT_TRUE(WritePrivateProfileStringW(L"KEYCOLOR", L"DengCheck", L"1", settingsFile().c_str()));
  }
  std::wstring dengCheck() const {
    wchar_t value[16] = {};
    GetPrivateProfileStringW(L"KEYCOLOR", L"DengCheck", L"(none)", value, 16, settingsFile().c_str());
    return value;
  }

  Running& start() {
    app_ = std::make_unique<Running>(install_.start());
    EXPECT_TRUE(app_->started());
    app_->waitMainWindow();
    EXPECT_TRUE(waitFor([&] { return SendMessageW(ctl(CONTROL_XGcombox.id), CB_GETCOUNT, 0, 0) == kEffectCount; }));
    EXPECT_TRUE(waitFor([&] { return app_->mainVisible(); }));
    EXPECT_TRUE(waitClickable(ctl(KEY_01E.id)));
    return *app_;
  }
  HWND ctl(int id) const { return GetDlgItem(app_->mainWindow(), id); }
  bool shown(int id) const { return IsWindowVisible(ctl(id)) != FALSE; }
  HWND editor() const {
    for (HWND h : topLevelWindows(app_->pid(), true))
      if (h != app_->mainWindow() && GetDlgItem(h, IDC_COMPOSITE_CONTROL_KEY)) return h;
    return nullptr;
  }

  // Two real clicks 150 ms apart: well inside the double-click time, so the
  // second reaches the control as a double-click.
  void quickDoubleClick(int id) {
    ASSERT_TRUE(waitClickable(ctl(id))) << id;
    POINT c = centreOf(ctl(id));
    ASSERT_EQ(runUnix(L"/usr/bin/xdotool mousemove " + std::to_wstring(c.x) + L" " + std::to_wstring(c.y) +
                      L" click --repeat 2 --delay 150 1"),
              0);
  }
  // Reports to the keyboard with this command (and address, when given).
  int sent(int command, int address = -1) const {
    int n = 0;
    for (auto [a, length] : tracedCommands(app_->trace(), command)) n += address < 0 || a == address;
    return n;
  }
  void clearTrace() { ASSERT_EQ(app_->sim("trace clear"), "OK\n"); }
  void shot(const std::string& name) {
    mouseMoveTo(5, 5);
    EXPECT_FALSE(screenshot(name).empty()) << "screenshot " << name;
  }

  Installation install_;
  std::unique_ptr<Running> app_;
};

// The lamp is a picture (a static control): its double-click notification
// is the second click.
TEST_F(Clicks, LampDoubleClickTogglesThePanelTwice) {
  start();
  ASSERT_FALSE(shown(CONTROL_XGcombox.id));
  ASSERT_EQ(dengCheck(), L"(none)");
  quickDoubleClick(CONTROL_DengStaPic.id);
  // Opened (DengCheck 1), then closed again (DengCheck 0).
  EXPECT_TRUE(waitFor([&] { return dengCheck() == L"0"; }, 3000)) << "DengCheck " << dengCheck();
  EXPECT_TRUE(holdsFor([&] { return !shown(CONTROL_XGcombox.id); }, 500)) << "the second click was lost";
  shot("clicks_lamp_double");
  // A third click opens it, and a key click then paints instead of opening
  // the editor.
  clickCentre(ctl(CONTROL_DengStaPic.id));
  ASSERT_TRUE(waitFor([&] { return shown(CONTROL_XGcombox.id); }, 3000));
  EXPECT_EQ(dengCheck(), L"1");
}

// Image buttons: each click of a quick pair takes effect.
TEST_F(Clicks, ImageButtonsTakeBothClicksOfADoubleClick) {
  struct Case {
    const char* name;
    int control;
    int command;
    int address;  // -1: any
    int expected;
  };
  const Case cases[] = {
      // Two writes of the report rate to the active profile (0).
      {"report rate 2", FUNC_REPORT2.id, kCmdWriteSettings, 0 * kSettingsRecordSize + kFieldReportRate, 2},
      // Profile 2: its lighting read (three settings records) on each click;
      // the switch itself only once, on the first.
      {"profile 2, lighting reads", FUNC_PROFILE2.id, kCmdReadSettings, -1, 6},
      {"profile 2, switches", FUNC_PROFILE2.id, kCmdWriteInfoBlock, -1, 1},
  };
  start();
  int lastControl = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.control != lastControl) {
      Sleep(600);  // no double-click with the previous pair
      clearTrace();
      quickDoubleClick(c.control);
      lastControl = c.control;
    }
    EXPECT_TRUE(waitFor([&] { return sent(c.command, c.address) >= c.expected; }, 5000));
    EXPECT_TRUE(holdsFor([&] { return sent(c.command, c.address) == c.expected; }, 400))
        << sent(c.command, c.address) << " reports";
  }
  EXPECT_EQ(app_->sim("status").find("profile=1") != std::string::npos, true) << app_->sim("status");
  shot("clicks_buttons_double");
}

// The per-key tools: each click of a quick pair takes effect, on a key
// (one paint write each, and no editor opens) and on the tool pictures.
TEST_F(Clicks, PerKeyToolsTakeBothClicksOfADoubleClick) {
  install_.setEnv(L"KORVALIN_SIM_PROFILE", L"1");  // the factory's per-key profile
  panelStartsOpen();
  start();
  ASSERT_TRUE(shown(CONTROL_umCombo.id)) << "the per-key tools";
  const int pattern0 = 1 * 256;  // colours of profile 1, user pattern 0
  const uint8_t ledA = LedIndexOfButton(static_cast<uint16_t>(KEY_01E.id));
  struct Case {
    const char* name;
    int control;
    int command;
    int address;
  };
  const Case cases[] = {
      {"key A painted", KEY_01E.id, kCmdWriteColours, pattern0 + ledA / 8},
      {"fill picture", CONTROL_FYSJSStaPic.id, kCmdWriteColours, pattern0},
      {"erase tool picture", CONTROL_USERgjStaPic2.id, kCmdWriteSettings, 1 * kSettingsRecordSize + 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sleep(600);  // no double-click with the previous pair
    clearTrace();
    quickDoubleClick(c.control);
    EXPECT_TRUE(waitFor([&] { return sent(c.command, c.address) >= 2; }, 5000));
    EXPECT_TRUE(holdsFor([&] { return sent(c.command, c.address) == 2 && editor() == nullptr; }, 500))
        << sent(c.command, c.address) << " writes";
  }
  shot("clicks_paint_double");
}

// Each image button makes its tooltip when the pointer rests on it; a
// window keeps the tooltips of its last few hovered buttons only, or every
// button ever hovered keeps a window (a top-level one each) for good.
TEST_F(Clicks, HoveringEveryKeyLeavesNoWindowBehind) {
  start();
  mouseMoveTo(5, 5);
  Sleep(300);
  size_t before = topLevelWindows(app_->pid(), false).size();
  std::wstring path;
  int hovered = 0;
  for (const KeyButton& k : KeyButtonTable) {
    HWND b = ctl(k.controlId);
    if (!b || !IsWindowVisible(b) || !IsWindowEnabled(b)) continue;
    POINT c = centreOf(b);
    path += L" mousemove " + std::to_wstring(c.x) + L" " + std::to_wstring(c.y) + L" sleep 0.04";
    ++hovered;
  }
  ASSERT_GT(hovered, 90);
  ASSERT_EQ(runUnix(L"/usr/bin/xdotool" + path + L" mousemove 5 5", 60000), 0);
  Sleep(500);
  size_t after = topLevelWindows(app_->pid(), false).size();
  // At most the last eight keys hovered keep their tooltips.
  EXPECT_LE(after, before + 8) << hovered << " keys hovered: " << before << " -> " << after << " top-level windows";
  // Tooltips still come: resting on a key shows its summary.
  EXPECT_EQ(tooltipOf(app_->process(), ctl(KEY_01E.id)), L"A");
  shot("clicks_hover_all_keys");
}

}  // namespace
}  // namespace kv::e2e
