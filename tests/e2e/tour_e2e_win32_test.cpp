// A new user's tour: the file dialogs of import and export start in the
// profile folder over the window and the status line confirms them; a failed
// Apply says what failed on the status line; the editor names the key it
// edits and its Default tab carries its word; the profile manager's disabled
// Apply and the profiles button look as they are; the save prompt shows
// nothing of the profile asked for; the lighting panel says when key clicks
// cannot paint. The real Korvalin.exe with the simulated keyboard, driven by
// real pointer and key input, checked on the keyboard, the window's controls
// and the screen's pixels.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/text_table.h"
#include "base/wide_win32.h"
#include "resources/control_ids.h"
#include "tests/e2e/harness_win32.h"
#include "tests/e2e/installation_win32.h"
#include "tests/e2e/running_win32.h"

namespace kv::e2e {
namespace {

using namespace ids::main_dlg;

constexpr int kEffectCount = 29;  // the simulated keyboard's effect list: 1-28 and 254
constexpr int kComboPerKey = 28;  // the list position of 254
constexpr int kKeyTableSize = 324, kSettingsRecordSize = 42, kReportRateField = 15;
const wchar_t kSavePrompt[] = L"Whether to save the profile settings made?";
const wchar_t kNoAnswer[] = L"The keyboard did not answer. Your changes are still waiting: press Apply to try again.";
const wchar_t kMacrosRefused[] =
    L"The keyboard refused the macros. Your changes are still waiting: press Apply to try again.";

std::string utf8(const std::wstring& s) { return toUtf8(u16(s)); }

// Pixels of a window's screen rectangle (inset by the margins) that pass a test.
int countPixels(HWND h, const std::function<bool(int r, int g, int b)>& test, RECT inset = {0, 0, 0, 0}) {
  RECT r{};
  if (!GetWindowRect(h, &r)) return -1;
  int n = 0;
  for (int y = r.top + inset.top; y < r.bottom - inset.bottom; y += 1)
    for (int x = r.left + inset.left; x < r.right - inset.right; x += 1) {
      COLORREF c = pixelAt(x, y);
      n += test(GetRValue(c), GetGValue(c), GetBValue(c)) ? 1 : 0;
    }
  return n;
}
bool white(int r, int g, int b) { return r > 200 && g > 200 && b > 200; }

class TourE2e : public ::testing::Test {
 protected:
  void SetUp() override { keepTrayUncovered(); }

  void panelStartsOpen() {
    std::wstring folder = install_.documentsFolder() + L"\\Korvalin";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(WritePrivateProfileStringW(L"KEYCOLOR", L"DengCheck", L"1", (folder + L"\\wskb.ini").c_str()));
  }

  // Starts the program and waits until the window shows the keyboard's
  // configuration and can be clicked.
  Running& start() {
    app_ = std::make_unique<Running>(install_.start());
    EXPECT_TRUE(app_->started());
    app_->waitMainWindow();
    EXPECT_TRUE(waitFor([&] { return SendMessageW(ctl(CONTROL_XGcombox.id), CB_GETCOUNT, 0, 0) == kEffectCount; }));
    EXPECT_TRUE(waitFor([&] { return app_->mainVisible(); }));
    EXPECT_TRUE(waitClickable(ctl(KEY_01E.id)));
    return *app_;
  }

  HWND main() const { return app_->mainWindow(); }
  HWND ctl(int id) const { return GetDlgItem(main(), id); }
  // Opens the button menu and chooses one of its four standing entries
  // (0 import, 1 export) with the keys, counted from the bottom: the Undo and
  // Redo items come first.
  void chooseFromButtonMenu(int index) {
    HWND menuButton = ctl(CONTROL_MENU.id);
    ASSERT_TRUE(waitClickable(menuButton));
    clickCentre(menuButton);
    HWND menu = nullptr;
    ASSERT_TRUE(waitFor([&] { return (menu = findTopLevel(app_->pid(), L"#32768")) != nullptr && IsWindowVisible(menu); }, 5000));
    ASSERT_TRUE(waitClickable(menu));
    for (int i = index; i < 4; ++i) pressKey("Up");
    pressKey("Return");
  }
  void clickControl(HWND h) {
    ASSERT_TRUE(waitClickable(h));
    clickCentre(h);
  }
  void pointerAway() {
    mouseMoveTo(5, 5);
    Sleep(300);
  }
  void shot(const std::string& name) { EXPECT_FALSE(screenshot(name).empty()) << "screenshot " << name; }
  bool mainApplyEnabled() const { return IsWindowEnabled(ctl(CONTROL2_APPLY.id)) != FALSE; }
  std::wstring tooltip(int id) const { return tooltipOf(app_->process(), ctl(id)); }
  std::wstring status() const { return IsWindowVisible(ctl(STATUS_LINE.id)) ? controlText(ctl(STATUS_LINE.id)) : L""; }

  // The program's dialog other than the main window that holds the control.
  HWND dialogWith(int controlId) const {
    for (HWND h : topLevelWindows(app_->pid(), true))
      if (h != main() && describe(h).className == L"#32770" && GetDlgItem(h, controlId)) return h;
    return nullptr;
  }
  HWND waitMessageBox() {
    HWND box = nullptr;
    waitFor([&] {
      for (HWND h : topLevelWindows(app_->pid(), true))
        if (h != main() && !messageBoxText(h).empty()) return (box = h) != nullptr;
      return false;
    }, 5000);
    return box;
  }
  HWND openEditor(int controlId) {
    clickControl(ctl(controlId));
    HWND e = nullptr;
    waitFor([&] { return (e = dialogWith(IDC_COMPOSITE_CONTROL_KEY)) != nullptr; }, 5000);
    if (e) waitClickable(e);
    return e;
  }
  // A key given another through its editor: opened, the key pressed, OK.
  bool assignKey(int controlId, const char* keysym, const wchar_t* keyName) {
    HWND e = openEditor(controlId);
    if (!e) return false;
    pressKey(keysym);
    if (!waitFor([&] { return controlText(GetDlgItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)) == keyName; }, 3000)) return false;
    clickCentre(GetDlgItem(e, IDC_COMPOSITE_CONTROL_OK));
    return waitFor([&] { return dialogWith(IDC_COMPOSITE_CONTROL_KEY) == nullptr; }, 5000);
  }
  // Where the keyboard keeps a key's record in profile 1's table: the
  // position of its factory record (02 02 usage) in the factory table.
  int recordOffsetOfUsage(const std::string& usageHex) const {
    std::string reply = app_->sim("read default 0 " + std::to_string(kKeyTableSize));
    if (reply.rfind("OK\n", 0) != 0) return -1;
    std::string hex = reply.substr(3, kKeyTableSize * 2);
    for (size_t i = 0; i + 6 <= hex.size(); i += 6)
      if (hex.compare(i, 6, "0202" + usageHex) == 0) return static_cast<int>(i / 6) * 3;
    return -1;
  }
  std::string keyRecord(int offset) const {
    std::string reply = app_->sim("read keys " + std::to_string(offset) + " 3");
    return reply.rfind("OK\n", 0) == 0 ? reply.substr(3, 6) : "";
  }

  // The folder the file dialog shows: the text of its "look in" list.
  static std::wstring folderShown(HWND dialog) {
    HWND lookIn = GetDlgItem(dialog, 0x471);  // cmb2, the folder list of the common dialogs
    return lookIn ? controlText(lookIn) : L"(no folder list)";
  }

  // A drop-down list opened with a real click, and its item clicked.
  void choose(int comboId, int index) {
    clickControl(ctl(comboId));
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
      SendMessageW(list, LB_SETTOPINDEX, index, 0);  // scrolling is not what is tested
      top = static_cast<int>(SendMessageW(list, LB_GETTOPINDEX, 0, 0));
    }
    POINT p{client.right / 2, (index - top) * height + height / 2};
    ClientToScreen(list, &p);
    click(p.x, p.y);
    waitFor([&] { return !IsWindowVisible(list); }, 3000);
  }

  Installation install_;
  std::unique_ptr<Running> app_;
};

// Export and import: both dialogs start in Documents\Korvalin with "*.kvp",
// over the window; a bare name lands there; the status line confirms each,
// then clears.
TEST_F(TourE2e, ExportAndImportStartInTheProfileFolderAndAreConfirmed) {
  Running& app = start();
  ASSERT_TRUE(assignKey(KEY_01E.id, "b", L"B"));
  const std::wstring folder = install_.documentsFolder() + L"\\Korvalin";
  // The window moved away from the screen's corner by dragging its
  // background (an empty spot of the title bar), so that a dialog left at
  // the corner shows.
  POINT spot{-1, -1};
  for (int x = 300; x < 900 && spot.x < 0; x += 10) {
    POINT client{x, 24};
    if (ChildWindowFromPointEx(main(), client, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT) != main()) continue;
    POINT p = client;
    ClientToScreen(main(), &p);
    if (WindowFromPoint(p) == main()) spot = p;
  }
  ASSERT_GE(spot.x, 0) << "no empty background spot";
  RECT window = describe(main()).rect;
  drag(spot.x, spot.y, spot.x + 200, spot.y + 150);
  ASSERT_TRUE(waitFor([&] { return describe(main()).rect.left == window.left + 200; }, 5000));
  window = describe(main()).rect;

  chooseFromButtonMenu(1);  // Export
  HWND save = waitFileDialog(app.pid(), main());
  ASSERT_NE(save, nullptr) << "no save dialog";
  EXPECT_TRUE(waitFor([&] { return controlText(fileNameField(save)) == L"*.kvp"; }, 3000)) << utf8(controlText(fileNameField(save)));
  EXPECT_EQ(folderShown(save), L"Korvalin");
  EXPECT_EQ(GetWindow(save, GW_OWNER), main()) << "the main window owns the dialog";
  // Over the middle of the window it belongs to.
  POINT centre = centreOf(save), middle = centreOf(main());
  EXPECT_LE(std::abs(centre.x - middle.x) + std::abs(centre.y - middle.y), 4)
      << "the dialog opened at " << centre.x << "," << centre.y << ", the window's middle is " << middle.x << ","
      << middle.y;
  shot("tour_export_dialog");
  ASSERT_TRUE(enterFileName(save, L"mine.kvp"));
  std::wstring saved = folder + L"\\mine.kvp";
  EXPECT_TRUE(waitFor([&] { return GetFileAttributesW(saved.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5000))
      << "not saved in the profile folder";
  const std::wstring documentsName = std::filesystem::path(install_.documentsFolder()).filename().wstring();
  const std::wstring savedText = L"Saved " + documentsName + L"\\Korvalin\\mine.kvp";
  EXPECT_TRUE(waitFor([&] { return status() == savedText; }, 3000)) << utf8(status());
  shot("tour_export_confirmed");
  EXPECT_TRUE(waitFor([&] { return status().empty(); }, 10000)) << "the confirmation stays";

  chooseFromButtonMenu(0);  // Import
  HWND open = waitFileDialog(app.pid(), main());
  ASSERT_NE(open, nullptr) << "no open dialog";
  EXPECT_TRUE(waitFor([&] { return controlText(fileNameField(open)) == L"*.kvp"; }, 3000)) << utf8(controlText(fileNameField(open)));
  EXPECT_EQ(folderShown(open), L"Korvalin");
  EXPECT_EQ(GetWindow(open, GW_OWNER), main());
  EXPECT_TRUE(PtInRect(&window, centreOf(open))) << "the open dialog is not over the window";
  ASSERT_TRUE(enterFileName(open, L"mine.kvp"));
  // The edit waits: the import asks first (Apply / Discard / Cancel); the file holds it, so Discard.
  HWND question = nullptr;
  ASSERT_TRUE(waitFor([&] {
    for (HWND h : topLevelWindows(app.pid(), true))
      if (h != main() && GetDlgItem(h, IDYES) && GetDlgItem(h, IDNO) && GetDlgItem(h, IDCANCEL)) return (question = h) != nullptr;
    return false;
  }, 5000)) << "no question about the edit that waits";
  ASSERT_TRUE(waitClickable(GetDlgItem(question, IDNO)));
  clickCentre(GetDlgItem(question, IDNO));
  EXPECT_TRUE(waitFor([&] { return status() == L"Imported mine.kvp into profiles 1-3"; }, 8000)) << utf8(status());
  EXPECT_FALSE(mainApplyEnabled());
  EXPECT_EQ(tooltip(KEY_01E.id), L"AKeys, Set: Key(B)");
  shot("tour_import_confirmed");
  EXPECT_TRUE(waitFor([&] { return status().empty(); }, 10000)) << "the confirmation stays";
}

// A main Apply the keyboard does not answer, then one whose macros it
// refuses: each says so on the status line, Apply stays lit, the edit stays
// in the working configuration and the keyboard keeps its record. Once the
// keyboard answers, Apply writes and the failure goes.
TEST_F(TourE2e, FailedApplySaysWhatFailedAndKeepsTheChanges) {
  Running& app = start();
  int recordA = recordOffsetOfUsage("04");
  ASSERT_GE(recordA, 0);
  ASSERT_TRUE(assignKey(KEY_01E.id, "b", L"B"));
  ASSERT_TRUE(mainApplyEnabled());

  struct Case {
    const char* name;
    std::vector<std::string> faults;
    const wchar_t* text;
  };
  // A refused report is sent three times: the first macro chunk is refused
  // each time, after the bracket opened.
  const Case cases[] = {{"no answer", {"fault drop 3"}, kNoAnswer},
                        {"macros refused", {"fault status FF 3", "fault after 1"}, kMacrosRefused}};
  for (const Case& c : cases) {
    ASSERT_EQ(app.sim("trace clear"), "OK\n");
    for (const std::string& f : c.faults) ASSERT_EQ(app.sim(f), "OK\n") << c.name;
    clickControl(ctl(CONTROL2_APPLY.id));
    EXPECT_TRUE(waitFor([&] { return status() == c.text; }, 15000)) << c.name << ": " << utf8(status());
    ASSERT_EQ(app.sim("fault clear"), "OK\n");
    EXPECT_TRUE(mainApplyEnabled()) << c.name;
    EXPECT_EQ(tooltip(KEY_01E.id), L"AKeys, Set: Key(B)") << c.name;
    EXPECT_EQ(keyRecord(recordA), "020204") << c.name;
    pointerAway();
    shot(std::string("tour_apply_failed_") + (c.text == kNoAnswer ? "no_answer" : "refused"));
  }

  clickControl(ctl(CONTROL2_APPLY.id));
  EXPECT_TRUE(waitFor([&] { return keyRecord(recordA) == "020205"; }, 8000));
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));
  EXPECT_TRUE(waitFor([&] { return status().empty(); }, 3000)) << "the failure stays after a good Apply";
}

// The editor's title names the key beside the product name, with the bank
// for a G key; its fifth tab carries the word "Default" on its face.
TEST_F(TourE2e, EditorNamesItsKeyAndItsDefaultTab) {
  Running& app = start();
  HWND e = openEditor(KEY_01E.id);
  ASSERT_NE(e, nullptr);
  HWND title = GetDlgItem(e, IDC_COMPOSITE_CONTROL_TITLE), clear = GetDlgItem(e, IDC_COMPOSITE_CONTROL_CLEAR);
  EXPECT_EQ(describe(title).text, L"A");
  EXPECT_EQ(describe(clear).text, L"Default");
  pointerAway();
  RECT t{};
  GetWindowRect(title, &t);
  // The name is drawn in white at the title's right end, clear of the
  // product name at its left; the tab's word in white on its dark face.
  int width = t.right - t.left;
  EXPECT_GT(countPixels(title, white, {width * 2 / 3, 4, 4, 4}), 15) << "no key name in the title";
  EXPECT_GT(countPixels(clear, white, {4, 4, 4, 4}), 20) << "no word on the Default tab";
  shot("tour_editor_title_a");
  clickCentre(GetDlgItem(e, IDC_COMPOSITE_CONTROL_CANCEL));
  ASSERT_TRUE(waitFor([&] { return dialogWith(IDC_COMPOSITE_CONTROL_KEY) == nullptr; }, 5000));

  ASSERT_EQ(app.sim("event 02FF"), "OK\n");  // bank B
  ASSERT_TRUE(waitFor([&] { return controlText(ctl(FUNC_G1.id)) == L"B1"; }, 3000));
  e = openEditor(FUNC_G1.id);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(describe(GetDlgItem(e, IDC_COMPOSITE_CONTROL_TITLE)).text, L"G1 (bank B)");
  pointerAway();
  EXPECT_GT(countPixels(GetDlgItem(e, IDC_COMPOSITE_CONTROL_TITLE), white, {width / 2, 4, 4, 4}), 30);
  shot("tour_editor_title_g1_bank_b");
  clickCentre(GetDlgItem(e, IDC_COMPOSITE_CONTROL_CANCEL));
  ASSERT_TRUE(waitFor([&] { return dialogWith(IDC_COMPOSITE_CONTROL_KEY) == nullptr; }, 5000));
}

// The profiles button has no drop-down arrow (it opens the manager, no
// menu); the manager's disabled Apply has a grey face, not the pressed
// (blue) one.
TEST_F(TourE2e, ProfilesButtonAndTheManagersDisabledApplyLookAsTheyAre) {
  start();
  pointerAway();
  HWND profiles = ctl(FUNC_PROFILES.id);
  RECT p{};
  GetWindowRect(profiles, &p);
  int w = p.right - p.left, h = p.bottom - p.top;
  // Where the arrow was: a light triangle 18 pixels from the right end.
  int light = countPixels(profiles, [](int r, int g, int b) { return r + g + b > 300; },
                          {w - 26, h / 2 - 6, 10, h / 2 - 6});
  EXPECT_EQ(light, 0) << "the profiles button still has its arrow";

  clickControl(profiles);
  HWND m = nullptr;
  ASSERT_TRUE(waitFor([&] { return (m = dialogWith(IDC_PROFILE_CONTROL2_APPLY)) != nullptr; }, 5000));
  ASSERT_TRUE(waitClickable(GetDlgItem(m, IDC_PROFILE_CONTROL_CANCEL)));
  HWND apply = GetDlgItem(m, IDC_PROFILE_CONTROL2_APPLY);
  ASSERT_FALSE(IsWindowEnabled(apply));
  pointerAway();
  // The face's fill beside the legend: grey (red, green and blue alike) on
  // the disabled face, blue-green on the pressed one.
  RECT a{};
  GetWindowRect(apply, &a);
  // Five columns at the left end, clear of the legend and the outline.
  int blue = countPixels(apply, [](int r, int, int b) { return b - r > 20; }, {3, 6, (a.right - a.left) - 8, 6});
  int sampled = 5 * ((a.bottom - a.top) - 12);
  EXPECT_LT(blue, sampled / 5) << "the disabled Apply looks pressed";
  shot("tour_profile_manager_disabled_apply");
  clickCentre(GetDlgItem(m, IDC_PROFILE_CONTROL_CANCEL));
  EXPECT_TRUE(waitFor([&] { return dialogWith(IDC_PROFILE_CONTROL2_APPLY) == nullptr; }, 5000));
}

// While the save prompt asks about the active profile, the report-rate
// buttons still show its rate; the profile asked for shows once answered.
TEST_F(TourE2e, SavePromptShowsNothingOfTheProfileAskedFor) {
  Running& app = start();
  // Profile 2's report rate differs from profile 1's.
  auto rate = [&](int profile) {
    auto b = bytesOf(app.sim("read settings " + std::to_string(profile * kSettingsRecordSize + kReportRateField) + " 1"));
    return b.empty() ? -1 : b[0];
  };
  int other = rate(0) == 3 ? 1 : 3;
  ASSERT_EQ(app.sim("write settings " + std::to_string(kSettingsRecordSize + kReportRateField) + " 0" +
                    std::to_string(other)),
            "OK\n");
  ASSERT_TRUE(assignKey(KEY_01E.id, "b", L"B"));
  auto rateLooks = [&] {
    pointerAway();
    std::vector<std::vector<COLORREF>> looks;
    for (int id : {FUNC_REPORT1.id, FUNC_REPORT2.id, FUNC_REPORT3.id, FUNC_REPORT4.id}) looks.push_back(looksOf(ctl(id)));
    return looks;
  };
  auto before = rateLooks();

  clickControl(ctl(FUNC_PROFILE2.id));
  HWND box = waitMessageBox();
  ASSERT_NE(box, nullptr) << "no save prompt";
  EXPECT_EQ(messageBoxText(box), kSavePrompt);
  EXPECT_EQ(rateLooks(), before) << "the report rate of profile 2 shows while the prompt is up";
  shot("tour_save_prompt_report_rate");
  pressKey("Return");  // No
  ASSERT_TRUE(waitFor([&] { return !IsWindow(box); }, 3000));
  std::vector<std::vector<COLORREF>> after;
  EXPECT_TRUE(waitFor([&] { return (after = rateLooks()) != before; }, 5000)) << "profile 2's rate is not shown";
  EXPECT_NE(after[static_cast<size_t>(other)], before[static_cast<size_t>(other)]);
}

// With the panel open, the hint says that key clicks paint only with the
// per-key effect; it goes when that effect is chosen and when the panel
// closes, and a click with another effect writes nothing.
TEST_F(TourE2e, PaintHintFollowsTheEffect) {
  panelStartsOpen();
  Running& app = start();
  HWND hint = ctl(CONTROL_PaintHint.id);
  ASSERT_NE(hint, nullptr);
  ASSERT_NE(SendMessageW(ctl(CONTROL_XGcombox.id), CB_GETCURSEL, 0, 0), kComboPerKey);
  EXPECT_TRUE(IsWindowVisible(hint));
  EXPECT_EQ(controlText(hint), L"Clicking keys paints only with the effect \"Custom (per key)\".");
  ASSERT_EQ(app.sim("trace clear"), "OK\n");
  clickControl(ctl(KEY_01E.id));
  Sleep(500);
  EXPECT_TRUE(tracedCommands(app.trace(), 0x06).empty() && tracedCommands(app.trace(), 0x11).empty())
      << "a click with another effect wrote to the keyboard";
  EXPECT_EQ(dialogWith(IDC_COMPOSITE_CONTROL_KEY), nullptr) << "the editor opened";
  pointerAway();
  shot("tour_paint_hint_shown");

  choose(CONTROL_XGcombox.id, kComboPerKey);
  EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(hint); }, 3000)) << "the hint stays with the per-key effect";
  EXPECT_TRUE(IsWindowVisible(ctl(CONTROL_umCombo.id)));
  pointerAway();
  shot("tour_paint_hint_per_key");

  choose(CONTROL_XGcombox.id, 0);
  EXPECT_TRUE(waitFor([&] { return IsWindowVisible(hint) != FALSE; }, 3000));
  clickControl(ctl(CONTROL_DengStaPic.id));  // the lamp closes the panel
  EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(hint); }, 3000)) << "the hint stays with the panel closed";
}

}  // namespace
}  // namespace kv::e2e
