// The fixture every end-to-end scenario starts from: a fresh installation of
// Korvalin.exe with the simulated keyboard, the program started in it, and
// the ways a user reaches and reads its windows. The program's own names
// (private messages, protocol commands, exit codes, control ids) come from
// its headers, included here only, so that a rename there touches this file.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/single_instance_win32.h"  // kMsgKill, kTagKill
#include "device/device_ui.h"           // kMsgShow, kTagOpen, the tray icons
#include "device/protocol.h"            // command codes, memory layout
#include "device/transport.h"
#include "resources/control_ids.h"
#include "base/exit_codes.h"
#include "tests/e2e/harness_win32.h"
#include "tests/e2e/installation_win32.h"
#include "tests/e2e/registry_override_win32.h"
#include "tests/e2e/running_win32.h"

namespace kv::e2e {

// The simulated keyboard's effect list: 1-28 and 254.
inline constexpr int kSimEffectCount = 29;
// The program's section of the user's registry.
inline constexpr wchar_t kProfilesKey[] = L"Software\\Korvalin_Nalvori\\Korvalin\\PROFILES";

// Texts as the tests print them.
std::string utf8(const std::wstring& s);

// A file's contents (up to 64 KiB), read while others may still write it;
// empty when it cannot be read.
std::string readFileText(const std::wstring& path);
bool writeFileText(const std::wstring& path, const std::string& text);

class KorvalinFixture : public ::testing::Test {
 protected:
  void SetUp() override;

  // ---- the installation and the program -------------------------------------------------

  // Starts the program and waits for its main window.
  Running& start(const std::wstring& arguments = L"");
  // Starts the program and waits until its window shows and key A can be
  // clicked.
  Running& startShown();
  // The window shows and key A can be clicked.
  void expectShown();
  // Starts the program and waits until the window shows the keyboard's
  // configuration (the effect list of the first load) and can be clicked.
  Running& startLoaded();
  // startLoaded, then up to 5 s for a click at the window's centre to reach
  // the window itself. A key lies there, so in effect this is a 5 s pause:
  // drags and the overlays' checks need a window that has finished its start
  // (the editor's pictures are made after the first show) and fail under
  // load without it.
  Running& startSettled();
  // A second process of the same installation, not waited for.
  std::unique_ptr<Running> startAnother(const std::wstring& arguments);
  // The simulated keyboard starts unplugged, or on another profile.
  void withoutKeyboard();
  void activeProfile(int profile);
  // The lighting panel starts open (the user's settings file says so).
  void panelStartsOpen();
  // Waits for the effect list of the first load from the keyboard.
  bool waitEffectList();
  // Opens the button menu and chooses one of its four standing entries
  // (0 Import, 1 Export, 2 About, 3 Close) with the keys, counted from the
  // bottom: the Undo and Redo items above them come and go in name only.
  void chooseFromButtonMenu(int entry);
  std::wstring documentsFile(const std::wstring& name) const;
  // Wine hands a web page to the programs its registry lists as browsers:
  // for the rest of the test a script stands in for the browser and appends
  // what it was given to the log file.
  void standInBrowser(const std::wstring& log);

  // ---- windows ---------------------------------------------------------------------------

  HWND main() const { return app_ ? app_->mainWindow() : nullptr; }
  bool mainVisible() const { return app_ && app_->mainVisible(); }
  HWND mainItem(int id) const { return GetDlgItem(main(), id); }
  // A visible top-level window of the program with that class (and title).
  HWND findVisible(const wchar_t* className, const wchar_t* title = nullptr) const;
  // The program's dialog other than the main window that holds the control.
  HWND dialogWith(int controlId) const;
  // The open composite editor: the dialog with the editor's tab buttons.
  HWND editor() const;
  // The program's message box (not the main window's, not the editor's
  // statics); null when none shows in time.
  HWND waitMessageBox(DWORD timeoutMs = 5000) const;
  // Waits until a control can be clicked, then clicks its centre.
  void clickControl(HWND control);
  int selectedEffectIndex() const {
    return static_cast<int>(SendMessageW(mainItem(ids::main_dlg::CONTROL_XGcombox.id), CB_GETCURSEL, 0, 0));
  }
  bool mainApplyEnabled() const { return IsWindowEnabled(mainItem(ids::main_dlg::CONTROL2_APPLY.id)) != FALSE; }
  std::wstring tooltip(int controlId) const { return tooltipOf(app_->process(), mainItem(controlId)); }
  void pointerAway() { mouseMoveTo(5, 5); }
  // The tray icon's resource id (0 unless there is exactly one icon).
  int trayIcon();
  bool waitTrayIcon(int id, DWORD timeoutMs = 10000);
  // The question about edits that wait (Apply / Discard / Cancel: IDYES,
  // IDNO, IDCANCEL); null when none shows in time.
  HWND editsQuestion(DWORD timeoutMs = 5000) const;
  // Answers it with a real click on the button; false when it did not show
  // or did not close.
  bool answerEditsQuestion(int button, DWORD timeoutMs = 5000);
  // The program's common file dialog; null when none shows in time.
  HWND fileDialog() const { return waitFileDialog(app_->pid(), main()); }

  // ---- the composite editor --------------------------------------------------------------

  // Clicks a key button and waits for its editor. With a label, prints how
  // long it took from the end of the click to the editor on the screen.
  HWND openEditor(int controlId, const char* label = nullptr);
  bool waitEditorClosed() const;
  // A key given another through its editor: opened, the key pressed, OK.
  bool assignKey(int controlId, const char* keysym, const wchar_t* keyName);

  // ---- the simulated keyboard ------------------------------------------------------------

  void clearTrace() { ASSERT_EQ(app_->sim("trace clear"), "OK\n"); }
  std::vector<std::pair<int, int>> traced(int command) const { return tracedCommands(app_->trace(), command); }
  // Where the keyboard keeps a key's record in a profile's table: the
  // position of its factory record (02 02 usage) in the factory table; -1
  // when there is none.
  int recordOffsetOfUsage(const std::string& usageHex) const;
  // A key record of a profile's table, as hex.
  std::string keyRecord(int profile, int offset) const;
  // The active profile's record of the key with that factory usage.
  std::string keyRecordOf(const std::string& usageHex) const;

  // A screenshot of the whole screen as build/e2e/<name>.png.
  void shot(const std::string& name) { EXPECT_FALSE(screenshot(name).empty()) << "screenshot " << name; }

  Installation install_;
  std::unique_ptr<Running> app_;
  std::unique_ptr<RegistryOverride> browsers_;
};

}  // namespace kv::e2e
