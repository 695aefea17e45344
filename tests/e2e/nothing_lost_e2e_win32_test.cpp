// Nothing the keyboard or the user holds is lost on the way: a read that
// failed is never written back as an erase, G-key assignments outlive every
// rebuild from the keyboard, and an editor's OK without a change keeps the
// entry it could not show. Real input under Wine, checked on the simulated
// keyboard's memory byte for byte and on the window.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "base/text_table.h"
#include "base/wide_win32.h"
#include "keys/key_strings.h"
#include "macro/macro_image.h"
#include "profile/profile_format.h"
#include "resources/control_ids.h"
#include "tests/e2e/harness_win32.h"
#include "tests/e2e/installation_win32.h"
#include "tests/e2e/running_win32.h"

namespace kv::e2e {
namespace {

constexpr int kIconKeyboard = IDI_KEYBOARD, kIconNoKeyboard = IDI_NO_KEYBOARD;
constexpr int kCmdEndConfig = 0x02;

std::string hexOf(std::span<const uint8_t> bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// Where the keyboard keeps a key's record in the first profile's table: the
// position of its factory record (02 02 usage) in the factory table.
int recordOffsetOfUsage(Running& app, const std::string& usageHex) {
  std::string reply = app.sim("read default 0 324");
  if (reply.rfind("OK\n", 0) != 0) return -1;
  std::string hex = reply.substr(3, 324 * 2);
  for (size_t i = 0; i + 6 <= hex.size(); i += 6)
    if (hex.compare(i, 6, "0202" + usageHex) == 0) return static_cast<int>(i / 6) * 3;
  return -1;
}
std::string keyRecord(Running& app, int offset) {
  std::string reply = app.sim("read keys " + std::to_string(offset) + " 3");
  return reply.rfind("OK\n", 0) == 0 ? reply.substr(3, 6) : "";
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

  // A question of the program: a dialog with the button asked for beside
  // Cancel (Write anyway is IDOK; Apply and Discard are IDYES and IDNO).
  HWND waitQuestion(int button, DWORD timeoutMs) {
    HWND box = nullptr;
    waitFor(
        [&] {
          for (HWND h : topLevelWindows(app_->pid(), true))
            if (h != main() && describe(h).className == L"#32770" && GetDlgItem(h, button) && GetDlgItem(h, IDCANCEL))
              return (box = h) != nullptr;
          return false;
        },
        timeoutMs);
    return box;
  }

  // Exit from the tray icon's menu (Open, About, Exit), by real clicks.
  bool exitFromTray() {
    auto icons = trayIconWindows();
    if (icons.size() != 1 || !waitClickable(icons.front())) return false;
    POINT c = centreOf(icons.front());
    click(c.x, c.y, 3);
    HWND menu = nullptr;
    for (int tries = 0; tries < 100 && !menu; ++tries, Sleep(50))
      for (HWND h : topLevelWindows(app_->pid(), true))
        if (describe(h).className == L"#32768") menu = h;
    if (!menu || !waitClickable(menu)) return false;
    RECT r{};
    GetWindowRect(menu, &r);
    click((r.left + r.right) / 2, r.top + (r.bottom - r.top) * 5 / 6);
    return true;
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
  int recordA = recordOffsetOfUsage(app, "04");
  ASSERT_GE(recordA, 0);
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
  HWND box = waitQuestion(IDOK, 30000);
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
  EXPECT_EQ(waitQuestion(IDOK, 0), nullptr);
  EXPECT_FALSE(tracedCommands(app.trace(), kCmdEndConfig).empty());
  EXPECT_EQ(hexOf(macroMemory(image.size())), hexOf(image)) << "the macro memory was replaced";
  EXPECT_EQ(keyRecord(app, recordA), "020205") << "the edit did not reach the keyboard";
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

// Exit with an edit not applied: the program asks (Apply / Discard / Cancel,
// Cancel the default); Cancel keeps it running with the edit, Apply writes
// the edit and then ends.
TEST_F(NothingLost, ExitAsksAboutEditsThatWait) {
  Running& app = startShown();
  ASSERT_TRUE(assignKey(ids::main_dlg::KEY_01E.id, "b", L"B"));
  ASSERT_TRUE(mainApplyEnabled());

  ASSERT_TRUE(exitFromTray());
  HWND box = waitQuestion(IDYES, 5000);
  ASSERT_NE(box, nullptr) << "Exit dropped the edit without asking";
  EXPECT_EQ(controlText(GetDlgItem(box, IDYES)), L"Apply");
  EXPECT_EQ(controlText(GetDlgItem(box, IDNO)), L"Discard");
  shot("exit_question");
  pressKey("Return");  // Cancel
  EXPECT_TRUE(waitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000));
  EXPECT_TRUE(holdsFor([&] { return app.alive(); }, 500));
  EXPECT_TRUE(mainApplyEnabled());

  ASSERT_TRUE(exitFromTray());
  box = waitQuestion(IDYES, 5000);
  ASSERT_NE(box, nullptr);
  clickCentre(GetDlgItem(box, IDYES));
  EXPECT_EQ(app.waitExit(15000), 0u) << "Apply did not end the program";
  // The simulated keyboard keeps its memory in its state file: the next run shows it.
  Running& again = startShown();
  int recordA = recordOffsetOfUsage(again, "04");
  ASSERT_GE(recordA, 0);
  EXPECT_EQ(keyRecord(again, recordA), "020205") << "the edit did not reach the keyboard";
}

// A profile file whose G1 (bank A, first profile) launches a program: what an
// imported file may hold, which the editor has no page to show.
std::vector<uint8_t> profileWithProgramOnG1(const std::u16string& program) {
  auto table = std::make_unique<KeyActionTable>();
  resetTable(*table);
  const int g1 = entryIndex(0, slotOfGKey(0, 0));
  table->entries[g1].type = ActionType::LaunchProgram;
  auto strings = std::make_unique<KeyStringStore>();
  if (!attachString(*strings, g1, program)) return {};
  StringPool pool;
  if (!packStrings(*table, *strings, pool)) return {};
  writeProfileHeaderBytes(std::span<uint8_t, 64>(table->header, 64), 0, static_cast<uint32_t>(pool.size()), 0);
  std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(table.get()),
                             reinterpret_cast<const uint8_t*>(table.get()) + sizeof(KeyActionTable));
  bytes.insert(bytes.end(), pool.begin(), pool.end());
  return bytes;
}

std::vector<uint8_t> fileBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// OK in the editor of a key whose entry it cannot show (a program to launch)
// changes nothing: the entry and its path stay, and nothing waits to apply.
TEST_F(NothingLost, EditorOkWithoutAChangeKeepsAProgramPath) {
  const std::u16string program = u"C:\\Games\\launch.exe";
  std::wstring folder = install_.documentsFolder() + L"\\Korvalin";
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring cache = folder + L"\\$Profile0";
  {
    std::vector<uint8_t> bytes = profileWithProgramOnG1(program);
    ASSERT_FALSE(bytes.empty());
    std::ofstream out(std::filesystem::path(cache), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  startShown();
  const int g1 = ids::main_dlg::FUNC_G1.id;
  ASSERT_TRUE(waitClickable(mainItem(g1)));
  ASSERT_NE(openEditor(g1), nullptr);
  shot("editor_of_program_key");
  ASSERT_TRUE(closeEditorWith(IDC_COMPOSITE_CONTROL_OK));
  EXPECT_FALSE(mainApplyEnabled()) << "OK without a change left something to apply";

  // Another key's edit and Apply save the cache: G1's entry is there, whole.
  ASSERT_TRUE(assignKey(ids::main_dlg::KEY_01E.id, "b", L"B"));
  clickMainApply();
  ASSERT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 10000));
  std::vector<uint8_t> saved = fileBytes(cache);
  ASSERT_GE(saved.size(), sizeof(KeyActionTable));
  KeyActionTable table;
  std::memcpy(&table, saved.data(), sizeof table);
  const int entry = entryIndex(0, slotOfGKey(0, 0));
  EXPECT_EQ(table.entries[entry].type, ActionType::LaunchProgram);
  auto strings = std::make_unique<KeyStringStore>();
  ASSERT_TRUE(unpackStrings(table, *strings, std::span<const uint8_t>(saved).subspan(sizeof table)));
  EXPECT_EQ(strings->text(entry), program);
}

// The flip arrows lie over the Flip buttons: a profile switch redraws the
// buttons, and the arrows must come back over them, not wait for the window
// to be hidden and shown.
TEST_F(NothingLost, FlipArrowsStayAfterAProfileSwitch) {
  Running& app = startShown();
  HWND left = mainItem(ids::main_dlg::LEFT_ARROW.id), right = mainItem(ids::main_dlg::RIGHT_ARROW.id);
  ASSERT_TRUE(waitClickable(mainItem(ids::main_dlg::FUNC_PROFILE2.id)));
  // The baseline is the arrows as drawn: on a loaded machine the first
  // paint may still be on its way when the buttons become clickable.
  auto drawn = [](const std::vector<COLORREF>& looks) {
    return std::any_of(looks.begin(), looks.end(), [&](COLORREF c) { return c != looks.front(); });
  };
  std::vector<COLORREF> leftBefore, rightBefore;
  ASSERT_TRUE(waitFor([&] {
    leftBefore = looksOf(left);
    rightBefore = looksOf(right);
    return drawn(leftBefore) && drawn(rightBefore);
  }, 10000)) << "the arrows were never drawn";
  clickCentre(mainItem(ids::main_dlg::FUNC_PROFILE2.id));
  ASSERT_TRUE(waitFor([&] { return app.sim("status").find("profile=1") != std::string::npos; }, 5000))
      << app.sim("status");
  // Whatever the switch redraws, the arrows are back over it within a moment.
  EXPECT_TRUE(waitFor([&] { return looksOf(left) == leftBefore; }, 3000)) << "the left arrow is gone";
  EXPECT_TRUE(waitFor([&] { return looksOf(right) == rightBefore; }, 3000)) << "the right arrow is gone";
  shot("flip_arrows_after_profile_switch");
}

}  // namespace
}  // namespace kv::e2e
