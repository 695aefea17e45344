// Placement entries read from real skin files, and the settings stores.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "app/settings_win32.h"
#include "base/text_table.h"
#include "base/text_table_win32.h"
#include "base/wide_win32.h"
#include "skin/placement_win32.h"
#include "skin/png_button_win32.h"
#include "skin/skin_picture_win32.h"
#include "tests/skin/skin_test_util_win32.h"
#include "widgets/application_win32.h"

namespace kv {
namespace {

constexpr WORD kFirst = 1001, kSecond = 1002;

const DialogTemplate& placementTemplate() {
  static const DialogTemplate t = [] {
    DialogTemplate d(WS_POPUP, 0, 0, 0, 200, 120, L"Placement test");
    d.add(kButtonClass, kFirst, WS_VISIBLE | BS_PUSHBUTTON, 50, 50, 40, 14, L"A");
    d.add(kButtonClass, kSecond, WS_VISIBLE | BS_PUSHBUTTON, 50, 70, 40, 14, L"B");
    return d;
  }();
  return t;
}

class PlacementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ini_ = test::tempDir() + L"placement.ini";
    test::writeIni(ini_,
                   L"[BUTTONINFO]\r\n"
                   L"FULL=10,20,30,40,junk\r\n"
                   L"SHORT=5,6\r\n"
                   L"SPACED= 7, 8,9,10\r\n"
                   L"NEGATIVE=-4,3,20,-2\r\n"
                   L"EMPTY=\r\n"
                   L"TEXT=abc\r\n"
                   L"HUGE=0,0,100000,100000\r\n"
                   L"OFF=5000,5000,20,20\r\n"
                   L"EDGE=-4,3,20,20\r\n"
                   L"[BUTTONINFO2]\r\n"
                   L"ORIGIN=60,70,1,1\r\n");
    ASSERT_TRUE(dialog_.Create());
    first_ = dialog_.item(kFirst);
    EXPECT_TRUE(button_.SubclassDlgItem(kSecond, dialog_.hwnd()));
  }
  RECT rectOf(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, dialog_.hwnd(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  // x, y, width, height in the dialog.
  using Box = std::array<LONG, 4>;
  Box boxOf(HWND h) {
    RECT r = rectOf(h);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
  }

  std::wstring ini_;
  CDialog dialog_{placementTemplate(), nullptr};
  HWND first_ = nullptr;
  CPngButton button_;
};

TEST_F(PlacementTest, EntriesAsTheyAreScanned) {
  struct Case {
    const wchar_t* key;
    Placement expected;
  };
  const Case cases[] = {{L"FULL", {10, 20, 30, 40}},   {L"SHORT", {5, 6, 1, 1}},  {L"SPACED", {7, 8, 9, 10}},
                        {L"NEGATIVE", {-4, 3, 20, -2}}, {L"EMPTY", {1, 1, 1, 1}},  {L"TEXT", {1, 1, 1, 1}},
                        {L"MISSING", {1, 1, 1, 1}}};
  for (const Case& c : cases) {
    Placement p = ReadPlacement(ini_, L"BUTTONINFO", c.key);
    EXPECT_EQ(p, c.expected) << toUtf8(u16(c.key));
  }
}

TEST_F(PlacementTest, PlaceControlUsesPositionAndSize) {
  PlaceControl(first_, ini_, L"BUTTONINFO", L"FULL");
  RECT r = rectOf(first_);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right - r.left, 30);
  EXPECT_EQ(r.bottom - r.top, 40);
}

TEST_F(PlacementTest, MissingEntryLeavesADisabled1x1ControlAt1_1) {
  SkinSurface surface;
  PlaceSkinnedControl(button_, ini_, L"BUTTONINFO", L"NOT_IN_SKIN", &surface, &surface, &surface, &surface,
                      &surface);
  RECT r = rectOf(button_.hwnd());
  EXPECT_EQ(r.left, 1);
  EXPECT_EQ(r.top, 1);
  EXPECT_EQ(r.right - r.left, 1);
  EXPECT_EQ(r.bottom - r.top, 1);
  EXPECT_FALSE(IsWindowEnabled(button_.hwnd()));
}

// A control over the whole window or off it makes the window unusable: an
// entry not within the window is placed like a missing one.
TEST_F(PlacementTest, EntryOutsideTheWindowIsPlacedLikeAMissingOne) {
  RECT client{};
  GetClientRect(dialog_.hwnd(), &client);
  ASSERT_LT(client.right, 5000);
  for (const wchar_t* key : {L"HUGE", L"OFF", L"EDGE"}) {
    SCOPED_TRACE(toUtf8(u16(key)));
    EnableWindow(button_.hwnd(), TRUE);
    SkinSurface surface;
    PlaceSkinnedControl(button_, ini_, L"BUTTONINFO", key, &surface, &surface, &surface, &surface, &surface);
    EXPECT_EQ(boxOf(button_.hwnd()), (Box{1, 1, 1, 1}));
    EXPECT_FALSE(IsWindowEnabled(button_.hwnd()));
    EXPECT_EQ(button_.originX(), 1);

    PlaceControl(first_, ini_, L"BUTTONINFO", key);
    EXPECT_EQ(boxOf(first_), (Box{1, 1, 1, 1}));
  }
  // Moved, a control keeps its size, which must fit at the new point too.
  PlaceControl(first_, ini_, L"BUTTONINFO", L"FULL");
  MoveControlTo(first_, ini_, L"BUTTONINFO", L"OFF");
  EXPECT_EQ(boxOf(first_), (Box{1, 1, 30, 40}));
}

TEST_F(PlacementTest, PresentEntryKeepsTheButtonEnabledWithItsOrigin) {
  PlaceSkinnedControl(button_, ini_, L"BUTTONINFO", L"FULL", nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_TRUE(IsWindowEnabled(button_.hwnd()));
  EXPECT_EQ(button_.originX(), 10);
  EXPECT_EQ(button_.originY(), 20);
}

TEST_F(PlacementTest, ImageOriginComesFromTheSecondEntry) {
  PlaceControlWithImageOrigin(button_, ini_, L"BUTTONINFO", L"FULL", L"BUTTONINFO2", L"ORIGIN", nullptr);
  RECT r = rectOf(button_.hwnd());
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.right - r.left, 30);
  EXPECT_EQ(button_.originX(), 60);
  EXPECT_EQ(button_.originY(), 70);
}

TEST_F(PlacementTest, MoveControlToKeepsTheSize) {
  PlaceControl(first_, ini_, L"BUTTONINFO", L"FULL");
  MoveControlTo(first_, ini_, L"BUTTONINFO", L"SPACED");
  RECT r = rectOf(first_);
  EXPECT_EQ(r.left, 7);
  EXPECT_EQ(r.top, 8);
  EXPECT_EQ(r.right - r.left, 30);
  EXPECT_EQ(r.bottom - r.top, 40);
}

class SettingsTest : public ::testing::Test {
 protected:
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, AppProfileKeyPath().c_str()); }
};

TEST_F(SettingsTest, FlipIsStoredAsZeroOrOne) {
  struct Case {
    int value;
    int stored;
    const wchar_t* text;
  };
  for (Case c : {Case{2, 0, L"0"}, Case{1, 1, L"1"}, Case{0, 0, L"0"}, Case{-1, 0, L"0"}}) {
    EXPECT_EQ(SetFlipSetting(c.value), c.stored) << c.value;
    EXPECT_EQ(GetProfileText(kProfilesSection, kFlipValue, L"?"), c.text) << c.value;
    EXPECT_EQ(GetFlipSetting(), c.stored);
  }
}

TEST_F(SettingsTest, ProfileSectionIsUnderTheRegistryKeyAndTheProgramName) {
  EXPECT_EQ(AppProfileKeyPath(), L"Software\\Korvalin_Nalvori\\" + ExecutableBaseName());
  ASSERT_TRUE(WriteProfileText(kProfilesSection, L"RecordDelay", L"1"));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (AppProfileKeyPath() + L"\\PROFILES").c_str(), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  wchar_t buf[8] = {};
  DWORD bytes = sizeof(buf), type = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"RecordDelay", nullptr, &type, reinterpret_cast<BYTE*>(buf), &bytes),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(buf, L"1");
  EXPECT_EQ(GetProfileText(kProfilesSection, L"Missing", L"dflt"), L"dflt");
  EXPECT_EQ(GetProfileNumber(kProfilesSection, L"RecordDelay", 7), 1);
  EXPECT_TRUE(WriteProfileText(kProfilesSection, L"Junk", L"x1"));
  EXPECT_EQ(GetProfileNumber(kProfilesSection, L"Junk", 7), 7);
}

TEST_F(SettingsTest, ApplicationObjectChoosesTheRegistryKey) {
  CApplication app;
  app.SetRegistryKey(L"Korvalin_Test_Key");
  EXPECT_EQ(AppProfileKeyPath(), L"Software\\Korvalin_Test_Key\\" + ExecutableBaseName());
  RegDeleteTreeW(HKEY_CURRENT_USER, AppProfileKeyPath().c_str());
}

TEST(SettingsFile, PathAndDengCheck) {
  EXPECT_EQ(SettingsFilePathIn(L"C:\\Users\\me\\Documents"), L"C:\\Users\\me\\Documents\\Korvalin\\wskb.ini");
  EXPECT_EQ(SettingsFilePathIn(L""), L"");
  EXPECT_FALSE(DocumentsFolder().empty());
  std::wstring file = test::tempDir() + L"wskb.ini";
  DeleteFileW(file.c_str());
  EXPECT_FALSE(ReadDengCheck(file));  // missing counts as "0"
  ASSERT_TRUE(WriteDengCheck(file, true));
  EXPECT_TRUE(ReadDengCheck(file));
  EXPECT_EQ(ReadProfileText(file, L"KEYCOLOR", L"DengCheck"), L"1");
  ASSERT_TRUE(WriteDengCheck(file, false));
  EXPECT_FALSE(ReadDengCheck(file));
  DeleteFileW(file.c_str());
}

}  // namespace
}  // namespace kv
