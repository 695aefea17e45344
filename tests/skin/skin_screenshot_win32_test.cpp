// The three skinned windows with the shipped skin, from the program's own
// dialog templates: the composite editor and the profile manager are the
// program's classes opened on test data; the main window is set up here
// (every control of the layout placed by the skin file, image buttons with
// faces from the skin pictures, captions from the language file).
// Screenshots go to build/cross/skin-screenshots/ for review.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/placement_win32.h"
#include "app/text_table.h"
#include "app/text_table_win32.h"
#include "app/wide_win32.h"
#include "device/device_link.h"
#include "device/device_ui.h"
#include "keys/composite_dlg_win32.h"
#include "keys/working_config.h"
#include "model/key_codes.h"
#include "profile/profile_dlg_win32.h"
#include "profile/profile_store.h"
#include "resources/control_ids.h"
#include "skin/base_dialog_win32.h"
#include "skin/bitmap_slider_win32.h"
#include "skin/png_button_win32.h"
#include "skin/skin_picture_win32.h"
#include "tests/skin/skin_test_util_win32.h"
#include "tools/skingen/layout.h"
#include "widgets/application_win32.h"

namespace kv {
namespace {

namespace M = ids::main_dlg;
namespace C = ids::composite_dlg;
namespace P = ids::profile_dlg;

using skingen::Control;
using skingen::DialogLayout;

const std::set<std::string> kImageButtonKinds = {"key",   "gkey",  "fn",    "tool",  "tab",   "button",
                                                  "report", "field", "indicator", "bank", "panel", "flip",
                                                  "arrow", "macro", "labelled", "page", "title", "link"};

std::wstring w(const std::string& s) { return wide(fromUtf8(s)); }

// The main window's template and skin, its controls set up here: the
// program's own window (CKorvalinDlg) starts the keyboard link, the
// single-instance check and the tray icon, none of which a test process can
// host.
class SkinnedWindow : public CBaseDialog {
 public:
  SkinnedWindow(const DialogLayout& layout, UINT templateId, const wchar_t* file)
      : CBaseDialog(templateId, nullptr, skinsFolder() + file, skinsFolder()), layout_(layout) {}

  // Surfaces by picture name, built on first use.
  const SkinSurface* surface(const std::wstring& picture) {
    auto& s = surfaces_[picture];
    if (!s.valid()) {
      SkinImage image = loadSkinPictureOrExit(picture);
      EXPECT_TRUE(image.decoded()) << toUtf8(u16(picture));
      EXPECT_TRUE(makeSkinSurface(s, image, hwnd()));
    }
    return &s;
  }
  CPngButton& button(const std::string& key) { return *buttons_.at(key); }
  HWND control(const std::string& key) { return item(layout_.find(key)->id); }
  std::wstring language(const char* key) { return ReadLanguageText(skinsFolder() + L"language.ini", key); }
  std::function<void(SkinnedWindow&)> setUp;
  std::vector<std::unique_ptr<CBitmapSlider>> sliders;

 protected:
  BOOL OnInitDialog() override {
    CBaseDialog::OnInitDialog();
    for (const Control& c : layout_.controls) {
      if (c.kind == "hidden") continue;
      HWND h = item(c.id);
      if (!h) continue;
      if (kImageButtonKinds.count(c.kind)) {
        auto b = std::make_unique<CPngButton>();
        EXPECT_TRUE(b->SubclassWindow(h));
        buttons_[c.key] = std::move(b);
      } else {
        PlaceControl(h, dataFile(), L"BUTTONINFO", w(c.key));
      }
    }
    if (setUp) setUp(*this);
    return FALSE;  // not activated: see the skin tests
  }
  bool OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) override {
    if (msg != WM_CTLCOLORSTATIC) return false;
    SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
    SetTextColor(reinterpret_cast<HDC>(wp), RGB(228, 228, 228));
    result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    return true;
  }

 private:
  const DialogLayout& layout_;
  std::map<std::wstring, SkinSurface> surfaces_;
  std::map<std::string, std::unique_ptr<CPngButton>> buttons_;
};

void caption(CPngButton& b, const std::wstring& text, int size = 9, const wchar_t* font = L"Tahoma",
             COLORREF colour = RGB(255, 255, 255)) {
  SetWindowTextW(b.hwnd(), text.c_str());
  b.setCaptionStyle(true, size, font, colour, CPngButton::kDefaultCaptionFormat);
}

void showPicture(HWND control, const std::wstring& file) {
  HBITMAP bm = static_cast<HBITMAP>(
      LoadImageW(nullptr, (skinsFolder() + file).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
  EXPECT_NE(bm, nullptr) << toUtf8(u16(file));
  SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bm));
}

std::wstring shotPath(const wchar_t* name) {
  std::wstring dir = ExecutableFolder() + L"..\\skin-screenshots\\";
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir + name;
}

void show(CBaseDialog& d) {
  ASSERT_TRUE(d.Create());
  SetWindowPos(d.hwnd(), HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
  SetCursorPos(1590, 990);
  test::pump(300);
  RedrawWindow(d.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  test::pump(300);
}

TEST(SkinScreenshot, MainWindow) {
  const DialogLayout layout = skingen::mainLayout();
  SkinnedWindow d(layout, IDD_MAIN, L"Main.ini");
  d.setUp = [&](SkinnedWindow& s) {
    const SkinSurface* normal = s.surface(L"main_normal.jpg");
    const SkinSurface* over = s.surface(L"main_over.jpg");
    const SkinSurface* down = s.surface(L"main_down.jpg");
    const SkinSurface* set = s.surface(L"main_disable.jpg");
    const SkinSurface* arrow = s.surface(L"Arrow.jpg");
    const std::wstring file = s.dataFile();
    for (const Control& c : layout.controls) {
      if (!kImageButtonKinds.count(c.kind)) continue;
      CPngButton& b = s.button(c.key);
      if (c.kind == "arrow") continue;
      if (c.kind == "indicator" || c.kind == "bank") {
        PlaceSkinnedControl(b, file, L"BUTTONINFO", w(c.key), normal, normal, over, normal, over);
        EnableWindow(b.hwnd(), FALSE);
      } else {
        PlaceSkinnedControl(b, file, L"BUTTONINFO", w(c.key), normal, over, down, normal, set);
      }
    }
    PlaceControlWithImageOrigin(s.button(M::LEFT_ARROW.name), file, L"BUTTONINFO", M::LEFT_ARROW.key, L"BUTTONINFO2",
                                M::DOWN_ARROW_LEFT1.key, arrow);
    PlaceControlWithImageOrigin(s.button(M::RIGHT_ARROW.name), file, L"BUTTONINFO", M::RIGHT_ARROW.key, L"BUTTONINFO2",
                                M::DOWN_ARROW_RIGHT1.key, arrow);
    EnableWindow(s.control(M::LEFT_ARROW.name), FALSE);
    EnableWindow(s.control(M::RIGHT_ARROW.name), FALSE);
    EnableWindow(s.control(M::FLIP_0.name), FALSE);
    // Keys that carry a function, the selected profile and report rate.
    for (const char* key : {M::KEY_011.name, M::KEY_01E.name, M::KEY_01F.name, M::KEY_020.name, M::FUNC_G1.name, M::FUNC_G2.name, M::FUNC_G5.name,
                            M::FUNC_PROFILE1.name, M::FUNC_REPORT4.name})
      s.button(key).setSetState(true, false);
    ShowWindow(s.control(M::FUNC_SWITCH.name), SW_HIDE);
    caption(s.button(M::FUNC_PROFILE1.name), s.language("PROFILE_1"));
    caption(s.button(M::FUNC_PROFILE2.name), s.language("PROFILE_2"));
    caption(s.button(M::FUNC_PROFILE3.name), s.language("PROFILE_3"));
    caption(s.button(M::FUNC_PROFILES.name), L"$Profile0", 10, L"Arial", RGB(0xE4, 0xE4, 0xE4));
    caption(s.button(M::FUNC_MACRO.name), s.language("PROFILE_MACRO"));
    caption(s.button(M::FUNC_DEFAULT.name), s.language("PROFILE_DEFAULT"));
    caption(s.button(M::CONTROL_OK.name), s.language("PROFILE_OK"));
    caption(s.button(M::CONTROL_CANCEL.name), s.language("PROFILE_CANCLE"));
    caption(s.button(M::CONTROL2_APPLY.name), s.language("PROFILE_APPLY"));
    caption(s.button(M::VELTRA_LINK.name), ReadProfileText(file, L"SCREEN", L"Link"), 8, L"Verdana", RGB(0x7F, 0xD8, 0xEC));
    caption(s.button(M::VELTRA_VER.name), s.language("MAIN_BUTTON_VELTRA_VER"), 8, L"Verdana", RGB(0xE4, 0xE4, 0xE4));
    EnableWindow(s.control(M::VELTRA_VER.name), FALSE);
    s.button(M::CONTROL_HELP.name).setTooltip(s.language("MAIN_HELP_PROMPT"), true);
    // Lighting panel, open on the per-key effect.
    const std::pair<const char*, const wchar_t*> labels[] = {
        {M::CONTROL_UsbStatic.name, L"Usb"},     {M::CONTROL_DengStatic.name, L"Deng"},   {M::CONTROL_LightStatic.name, L"Light"},
        {M::CONTROL_SpeedStatic.name, L"Speed"}, {M::CONTROL_USERgjStatic.name, L"Tool"}, {M::CONTROL_HXsjsStatic.name, L"DC"},
        {M::CONTROL_FYSJSStatic.name, L"QL"}};
    for (auto [key, name] : labels)
      SetWindowTextW(s.control(key), ReadProfileText(file, L"Control_Name1", name).c_str());
    HWND effects = s.control(M::CONTROL_XGcombox.name);
    for (int code : {1, 2, 4, 5, 7, 9, 18, 254})
      SendMessageW(effects, CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(ReadProfileText(file, L"Mode1", std::to_wstring(code)).c_str()));
    SendMessageW(effects, CB_SETCURSEL, 7, 0);
    HWND modes = s.control(M::CONTROL_umCombo.name);
    for (int i = 1; i <= 10; ++i)
      SendMessageW(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>((L"USER_MODE" + std::to_wstring(i)).c_str()));
    SendMessageW(modes, CB_SETCURSEL, 0, 0);
    for (auto [key, picture] : {std::pair<const char*, const wchar_t*>{M::CONTROL_DengStaPic.name, L"dengdown.bmp"},
                                {M::CONTROL_USERgjStaPic1.name, L"user1down.bmp"},
                                {M::CONTROL_USERgjStaPic2.name, L"user2up.bmp"},
                                {M::CONTROL_FYSJSStaPic.name, L"sjsup.bmp"},
                                {M::CONTROL_HXsjsStaPic.name, L"sjsup.bmp"},
                                {M::CONTROL_JDTStatic.name, L"jdt4.bmp"}})
      showPicture(s.control(key), picture);
    for (auto [key, picture] : {std::pair<const char*, const wchar_t*>{M::CONTROL_LightSlider.name, L"3.bmp"},
                                {M::CONTROL_SpeedSlider.name, L"7.bmp"}}) {
      auto slider = std::make_unique<CBitmapSlider>();
      EXPECT_TRUE(slider->SubclassWindow(s.control(key)));
      slider->setRange(0, 4);
      slider->setPicture(static_cast<HBITMAP>(
          LoadImageW(nullptr, (skinsFolder() + picture).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
      s.sliders.push_back(std::move(slider));
    }
  };
  show(d);
  RECT r{};
  GetWindowRect(d.hwnd(), &r);
  EXPECT_EQ(r.right - r.left, layout.width);
  EXPECT_EQ(r.bottom - r.top, layout.height);
  // One key in each look: hover and pressed shown as the user would see them.
  SendMessageW(d.button(M::KEY_039.name).hwnd(), BM_SETSTATE, TRUE, 0);
  SendMessageW(d.button(M::KEY_01C.name).hwnd(), WM_MOUSEHOVER, 0, 0);
  test::pump(200);
  // A set key shows the set picture at its place; a plain key the normal one.
  const Control* a = layout.find(M::KEY_01E.name);
  const Control* b = layout.find(M::KEY_030.name);
  EXPECT_EQ(test::pixelOf(d.button(M::KEY_01E.name).hwnd(), 10, 10),
            GetPixel(d.surface(L"main_disable.jpg")->hdc(), a->x + 9, a->y + 9));
  EXPECT_EQ(test::pixelOf(d.button(M::KEY_030.name).hwnd(), 10, 10),
            GetPixel(d.surface(L"main_normal.jpg")->hdc(), b->x + 9, b->y + 9));
  EXPECT_TRUE(test::saveWindowShot(d.hwnd(), shotPath(L"main.bmp")));
  EXPECT_TRUE(test::bmpToPng(shotPath(L"main.bmp"), shotPath(L"main.png")));
  d.DestroyWindow();
}

// The texts the program's dialogs take from the text table, as the program
// loads them at its start (another test may have loaded its own).
void loadShippedTexts() { LoadTextTable(skinsFolder() + L"language.ini"); }

// The editor asks nothing of a main window here: it is opened on its own.
class NoMainWindow : public CompositeHost {
 public:
  void RefreshKeySummariesLocked() override {}
  void EnableMainApply() override {}
  HWND ButtonWindow(int) const override { return nullptr; }  // no key to open beside
  void ShowKeyUnassigned(int) override {}
};

TEST(SkinScreenshot, CompositeEditorOnItsMacroPage) {
  // Key A plays Macro1 (A pressed and released, S pressed): the program's
  // editor opens on its macro page with the macro shown.
  WorkingConfig config;
  config.table = newKeyActionTable();
  ASSERT_NE(config.table, nullptr);
  MacroRecord m{};
  setMacroName(m, u"Macro1");
  m.id = 1;
  m.cycles = 1;
  m.actionCount = 3;
  m.actions[0] = {50, 0x1E, kMacroPress};
  m.actions[1] = {50, 0x1E, kMacroRelease};
  m.actions[2] = {0, 0x1F, kMacroPress};
  config.macros = {m};
  const int slotA = slotOfKey(0x1E);
  config.table->entries[entryIndex(0, slotA)] = {ActionType::PlayMacro, 1, 1, 0, 0};
  DeviceLinkState().activeProfile = 0;  // what a keyboard would answer
  loadShippedTexts();
  NoMainWindow host;
  const DialogLayout layout = skingen::compositeLayout();
  Korvalin_DlgComposite d(nullptr, skinsFolder() + L"Composite.ini", skinsFolder(), config, host);
  d.editedSlot = slotA;
  d.editedButtonId = M::KEY_01E.id;
  show(d);
  RECT r{};
  GetWindowRect(d.hwnd(), &r);
  EXPECT_EQ(r.right - r.left, layout.width);
  HWND list = GetDlgItem(d.hwnd(), C::FUNC_MACRO_LIST2.id);
  EXPECT_TRUE(IsWindowVisible(list)) << "not on the macro page";
  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_TRUE(test::saveWindowShot(d.hwnd(), shotPath(L"composite.bmp")));
  EXPECT_TRUE(test::bmpToPng(shotPath(L"composite.bmp"), shotPath(L"composite.png")));
  d.DestroyWindow();
  DeviceLinkState().activeProfile = -1;
}

// The manager's store: the on-board profiles' cache files in a documents
// folder of the test's own.
class ManagerOnly : public ProfileManagerHost {
 public:
  explicit ManagerOnly(ProfileStore& store) : store_(store) {}
  ProfileStore* profileStore() override { return &store_; }
  void afterManagerApply() override {}
  void openHelp() override {}

 private:
  ProfileStore& store_;
};

TEST(SkinScreenshot, ProfileManager) {
  WorkingConfig config;
  ApplySnapshot snapshot;
  SilentDeviceUi ui;
  ProfileStore store(config, snapshot, ui, std::filesystem::path(test::tempDir() + L"documents"), [] { return 0; });
  ManagerOnly host(store);
  DeviceLinkState().activeProfile = 0;  // the first row is marked
  loadShippedTexts();
  CKorvalin_DlgProfile d(nullptr, skinsFolder() + L"Profile.ini", skinsFolder(), host);
  show(d);
  HWND list = GetDlgItem(d.hwnd(), P::PROGRAM_LIST.id);
  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3) << "the on-board profiles";
  EXPECT_TRUE(ListView_GetCheckState(list, 0));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d.hwnd(), P::CONTROL2_APPLY.id)));
  EXPECT_TRUE(test::saveWindowShot(d.hwnd(), shotPath(L"profile.bmp")));
  EXPECT_TRUE(test::bmpToPng(shotPath(L"profile.bmp"), shotPath(L"profile.png")));
  d.DestroyWindow();
  DeviceLinkState().activeProfile = -1;
}

}  // namespace
}  // namespace kv
