// The three skinned windows built from the shipped skin the way the program
// builds them: every control of the layout placed by the skin file, image
// buttons with faces from the skin pictures, captions from the language file.
// Screenshots go to build/cross/skin-screenshots/ for review.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/placement_win32.h"
#include "app/text_table.h"
#include "app/text_table_win32.h"
#include "app/wide_win32.h"
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

DialogTemplate templateOf(const DialogLayout& layout) {
  DialogTemplate t(WS_POPUP, 0, 0, 0, 100, 100, L"Skin screenshot");
  std::set<int> ids;
  for (const Control& c : layout.controls) {
    if (c.kind == "hidden" || !ids.insert(c.id).second) continue;
    const WORD id = static_cast<WORD>(c.id);
    if (kImageButtonKinds.count(c.kind)) {
      t.add(kButtonClass, id, WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 10, 10);
    } else if (c.kind == "label") {
      t.add(kStaticClass, id, WS_VISIBLE | SS_LEFT, 0, 0, 10, 10);
    } else if (c.kind == "picture") {
      t.add(kStaticClass, id, WS_VISIBLE | SS_BITMAP, 0, 0, 10, 10);
    } else if (c.kind == "combo") {
      t.add(kComboBoxClass, id, WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL, 0, 0, 10, 60);
    } else if (c.kind == "list") {
      t.add(L"SysListView32", id, WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SINGLESEL, 0, 0, 10, 10);
    } else if (c.kind == "edit") {
      t.add(kEditClass, id, WS_VISIBLE | WS_BORDER | ES_CENTER, 0, 0, 10, 10);
    } else if (c.kind == "check") {
      t.add(kButtonClass, id, WS_VISIBLE | BS_AUTOCHECKBOX, 0, 0, 10, 10);
    }
  }
  return t;
}

// One skinned window of the shipped skin.
class SkinnedWindow : public CBaseDialog {
 public:
  SkinnedWindow(const DialogLayout& layout, const DialogTemplate& t, const wchar_t* file)
      : CBaseDialog(t, nullptr, skinsFolder() + file, skinsFolder()), layout_(layout) {}

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

void show(SkinnedWindow& d) {
  ASSERT_TRUE(d.Create());
  SetWindowPos(d.hwnd(), HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
  SetCursorPos(1590, 990);
  test::pump(300);
  RedrawWindow(d.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  test::pump(300);
}

TEST(SkinScreenshot, MainWindow) {
  const DialogLayout layout = skingen::mainLayout();
  const DialogTemplate t = templateOf(layout);
  SkinnedWindow d(layout, t, L"Main.ini");
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

TEST(SkinScreenshot, CompositeEditorOnItsMacroPage) {
  const DialogLayout layout = skingen::compositeLayout();
  const DialogTemplate t = templateOf(layout);
  SkinnedWindow d(layout, t, L"Composite.ini");
  d.setUp = [&](SkinnedWindow& s) {
    const std::wstring file = s.dataFile();
    auto set = [&](const wchar_t* name, bool disableOwn) {
      std::wstring n(name);
      return std::vector<const SkinSurface*>{s.surface(n + L"_normal.jpg"), s.surface(n + L"_over.jpg"),
                                             s.surface(n + L"_down.jpg"),
                                             s.surface(disableOwn ? n + L"_disable.jpg" : n + L"_normal.jpg")};
    };
    auto key = set(L"key", false), macro = set(L"macro", true);
    for (const Control& c : layout.controls) {
      if (!kImageButtonKinds.count(c.kind)) continue;
      const auto& faces = (c.kind == "macro" || c.kind == "page") ? macro : key;
      PlaceSkinnedControl(s.button(c.key), file, L"BUTTONINFO", w(c.key), faces[0], faces[1], faces[2], faces[3],
                          faces[1]);
      if (c.kind != "page" && c.kind != "title")
        caption(s.button(c.key), L"", c.key == C::FUNC_MACRO_RECORD.name ? 8 : 9);
    }
    EnableWindow(s.control(C::CONTROL_MASK.name), FALSE);
    EnableWindow(s.control(C::CONTROL_TITLE.name), FALSE);
    const std::pair<const char*, const char*> texts[] = {
        {C::CONTROL_KEY.name, "SINGLE_KEY"},         {C::CONTROL_MACRO.name, "MACRO_SETTING"},
        {C::CONTROL_MEDIA.name, "MULTI_MEDIA"},      {C::CONTROL_FUNCTION.name, "FUNCTION_KEY"},
        {C::FUNC_MACRO_RECORD.name, "A_RECORD"},     {C::FUNC_MACRO_DELETE2.name, "A_DELETE"},
        {C::FUNC_MACRO_CLEAR.name, "A_CLEAR"},       {C::FUNC_MACRO_UP_TOP.name, "A_TOP"},
        {C::FUNC_MACRO_UP.name, "A_UP"},             {C::FUNC_MACRO_DOWN.name, "A_DOWN"},
        {C::FUNC_MACRO_DOWN_BOTTOM.name, "A_BOTTOM"}, {C::CONTROL_OK.name, "MACRO_OK"},
        {C::CONTROL_CANCEL.name, "MACRO_CANCLE"},    {C::KEY_SETTING.name, "KEY_SETTING_TISHI"},
        {C::MARCO_NAME_SETTING.name, "MACRO_NAME_SETTING"}, {C::FUNC_MACRO_RECORD_DELAY2.name, "RECORD_DELAY"},
        {C::FUNC_MACRO_CYCLES_PROMPT.name, "MACRO_CYCLES"}, {C::CONTROL2_APPLY.name, "PROFILE_APPLY"}};
    for (auto [control, text] : texts) SetWindowTextW(s.control(control), s.language(text).c_str());
    SetWindowTextW(s.control(C::CONTROL_CLEAR.name), L"Clear");
    SetWindowTextW(s.control(C::FUNC_MACRO_ADD.name), L"+");
    SetWindowTextW(s.control(C::FUNC_MACRO_DELETE.name), L"\x2212");
    s.button(C::CONTROL_MACRO.name).setSetState(true, false);
    for (const char* hidden : {C::TISHI_SINGLE_STATIC.name, C::FUNC_KEY_INPUT.name, C::MEDIA_SETTING_TISHI.name, C::FUNC_MEDIA_SELECT.name,
                               C::FUNCTION_KEY_SETTING_TISHI.name, C::FUNC_FUNCTION_SELECT.name})
      ShowWindow(s.control(hidden), SW_HIDE);
    HWND list = s.control(C::FUNC_MACRO_LIST2.name);
    const wchar_t* columns[] = {L"Key", L"Action", L"Delay (ms)"};
    for (int i = 0; i < 3; ++i) {
      LVCOLUMNW col{};
      col.mask = LVCF_TEXT | LVCF_WIDTH;
      col.cx = i == 2 ? 70 : 80;
      col.pszText = const_cast<wchar_t*>(columns[i]);
      SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
    }
    const wchar_t* rows[][3] = {{L"A", L"\x2193", L"50"}, {L"A", L"  \x2191", L"50"}, {L"S", L"\x2193", L"0"}};
    for (int r = 0; r < 3; ++r) {
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = r;
      item.pszText = const_cast<wchar_t*>(rows[r][0]);
      SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
      for (int c = 1; c < 3; ++c) {
        item.iSubItem = c;
        item.pszText = const_cast<wchar_t*>(rows[r][c]);
        SendMessageW(list, LVM_SETITEMTEXTW, r, reinterpret_cast<LPARAM>(&item));
      }
    }
    HWND macros = s.control(C::FUNC_MACRO_LIST.name);
    SendMessageW(macros, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Macro1"));
    SendMessageW(macros, CB_SETCURSEL, 0, 0);
    SetWindowTextW(s.control(C::FUNC_MACRO_CYCLES.name), L"1");
  };
  show(d);
  RECT r{};
  GetWindowRect(d.hwnd(), &r);
  EXPECT_EQ(r.right - r.left, layout.width);
  EXPECT_TRUE(test::saveWindowShot(d.hwnd(), shotPath(L"composite.bmp")));
  EXPECT_TRUE(test::bmpToPng(shotPath(L"composite.bmp"), shotPath(L"composite.png")));
  d.DestroyWindow();
}

TEST(SkinScreenshot, ProfileManager) {
  const DialogLayout layout = skingen::profileLayout();
  const DialogTemplate t = templateOf(layout);
  SkinnedWindow d(layout, t, L"Profile.ini");
  d.setUp = [&](SkinnedWindow& s) {
    const SkinSurface* normal = s.surface(L"Profile_normal.jpg");
    const SkinSurface* over = s.surface(L"Profile_over.jpg");
    const SkinSurface* down = s.surface(L"Profile_down.jpg");
    const SkinSurface* disabled = s.surface(L"Profile_disable.jpg");
    for (const Control& c : layout.controls)
      if (kImageButtonKinds.count(c.kind))
        PlaceSkinnedControl(s.button(c.key), s.dataFile(), L"BUTTONINFO", w(c.key), normal, over, down, disabled,
                            normal);
    EnableWindow(s.control(P::CONTROL2_APPLY.name), FALSE);
    HWND list = s.control(P::PROGRAM_LIST.name);
    // The column titles are Chinese; Wine's dialog font has no such glyphs.
    static UniqueFont cjk(CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                                      DEFAULT_QUALITY, FF_SWISS, L"Droid Sans Fallback"));
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    SendMessageW(header, WM_SETFONT, reinterpret_cast<WPARAM>(cjk.get()), TRUE);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES);
    const wchar_t* columns[] = {L"\x6fc0\x6d3b", L"\x540d\x79f0", L"\x8def\x5f84"};
    const int widths[] = {60, 120, 300};
    for (int i = 0; i < 3; ++i) {
      LVCOLUMNW col{};
      col.mask = LVCF_TEXT | LVCF_WIDTH;
      col.cx = widths[i];
      col.pszText = const_cast<wchar_t*>(columns[i]);
      SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
    }
    for (int r = 0; r < 3; ++r) {
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = r;
      item.pszText = const_cast<wchar_t*>(L"");
      SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
      item.iSubItem = 1;
      item.pszText = const_cast<wchar_t*>(L"$Profile0");
      SendMessageW(list, LVM_SETITEMTEXTW, r, reinterpret_cast<LPARAM>(&item));
      item.iSubItem = 2;
      item.pszText = const_cast<wchar_t*>(L"C:\\users\\me\\Documents\\Korvalin\\");
      SendMessageW(list, LVM_SETITEMTEXTW, r, reinterpret_cast<LPARAM>(&item));
    }
    ListView_SetCheckState(list, 0, TRUE);
  };
  show(d);
  EXPECT_TRUE(test::saveWindowShot(d.hwnd(), shotPath(L"profile.bmp")));
  EXPECT_TRUE(test::bmpToPng(shotPath(L"profile.bmp"), shotPath(L"profile.png")));
  d.DestroyWindow();
}

}  // namespace
}  // namespace kv
