// Profiles as a user meets them: the three profile buttons with the save
// prompt, the profiles button, the profile manager and a profile change made
// on the keyboard itself. The real Korvalin.exe with the simulated keyboard,
// driven by real pointer and key input, checked on the keyboard's memory and
// trace, the window's controls, the registry and the screen.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/korvalin_fixture_win32.h"

namespace kv::e2e {
namespace {

using namespace ids::main_dlg;

const wchar_t kSavePrompt[] = L"Whether to save the profile settings made?";
const wchar_t kProfilesTip[] = L"The current contextual  mode: ";
const int kProfileButtons[] = {FUNC_PROFILE1.id, FUNC_PROFILE2.id, FUNC_PROFILE3.id};

std::wstring profileSetting(const wchar_t* name) {
  wchar_t value[520] = {};
  DWORD bytes = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, kProfilesKey, name, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS)
    return L"(none)";
  return value;
}

// The fixture with the profile buttons and the keyboard's active profile.
class ProfilesE2e : public KorvalinFixture {
 protected:
  void SetUp() override {
    KorvalinFixture::SetUp();
    // The manager's entries of an earlier run must not pass for this one's.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kProfilesKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      for (int i = 0; i < 16; ++i) {
        wchar_t name[16];
        swprintf(name, 16, L"PROFILE%02d", i);
        RegDeleteValueW(key, name);
      }
      RegCloseKey(key);
    }
  }

  int activeProfileOnKeyboard() const {
    auto b = bytesOf(app_->sim("read info " + std::to_string(kInfoActiveProfile) + " 1"));
    return b.empty() ? -1 : b[0];
  }

  // How the three profile buttons look, the pointer away from them.
  std::vector<std::vector<COLORREF>> profileButtonLooks() {
    pointerAway();
    Sleep(300);
    std::vector<std::vector<COLORREF>> looks;
    for (int id : kProfileButtons) looks.push_back(looksOf(mainItem(id)));
    return looks;
  }
};

// ---- the profile buttons --------------------------------------------------------------------------

TEST_F(ProfilesE2e, Profile2SwitchesTheKeyboardAndShowsItsLighting) {
  // The lighting panel starts open; choosing a profile closes it.
  std::wstring settings = documentsFile(L"Korvalin\\wskb.ini");
  ASSERT_NO_FATAL_FAILURE(panelStartsOpen());
  Running& app = startLoaded();
  EXPECT_TRUE(IsWindowVisible(mainItem(CONTROL_XGcombox.id))) << "the panel did not start open";
  // Profile 2's lighting differs from profile 1's: effect 5.
  ASSERT_EQ(app.sim("write settings " + std::to_string(kSettingsRecordSize) + " 05"), "OK\n");
  ASSERT_EQ(activeProfileOnKeyboard(), 0);
  EXPECT_EQ(selectedEffectIndex(), 0);
  EXPECT_EQ(controlText(mainItem(FUNC_PROFILES.id)), L"$Profile0");
  EXPECT_EQ(tooltip(FUNC_PROFILES.id), std::wstring(kProfilesTip) + L"$Profile0");
  auto before = profileButtonLooks();

  clearTrace();
  clickControl(mainItem(FUNC_PROFILE2.id));
  ASSERT_TRUE(waitFor([&] { return activeProfileOnKeyboard() == 1; }, 5000));
  EXPECT_EQ(traced(kCmdWriteInfoBlock).size(), 1u);
  EXPECT_TRUE(waitFor([&] { return selectedEffectIndex() == 4; }, 3000)) << "the lighting of profile 2";
  EXPECT_FALSE(IsWindowVisible(mainItem(CONTROL_XGcombox.id))) << "the lighting panel stayed open";
  wchar_t open[8] = {};
  GetPrivateProfileStringW(L"KEYCOLOR", L"DengCheck", L"", open, 8, settings.c_str());
  EXPECT_STREQ(open, L"0");
  auto after = profileButtonLooks();
  EXPECT_NE(after[0], before[0]) << "Profile 1 no longer shows set";
  EXPECT_NE(after[1], before[1]) << "Profile 2 shows set";
  EXPECT_EQ(after[2], before[2]) << "Profile 3 stays unset";
  EXPECT_EQ(controlText(mainItem(FUNC_PROFILES.id)), L"$Profile0") << "one cache file names every profile";
  shot("profiles_switched_to_2");

  // The profile that is already active: its lighting is read again, no switch.
  clearTrace();
  clickControl(mainItem(FUNC_PROFILE2.id));
  EXPECT_TRUE(waitFor([&] {
    auto reads = traced(kCmdReadSettings);
    return std::any_of(reads.begin(), reads.end(), [](auto r) { return r.first == static_cast<int>(kSettingsRecordSize); });
  }, 3000)) << "profile 2's settings were not read again";
  Sleep(300);
  EXPECT_TRUE(traced(kCmdWriteInfoBlock).empty()) << "a switch was sent";
  EXPECT_EQ(activeProfileOnKeyboard(), 1);
  EXPECT_EQ(profileButtonLooks(), after);
}

TEST_F(ProfilesE2e, UnappliedKeyChangeAsksBeforeSwitching) {
  Running& app = startLoaded();
  const int keyA = KEY_01E.id;
  int recordA = recordOffsetOfUsage("04");
  ASSERT_GE(recordA, 0);
  ASSERT_TRUE(assignKey(keyA, "b", L"B"));
  ASSERT_EQ(tooltip(keyA), L"AKeys, Set: Key(B)");
  ASSERT_TRUE(mainApplyEnabled());

  // No (the default button, taken with Enter): the edit is dropped, then
  // the switch.
  clickControl(mainItem(FUNC_PROFILE2.id));
  HWND box = waitMessageBox();
  ASSERT_NE(box, nullptr) << "no save prompt";
  EXPECT_EQ(messageBoxText(box), kSavePrompt);
  EXPECT_NE(GetDlgItem(box, IDYES), nullptr);
  EXPECT_NE(GetDlgItem(box, IDNO), nullptr);
  EXPECT_EQ(activeProfileOnKeyboard(), 0) << "nothing switches while the prompt shows";
  shot("profiles_save_prompt");
  pressKey("Return");
  ASSERT_TRUE(waitFor([&] { return !IsWindow(box); }, 3000));
  EXPECT_TRUE(waitFor([&] { return activeProfileOnKeyboard() == 1; }, 5000));
  EXPECT_EQ(tooltip(keyA), L"A") << "the key is back as it was";
  EXPECT_FALSE(mainApplyEnabled());
  EXPECT_EQ(keyRecord(0, recordA), "020204") << "nothing was written";

  // Yes: the change (now in profile 2) is written first, then the switch.
  ASSERT_TRUE(assignKey(keyA, "c", L"C"));
  clearTrace();
  clickControl(mainItem(FUNC_PROFILE1.id));
  box = waitMessageBox();
  ASSERT_NE(box, nullptr) << "no save prompt";
  clickControl(GetDlgItem(box, IDYES));
  ASSERT_TRUE(waitFor([&] { return activeProfileOnKeyboard() == 0; }, 8000));
  EXPECT_EQ(keyRecord(1, recordA), "020206") << "A sends C in profile 2";
  EXPECT_EQ(keyRecord(0, recordA), "020204");
  auto trace = app.trace();
  // The first traced report of a command.
  auto lineOf = [&](int command) {
    for (size_t i = 0; i < trace.size(); ++i)
      if (!tracedCommands({trace[i]}, command).empty()) return i;
    return trace.size();
  };
  auto tables = tracedCommands(trace, kCmdWriteKeyTable);
  ASSERT_FALSE(tables.empty());
  for (auto [address, length] : tables) EXPECT_GE(address, static_cast<int>(kKeyTableSize)) << "only profile 2's table";
  size_t bracketEnd = lineOf(kCmdEndConfig), infoWrite = lineOf(kCmdWriteInfoBlock);
  ASSERT_LT(bracketEnd, trace.size());
  ASSERT_LT(infoWrite, trace.size());
  EXPECT_LT(bracketEnd, infoWrite) << "the key-table bracket closes before the switch";
  EXPECT_FALSE(mainApplyEnabled());
  EXPECT_EQ(tooltip(keyA), L"A") << "profile 1 has A as it was";
  shot("profiles_saved_and_switched");
}

TEST_F(ProfilesE2e, YesThatCannotWriteKeepsTheProfileAndTheChange) {
  Running& app = startLoaded();
  const int keyA = KEY_01E.id;
  ASSERT_TRUE(assignKey(keyA, "b", L"B"));
  clickControl(mainItem(FUNC_PROFILE2.id));
  HWND box = waitMessageBox();
  ASSERT_NE(box, nullptr) << "no save prompt";
  // The keyboard opens the configuration bracket, then refuses one write:
  // the change is not stored, and the keyboard would take a switch.
  ASSERT_EQ(app.sim("fault status FF 3"), "OK\n");
  ASSERT_EQ(app.sim("fault after 1"), "OK\n");
  clickControl(GetDlgItem(box, IDYES));
  ASSERT_TRUE(waitFor([&] { return !IsWindow(box); }, 3000));
  // Whatever the failed write has to say is answered.
  for (HWND more = nullptr; (more = waitMessageBox()) != nullptr;) {
    std::printf("[ note ] message after the failed write: %s\n", utf8(messageBoxText(more)).c_str());
    clickCentre(GetDlgItem(more, IDOK) ? GetDlgItem(more, IDOK) : GetDlgItem(more, IDCANCEL));
    waitFor([&] { return !IsWindow(more); }, 3000);
  }
  ASSERT_EQ(app.sim("fault clear"), "OK\n");
  EXPECT_TRUE(holdsFor([&] { return activeProfileOnKeyboard() == 0; }, 1000)) << "the profile was left";
  EXPECT_TRUE(mainApplyEnabled()) << "the change is still waiting to be applied";
  EXPECT_EQ(tooltip(keyA), L"AKeys, Set: Key(B)");
  auto looks = profileButtonLooks();
  shot("profiles_yes_not_written");
  // Once the keyboard answers again, the change goes through and the switch
  // follows.
  clickControl(mainItem(FUNC_PROFILE2.id));
  box = waitMessageBox();
  ASSERT_NE(box, nullptr) << "no save prompt";
  clickControl(GetDlgItem(box, IDYES));
  EXPECT_TRUE(waitFor([&] { return activeProfileOnKeyboard() == 1; }, 8000));
  EXPECT_FALSE(mainApplyEnabled());
  EXPECT_NE(profileButtonLooks(), looks);
}

// ---- the keyboard's own switch ------------------------------------------------------------------------

TEST_F(ProfilesE2e, ProfileChangedOnTheKeyboardShowsOnTheButtons) {
  Running& app = startLoaded();
  auto before = profileButtonLooks();
  ASSERT_EQ(app.sim("event 0402 2"), "OK\n");
  ASSERT_EQ(activeProfileOnKeyboard(), 2);
  std::vector<std::vector<COLORREF>> after;
  EXPECT_TRUE(waitFor([&] {
    after = profileButtonLooks();
    return after[2] != before[2];
  }, 5000)) << "Profile 3 does not show set";
  EXPECT_NE(after[0], before[0]) << "Profile 1 still shows set";
  EXPECT_EQ(after[1], before[1]);
  EXPECT_EQ(controlText(mainItem(FUNC_PROFILES.id)), L"$Profile0");
  shot("profiles_keyboard_switched_to_3");

  // The buttons now take the keyboard's profile as the active one: Profile 3
  // sends no switch, Profile 1 does.
  clearTrace();
  clickControl(mainItem(FUNC_PROFILE3.id));
  Sleep(500);
  EXPECT_TRUE(traced(kCmdWriteInfoBlock).empty());
  clickControl(mainItem(FUNC_PROFILE1.id));
  EXPECT_TRUE(waitFor([&] { return activeProfileOnKeyboard() == 0; }, 5000));
}

// ---- the profile manager ---------------------------------------------------------------------------------

class ProfileManagerE2e : public ProfilesE2e {
 protected:
  HWND openManager() {
    clickControl(mainItem(FUNC_PROFILES.id));
    HWND m = nullptr;
    waitFor([&] { return (m = dialogWith(IDC_PROFILE_PROGRAM_LIST)) != nullptr; }, 5000);
    if (m) waitClickable(m);
    return m;
  }
  HWND list(HWND m) const { return GetDlgItem(m, IDC_PROFILE_PROGRAM_LIST); }
  int rows(HWND m) const { return static_cast<int>(SendMessageW(list(m), LVM_GETITEMCOUNT, 0, 0)); }
  std::vector<int> markedRows(HWND m) const {
    std::vector<int> marked;
    for (int r = 0; r < rows(m); ++r)
      if (((SendMessageW(list(m), LVM_GETITEMSTATE, r, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >> 12) == 2)
        marked.push_back(r);
    return marked;
  }
  std::wstring cell(HWND m, int row, int column) const { return listItemText(app_->process(), list(m), row, column); }
  bool applyEnabled(HWND m) const { return IsWindowEnabled(GetDlgItem(m, IDC_PROFILE_CONTROL2_APPLY)) != FALSE; }
  // A real click on a row: on its name, or on its mark.
  void clickRow(HWND m, int row, bool onMark) {
    RECT bounds = listItemRect(app_->process(), list(m), row, LVIR_BOUNDS);
    RECT icon = listItemRect(app_->process(), list(m), row, LVIR_ICON);
    ASSERT_LT(bounds.top, bounds.bottom) << "no row " << row;
    int y = (bounds.top + bounds.bottom) / 2;
    click(onMark ? icon.left - 8 : bounds.left + 60 + 40, y);  // the mark lies left of the icon's place
  }
};


TEST_F(ProfileManagerE2e, ListsTheOnBoardProfilesAndMakesTheMarkedOneActive) {
  Running& app = startLoaded();
  auto before = profileButtonLooks();
  HWND m = openManager();
  ASSERT_NE(m, nullptr) << "no profile manager";
  ASSERT_EQ(rows(m), 3);
  EXPECT_EQ(markedRows(m), std::vector<int>{0}) << "the active profile's row";
  std::wstring folder = install_.documentsFolder() + L"\\Korvalin\\";
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(cell(m, r, 1), L"$Profile0") << r;
    EXPECT_EQ(cell(m, r, 2), folder) << r;
  }
  EXPECT_FALSE(applyEnabled(m));
  EXPECT_FALSE(IsWindowEnabled(main())) << "the manager is modal";
  ASSERT_NE(GetDlgItem(m, IDC_PROFILE_FUNC_TEST), nullptr);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(m, IDC_PROFILE_FUNC_TEST))) << "the Test button shows";
  pointerAway();
  shot("profile_manager");

  clickRow(m, 1, true);
  EXPECT_TRUE(waitFor([&] { return markedRows(m) == std::vector<int>{1}; }, 3000)) << "one mark in the list";
  EXPECT_TRUE(applyEnabled(m));
  clearTrace();
  clickControl(GetDlgItem(m, IDC_PROFILE_CONTROL2_APPLY));
  EXPECT_TRUE(waitFor([&] { return activeProfileOnKeyboard() == 1; }, 5000));
  EXPECT_TRUE(waitFor([&] { return !applyEnabled(m); }, 3000));
  EXPECT_EQ(profileSetting(L"PROFILE00"), L"3");
  EXPECT_EQ(profileSetting(L"PROFILE02"), folder + L"$Profile0.kvp");
  EXPECT_EQ(traced(kCmdWriteInfoBlock).size(), 1u);
  EXPECT_EQ(markedRows(m), std::vector<int>{1});
  shot("profile_manager_applied");

  // F1 opens the help page, in a stand-in browser that logs it.
  std::wstring log = install_.path(L"browser.log");
  ASSERT_NO_FATAL_FAILURE(standInBrowser(log));
  pressKey("F1");
  auto logged = [&] { return readFileText(log); };
  EXPECT_TRUE(waitFor([&] { return logged().find("Help/index.html") != std::string::npos; }, 10000)) << logged();
  EXPECT_NE(dialogWith(IDC_PROFILE_PROGRAM_LIST), nullptr) << "F1 closed the manager";

  clickControl(GetDlgItem(m, IDC_PROFILE_CONTROL_CANCEL));
  ASSERT_TRUE(waitFor([&] { return dialogWith(IDC_PROFILE_PROGRAM_LIST) == nullptr; }, 5000));
  auto after = profileButtonLooks();
  EXPECT_NE(after[0], before[0]);
  EXPECT_NE(after[1], before[1]) << "Profile 2 shows set in the main window";
  EXPECT_EQ(after[2], before[2]);
  (void)app;
}

TEST_F(ProfileManagerE2e, NewLoadDeleteAndApplyingNoRows) {
  startLoaded();
  HWND m = openManager();
  ASSERT_NE(m, nullptr) << "no profile manager";

  // New: a default profile file through the save dialog.
  clickControl(GetDlgItem(m, IDC_PROFILE_FUNC_ADD));
  HWND save = fileDialog();
  ASSERT_NE(save, nullptr) << "no save dialog";
  std::wstring initial = controlText(fileNameField(save));
  EXPECT_NE(initial.find(L"The new contextual  mode"), std::wstring::npos) << utf8(initial);
  shot("profile_manager_new");
  std::wstring fresh = documentsFile(L"Korvalin\\fresh.kvp");
  ASSERT_TRUE(enterFileName(save, fresh));
  ASSERT_TRUE(waitFor([&] { return rows(m) == 4; }, 5000));
  EXPECT_EQ(cell(m, 3, 1), L"fresh");
  std::string out;
  EXPECT_EQ(runBesideTests(L"korvalinctl.exe", L"file check \"" + fresh + L"\"", &out), 0) << out;
  EXPECT_TRUE(applyEnabled(m));

  // Load: any file is listed, and nothing reads it.
  std::wstring notes = documentsFile(L"notes.txt");
  {
    std::ofstream f(std::filesystem::path(notes), std::ios::binary);
    f << "not a profile file";
  }
  clickControl(GetDlgItem(m, IDC_PROFILE_FUNC_LOAD));
  HWND open = fileDialog();
  ASSERT_NE(open, nullptr) << "no open dialog";
  ASSERT_TRUE(enterFileName(open, notes));
  ASSERT_TRUE(waitFor([&] { return rows(m) == 5; }, 5000));
  EXPECT_EQ(cell(m, 4, 1), L"notes");
  EXPECT_EQ(cell(m, 4, 2), install_.documentsFolder() + L"\\");
  EXPECT_TRUE(holdsFor([&] { return waitMessageBox() == nullptr; }, 300)) << "the file was read";
  pointerAway();
  shot("profile_manager_rows");

  // Delete every row, on-board ones included, and apply: only the count is
  // stored and no profile changes.
  while (rows(m) > 0) {
    int n = rows(m);
    clickRow(m, 0, false);
    clickControl(GetDlgItem(m, IDC_PROFILE_FUNC_DELETE));
    ASSERT_TRUE(waitFor([&] { return rows(m) == n - 1; }, 3000)) << "row " << n << " not deleted";
  }
  clearTrace();
  clickControl(GetDlgItem(m, IDC_PROFILE_CONTROL2_APPLY));
  EXPECT_TRUE(waitFor([&] { return profileSetting(L"PROFILE00") == L"0"; }, 5000)) << utf8(profileSetting(L"PROFILE00"));
  EXPECT_EQ(profileSetting(L"PROFILE01"), L"(none)");
  EXPECT_TRUE(traced(kCmdWriteInfoBlock).empty());
  EXPECT_EQ(activeProfileOnKeyboard(), 0);
  shot("profile_manager_empty");
  clickControl(GetDlgItem(m, IDC_PROFILE_CONTROL_OK));
  EXPECT_TRUE(waitFor([&] { return dialogWith(IDC_PROFILE_PROGRAM_LIST) == nullptr; }, 5000));
  EXPECT_TRUE(IsWindowEnabled(main()));
}

TEST_F(ProfileManagerE2e, ClosingTheProgramClosesAnOpenManagerFirst) {
  startLoaded();
  HWND m = openManager();
  ASSERT_NE(m, nullptr) << "no profile manager";
  HWND mainWindow = main();
  ASSERT_TRUE(PostMessageW(mainWindow, kMsgKill, kTagKill, 0));  // as a second start sends it
  EXPECT_TRUE(closesBefore(m, mainWindow)) << "the manager outlived the main window";
  EXPECT_EQ(app_->waitExit(15000), 0u) << "the program did not end";
}

}  // namespace
}  // namespace kv::e2e
