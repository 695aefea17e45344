// Korvalin.exe as a user meets it: start-up with and without the keyboard,
// the notification-area icon and its menu, a second start, "/Kill", start-up
// failures, the About box, the taskbar coming back, dragging the window and
// the help page.
#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "tests/e2e/korvalin_fixture_win32.h"

namespace kv::e2e {
namespace {

const wchar_t kMutexName[] = L"Korvalin_Mutex_RV304 104key";
const wchar_t kNoDeviceText[] = L"Device is not detected\xFF0Cthe key settings can not be displayed! ";
const wchar_t kMainTitle[] = L"Gaming Keyboard Settings";
const wchar_t kAboutTitle[] = L"About Korvalin";

// The menu items of the tray icon's menu, top to bottom.
enum TrayItem { kOpen = 0, kAbout = 1, kExit = 2 };
constexpr int kTrayItemCount = 3;

bool kernelObjectExists(const wchar_t* kind, const wchar_t* name) {
  HANDLE h = kind[0] == L'm' ? OpenMutexW(SYNCHRONIZE, FALSE, name) : OpenEventW(SYNCHRONIZE, FALSE, name);
  if (!h) return false;
  CloseHandle(h);
  return true;
}

// Every key table read from the keyboard starts a profile's table at its
// address: which profiles were read.
std::vector<int> profilesRead(const std::vector<std::string>& trace) {
  const int table = static_cast<int>(kKeyTableSize);
  std::vector<int> profiles;
  for (auto [address, length] : tracedCommands(trace, kCmdReadKeyTable))
    if (address % table == 0 && length > 0) profiles.push_back(address / table);
  std::sort(profiles.begin(), profiles.end());
  profiles.erase(std::unique(profiles.begin(), profiles.end()), profiles.end());
  return profiles;
}

// The fixture with the notification-area icon and its menu.
class KorvalinE2e : public KorvalinFixture {
 protected:
  HWND onlyTrayIcon() {
    auto icons = trayIconWindows();
    return icons.size() == 1 ? icons.front() : nullptr;
  }

  // A real right click on the tray icon; returns the menu it opens.
  HWND openTrayMenu() {
    HWND icon = onlyTrayIcon();
    if (!icon || !waitClickable(icon)) return nullptr;
    POINT c = centreOf(icon);
    click(c.x, c.y, 3);
    HWND menu = nullptr;
    waitFor([&] { return (menu = findVisible(L"#32768")) != nullptr; }, 5000);
    return menu;
  }
  // A real click on an item of the open tray menu (three items of one height).
  void chooseTrayItem(HWND menu, TrayItem item) {
    waitClickable(menu);
    RECT r{};
    GetWindowRect(menu, &r);
    int h = r.bottom - r.top;
    click((r.left + r.right) / 2, r.top + h * (2 * item + 1) / (2 * kTrayItemCount));
  }
  bool chooseFromTray(TrayItem item) {
    HWND menu = openTrayMenu();
    if (!menu) return false;
    chooseTrayItem(menu, item);
    return waitFor([&] { return !IsWindow(menu) || !IsWindowVisible(menu); }, 5000);
  }
};

// ---- start-up ---------------------------------------------------------------------------------

TEST_F(KorvalinE2e, StartWithKeyboardShowsWindowAndConnectedIcon) {
  Running& app = start();
  ASSERT_NE(main(), nullptr);
  ASSERT_TRUE(waitFor([&] { return mainVisible(); })) << "the window did not show";
  EXPECT_TRUE(waitTrayIcon(IDI_KEYBOARD)) << "tray icon " << trayIcon();
  EXPECT_EQ(trayIconWindows().size(), 1u);

  WindowInfo w = describe(main());
  EXPECT_EQ(w.text, kMainTitle);
  // Shown on request: a taskbar button, no tool window.
  EXPECT_TRUE(w.exStyle & WS_EX_APPWINDOW);
  EXPECT_FALSE(w.exStyle & WS_EX_TOOLWINDOW);
  EXPECT_GT(w.rect.right - w.rect.left, 600);
  EXPECT_TRUE(waitFor([&] { return GetForegroundWindow() == main(); }, 3000)) << "not brought to the foreground";

  EXPECT_TRUE(kernelObjectExists(L"mutex", kMutexName));
  EXPECT_TRUE(kernelObjectExists(L"event", L"Korvalin_Event_Main_01"));
  EXPECT_TRUE(kernelObjectExists(L"event", L"Korvalin_Event_Main_208"));
  EXPECT_FALSE(kernelObjectExists(L"event", L"Korvalin_Event_Main_209"));

  // The keyboard was read: its factory table and every profile's key table,
  // cached in this user's own Documents folder.
  auto trace = app.trace();
  EXPECT_FALSE(tracedCommands(trace, kCmdReadDefaultKeyTable).empty());
  EXPECT_EQ(profilesRead(trace), (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(waitFor([&] {
    return GetFileAttributesW((install_.documentsFolder() + L"\\Korvalin\\$Profile0").c_str()) !=
           INVALID_FILE_ATTRIBUTES;
  }, 3000));
  shot("start_attached");
}

TEST_F(KorvalinE2e, StartOptionStaysHiddenWithConnectedIconUntilOpened) {
  start(L"/Start");
  ASSERT_NE(main(), nullptr);
  EXPECT_TRUE(waitTrayIcon(IDI_KEYBOARD)) << "tray icon " << trayIcon();
  EXPECT_TRUE(holdsFor([&] { return !mainVisible(); }, 1000)) << "the window showed by itself";
  WindowInfo w = describe(main());
  EXPECT_TRUE(w.exStyle & WS_EX_TOOLWINDOW) << "no taskbar button while hidden";
  shot("start_option_hidden");

  // A real double click on the tray icon opens it.
  HWND icon = onlyTrayIcon();
  ASSERT_NE(icon, nullptr);
  ASSERT_TRUE(waitClickable(icon));
  POINT c = centreOf(icon);
  doubleClick(c.x, c.y);
  EXPECT_TRUE(waitFor([&] { return mainVisible(); }, 5000)) << "the double click did not open the window";
  EXPECT_TRUE(describe(main()).exStyle & WS_EX_APPWINDOW);
  shot("start_option_opened");
}

TEST_F(KorvalinE2e, KillWithNoOtherInstanceStartsNormally) {
  start(L"/kill");
  ASSERT_NE(main(), nullptr);
  EXPECT_TRUE(waitFor([&] { return mainVisible(); }));
  EXPECT_TRUE(app_->alive());
}

TEST_F(KorvalinE2e, NoKeyboardStaysHiddenAndOpenFromTrayExplains) {
  withoutKeyboard();
  start();
  ASSERT_NE(main(), nullptr);
  EXPECT_TRUE(waitTrayIcon(IDI_NO_KEYBOARD)) << "tray icon " << trayIcon();
  EXPECT_TRUE(holdsFor([&] { return !mainVisible(); }, 800)) << "the window showed without a keyboard";

  // Right click on the icon, then its first item, Open.
  ASSERT_TRUE(chooseFromTray(kOpen)) << "no tray menu";
  HWND box = waitMessageBox();
  ASSERT_NE(box, nullptr) << "no message box";
  EXPECT_EQ(messageBoxText(box), kNoDeviceText);  // the trailing blank included
  EXPECT_EQ(describe(box).text, L"");
  EXPECT_FALSE(mainVisible());
  shot("no_keyboard_open");

  HWND ok = GetDlgItem(box, IDOK);
  ASSERT_NE(ok, nullptr);
  ASSERT_TRUE(waitClickable(ok));
  POINT c = centreOf(ok);
  click(c.x, c.y);
  EXPECT_TRUE(waitFor([&] { return !IsWindow(box); }, 5000));
  EXPECT_TRUE(holdsFor([&] { return !mainVisible(); }, 300));
  EXPECT_TRUE(app_->alive());
}

TEST_F(KorvalinE2e, HidLibraryWithoutKeyboardStartsHiddenWithTheNoKeyboardIcon) {
  // The package's library, the real HID transport, where Wine has no keyboard.
  ASSERT_TRUE(install_.useLibrary(L"hid\\Tessaro.dll"));
  Running& app = start();
  ASSERT_NE(main(), nullptr);
  EXPECT_TRUE(waitTrayIcon(IDI_NO_KEYBOARD)) << "tray icon " << trayIcon();
  EXPECT_TRUE(holdsFor([&] { return !mainVisible(); }, 800)) << "the window showed without a keyboard";
  EXPECT_TRUE(app.alive());
  // Nothing of the simulated keyboard: no control pipe, no state file.
  EXPECT_EQ(app.sim("status"), "");
  EXPECT_FALSE(install_.exists(L"Tessaro.state"));
  shot("hid_library_no_keyboard");
}

// ---- the keyboard coming and going ---------------------------------------------------------------

TEST_F(KorvalinE2e, AttachingLaterReloadsWithoutShowing) {
  withoutKeyboard();
  Running& app = start();
  ASSERT_NE(main(), nullptr);
  ASSERT_TRUE(waitTrayIcon(IDI_NO_KEYBOARD)) << "tray icon " << trayIcon();
  EXPECT_TRUE(profilesRead(app.trace()).empty());
  EXPECT_EQ(app.sim("trace clear"), "OK\n");

  EXPECT_EQ(app.sim("plug"), "OK\n");
  EXPECT_TRUE(waitTrayIcon(IDI_KEYBOARD)) << "tray icon " << trayIcon();
  EXPECT_TRUE(holdsFor([&] { return !mainVisible(); }, 800)) << "attaching showed the window";
  auto trace = app.trace();
  EXPECT_FALSE(tracedCommands(trace, kCmdReadDefaultKeyTable).empty());
  EXPECT_EQ(profilesRead(trace), (std::vector<int>{0, 1, 2}));
  shot("attach_later");

  // Open now works.
  PostMessageW(main(), kMsgShow, kTagOpen, 0);
  EXPECT_TRUE(waitFor([&] { return mainVisible(); }, 5000));
}

TEST_F(KorvalinE2e, RemovingKeyboardHidesWindowAndShowsNoKeyboardIcon) {
  Running& app = start();
  ASSERT_TRUE(waitFor([&] { return mainVisible(); }));
  ASSERT_TRUE(waitTrayIcon(IDI_KEYBOARD)) << "tray icon " << trayIcon();

  EXPECT_EQ(app.sim("unplug"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return !mainVisible(); }, 5000)) << "the window stayed";
  EXPECT_TRUE(waitTrayIcon(IDI_NO_KEYBOARD)) << "tray icon " << trayIcon();
  EXPECT_TRUE(app.alive());
  shot("unplugged");
}

// ---- single instance --------------------------------------------------------------------------------

TEST_F(KorvalinE2e, SecondStartShowsRunningWindowAndEnds) {
  start(L"/Start");
  ASSERT_NE(main(), nullptr);
  ASSERT_TRUE(waitTrayIcon(IDI_KEYBOARD)) << "tray icon " << trayIcon();
  ASSERT_FALSE(mainVisible());

  auto second = startAnother(L"");
  bool secondShowedWindow = true;
  EXPECT_EQ(second->waitExit(15000, &secondShowedWindow), 0u);
  EXPECT_FALSE(secondShowedWindow);
  EXPECT_TRUE(waitFor([&] { return mainVisible(); }, 5000)) << "the running instance did not show";
  EXPECT_TRUE(app_->alive());
  EXPECT_EQ(trayIconWindows().size(), 1u);
  shot("second_start");
}

TEST_F(KorvalinE2e, KillInCapitalsEndsRunningInstance) {
  start();
  ASSERT_TRUE(waitFor([&] { return mainVisible(); }));
  ASSERT_TRUE(waitTrayIcon(IDI_KEYBOARD));

  auto killer = startAnother(L"/KILL");
  bool killerShowedWindow = true;
  EXPECT_EQ(killer->waitExit(15000, &killerShowedWindow), 0u);
  EXPECT_FALSE(killerShowedWindow);
  EXPECT_EQ(app_->waitExit(15000), 0u) << "the running instance did not end";
  EXPECT_TRUE(trayIconWindows().empty()) << "the tray icon stayed";
  EXPECT_FALSE(kernelObjectExists(L"mutex", kMutexName));
  shot("kill");
}

// ---- start-up failures -----------------------------------------------------------------------------------

struct StartFailure {
  const char* name;
  const wchar_t* missing;
  DWORD exitCode;
};

class KorvalinStartFailure : public KorvalinE2e, public ::testing::WithParamInterface<StartFailure> {};

TEST_P(KorvalinStartFailure, EndsWithItsCodeAndNoWindow) {
  const StartFailure& f = GetParam();
  ASSERT_TRUE(install_.remove(f.missing));
  Running app(install_.start());
  ASSERT_TRUE(app.started());
  bool sawWindow = true;
  EXPECT_EQ(app.waitExit(15000, &sawWindow), f.exitCode);
  EXPECT_FALSE(sawWindow);
  EXPECT_TRUE(trayIconWindows().empty());
  EXPECT_FALSE(kernelObjectExists(L"mutex", kMutexName));
  shot(std::string("missing_") + f.name);
}

INSTANTIATE_TEST_SUITE_P(Missing, KorvalinStartFailure,
                         ::testing::Values(StartFailure{"transport_library", L"Tessaro.dll", kExitTransportLibraryMissing},
                                           StartFailure{"skin_background", L"Skins\\main_bg.jpg", kExitSkinPictureOpen}),
                         [](const auto& param) { return std::string(param.param.name); });

// A skin whose entries put Close off the window and another button over all
// of it: the program starts, those two are left out (1x1 at 1,1, disabled)
// and the rest of the window works.
TEST_F(KorvalinE2e, PlacementsOutsideTheWindowLeaveItUsable) {
  const std::wstring skin = install_.path(L"Skins\\Main.ini");
  ASSERT_TRUE(WritePrivateProfileStringW(L"BUTTONINFO", L"CONTROL_CLOSE", L"5000,14,32,28", skin.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"BUTTONINFO", L"FUNC_DEFAULT", L"0,0,100000,100000", skin.c_str()));
  start();
  ASSERT_TRUE(waitFor([&] { return mainVisible(); })) << "the window did not show";
  auto box = [&](int id) {
    RECT r{};
    HWND h = GetDlgItem(main(), id);
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, main(), reinterpret_cast<POINT*>(&r), 2);
    return std::array<LONG, 4>{r.left, r.top, r.right - r.left, r.bottom - r.top};
  };
  constexpr int kClose = IDC_MAIN_CONTROL_CLOSE, kDefault = IDC_MAIN_FUNC_DEFAULT, kHelp = IDC_MAIN_CONTROL_HELP;
  for (int id : {kClose, kDefault}) {
    EXPECT_EQ(box(id), (std::array<LONG, 4>{1, 1, 1, 1})) << id;
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main(), id))) << id;
  }
  EXPECT_EQ(box(kHelp), (std::array<LONG, 4>{1012, 14, 32, 28}));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(main(), kHelp)));
  // The other buttons are where a click reaches them.
  EXPECT_TRUE(waitClickable(GetDlgItem(main(), kHelp)));
  EXPECT_TRUE(waitTrayIcon(IDI_KEYBOARD)) << "tray icon " << trayIcon();
  shot("placement_outside_window");
  EXPECT_TRUE(app_->alive());
}

// ---- private messages ------------------------------------------------------------------------------------

TEST_F(KorvalinE2e, MessagesWithAnotherTagDoNothing) {
  start(L"/Start");
  ASSERT_NE(main(), nullptr);
  ASSERT_TRUE(waitTrayIcon(IDI_KEYBOARD));
  ASSERT_FALSE(mainVisible());

  struct Case {
    UINT msg;
    WPARAM tag;
  };
  const Case cases[] = {
      {kMsgShow, 0},          {kMsgShow, 0x6F70656E /* "open" */}, {kMsgShow, 0x4E45504F /* bytes reversed */},
      {kMsgShow, kTagKill},   {kMsgShow, kTagOpen + 1},            {kMsgKill, 0},
      {kMsgKill, kTagOpen},   {kMsgKill, 0x6B696C6C /* "kill" */},
  };
  for (const Case& c : cases) {
    DWORD_PTR result = 1;
    // Sent, not posted: when it returns, the handler has run.
    ASSERT_NE(SendMessageTimeoutW(main(), c.msg, c.tag, 0, SMTO_NORMAL, 5000, &result), 0);
    EXPECT_EQ(result, 0u);
    EXPECT_FALSE(mainVisible()) << std::hex << c.msg << " " << c.tag;
    EXPECT_TRUE(app_->alive()) << std::hex << c.msg << " " << c.tag;
  }
  EXPECT_TRUE(holdsFor([&] { return !mainVisible() && app_->alive(); }, 300));
  shot("wrong_tag");

  // The right tag does show it.
  PostMessageW(main(), kMsgShow, kTagOpen, 0);
  EXPECT_TRUE(waitFor([&] { return mainVisible(); }, 5000));
}

// ---- the tray menu and the About box ---------------------------------------------------------------------

TEST_F(KorvalinE2e, ExitWhileAboutIsOpenClosesItAndEnds) {
  start(L"/Start");
  ASSERT_NE(main(), nullptr);
  ASSERT_TRUE(waitTrayIcon(IDI_KEYBOARD));

  ASSERT_TRUE(chooseFromTray(kAbout)) << "no tray menu";
  HWND about = nullptr;
  ASSERT_TRUE(waitFor([&] { return (about = findVisible(L"#32770", kAboutTitle)) != nullptr; }, 5000))
      << "no About box";
  EXPECT_FALSE(mainVisible());
  // The version label's text, which carries the project version.
  wchar_t version[64] = {};
  GetDlgItemTextW(about, IDC_ABOUT_VERSION, version, 64);
  const std::wstring want = L" " KV_PROJECT_VERSION;
  std::wstring shown = version;
  EXPECT_TRUE(shown.size() > want.size() && shown.ends_with(want)) << "About box version text: " << shown;
  shot("about_open");

  HWND mainWindow = main();
  ASSERT_TRUE(chooseFromTray(kExit)) << "no tray menu";
  // The About box goes while the main window still exists (its shutdown
  // goes on to remove the tray icon, which takes Wine's tray a while).
  EXPECT_TRUE(closesBefore(about, mainWindow)) << "the About box outlived the main window";
  EXPECT_EQ(app_->waitExit(15000), 0u) << "the program did not end";
  EXPECT_FALSE(IsWindow(about));
  EXPECT_TRUE(trayIconWindows().empty()) << "the tray icon stayed";
}

TEST_F(KorvalinE2e, TaskbarCreatedBringsTrayIconBack) {
  start(L"/Start");
  ASSERT_NE(main(), nullptr);
  ASSERT_TRUE(waitTrayIcon(IDI_KEYBOARD));
  UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  ASSERT_NE(taskbarCreated, 0u);

  // The shell restarting loses every icon, then announces the new taskbar.
  ASSERT_TRUE(deleteTrayIcon(main(), ID_TRAY_ICON));
  ASSERT_TRUE(waitFor([&] { return trayIconWindows().empty(); }, 5000));
  SendNotifyMessageW(HWND_BROADCAST, taskbarCreated, 0, 0);
  EXPECT_TRUE(waitTrayIcon(IDI_KEYBOARD)) << "tray icon " << trayIcon();

  // Announced again while the icon is there: still one icon.
  SendNotifyMessageW(HWND_BROADCAST, taskbarCreated, 0, 0);
  EXPECT_TRUE(holdsFor([&] { return trayIconWindows().size() == 1; }, 800));
  EXPECT_EQ(trayIcon(), IDI_KEYBOARD);
  shot("taskbar_created");

  // The icon that came back still answers.
  ASSERT_TRUE(chooseFromTray(kOpen));
  EXPECT_TRUE(waitFor([&] { return mainVisible(); }, 5000));
}

// ---- the window itself ------------------------------------------------------------------------------------

TEST_F(KorvalinE2e, WindowDragsByItsBackground) {
  start();
  ASSERT_TRUE(waitFor([&] { return mainVisible(); }));
  HWND w = main();

  // An empty spot of the background near the top edge: no control there,
  // inside the window's outline. Found once the window has settled where
  // it shows.
  RECT before{};
  POINT screenSpot{-1, -1};
  ASSERT_TRUE(waitFor([&] {
    RECT now = describe(w).rect;
    bool settled = EqualRect(&now, &before) != FALSE;
    before = now;
    screenSpot = {-1, -1};
    for (int x = 300; x < 900 && screenSpot.x < 0; x += 10) {
      POINT client{x, 24};
      if (ChildWindowFromPointEx(w, client, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT) != w) continue;
      POINT p = client;
      ClientToScreen(w, &p);
      if (WindowFromPoint(p) == w) screenSpot = p;
    }
    return settled && screenSpot.x >= 0;
  }, 5000, 100)) << "no empty background spot";

  constexpr int kDx = 130, kDy = 90;
  drag(screenSpot.x, screenSpot.y, screenSpot.x + kDx, screenSpot.y + kDy);
  EXPECT_TRUE(waitFor([&] {
    RECT r = describe(w).rect;
    return r.left == before.left + kDx && r.top == before.top + kDy;
  }, 5000)) << "moved to " << describe(w).rect.left << "," << describe(w).rect.top << " from " << before.left << ","
            << before.top;
  RECT after = describe(w).rect;
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
  EXPECT_TRUE(mainVisible());
  shot("dragged");
}

// ---- help ------------------------------------------------------------------------------------------------

TEST_F(KorvalinE2e, HelpButtonAndF1OpenTheHelpPage) {
  // The page goes to a stand-in browser, which logs what it was given.
  std::wstring log = install_.path(L"browser.log");
  ASSERT_NO_FATAL_FAILURE(standInBrowser(log));

  start();
  ASSERT_TRUE(waitFor([&] { return mainVisible(); }));
  auto opened = [&] { return readFileText(log).find("Help/index.html") != std::string::npos; };

  HWND help = GetDlgItem(main(), IDC_MAIN_CONTROL_HELP);
  ASSERT_NE(help, nullptr);
  ASSERT_TRUE(waitClickable(help));
  POINT c = centreOf(help);
  click(c.x, c.y);
  EXPECT_TRUE(waitFor(opened, 10000)) << "the help button opened: " << readFileText(log);
  std::string page = readFileText(log);
  std::wstring folder = unixPath(install_.programFolder());
  EXPECT_NE(page.find(std::string(folder.begin(), folder.end())), std::string::npos) << page;
  shot("help");

  // F1 on the window does the same.
  DeleteFileW(log.c_str());
  pressKey("F1");
  EXPECT_TRUE(waitFor(opened, 10000)) << "F1 opened: " << readFileText(log);
  EXPECT_TRUE(app_->alive());
}

}  // namespace
}  // namespace kv::e2e
