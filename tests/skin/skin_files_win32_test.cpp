// Korvalin's own skin, as shipped beside the program: every section and key
// the windows read is there, every picture they name exists and decodes
// with both picture paths, and the language file reads in both languages.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/text_table.h"
#include "base/text_table_win32.h"
#include "base/wide_win32.h"
#include "model/key_codes.h"
#include "resources/control_ids.h"
#include "skin/placement_win32.h"
#include "skin/skin_picture_win32.h"

namespace kv {
namespace {

namespace M = ids::main_dlg;
namespace C = ids::composite_dlg;
namespace P = ids::profile_dlg;

std::wstring skin(const wchar_t* file) { return skinsFolder() + file; }

// Whether section/key exists (a sentinel default tells a missing entry
// from an empty one).
bool present(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
  return ReadProfileText(file, section, key, L"\x1F<missing>") != L"\x1F<missing>";
}

std::vector<std::wstring> mainButtonKeys() {
  std::vector<std::wstring> keys = {
      M::VELTRA_LINK.key,    M::FUNC_PROFILES.key,    M::FUNC_MACRO.key,       M::CONTROL_OK.key,     M::CONTROL_CANCEL.key,
      M::CONTROL_HELP.key,   M::CONTROL_CLOSE.key,    M::CONTROL_MINIMIZE.key, M::CONTROL_MENU.key,   M::CONTROL2_APPLY.key,
      M::LOCK_CAPS.key,      M::LOCK_NUM.key,         M::LOCK_SCROLL.key,      M::LOCK_AB.key,        M::FLIP_0.key,
      M::FLIP_1.key,         M::FLIP_2.key,           M::VELTRA_VER.key,       M::FUNC_PROFILE1.key,  M::FUNC_PROFILE2.key,
      M::FUNC_PROFILE3.key,  M::FUNC_DEFAULT.key,     M::FUNC_SWITCH.key,      M::FUNC_REPORT1.key,   M::FUNC_REPORT2.key,
      M::FUNC_REPORT3.key,   M::FUNC_REPORT4.key,     M::KEY_FN.key,           M::LEFT_ARROW.key,     M::RIGHT_ARROW.key,
      // lighting panel
      M::CONTROL_UsbStatic.key, M::CONTROL_DengStatic.key, M::CONTROL_DengStaPic.key, M::CONTROL_XGcombox.key,
      M::CONTROL_JDTStatic.key, M::CONTROL_LightStatic.key, M::CONTROL_LightSlider.key, M::CONTROL_SpeedStatic.key,
      M::CONTROL_SpeedSlider.key, M::CONTROL_USERgjStatic.key, M::CONTROL_USERgjStaPic1.key, M::CONTROL_USERgjStaPic2.key,
      M::CONTROL_HXsjsStatic.key, M::CONTROL_HXsjsStaPic.key, M::CONTROL_FYSJSStaPic.key, M::CONTROL_FYSJSStatic.key,
      M::CONTROL_umCombo.key,
      // the panel's hidden controls
      M::CONTROL_BLFXStatic.key, M::CONTROL_BLFXLStaPic.key, M::CONTROL_BLFXRStaPic.key, M::CONTROL_BLFXStatic2.key,
      M::CONTROL_BLFXLStaPic2.key, M::CONTROL_BLFXRStaPic2.key, M::CONTROL_BLFXStatic3.key, M::CONTROL_BLFXLStaPic3.key,
      M::CONTROL_BLFXRStaPic3.key, M::CONTROL_FYYSStatic.key, M::CONTROL_FYYSButton.key, M::CONTROL_HXysStatic.key,
      M::CONTROL_HXysButton.key, M::CONTROL_JTysStatic.key, M::CONTROL_JTysButton.key, M::CONTROL_USERysStatic.key,
      M::CONTROL_USERysButton.key, M::CONTROL_USERjsStatic.key, M::CONTROL_USERjsButton.key, M::CONTROL_HONGPIC.key,
      M::CONTROL_HUANGPIC.key, M::CONTROL_LVPIC.key, M::CONTROL_LANPIC.key, M::CONTROL_FYCFStatic.key, M::CONTROL_FYdjcfStatic.key,
      M::CONTROL_FYggcfStatc.key, M::CONTROL_FYdjcfStaPic.key, M::CONTROL_FYggcfStaPic.key, M::CONTROL_TSysStatic.key,
      M::CONTROL_TSysButton.key, M::CONTROL_TSsjsStatic.key, M::CONTROL_TSsjsStaPic.key, M::CONTROL_CDysStatic.key,
      M::CONTROL_CDysButton.key, M::CONTROL_CDsjsStatic.key, M::CONTROL_CDsjsStaPic.key};
  for (int g = 1; g <= 9; ++g) keys.push_back(L"FUNC_G" + std::to_wstring(g));
  for (const KeyButton& b : KeyButtonTable) {
    wchar_t key[16];
    std::swprintf(key, 16, L"KEY_%03X", static_cast<unsigned>(slotOfKey(b.keyCode)));
    keys.push_back(key);
  }
  return keys;
}

const std::vector<std::wstring> kCompositeKeys = {
    C::CONTROL_KEY.key, C::CONTROL_MACRO.key, C::CONTROL_MEDIA.key, C::CONTROL_FUNCTION.key, C::CONTROL_CLEAR.key, C::CONTROL_OSK.key,
    C::CONTROL_MASK.key, C::CONTROL_TITLE.key, C::KEY_SETTING.key, C::FUNC_KEY_INPUT.key, C::TISHI_SINGLE_STATIC.key,
    C::FUNC_MACRO_LIST.key, C::MARCO_NAME_SETTING.key, C::FUNC_MACRO_ADD.key, C::FUNC_MACRO_DELETE.key, C::FUNC_MACRO_LIST2.key,
    C::FUNC_MACRO_RECORD.key, C::FUNC_MACRO_DELETE2.key, C::FUNC_MACRO_CLEAR.key, C::FUNC_MACRO_UP_TOP.key, C::FUNC_MACRO_UP.key,
    C::FUNC_MACRO_DOWN.key, C::FUNC_MACRO_DOWN_BOTTOM.key, C::FUNC_MACRO_RECORD_DELAY.key, C::FUNC_MACRO_RECORD_DELAY2.key,
    C::FUNC_MACRO_CYCLES.key, C::FUNC_MACRO_CYCLES_PROMPT.key, C::FUNC_MEDIA_SELECT.key, C::MEDIA_SETTING_TISHI.key,
    C::FUNC_FUNCTION_SELECT.key, C::FUNCTION_KEY_SETTING_TISHI.key, C::CONTROL_OK.key, C::CONTROL_CANCEL.key};

const std::vector<std::wstring> kProfileKeys = {P::PROGRAM_LIST.key, P::FUNC_LOAD.key,  P::FUNC_ADD.key,      P::FUNC_DELETE.key,
                                                P::CONTROL2_APPLY.key, P::CONTROL_OK.key, P::CONTROL_CANCEL.key};

SIZE pictureSize(const std::wstring& file) {
  UniqueBitmap bm;
  EXPECT_EQ(tryLoadPictureFile(file, bm), 0) << toUtf8(u16(file));
  BITMAP b{};
  if (bm) GetObjectW(bm.get(), sizeof(b), &b);
  return SIZE{b.bmWidth, b.bmHeight};
}

struct SkinFile {
  const wchar_t* file;
  const std::vector<std::wstring>* keys;
};

TEST(ShippedSkin, EverySkinFileHasItsScreenAndPlacements) {
  const std::vector<std::wstring> mainKeys = mainButtonKeys();
  for (SkinFile f : {SkinFile{L"Main.ini", &mainKeys}, SkinFile{L"Composite.ini", &kCompositeKeys},
                     SkinFile{L"Profile.ini", &kProfileKeys}}) {
    const std::wstring path = skin(f.file);
    SCOPED_TRACE(toUtf8(u16(f.file)));
    std::wstring mainPicture = ReadProfileText(path, L"SCREEN", L"Main");
    std::wstring maskPicture = ReadProfileText(path, L"SCREEN", L"Mask");
    ASSERT_FALSE(mainPicture.empty());
    ASSERT_FALSE(maskPicture.empty());
    SIZE bg = pictureSize(skinsFolder() + mainPicture);
    SIZE mask = pictureSize(skinsFolder() + maskPicture);
    EXPECT_EQ(bg.cx, mask.cx);
    EXPECT_EQ(bg.cy, mask.cy);
    for (const std::wstring& key : *f.keys) {
      ASSERT_TRUE(present(path, L"BUTTONINFO", key)) << toUtf8(u16(key));
      Placement p = ReadPlacement(path, L"BUTTONINFO", key);
      EXPECT_FALSE(placementMissing(p)) << toUtf8(u16(key));
      EXPECT_GT(p.w, 0);
      EXPECT_GT(p.h, 0);
      EXPECT_LE(p.x + p.w, bg.cx) << toUtf8(u16(key));
      EXPECT_GE(p.x, 0);
      EXPECT_GE(p.y, 0);
    }
  }
}

TEST(ShippedSkin, MainFileHasLinkArrowsEffectsAndLabels) {
  const std::wstring path = skin(L"Main.ini");
  std::wstring link = ReadProfileText(path, L"SCREEN", L"Link");
  EXPECT_EQ(link.rfind(L"https://", 0), 0u);
  SIZE arrow = pictureSize(skin(L"Arrow.jpg"));
  for (const wchar_t* key :
       {M::UP_ARROW_LEFT1.key, M::DOWN_ARROW_LEFT1.key, M::UP_ARROW_RIGHT1.key, M::DOWN_ARROW_RIGHT1.key}) {
    ASSERT_TRUE(present(path, L"BUTTONINFO2", key)) << toUtf8(u16(key));
    Placement o = ReadPlacement(path, L"BUTTONINFO2", key);
    Placement left = ReadPlacement(path, L"BUTTONINFO", M::LEFT_ARROW.key);
    // Faces are cut from (x - 1, y - 1): the arrow frame lies inside Arrow.jpg.
    EXPECT_GE(o.x - 1, 0);
    EXPECT_LE(o.x - 1 + left.w, arrow.cx);
    EXPECT_LE(o.y - 1 + left.h, arrow.cy);
  }
  std::vector<int> codes;
  for (int c = 1; c <= 28; ++c) codes.push_back(c);
  codes.push_back(254);
  for (int code : codes) {
    for (const wchar_t* section : {L"Mode", L"Mode1"}) {
      EXPECT_FALSE(ReadProfileText(path, section, std::to_wstring(code)).empty())
          << toUtf8(u16(section)) << " " << code;
    }
  }
  EXPECT_EQ(ReadProfileText(path, L"Mode1", L"254"), L"Custom (per key)");
  EXPECT_EQ(ReadProfileText(path, L"Mode", L"4"), L"\u547c\u5438");  // Chinese survives the file's encoding
  for (const wchar_t* key : {L"Usb", L"Deng", L"Light", L"FX", L"Speed", L"Color", L"JColor", L"DC", L"Tool", L"QL"}) {
    EXPECT_FALSE(ReadProfileText(path, L"Control_Name", key).empty()) << toUtf8(u16(key));
    EXPECT_FALSE(ReadProfileText(path, L"Control_Name1", key).empty()) << toUtf8(u16(key));
  }
}

TEST(ShippedSkin, EveryPictureExistsAndDecodesBothWays) {
  std::vector<std::wstring> pictures = {L"main_normal.jpg", L"main_over.jpg", L"main_down.jpg", L"main_disable.jpg",
                                        L"main_dim.jpg",
                                        L"Arrow.jpg", L"main_color0.jpg", L"main_color1.jpg",
                                        L"Profile_normal.jpg", L"Profile_over.jpg", L"Profile_down.jpg", L"Profile_disable.jpg",
                                        L"dengup.bmp", L"dengdown.bmp", L"user1up.bmp", L"user1down.bmp",
                                        L"user2up.bmp", L"user2down.bmp", L"sjsup.bmp", L"sjsdown.bmp"};
  for (const wchar_t* set : {L"media", L"function"})
    for (const wchar_t* state : {L"normal", L"over", L"down"}) pictures.push_back(std::wstring(set) + L"_" + state + L".jpg");
  for (const wchar_t* set : {L"key", L"macro", L"macro2"})
    for (const wchar_t* state : {L"normal", L"over", L"down", L"disable"})
      pictures.push_back(std::wstring(set) + L"_" + state + L".jpg");
  for (int i = 0; i <= 9; ++i) pictures.push_back(std::to_wstring(i) + L".bmp");
  for (int i = 1; i <= 10; ++i) pictures.push_back(L"jdt" + std::to_wstring(i) + L".bmp");
  for (const wchar_t* c : {L"hong", L"huang", L"lv", L"lan"}) {
    pictures.push_back(std::wstring(c) + L".bmp");
    pictures.push_back(std::wstring(c) + L"ok.bmp");
  }
  for (const wchar_t* f : {L"Main.ini", L"Composite.ini", L"Profile.ini"}) {
    pictures.push_back(ReadProfileText(skin(f), L"SCREEN", L"Main"));
    pictures.push_back(ReadProfileText(skin(f), L"SCREEN", L"Mask"));
  }
  for (const std::wstring& name : pictures) {
    SCOPED_TRACE(toUtf8(u16(name)));
    SkinImage image = loadSkinPicture(name);
    ASSERT_TRUE(image.created());
    EXPECT_TRUE(image.decoded());
    SIZE s = pictureSize(skin(name.c_str()));
    EXPECT_EQ(image.width(), s.cx);
    EXPECT_EQ(image.height(), s.cy);
  }
  // Face pictures have the size of their window's background.
  SIZE mainBg = pictureSize(skinsFolder() + ReadProfileText(skin(L"Main.ini"), L"SCREEN", L"Main"));
  EXPECT_EQ(pictureSize(skin(L"main_over.jpg")).cx, mainBg.cx);
  SIZE compBg = pictureSize(skinsFolder() + ReadProfileText(skin(L"Composite.ini"), L"SCREEN", L"Main"));
  EXPECT_EQ(pictureSize(skin(L"macro2_disable.jpg")).cy, compBg.cy);
  // Level-control pictures share one size; so do the progress frames.
  EXPECT_EQ(pictureSize(skin(L"0.bmp")).cx, pictureSize(skin(L"9.bmp")).cx);
  EXPECT_EQ(pictureSize(skin(L"jdt1.bmp")).cx, pictureSize(skin(L"jdt10.bmp")).cx);
}

TEST(ShippedSkin, MasksCutRoundedCorners) {
  for (const wchar_t* f : {L"Main.ini", L"Composite.ini", L"Profile.ini"}) {
    UniqueBitmap mask = loadPictureFile(skinsFolder() + ReadProfileText(skin(f), L"SCREEN", L"Mask"));
    BITMAP b{};
    GetObjectW(mask.get(), sizeof(b), &b);
    UniqueRegion outline = regionFromMask(mask.get(), RGB(255, 255, 255), RGB(0, 0, 0));
    ASSERT_TRUE(outline);
    const int w = b.bmWidth, h = b.bmHeight;
    EXPECT_TRUE(PtInRegion(outline.get(), w / 2, h / 2));
    EXPECT_TRUE(PtInRegion(outline.get(), w / 2, 0));
    EXPECT_TRUE(PtInRegion(outline.get(), 0, h / 2));
    for (POINT corner : {POINT{0, 0}, POINT{w - 1, 0}, POINT{0, h - 1}, POINT{w - 1, h - 1}, POINT{2, 2}})
      EXPECT_FALSE(PtInRegion(outline.get(), corner.x, corner.y)) << toUtf8(u16(f)) << " " << corner.x;
  }
}

std::vector<std::string> languageKeys() {
  std::vector<std::string> keys;
  for (size_t i = 0; i < kTextIdCount; ++i) keys.emplace_back(textKey(static_cast<TextId>(i)));
  for (const auto& k : kProfileTextKeys) keys.emplace_back(k.key);
  for (const auto& k : kTrayMenuKeys) keys.emplace_back(k.key);
  for (const auto& k : kAboutKeys) keys.emplace_back(k.key);
  for (const auto& k : added_text::kAll) keys.emplace_back(k.key);
  for (const char* k : {"MENU_1", "MENU_2", "MENU_3", "MENU_4", "SINGLE_KEY", "MACRO_SETTING", "MULTI_MEDIA",
                        "FUNCTION_KEY", "COMPOSITE_PROMPT_CLEAR", "COMPOSITE_PROMPT_OSK", "KEY_SETTING_TISHI",
                        "MACRO_EDIT_TISHI", "SINGLE_STATIC", "MACRO_NAME_SETTING", "A_RECORD", "A_DELETE",
                        "A_CLEAR", "A_TOP", "A_UP", "A_DOWN", "A_BOTTOM", "RECORD_DELAY", "MACRO_CYCLES",
                        "MEDIA_EDIT_TISHI", "FUNCTION_TISHI", "MACRO_OK", "MACRO_CANCLE"})
    keys.emplace_back(k);
  return keys;
}

bool hasChinese(const std::wstring& s) {
  for (wchar_t c : s)
    if (c >= 0x4E00 && c <= 0x9FFF) return true;
  return false;
}

TEST(ShippedLanguage, BothSectionsHoldEveryKey) {
  const std::wstring path = skin(L"language.ini");
  EXPECT_EQ(ReadProfileText(path, L"LANGUAGE", L"language"), L"1");
  EXPECT_EQ(LanguageSectionOf(path), L"ENGINSH");
  int chinese = 0;
  const std::vector<std::string> keys = languageKeys();
  for (const std::string& key : keys) {
    std::wstring k = wideAscii(key);
    std::wstring en = ReadProfileText(path, L"ENGINSH", k);
    std::wstring zh = ReadProfileText(path, L"CHINESE", k);
    EXPECT_FALSE(en.empty()) << "ENGINSH " << key;
    EXPECT_FALSE(zh.empty()) << "CHINESE " << key;
    EXPECT_LT(en.size(), kTextBufferChars) << key;
    EXPECT_LT(zh.size(), kTextBufferChars) << key;
    EXPECT_FALSE(hasChinese(en) && key != "EXTRA_MACRO_TOO_LONG" && key != "MAIN_NO_DEVICE_PROMPT") << key;
    chinese += hasChinese(zh);
  }
  EXPECT_GT(chinese, static_cast<int>(keys.size()) * 3 / 4);
  // Texts other parts quote, as they stand, blanks at their ends included.
  EXPECT_EQ(ReadProfileText(path, L"ENGINSH", L"MAIN_CAPTION"), L"Gaming Keyboard Settings");
  EXPECT_EQ(ReadProfileText(path, L"ENGINSH", L"MAIN_NO_DEVICE_PROMPT"),
            L"Device is not detected\uff0cthe key settings can not be displayed! ");
  EXPECT_EQ(ReadProfileText(path, L"ENGINSH", L"KEYBOARD_TRAY_DESC"), L"Single-handed keyboard Driver ");
  EXPECT_EQ(ReadProfileText(path, L"CHINESE", L"MAIN_CAPTION"), L"\u6e38\u620f\u952e\u76d8\u8bbe\u7f6e");
  // The record-delay value name is the same in both languages: it names a registry value.
  EXPECT_EQ(ReadProfileText(path, L"ENGINSH", L"MACRO_ACTION_RECORD_DELAY"), L"RecordDelay");
  EXPECT_EQ(ReadProfileText(path, L"CHINESE", L"MACRO_ACTION_RECORD_DELAY"), L"RecordDelay");
}

TEST(ShippedLanguage, TextTableLoadsFromIt) {
  const std::wstring path = skin(L"language.ini");
  LoadTextTable(path);
  EXPECT_EQ(text(TextId::MAIN_CLOSE_PROMPT), u"Close");
  EXPECT_EQ(text(TextId::MEDIA_CALC_17), u"Calculator");
  EXPECT_EQ(formatText(text(TextId::UNKNOWN_KEY), {0x0FF}), u"Unknown Key: 0ff");
  resetTextTable();
}

}  // namespace
}  // namespace kv
