// Nothing the keyboard or the user holds is lost on the way: a read that
// failed is never written back as an erase, G-key assignments outlive every
// rebuild from the keyboard, and an editor's OK without a change keeps the
// entry it could not show. Real input under Wine, checked on the simulated
// keyboard's memory byte for byte and on the window.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "app/text_table.h"
#include "app/wide_win32.h"
#include "macro/macro_image.h"
#include "resources/control_ids.h"
#include "tests/e2e/harness_win32.h"

namespace kv::e2e {
namespace {

constexpr int kIconKeyboard = IDI_KEYBOARD, kIconNoKeyboard = IDI_NO_KEYBOARD;
constexpr int kCmdEndConfig = 0x02;

std::string utf8(const std::wstring& s) { return toUtf8(u16(s)); }

std::string hexOf(std::span<const uint8_t> bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// A macro memory image the keyboard could hold: one macro of three presses.
std::vector<uint8_t> oneMacroImage() {
  MacroList macros(1);
  setMacroName(macros[0], u"Kept");
  macros[0].id = 1;
  macros[0].cycles = 1;
  macros[0].actionCount = 3;
  for (int i = 0; i < 3; ++i) macros[0].actions[i] = MacroAction{static_cast<uint32_t>(20 * i), 0x04, 0};
  return fitMacroImage(macros, 8192).bytes;
}

class NothingLost : public ::testing::Test {
 protected:
  void SetUp() override { keepTrayUncovered(); }

  Running& startShown() {
    app_ = std::make_unique<Running>(install_.start());
    EXPECT_TRUE(app_->started());
    app_->waitMainWindow();
    EXPECT_TRUE(waitFor([&] { return app_->mainVisible(); })) << "the window did not show";
    EXPECT_TRUE(waitClickable(mainItem(ids::main_dlg::KEY_01E.id)));
    return *app_;
  }
  HWND main() const { return app_->mainWindow(); }
  HWND mainItem(int id) const { return GetDlgItem(main(), id); }
  bool trayShows(int id) {
    keepTrayUncovered();
    return trayIconId(install_.exePath()) == id;
  }
  // Opens the window from the tray icon as a user would: a double click.
  bool openFromTray() {
    auto icons = trayIconWindows();
    if (icons.size() != 1 || !waitClickable(icons.front())) return false;
    POINT c = centreOf(icons.front());
    doubleClick(c.x, c.y);
    return waitFor([&] { return app_->mainVisible(); }, 5000) && waitClickable(mainItem(ids::main_dlg::KEY_01E.id));
  }

  HWND editor() const {
    for (HWND h : topLevelWindows(app_->pid(), true))
      if (h != main() && describe(h).className == L"#32770" && GetDlgItem(h, IDC_COMPOSITE_CONTROL_KEY)) return h;
    return nullptr;
  }
  HWND openEditor(int controlId) {
    clickCentre(mainItem(controlId));
    HWND e = nullptr;
    if (waitFor([&] { return (e = editor()) != nullptr; }, 5000)) waitClickable(e);
    return e;
  }
  bool closeEditorWith(int buttonId) {
    HWND e = editor();
    if (!e) return false;
    clickCentre(GetDlgItem(e, buttonId));
    return waitFor([&] { return editor() == nullptr; }, 5000);
  }
  // A key given another through its editor: opened, the key pressed, OK.
  bool assignKey(int controlId, const char* keysym, const wchar_t* keyName) {
    HWND e = openEditor(controlId);
    if (!e) return false;
    pressKey(keysym);
    if (!waitFor([&] { return controlText(GetDlgItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)) == keyName; }, 3000))
      return false;
    return closeEditorWith(IDC_COMPOSITE_CONTROL_OK);
  }
  std::wstring tooltip(int controlId) const { return tooltipOf(app_->process(), mainItem(controlId)); }
  bool mainApplyEnabled() const { return IsWindowEnabled(mainItem(ids::main_dlg::CONTROL2_APPLY.id)) != FALSE; }
  void clickMainApply() {
    ASSERT_TRUE(waitClickable(mainItem(ids::main_dlg::CONTROL2_APPLY.id)));
    clickCentre(mainItem(ids::main_dlg::CONTROL2_APPLY.id));
  }
  std::vector<uint8_t> macroMemory(size_t length) {
    return bytesOf(app_->sim("read macro 0 " + std::to_string(length)));
  }

  // The question before writing over what could not be read: a dialog of
  // the program with a Write anyway button (IDOK) beside Cancel.
  HWND waitWriteAnywayQuestion(DWORD timeoutMs) {
    HWND box = nullptr;
    waitFor(
        [&] {
          for (HWND h : topLevelWindows(app_->pid(), true))
            if (h != main() && describe(h).className == L"#32770" && GetDlgItem(h, IDOK) && GetDlgItem(h, IDCANCEL))
              return (box = h) != nullptr;
          return false;
        },
        timeoutMs);
    return box;
  }

  void shot(const std::string& name) { EXPECT_FALSE(screenshot(name).empty()) << "screenshot " << name; }

  Installation install_;
  std::unique_ptr<Running> app_;
};

// The keyboard comes back but its reads fail part way: the window shows the
// defaults. A key edit and Apply must not replace the keyboard's macros with
// the empty list shown: the program reads again, and while that fails it
// asks, Cancel (the default) writing nothing. Once the keyboard answers, the
// same Apply writes the edit and leaves the macros as they were.
TEST_F(NothingLost, FailedReadIsNeverWrittenBackAsAnErase) {
  Running& app = startShown();
  std::vector<uint8_t> image = oneMacroImage();
  ASSERT_EQ(app.sim("write macro 0 " + hexOf(image)), "OK\n");

  ASSERT_EQ(app.sim("unplug"), "OK\n");
  ASSERT_TRUE(waitFor([&] { return !app.mainVisible(); }, 5000));
  ASSERT_TRUE(waitFor([&] { return trayShows(kIconNoKeyboard); }, 10000, 50));
  ASSERT_EQ(app.sim("fault drop 100000"), "OK\n");
  ASSERT_EQ(app.sim("fault after 10"), "OK\n");
  ASSERT_EQ(app.sim("plug"), "OK\n");
  ASSERT_TRUE(waitFor([&] { return trayShows(kIconKeyboard); }, 60000, 100)) << "the reload did not end";
  ASSERT_TRUE(openFromTray());

  ASSERT_TRUE(assignKey(ids::main_dlg::KEY_01E.id, "b", L"B"));
  ASSERT_TRUE(mainApplyEnabled());
  clickMainApply();
  HWND box = waitWriteAnywayQuestion(30000);
  ASSERT_NE(box, nullptr) << "no question before writing over the unread macros";
  EXPECT_EQ(controlText(GetDlgItem(box, IDOK)), L"Write anyway");
  shot("write_anyway_question");
  pressKey("Return");  // Cancel is the default
  EXPECT_TRUE(waitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000));
  EXPECT_TRUE(mainApplyEnabled()) << "the edit still waits";
  ASSERT_EQ(app.sim("fault clear"), "OK\n");
  EXPECT_EQ(macroMemory(image.size()), image) << "Cancel wrote over the keyboard's macros";

  // The keyboard answers again: Apply reads what it missed and writes only the edit.
  ASSERT_EQ(app.sim("trace clear"), "OK\n");
  clickMainApply();
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 15000)) << "Apply did not end";
  EXPECT_EQ(waitWriteAnywayQuestion(0), nullptr);
  EXPECT_FALSE(tracedCommands(app.trace(), kCmdEndConfig).empty());
  EXPECT_EQ(hexOf(macroMemory(image.size())), hexOf(image)) << "the macro memory was replaced";
  EXPECT_EQ(tooltip(ids::main_dlg::KEY_01E.id), L"AKeys, Set: Key(B)");
  shot("failed_read_apply_kept_macros");
}

// What a G key does lives in our files only (the keyboard has no G-key
// slots): it survives a replug and a restart, each a rebuild from the keyboard.
TEST_F(NothingLost, GKeyAssignmentSurvivesReplugAndRestart) {
  Running& app = startShown();
  const int g1 = ids::main_dlg::FUNC_G1.id;
  const std::wstring assigned = L"G1Keys, Set: Key(B)";
  ASSERT_TRUE(waitClickable(mainItem(g1)));
  ASSERT_TRUE(assignKey(g1, "b", L"B"));
  EXPECT_EQ(tooltip(g1), assigned);
  clickMainApply();
  ASSERT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 10000));

  ASSERT_EQ(app.sim("unplug"), "OK\n");
  ASSERT_TRUE(waitFor([&] { return trayShows(kIconNoKeyboard); }, 10000, 50));
  ASSERT_EQ(app.sim("plug"), "OK\n");
  ASSERT_TRUE(waitFor([&] { return trayShows(kIconKeyboard); }, 10000, 50));
  ASSERT_TRUE(openFromTray());
  EXPECT_EQ(tooltip(g1), assigned) << "lost at the replug";

  app_.reset();  // ends the program
  startShown();
  EXPECT_EQ(tooltip(g1), assigned) << "lost at the restart";
  shot("g1_kept_after_restart");
}

}  // namespace
}  // namespace kv::e2e
