// Korvalin.exe as a user meets it: start-up with and without the keyboard,
// the notification-area icon and its menu, a second start, "/Kill", start-up
// failures, the About box, the taskbar coming back and dragging the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "resources/control_ids.h"
#include "app/text_table.h"
#include "app/wide_win32.h"
#include "tests/e2e/harness_win32.h"

namespace kv::e2e {
namespace {

constexpr UINT kMsgShow = 0x5350;
constexpr WPARAM kTagOpen = 0x4F50454E;  // "OPEN"
constexpr UINT kMsgKill = 0x4D4B;
constexpr WPARAM kTagKill = 0x4C4C494B;  // "KILL"
constexpr int kIconNoKeyboard = IDI_NO_KEYBOARD, kIconKeyboard = IDI_KEYBOARD;
constexpr int kCmdReadKeyTable = 0x07, kCmdReadDefaultKeyTable = 0x0F;
constexpr int kKeyTableSize = 324;
const wchar_t kImportFailedText[] = L"File format error, import failed! ";

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
  std::vector<int> profiles;
  for (auto [address, length] : tracedCommands(trace, kCmdReadKeyTable))
    if (address % kKeyTableSize == 0 && length > 0) profiles.push_back(address / kKeyTableSize);
  std::sort(profiles.begin(), profiles.end());
  profiles.erase(std::unique(profiles.begin(), profiles.end()), profiles.end());
  return profiles;
}

class KorvalinE2e : public ::testing::Test {
 protected:
  void SetUp() override { keepTrayUncovered(); }

  // Starts the program and waits for its main window.
  Running& start(const std::wstring& arguments = L"") {
    app_ = std::make_unique<Running>(install_.start(arguments));
    EXPECT_TRUE(app_->started());
    app_->waitMainWindow();
    return *app_;
  }
  std::unique_ptr<Running> startAnother(const std::wstring& arguments) {
    auto other = std::make_unique<Running>(install_.start(arguments));
    EXPECT_TRUE(other->started());
    return other;
  }
  void withoutKeyboard() { install_.setEnv(L"KORVALIN_SIM_ATTACHED", L"0"); }

  HWND main() const { return app_ ? app_->mainWindow() : nullptr; }
  bool mainVisible() const { return app_ && app_->mainVisible(); }

  int trayIcon() {
    keepTrayUncovered();
    return trayIconId(install_.exePath());
  }
  bool waitTrayIcon(int id, DWORD timeoutMs = 10000) {
    return waitFor([&] { return trayIcon() == id; }, timeoutMs, 50);
  }
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

  HWND findVisible(const wchar_t* className, const wchar_t* title = nullptr) const {
    for (HWND h : topLevelWindows(app_->pid(), true)) {
      WindowInfo info = describe(h);
      if (info.className == className && (!title || info.text == title)) return h;
    }
    return nullptr;
  }
  HWND waitMessageBox(DWORD timeoutMs = 5000) {
    HWND box = nullptr;
    waitFor([&] { return (box = findVisible(L"#32770")) != nullptr && box != main() && !messageBoxText(box).empty(); },
            timeoutMs);
    return box;
  }

  void shot(const std::string& name) { EXPECT_FALSE(screenshot(name).empty()) << "screenshot " << name; }

  Installation install_;
  std::unique_ptr<Running> app_;
};

// ---- start-up ---------------------------------------------------------------------------------

TEST_F(KorvalinE2e, StartWithKeyboardShowsWindowAndConnectedIcon) {
  Running& app = start();
  ASSERT_NE(main(), nullptr);
  ASSERT_TRUE(waitFor([&] { return mainVisible(); })) << "the window did not show";
  EXPECT_TRUE(waitTrayIcon(kIconKeyboard)) << "tray icon " << trayIcon();
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
  EXPECT_TRUE(waitTrayIcon(kIconKeyboard)) << "tray icon " << trayIcon();
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
  EXPECT_TRUE(waitTrayIcon(kIconNoKeyboard)) << "tray icon " << trayIcon();
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
  EXPECT_TRUE(waitTrayIcon(kIconNoKeyboard)) << "tray icon " << trayIcon();
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
  ASSERT_TRUE(waitTrayIcon(kIconNoKeyboard)) << "tray icon " << trayIcon();
  EXPECT_TRUE(profilesRead(app.trace()).empty());
  EXPECT_EQ(app.sim("trace clear"), "OK\n");

  EXPECT_EQ(app.sim("plug"), "OK\n");
  EXPECT_TRUE(waitTrayIcon(kIconKeyboard)) << "tray icon " << trayIcon();
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
  ASSERT_TRUE(waitTrayIcon(kIconKeyboard)) << "tray icon " << trayIcon();

  EXPECT_EQ(app.sim("unplug"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return !mainVisible(); }, 5000)) << "the window stayed";
  EXPECT_TRUE(waitTrayIcon(kIconNoKeyboard)) << "tray icon " << trayIcon();
  EXPECT_TRUE(app.alive());
  shot("unplugged");
}

// ---- single instance --------------------------------------------------------------------------------

TEST_F(KorvalinE2e, SecondStartShowsRunningWindowAndEnds) {
  start(L"/Start");
  ASSERT_NE(main(), nullptr);
  ASSERT_TRUE(waitTrayIcon(kIconKeyboard)) << "tray icon " << trayIcon();
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
  ASSERT_TRUE(waitTrayIcon(kIconKeyboard));

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
                         ::testing::Values(StartFailure{"transport_library", L"Tessaro.dll", 20},
                                           StartFailure{"skin_background", L"Skins\\main_bg.jpg", 80}),
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
  constexpr int kClose = 1124, kDefault = 1138, kHelp = 1122;
  for (int id : {kClose, kDefault}) {
    EXPECT_EQ(box(id), (std::array<LONG, 4>{1, 1, 1, 1})) << id;
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main(), id))) << id;
  }
  EXPECT_EQ(box(kHelp), (std::array<LONG, 4>{1012, 14, 32, 28}));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(main(), kHelp)));
  // The other buttons are where a click reaches them.
  EXPECT_TRUE(waitClickable(GetDlgItem(main(), kHelp)));
  EXPECT_TRUE(waitTrayIcon(kIconKeyboard)) << "tray icon " << trayIcon();
  shot("placement_outside_window");
  EXPECT_TRUE(app_->alive());
}

// ---- private messages ------------------------------------------------------------------------------------

TEST_F(KorvalinE2e, MessagesWithAnotherTagDoNothing) {
  start(L"/Start");
  ASSERT_NE(main(), nullptr);
  ASSERT_TRUE(waitTrayIcon(kIconKeyboard));
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
  ASSERT_TRUE(waitTrayIcon(kIconKeyboard));

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
  bool aboutFirst = false;
  waitFor([&] {
    if (IsWindow(about)) return false;
    aboutFirst = IsWindow(mainWindow) != FALSE;
    return true;
  }, 10000, 5);
  EXPECT_TRUE(aboutFirst) << "the About box outlived the main window";
  EXPECT_EQ(app_->waitExit(15000), 0u) << "the program did not end";
  EXPECT_FALSE(IsWindow(about));
  EXPECT_TRUE(trayIconWindows().empty()) << "the tray icon stayed";
}

TEST_F(KorvalinE2e, TaskbarCreatedBringsTrayIconBack) {
  start(L"/Start");
  ASSERT_NE(main(), nullptr);
  ASSERT_TRUE(waitTrayIcon(kIconKeyboard));
  UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  ASSERT_NE(taskbarCreated, 0u);

  // The shell restarting loses every icon, then announces the new taskbar.
  ASSERT_TRUE(deleteTrayIcon(main(), kTrayIconUid));
  ASSERT_TRUE(waitFor([&] { return trayIconWindows().empty(); }, 5000));
  SendNotifyMessageW(HWND_BROADCAST, taskbarCreated, 0, 0);
  EXPECT_TRUE(waitTrayIcon(kIconKeyboard)) << "tray icon " << trayIcon();

  // Announced again while the icon is there: still one icon.
  SendNotifyMessageW(HWND_BROADCAST, taskbarCreated, 0, 0);
  EXPECT_TRUE(holdsFor([&] { return trayIconWindows().size() == 1; }, 800));
  EXPECT_EQ(trayIcon(), kIconKeyboard);
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

std::string readFileText(const std::wstring& path) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return "";
  std::string text(64 * 1024, '\0');
  DWORD got = 0;
  if (!ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr)) return "";
  text.resize(got);
  return text;
}

bool writeFileText(const std::wstring& path, const std::string& text) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

TEST_F(KorvalinE2e, HelpButtonAndF1OpenTheHelpPage) {
  // Wine hands a web page to the programs its registry lists as browsers; a
  // script stands in for the browser and notes what it was given.
  std::wstring log = install_.path(L"browser.log"), script = install_.path(L"browser.sh");
  std::wstring wideLog = unixPath(log);
  std::string unixLog(wideLog.begin(), wideLog.end());
  ASSERT_TRUE(writeFileText(script, "#!/bin/sh\necho \"$@\" >> '" + unixLog + "'\n"));
  ASSERT_EQ(runUnix(L"chmod +x '" + unixPath(script) + L"'"), 0);
  RegistryOverride browsers(L"Software\\Wine\\WineBrowser", L"Browsers", unixPath(script));

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

// ---- a message box while the keyboard talks -------------------------------------------------------

// A profile file whose header is valid but claims a macro the file does not
// hold: the check passes and the load refuses it, so an import shows the
// format error and then the import message.
void writeShortProfileFile(const std::wstring& path) {
  std::vector<uint8_t> bytes(32832, 0);
  const uint8_t header[] = {0x46, 0x44, 0x20, 0x00, 0x03, 0x00, 0x01, 0x00, 0xC0, 0xC0, 0x00, 0x00,
                            0x00, 0x08, 0x01, 0x00};  // file size 32832 + 16512, 2048 entries, 1 macro
  std::copy(std::begin(header), std::end(header), bytes.begin());
  unsigned sum = 0;
  for (int i = 0; i < 31; ++i) sum += bytes[i];
  bytes[31] = static_cast<uint8_t>(sum);
  std::ofstream(std::filesystem::path(path), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// The import's messages come while a G-bank toggle arrives from the
// keyboard. The window's G-bank refresh takes the working configuration's
// lock; were the message box shown under that lock, its message loop would
// run the refresh on the same thread and the program would hang for good.
TEST_F(KorvalinE2e, GBankEventWhileAnImportMessageIsOpen) {
  Running& app = start();
  ASSERT_TRUE(waitFor([&] { return mainVisible(); })) << "the window did not show";
  ASSERT_TRUE(waitTrayIcon(kIconKeyboard));
  std::wstring file = install_.documentsFolder() + L"\\short.kvp";
  writeShortProfileFile(file);

  // Import, as the button menu's entry sends it; the open-file dialog gets
  // the path typed on the keyboard.
  PostMessageW(main(), WM_COMMAND, IDM_IMPORT, 0);
  HWND open = nullptr;
  ASSERT_TRUE(waitFor([&] { return (open = findVisible(L"#32770", L"Open")) != nullptr; }, 10000))
      << "no open-file dialog";
  // The file name box: the one edit among the dialog's descendants.
  HWND name = nullptr;
  ASSERT_TRUE(waitFor([&] {
    name = nullptr;
    EnumChildWindows(open, [](HWND h, LPARAM found) {
      if (describe(h).className == L"Edit" && IsWindowVisible(h)) *reinterpret_cast<HWND*>(found) = h;
      return TRUE;
    }, reinterpret_cast<LPARAM>(&name));
    return name && waitClickable(name, 200);
  }, 5000)) << "no file name box";
  POINT at = centreOf(name);
  click(at.x, at.y);
  pressKey("ctrl+a");
  typeText(file);
  pressKey("Return");

  HWND box = waitMessageBox(10000);
  ASSERT_NE(box, nullptr) << "no format-error message";
  EXPECT_NE(messageBoxText(box).find(L"short.kvp"), std::wstring::npos) << "the format error names the file";
  EXPECT_EQ(app.sim("trace clear"), "OK\n");
  EXPECT_EQ(app.sim("event 02FF"), "OK\n");
  // The bank report goes out from the keyboard's thread; the labels of bank B
  // need the window's own thread, which is inside the message box's loop.
  EXPECT_TRUE(waitFor([&] {
    auto t = app.trace();
    return std::any_of(t.begin(), t.end(), [](const std::string& l) { return l.rfind("LED ", 0) == 0; });
  }, 5000)) << "no bank report";
  HWND g1 = GetDlgItem(main(), IDC_MAIN_FUNC_G1);
  EXPECT_TRUE(waitFor([&] { return describe(g1).text == L"B1"; }, 5000)) << "G1 reads " << describe(g1).text.size();
  shot("gbank_during_message");

  // The box still answers a real click, and the import message follows.
  auto clickOk = [&](HWND b) {
    HWND ok = GetDlgItem(b, IDOK);
    ASSERT_NE(ok, nullptr);
    ASSERT_TRUE(waitClickable(ok));
    POINT c = centreOf(ok);
    click(c.x, c.y);
    EXPECT_TRUE(waitFor([&] { return !IsWindow(b); }, 5000)) << "the message box does not close";
  };
  clickOk(box);
  HWND second = waitMessageBox(5000);
  ASSERT_NE(second, nullptr) << "no import message";
  EXPECT_EQ(messageBoxText(second), kImportFailedText);
  clickOk(second);

  // And the window answers messages again.
  DWORD_PTR answer = 0;
  EXPECT_NE(SendMessageTimeoutW(main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer), 0) << "the window hangs";
  EXPECT_EQ(app.sim("event 02FF"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return describe(g1).text == L"A1"; }, 5000));
  EXPECT_TRUE(app.alive());
}

// ---- remapping a key ------------------------------------------------------------------

constexpr int kCmdBeginConfig = 0x01, kCmdEndConfig = 0x02, kCmdWriteKeyTable = 0x08;

// Where the keyboard keeps a key's record in a profile's table: the position
// of its factory record (02 02 usage) in the factory table.
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

// An edit control's text lives in the control, not in the window's caption
// that other processes read: ask the control.
std::wstring windowText(HWND h) { return controlText(h); }
std::string utf8(const std::wstring& s) { return toUtf8(u16(s)); }

class KeyEditing : public KorvalinE2e {
 protected:
  Running& startShown() {
    Running& app = start();
    EXPECT_TRUE(waitFor([&] { return mainVisible(); })) << "the window did not show";
    EXPECT_TRUE(waitClickable(mainItem(ids::main_dlg::KEY_01E.id)));
    return app;
  }
  HWND mainItem(int id) const { return GetDlgItem(main(), id); }
  // The open composite editor: the program's other skinned dialog with the
  // editor's tab buttons.
  HWND editor() const {
    for (HWND h : topLevelWindows(app_->pid(), true))
      if (h != main() && describe(h).className == L"#32770" && GetDlgItem(h, IDC_COMPOSITE_CONTROL_KEY)) return h;
    return nullptr;
  }
  // Clicks a key button and waits for its editor; prints how long it took
  // from the end of the click to the editor on the screen.
  HWND openEditor(int controlId, const char* label) {
    HWND button = mainItem(controlId);
    if (!button) return nullptr;
    // xdotool runs as a separate process: the click happens somewhere between
    // starting it and its end, so both bounds are printed.
    ULONGLONG started = GetTickCount64();
    clickCentre(button);
    ULONGLONG clicked = GetTickCount64();
    HWND e = nullptr;
    waitFor([&] { return (e = editor()) != nullptr; }, 5000, 2);
    if (e) {
      ULONGLONG shown = GetTickCount64();
      std::printf("[ figure ] editor open (%s): %llu ms after the click ended, %llu ms after it started\n", label,
                  shown - clicked, shown - started);
      waitClickable(e);
    }
    return e;
  }
  HWND editorItem(HWND e, int id) const { return GetDlgItem(e, id); }
  void clickEditor(HWND e, int id) { clickCentre(editorItem(e, id)); }
  bool waitEditorClosed() {
    return waitFor([&] { return editor() == nullptr; }, 5000);
  }
  std::wstring tooltip(int controlId) const { return tooltipOf(app_->process(), GetDlgItem(main(), controlId)); }
  bool mainApplyEnabled() const { return IsWindowEnabled(mainItem(ids::main_dlg::CONTROL2_APPLY.id)) != FALSE; }
  // A key given another through its editor: opened, the key pressed, OK.
  bool assignKey(int controlId, const char* keysym, const wchar_t* keyName) {
    HWND e = openEditor(controlId, "first");
    if (!e) return false;
    pressKey(keysym);
    if (!waitFor([&] { return windowText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)) == keyName; }, 3000)) return false;
    clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
    return waitEditorClosed();
  }
};

TEST_F(KeyEditing, ClickAPressBApplyWritesTheKeyboard) {
  Running& app = startShown();
  const int keyA = ids::main_dlg::KEY_01E.id;
  int recordA = recordOffsetOfUsage(app, "04");
  ASSERT_GE(recordA, 0);
  EXPECT_EQ(keyRecord(app, recordA), "020204");
  EXPECT_EQ(tooltip(keyA), L"A");

  HWND e = openEditor(keyA, "first");
  ASSERT_NE(e, nullptr) << "no editor";
  shot("editor_single_key_open");
  EXPECT_FALSE(IsWindowEnabled(main())) << "the editor is modal";
  EXPECT_FALSE(IsWindowEnabled(editorItem(e, IDC_COMPOSITE_CONTROL2_APPLY)));
  // Beside the key: right and below it when there is room.
  RECT k{}, w{};
  GetWindowRect(mainItem(keyA), &k);
  GetWindowRect(e, &w);
  EXPECT_EQ(w.left, k.right);
  EXPECT_EQ(w.top, k.bottom);

  pressKey("b");
  EXPECT_TRUE(waitFor([&] { return windowText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)) == L"B"; }, 3000))
      << "captured: " << utf8(windowText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)));
  EXPECT_TRUE(IsWindowEnabled(editorItem(e, IDC_COMPOSITE_CONTROL2_APPLY)));
  shot("editor_single_key_captured");
  clickEditor(e, IDC_COMPOSITE_CONTROL2_APPLY);
  EXPECT_TRUE(waitFor([&] { return tooltip(keyA) == L"AKeys, Set: Key(B)"; }, 3000)) << utf8(tooltip(keyA));
  EXPECT_TRUE(mainApplyEnabled());
  EXPECT_EQ(keyRecord(app, recordA), "020204") << "nothing reaches the keyboard before the main Apply";

  clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_TRUE(IsWindowEnabled(main()));
  // A later opening shows the stored key.
  e = openEditor(keyA, "again");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(windowText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)), L"B");
  clickEditor(e, IDC_COMPOSITE_CONTROL_CANCEL);
  ASSERT_TRUE(waitEditorClosed());

  EXPECT_EQ(app.sim("trace clear"), "OK\n");
  ASSERT_TRUE(waitClickable(mainItem(ids::main_dlg::CONTROL2_APPLY.id)));
  clickCentre(mainItem(ids::main_dlg::CONTROL2_APPLY.id));
  EXPECT_TRUE(waitFor([&] { return !tracedCommands(app.trace(), kCmdEndConfig).empty(); }, 5000));
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));
  auto trace = app.trace();
  EXPECT_EQ(tracedCommands(trace, kCmdBeginConfig).size(), 1u) << "one bracket";
  EXPECT_EQ(tracedCommands(trace, kCmdEndConfig).size(), 1u);
  auto writes = tracedCommands(trace, kCmdWriteKeyTable);
  ASSERT_FALSE(writes.empty());
  for (auto [address, length] : writes) EXPECT_LT(address + length, 325) << "only the active profile's table";
  EXPECT_EQ(keyRecord(app, recordA), "020205");
  shot("key_a_sends_b");
}

TEST_F(KeyEditing, CaptureTakesOnePressAndLeavesMediaKeys) {
  startShown();
  HWND e = openEditor(ids::main_dlg::KEY_01E.id, "first");
  ASSERT_NE(e, nullptr);
  HWND field = editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT);
  HWND apply = editorItem(e, IDC_COMPOSITE_CONTROL2_APPLY);
  // Enter and Escape are keys to capture, not the editor's buttons.
  pressKey("Escape");
  EXPECT_TRUE(waitFor([&] { return windowText(field) == L"Esc"; }, 3000)) << utf8(windowText(field));
  pressKey("Return");
  EXPECT_TRUE(waitFor([&] { return windowText(field) == L"Enter"; }, 3000)) << utf8(windowText(field));
  EXPECT_NE(editor(), nullptr) << "Enter closed the editor";

  // A held key is taken once: after an Apply its repeats and its release
  // change nothing, so Apply stays off.
  keyDown("c");
  EXPECT_TRUE(waitFor([&] { return windowText(field) == L"C"; }, 3000)) << utf8(windowText(field));
  clickCentre(apply);
  EXPECT_TRUE(waitFor([&] { return !IsWindowEnabled(apply); }, 3000));
  EXPECT_TRUE(holdsFor([&] { return !IsWindowEnabled(apply); }, 800)) << "a repeat was captured";
  keyUp("c");
  EXPECT_TRUE(holdsFor([&] { return !IsWindowEnabled(apply); }, 300)) << "the release was captured";
  EXPECT_EQ(tooltip(ids::main_dlg::KEY_01E.id), L"AKeys, Set: Key(C)");

  // The Win key never reaches a thread hook: the low-level hook takes it.
  pressKey("Super_L");
  EXPECT_TRUE(waitFor([&] { return windowText(field) == L"Win"; }, 3000)) << utf8(windowText(field));
  pressKey("Print");
  EXPECT_TRUE(waitFor([&] { return windowText(field) == L"PrintScreen"; }, 3000)) << utf8(windowText(field));
  shot("editor_single_key_print_screen");
  // Calculator (0x121) goes on to the system: nothing captured. A letter sent
  // the same way shows the way reaches the editor.
  sendSystemKey('D', 0x20, false);
  EXPECT_TRUE(waitFor([&] { return windowText(field) == L"D"; }, 3000)) << utf8(windowText(field));
  sendSystemKey(VK_LAUNCH_APP2, 0x21, true);
  EXPECT_TRUE(holdsFor([&] { return windowText(field) == L"D"; }, 500)) << utf8(windowText(field));
  clickEditor(e, IDC_COMPOSITE_CONTROL_CANCEL);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_EQ(tooltip(ids::main_dlg::KEY_01E.id), L"AKeys, Set: Key(C)") << "Cancel stores nothing";
  EXPECT_TRUE(IsWindowEnabled(mainItem(ids::main_dlg::CONTROL2_APPLY.id)));
}

TEST_F(KeyEditing, MediaAndFunctionPagesStoreTheirRows) {
  Running& app = startShown();
  const int keyA = ids::main_dlg::KEY_01E.id, keyS = ids::main_dlg::KEY_01F.id;
  int recordA = recordOffsetOfUsage(app, "04"), recordS = recordOffsetOfUsage(app, "16");
  ASSERT_GE(recordA, 0);
  ASSERT_GE(recordS, 0);

  HWND e = openEditor(keyA, "first");
  ASSERT_NE(e, nullptr);
  clickEditor(e, IDC_COMPOSITE_CONTROL_MEDIA);
  HWND media = editorItem(e, IDC_COMPOSITE_FUNC_MEDIA_SELECT);
  ASSERT_TRUE(waitFor([&] { return IsWindowVisible(media) != FALSE; }, 3000));
  EXPECT_FALSE(IsWindowVisible(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)));
  EXPECT_EQ(SendMessageW(media, LB_GETCOUNT, 0, 0), 18);
  for (int i = 0; i < 3; ++i) pressKey("Down");  // the list has the focus
  EXPECT_TRUE(waitFor([&] { return SendMessageW(media, LB_GETCURSEL, 0, 0) == 3; }, 3000));
  shot("editor_media_page");
  clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_EQ(tooltip(keyA).rfind(L"AKeys, Set: Media(", 0), 0u) << utf8(tooltip(keyA));

  e = openEditor(keyS, "again");
  ASSERT_NE(e, nullptr);
  clickEditor(e, IDC_COMPOSITE_CONTROL_FUNCTION);
  HWND functions = editorItem(e, IDC_COMPOSITE_FUNC_FUNCTION_SELECT);
  ASSERT_TRUE(waitFor([&] { return IsWindowVisible(functions) != FALSE; }, 3000));
  EXPECT_EQ(SendMessageW(functions, LB_GETCOUNT, 0, 0), 11);
  for (int i = 0; i < 2; ++i) pressKey("Down");
  EXPECT_TRUE(waitFor([&] { return SendMessageW(functions, LB_GETCURSEL, 0, 0) == 2; }, 3000));
  shot("editor_function_page");
  clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_EQ(tooltip(keyS).rfind(L"SKeys, Set: Function(", 0), 0u) << utf8(tooltip(keyS));

  ASSERT_TRUE(waitClickable(mainItem(ids::main_dlg::CONTROL2_APPLY.id)));
  clickCentre(mainItem(ids::main_dlg::CONTROL2_APPLY.id));
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));
  EXPECT_EQ(keyRecord(app, recordA), "03B600") << "consumer usage 0x00B6, previous track";
  EXPECT_EQ(keyRecord(app, recordS), "050502") << "function key row 2";
}

TEST_F(KeyEditing, ClearAndAKeyAssignedToItselfGiveTheFactoryAction) {
  Running& app = startShown();
  const int keyA = ids::main_dlg::KEY_01E.id, keyS = ids::main_dlg::KEY_01F.id;
  int recordA = recordOffsetOfUsage(app, "04");
  ASSERT_GE(recordA, 0);
  ASSERT_TRUE(assignKey(keyA, "b", L"B"));
  HWND e = nullptr;
  ASSERT_TRUE(waitClickable(mainItem(ids::main_dlg::CONTROL2_APPLY.id)));
  clickCentre(mainItem(ids::main_dlg::CONTROL2_APPLY.id));
  ASSERT_TRUE(waitFor([&] { return keyRecord(app, recordA) == "020205"; }, 5000));

  // Clear: the key field empties, and OK stores the factory action.
  e = openEditor(keyA, "again");
  ASSERT_NE(e, nullptr);
  clickEditor(e, IDC_COMPOSITE_CONTROL_CLEAR);
  EXPECT_TRUE(waitFor([&] { return windowText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)).empty(); }, 3000));
  EXPECT_TRUE(IsWindowEnabled(editorItem(e, IDC_COMPOSITE_CONTROL2_APPLY))) << "a cleared key has a change to apply";
  clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_EQ(tooltip(keyA), L"A");
  ASSERT_TRUE(waitClickable(mainItem(ids::main_dlg::CONTROL2_APPLY.id)));
  clickCentre(mainItem(ids::main_dlg::CONTROL2_APPLY.id));
  EXPECT_TRUE(waitFor([&] { return keyRecord(app, recordA) == "020204"; }, 5000)) << keyRecord(app, recordA);

  // A key given itself keeps its factory action.
  e = openEditor(keyS, "again");
  ASSERT_NE(e, nullptr);
  pressKey("s");
  ASSERT_TRUE(waitFor([&] { return windowText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)) == L"S"; }, 3000));
  clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_EQ(tooltip(keyS), L"S");
}

TEST_F(KeyEditing, GKeysEditTheirBanksSlotsAndG9EditsItsMacro) {
  Running& app = startShown();
  const int g1 = ids::main_dlg::FUNC_G1.id, g9 = ids::main_dlg::FUNC_G9.id;
  ASSERT_TRUE(waitClickable(mainItem(g9))) << "G9 is placed by its own skin entry";
  HWND e = openEditor(g9, "G9");
  ASSERT_NE(e, nullptr);
  for (int id : {IDC_COMPOSITE_CONTROL_KEY, IDC_COMPOSITE_CONTROL_MEDIA, IDC_COMPOSITE_CONTROL_FUNCTION,
                 IDC_COMPOSITE_CONTROL_CLEAR})
    EXPECT_FALSE(IsWindowEnabled(editorItem(e, id))) << id;
  EXPECT_TRUE(IsWindowEnabled(editorItem(e, IDC_COMPOSITE_CONTROL_MACRO)));
  EXPECT_FALSE(IsWindowVisible(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)));
  shot("editor_macro_page_g9");
  clickEditor(e, IDC_COMPOSITE_CONTROL_CANCEL);
  ASSERT_TRUE(waitEditorClosed());

  // Bank B: G1 is slot 265; bank A's G1 keeps its own.
  EXPECT_EQ(app.sim("event 02FF"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return windowText(mainItem(g1)) == L"B1"; }, 3000)) << utf8(windowText(mainItem(g1)));
  e = openEditor(g1, "G1");
  ASSERT_NE(e, nullptr);
  pressKey("b");
  ASSERT_TRUE(waitFor([&] { return windowText(editorItem(e, IDC_COMPOSITE_FUNC_KEY_INPUT)) == L"B"; }, 3000));
  clickEditor(e, IDC_COMPOSITE_CONTROL_OK);
  ASSERT_TRUE(waitEditorClosed());
  EXPECT_EQ(tooltip(g1), L"G1Keys, Set: Key(B)");
  EXPECT_EQ(app.sim("event 02FF"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return tooltip(g1) == L"G1"; }, 3000)) << utf8(tooltip(g1));
  EXPECT_EQ(app.sim("event 02FF"), "OK\n");
  EXPECT_TRUE(waitFor([&] { return tooltip(g1) == L"G1Keys, Set: Key(B)"; }, 3000)) << utf8(tooltip(g1));
}

TEST_F(KeyEditing, RestoreDefaultsAsksWithNoAsDefault) {
  Running& app = startShown();
  const int keyA = ids::main_dlg::KEY_01E.id;
  int recordA = recordOffsetOfUsage(app, "04");
  ASSERT_GE(recordA, 0);
  ASSERT_TRUE(assignKey(keyA, "b", L"B"));
  HWND apply = mainItem(ids::main_dlg::CONTROL2_APPLY.id);
  ASSERT_TRUE(waitClickable(apply));
  clickCentre(apply);
  ASSERT_TRUE(waitFor([&] { return keyRecord(app, recordA) == "020205"; }, 5000));
  ASSERT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));

  HWND defaults = mainItem(ids::main_dlg::FUNC_DEFAULT.id);
  ASSERT_TRUE(waitClickable(defaults));
  clickCentre(defaults);
  HWND box = waitMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(messageBoxText(box), L"Do you want to restore the default settings?");
  shot("restore_defaults_prompt");
  pressKey("Return");  // No is the default
  ASSERT_TRUE(waitFor([&] { return !IsWindow(box); }, 3000));
  EXPECT_EQ(tooltip(keyA), L"AKeys, Set: Key(B)");
  EXPECT_FALSE(mainApplyEnabled());

  EXPECT_EQ(app.sim("trace clear"), "OK\n");
  ASSERT_TRUE(waitClickable(defaults));
  clickCentre(defaults);
  box = waitMessageBox();
  ASSERT_NE(box, nullptr);
  clickCentre(GetDlgItem(box, IDYES));
  EXPECT_TRUE(waitFor([&] { return keyRecord(app, recordA) == "020204"; }, 5000)) << keyRecord(app, recordA);
  EXPECT_EQ(tooltip(keyA), L"A");
  EXPECT_TRUE(waitFor([&] { return !mainApplyEnabled(); }, 5000));
  EXPECT_EQ(tracedCommands(app.trace(), kCmdBeginConfig).size(), 1u);
}

// ---- import and export ----------------------------------------------------------------

class ProfileFiles : public KeyEditing {
 protected:
  // Opens the button menu and chooses one of its four entries.
  void chooseFromButtonMenu(int index) {
    HWND menuButton = mainItem(ids::main_dlg::CONTROL_MENU.id);
    ASSERT_TRUE(waitClickable(menuButton));
    clickCentre(menuButton);
    HWND menu = nullptr;
    ASSERT_TRUE(waitFor([&] { return (menu = findVisible(L"#32768")) != nullptr; }, 5000));
    ASSERT_TRUE(waitClickable(menu));
    RECT r{};
    GetWindowRect(menu, &r);
    click((r.left + r.right) / 2, r.top + (r.bottom - r.top) * (2 * index + 1) / 8);
  }
  // The common file dialog: the program's dialog that is neither the main
  // window nor a message box.
  HWND waitFileDialog() { return e2e::waitFileDialog(app_->pid(), main()); }
  // Types a full path into the dialog's file name field and confirms it.
  void enterFileName(HWND dialog, const std::wstring& path) { ASSERT_TRUE(e2e::enterFileName(dialog, path)); }
  std::wstring documentsFile(const std::wstring& name) const { return install_.documentsFolder() + L"\\" + name; }
  std::string keyTable(Running& app) {
    std::string reply = app.sim("read keys");
    return reply.rfind("OK\n", 0) == 0 ? reply.substr(3) : "";
  }
};

TEST_F(ProfileFiles, ExportThenImportThroughTheFileDialogs) {
  Running& app = startShown();
  const int keyA = ids::main_dlg::KEY_01E.id;
  ASSERT_TRUE(assignKey(keyA, "b", L"B"));

  chooseFromButtonMenu(1);  // Export
  HWND save = waitFileDialog();
  ASSERT_NE(save, nullptr) << "no save dialog";
  shot("export_dialog");
  std::wstring exported = documentsFile(L"mine.kvp");
  enterFileName(save, exported);
  ASSERT_TRUE(waitFor([&] { return GetFileAttributesW(exported.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5000));
  std::string out;
  EXPECT_EQ(runBesideTests(L"korvalinctl.exe", L"file check \"" + exported + L"\"", &out), 0) << out;
  EXPECT_EQ(runBesideTests(L"korvalinctl.exe", L"file show \"" + exported + L"\"", &out), 0) << out;
  out.erase(std::remove(out.begin(), out.end(), ' '), out.end());
  EXPECT_NE(out.find("\"type\":\"SingleKey\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"target\":\"B\""), std::string::npos) << out;

  // A file that is no profile file: the import message, and nothing changes.
  std::wstring bad = documentsFile(L"bad.kvp");
  {
    std::ofstream f(std::filesystem::path(bad), std::ios::binary);
    f << "not a profile file";
  }
  std::string tableBefore = keyTable(app);
  std::wstring cache = documentsFile(L"Korvalin\\$Profile0");
  std::string cacheBefore = readFileText(cache);
  chooseFromButtonMenu(0);  // Import
  HWND open = waitFileDialog();
  ASSERT_NE(open, nullptr) << "no open dialog";
  enterFileName(open, bad);
  HWND box = nullptr;
  ASSERT_TRUE(waitFor([&] {
    for (HWND h : topLevelWindows(app_->pid(), true))
      if (messageBoxText(h).find(L"File format error") != std::wstring::npos) return (box = h) != nullptr;
    return false;
  }, 5000));
  shot("import_rejected");
  // Every message of the rejection closed with its own button (Enter could
  // reach the main window once they are gone, whose default button applies).
  while (box) {
    clickCentre(GetDlgItem(box, IDOK) ? GetDlgItem(box, IDOK) : GetDlgItem(box, IDCANCEL));
    EXPECT_TRUE(waitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 3000));
    box = nullptr;
    waitFor([&] {
      for (HWND h : topLevelWindows(app_->pid(), true))
        if (h != main() && !messageBoxText(h).empty()) return (box = h) != nullptr;
      return false;
    }, 1000);
  }
  EXPECT_EQ(tooltip(keyA), L"AKeys, Set: Key(B)") << "the working configuration is unchanged";
  EXPECT_TRUE(mainApplyEnabled()) << "and still waits to be applied";
  EXPECT_TRUE(keyTable(app) == tableBefore) << "the keyboard's key tables changed";
  EXPECT_TRUE(readFileText(cache) == cacheBefore) << "the profile cache changed";

  // The exported file reaches all three profiles and the buttons show it.
  int recordA = recordOffsetOfUsage(app, "04");
  EXPECT_EQ(app.sim("trace clear"), "OK\n");
  chooseFromButtonMenu(0);
  open = waitFileDialog();
  ASSERT_NE(open, nullptr);
  enterFileName(open, exported);
  EXPECT_TRUE(waitFor([&] { return keyRecord(app, recordA) == "020205"; }, 8000));
  EXPECT_TRUE(waitFor([&] { return !tracedCommands(app.trace(), kCmdEndConfig).empty(); }, 5000));
  std::vector<int> written;
  for (auto [address, length] : tracedCommands(app.trace(), kCmdWriteKeyTable)) written.push_back(address / 324);
  std::sort(written.begin(), written.end());
  written.erase(std::unique(written.begin(), written.end()), written.end());
  EXPECT_EQ(written, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(tooltip(keyA), L"AKeys, Set: Key(B)");
  EXPECT_FALSE(mainApplyEnabled());
  shot("import_done");
}

}  // namespace
}  // namespace kv::e2e
