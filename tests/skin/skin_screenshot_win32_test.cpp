// The three skinned windows with the shipped skin, from the program's own
// dialog templates and classes: the composite editor and the profile
// manager opened on test data, the main window put together from its parts
// on a new keyboard's state. Screenshots go to build/cross/skin-screenshots/
// for review.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "base/text_table.h"
#include "base/text_table_win32.h"
#include "base/wide_win32.h"
#include "app/window_part_win32.h"
#include "device/device_link.h"
#include "device/device_ui.h"
#include "device/protocol.h"
#include "keys/composite_dlg_win32.h"
#include "keys/working_config.h"
#include "model/key_codes.h"
#include "model/lighting.h"
#include "profile/profile_dlg_win32.h"
#include "profile/profile_store.h"
#include "profile/profile_switch_win32.h"
#include "resources/control_ids.h"
#include "skin/base_dialog_win32.h"
#include "skin/png_button_win32.h"
#include "skin/skin_picture_win32.h"
#include "tessaro/sim/sim_factory.h"
#include "tests/skin/skin_test_util_win32.h"
#include "tools/skingen/layout.h"
#include "ui/main/keyboard_view_win32.h"
#include "ui/main/lighting_panel_win32.h"
#include "widgets/application_win32.h"

namespace kv {
namespace {

namespace M = ids::main_dlg;
namespace C = ids::composite_dlg;
namespace P = ids::profile_dlg;

using skingen::Control;
using skingen::DialogLayout;

// The texts the program's dialogs take from the text table, as the program
// loads them at its start (another test may have loaded its own).
void loadShippedTexts() { LoadTextTable(skinsFolder() + L"language.ini"); }

// The Help folder beside the Skins folder, as the program folder has them.
std::wstring helpFolder() {
  std::wstring folder = skinsFolder();  // ends in Skins and a backslash
  const size_t cut = folder.find_last_of(L'\\', folder.size() >= 2 ? folder.size() - 2 : 0);
  return folder.substr(0, cut + 1) + L"Help\\";
}

// The shipped skin files in a folder of the test's own, with the language file
// switched to one language as a user switches it, by its "language" entry.
// The text table is loaded from it while the object lives.
class SkinFilesInLanguage {
 public:
  explicit SkinFilesInLanguage(int value) : folder_(test::tempDir() + L"skin_language_" + std::to_wstring(value) + L"\\") {
    CreateDirectoryW(folder_.c_str(), nullptr);
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((skinsFolder() + L"*.*").c_str(), &found);
    EXPECT_NE(find, INVALID_HANDLE_VALUE);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
          EXPECT_TRUE(CopyFileW((skinsFolder() + found.cFileName).c_str(), (folder_ + found.cFileName).c_str(), FALSE));
        }
      } while (FindNextFileW(find, &found));
      FindClose(find);
    }
    const std::wstring language = folder_ + L"language.ini";
    std::string bytes;
    if (FILE* in = _wfopen(language.c_str(), L"rb")) {
      char buffer[4096];
      for (size_t n; (n = fread(buffer, 1, sizeof buffer, in)) > 0;) bytes.append(buffer, n);
      fclose(in);
    }
    const std::string entry = utf16(u"language=1");
    const size_t at = bytes.find(entry);
    EXPECT_NE(at, std::string::npos) << "the shipped file chooses English";
    if (at != std::string::npos) bytes.replace(at, entry.size(), utf16(value == 1 ? u"language=1" : u"language=0"));
    if (FILE* out = _wfopen(language.c_str(), L"wb")) {
      fwrite(bytes.data(), 1, bytes.size(), out);
      fclose(out);
    }
    LoadTextTable(language);
  }
  ~SkinFilesInLanguage() { LoadTextTable(skinsFolder() + L"language.ini"); }
  SkinFilesInLanguage(const SkinFilesInLanguage&) = delete;
  SkinFilesInLanguage& operator=(const SkinFilesInLanguage&) = delete;
  const std::wstring& folder() const { return folder_; }

 private:
  static std::string utf16(std::u16string_view s) {
    std::string bytes;
    for (char16_t c : s) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
  }
  std::wstring folder_;
};

std::wstring windowText(HWND h) {
  std::wstring t(static_cast<size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
  t.resize(static_cast<size_t>(std::max(0, GetWindowTextW(h, t.data(), static_cast<int>(t.size())))));
  return t;
}

// The characters of `text` (line breaks and tabs aside) that `font` has no
// glyph for.
std::wstring withoutGlyphs(HFONT font, const std::wstring& text) {
  std::wstring shown;
  for (wchar_t c : text)
    if (c >= 0x20 && c != L'&') shown.push_back(c);
  if (shown.empty()) return {};
  UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  HGDIOBJ old = SelectObject(dc.get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  std::vector<WORD> glyphs(shown.size());
  const DWORD done = GetGlyphIndicesW(dc.get(), shown.c_str(), static_cast<int>(shown.size()), glyphs.data(),
                                      GGI_MARK_NONEXISTING_GLYPHS);
  SelectObject(dc.get(), old);
  if (done == GDI_ERROR) return L"(GetGlyphIndicesW failed)";
  std::wstring missing;
  for (size_t i = 0; i < shown.size(); ++i)
    if (glyphs[i] == 0xFFFF) missing.push_back(shown[i]);
  return missing;
}

// Every text a window shows in its visible controls, each checked against
// the font it is drawn in: an image button's caption (its own font), the
// column titles and cells of a list, the entries of a combo box, any other
// control's text (its WM_GETFONT). One line per text with a missing glyph.
std::vector<std::string> textsWithoutGlyphs(HWND window) {
  std::vector<std::string> faults;
  auto check = [&](HWND control, HFONT font, const std::wstring& text) {
    if (std::wstring missing = withoutGlyphs(font, text); !missing.empty()) {
      wchar_t face[LF_FACESIZE] = L"";
      UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
      HGDIOBJ old = SelectObject(dc.get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
      GetTextFaceW(dc.get(), LF_FACESIZE, face);
      SelectObject(dc.get(), old);
      faults.push_back("control " + std::to_string(GetDlgCtrlID(control)) + " \"" + toUtf8(u16(text)) +
                       "\" in " + toUtf8(u16(face)) + " lacks " + toUtf8(u16(missing)));
    }
  };
  for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (!IsWindowVisible(c)) continue;
    const auto font = reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0));
    wchar_t cls[64] = L"";
    GetClassNameW(c, cls, 64);
    if (auto* button = dynamic_cast<CPngButton*>(CWindow::FromHandle(c))) {
      if (button->captionShown()) check(c, button->MakeCaptionFont().get(), windowText(c));
    } else if (std::wstring_view(cls) == WC_LISTVIEWW) {
      HWND header = ListView_GetHeader(c);
      const auto headerFont = reinterpret_cast<HFONT>(SendMessageW(header, WM_GETFONT, 0, 0));
      const int columns = Header_GetItemCount(header);
      for (int col = 0; col < columns; ++col) {
        wchar_t t[260] = L"";
        HDITEMW h{};
        h.mask = HDI_TEXT;
        h.pszText = t;
        h.cchTextMax = 260;
        Header_GetItem(header, col, &h);
        check(header, headerFont, t);
        for (int row = 0; row < ListView_GetItemCount(c); ++row) {
          wchar_t cell[260] = L"";
          ListView_GetItemText(c, row, col, cell, 260);
          check(c, font, cell);
        }
      }
    } else if (std::wstring_view(cls) == WC_COMBOBOXW) {
      const auto count = SendMessageW(c, CB_GETCOUNT, 0, 0);
      for (LRESULT i = 0; i < count; ++i) {
        std::wstring t(static_cast<size_t>(SendMessageW(c, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        SendMessageW(c, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(t.data()));
        check(c, font, t.c_str());
      }
    } else {
      check(c, font, windowText(c));
    }
  }
  return faults;
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

// What a new keyboard answers for its lighting, read for one profile.
LightingRead factoryLighting(int profile) {
  LightingRead read;
  read.result = kLightingLoaded;
  read.profile = profile;
  std::copy(sim::kFactoryEffects.begin(), sim::kFactoryEffects.end(), read.effects.begin());
  for (size_t p = 0; p < read.records.size(); ++p)
    std::memcpy(&read.records[p], sim::kFactorySettings[p].data(), sizeof read.records[p]);
  read.perKey = effectListHasPerKey(read.effects);
  std::copy(sim::kFactoryPatterns.begin(), sim::kFactoryPatterns.end(), read.region.begin());
  return read;
}

// The frame's own buttons (title bar, link, version, Apply, OK, Cancel).
class FrameButtons : public CWindowPart {
 public:
  using CWindowPart::CWindowPart;
  bool OnCommand(WORD, WORD) override { return false; }
};

// The main window put together from the program's own parts: the keyboard
// view, the profile buttons and the lighting panel, given the window, its
// skin pictures and the state a keyboard read leaves. The program's window
// itself (CKorvalinDlg) cannot be made in a test process: its constructor
// runs the single-instance check, which ends the process with code 0 when
// another Korvalin holds the mutex, and its initialisation loads the
// transport library for the whole process (and never unloads it), adds the
// tray icon and writes the keyboard's profile cache in the user's Documents.
// So the frame's few buttons are set up here as it sets them up.
class MainWindowOfParts : public CBaseDialog {
 public:
  MainWindowOfParts(WorkingConfig& config, ProfileStore& store, std::wstring settingsFile,
                    std::wstring folder = skinsFolder())
      : CBaseDialog(IDD_MAIN, nullptr, folder + L"Main.ini", folder),
        config_(config),
        store_(store),
        settingsFile_(std::move(settingsFile)),
        folder_(std::move(folder)) {}

  const SkinSurface& surface(MainSurface s) const { return surfaces_[s]; }
  CPngButton* button(int id) const {
    for (const CWindowPart* part : {static_cast<const CWindowPart*>(keyboard_.get()),
                                    static_cast<const CWindowPart*>(lighting_.get()),
                                    static_cast<const CWindowPart*>(profiles_.get()),
                                    static_cast<const CWindowPart*>(frame_.get())})
      if (CPngButton* b = part ? part->Button(id) : nullptr) return b;
    return nullptr;
  }

 protected:
  BOOL OnInitDialog() override {
    CBaseDialog::OnInitDialog();
    // The window's pictures, in the order of its surfaces.
    const wchar_t* pictures[] = {L"main_normal.jpg", L"main_over.jpg",   L"main_down.jpg",  L"main_disable.jpg",
                                 L"main_normal.jpg", L"main_over.jpg",   L"main_down.jpg",  L"main_disable.jpg",
                                 L"Arrow.jpg",       L"main_color0.jpg", L"main_color1.jpg", L"main_dim.jpg"};
    static_assert(std::size(pictures) == std::tuple_size_v<MainSurfaces>);
    for (size_t i = 0; i < surfaces_.size(); ++i)
      EXPECT_TRUE(makeSkinSurface(surfaces_[i], loadSkinPictureOrExit(pictures[i]), hwnd())) << i;

    WindowContext context{this, dataFile(), folder_, folder_ + L"language.ini", &surfaces_, {}};
    frame_ = std::make_unique<FrameButtons>(context);
    keyboard_ = std::make_unique<CKeyboardView>(context, config_, ui_, folder_ + L"Composite.ini");
    lighting_ = std::make_unique<CLightingPanel>(context);
    profiles_ = std::make_unique<CProfileSwitch>(context, folder_ + L"Profile.ini");
    ProfileSwitchLinks links;
    links.store = &store_;
    links.ui = &ui_;
    profiles_->Connect(std::move(links));

    for (const ids::SkinControl& b : {M::VELTRA_LINK, M::CONTROL_OK, M::CONTROL_CANCEL, M::CONTROL_HELP,
                                      M::CONTROL_CLOSE, M::CONTROL_MINIMIZE, M::CONTROL2_APPLY, M::VELTRA_VER})
      frame_->PlaceButton(b.id, b.key, kSurfaceNormal, kSurfaceOver, kSurfaceDown,
                          b.id == M::CONTROL2_APPLY.id ? kSurfaceDim : kSurfaceNormal, kSurfaceSet);
    caption(M::VELTRA_LINK.id, ReadProfileText(dataFile(), L"SCREEN", L"Link"), 8, L"Verdana", RGB(0x7F, 0xD8, 0xEC));
    caption(M::VELTRA_VER.id, wide(text(TextId::MAIN_BUTTON_VELTRA_VER)), 8, L"Verdana", RGB(0xE4, 0xE4, 0xE4));
    EnableWindow(item(M::VELTRA_VER.id), FALSE);
    frame_->Attach(M::CONTROL_HELP.id).setTooltip(wide(text(TextId::MAIN_HELP_PROMPT)), true);
    EnableWindow(item(M::CONTROL2_APPLY.id), FALSE);

    profiles_->Place();
    keyboard_->Place();
    lighting_->Build(settingsFile_, *keyboard_);
    lighting_->FillUserModes();
    const int textControls[] = {M::FUNC_PROFILE1.id, M::FUNC_PROFILE2.id, M::FUNC_PROFILE3.id, M::FUNC_MACRO.id,
                                M::FUNC_DEFAULT.id,  M::CONTROL_OK.id,    M::CONTROL_CANCEL.id, M::CONTROL2_APPLY.id};
    static_assert(std::size(textControls) == std::size(kProfileTextKeys));
    for (size_t i = 0; i < std::size(textControls); ++i)
      caption(textControls[i], ReadLanguageText(folder_ + L"language.ini", kProfileTextKeys[i].key), 9,
              L"Tahoma", RGB(255, 255, 255));

    // What the window shows once the keyboard was read.
    profiles_->UpdateSelectedProfile();
    {
      std::lock_guard lock(config_.lock);
      keyboard_->RefreshKeyButtons();
    }
    lighting_->Reload(factoryLighting(SelectedProfile()));
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
  void caption(int id, const std::wstring& t, int size, const wchar_t* font, COLORREF colour) {
    SetWindowTextW(item(id), t.c_str());
    if (CPngButton* b = button(id)) b->setCaptionStyle(true, size, font, colour, CPngButton::kDefaultCaptionFormat);
  }

  WorkingConfig& config_;
  ProfileStore& store_;
  std::wstring settingsFile_;
  std::wstring folder_;
  SilentDeviceUi ui_;
  MainSurfaces surfaces_;
  std::unique_ptr<FrameButtons> frame_;
  std::unique_ptr<CKeyboardView> keyboard_;
  std::unique_ptr<CLightingPanel> lighting_;
  std::unique_ptr<CProfileSwitch> profiles_;
};

// A new keyboard on its per-key profile (profile 2) whose W, A, S, D and
// G1, G2, G5 carry an action, the lighting panel closed or open.
class MainWindowScreenshot : public ::testing::Test {
 protected:
  static constexpr int kProfile = 1;

  void SetUp() override {
    config_.table = newKeyActionTable();
    ASSERT_NE(config_.table, nullptr);
    const KeyActionEntry sendsB{ActionType::SingleKey, 0, 0x30, 0, 0};
    for (KeyCode key : {KeyCode{0x11}, KeyCode{0x1E}, KeyCode{0x1F}, KeyCode{0x20}})
      config_.table->entries[entryIndex(kProfile, slotOfKey(key))] = sendsB;
    for (int g : {0, 1, 4}) config_.table->entries[entryIndex(kProfile, slotOfGKey(0, g))] = sendsB;
    DeviceLinkState().activeProfile = kProfile;
    loadShippedTexts();
  }
  void TearDown() override { DeviceLinkState().activeProfile = -1; }

  // The user's settings file with the lighting panel open or closed.
  std::wstring settingsFile(bool panelOpen) {
    std::wstring path = test::tempDir() + L"main_wskb.ini";
    EXPECT_TRUE(WritePrivateProfileStringW(L"KEYCOLOR", L"DengCheck", panelOpen ? L"1" : L"0", path.c_str()));
    return path;
  }

  const DialogLayout layout_ = skingen::mainLayout();
  WorkingConfig config_;
  ApplySnapshot snapshot_;
  SilentDeviceUi ui_;
  ProfileStore store_{config_, snapshot_, ui_, std::filesystem::path(test::tempDir() + L"documents"), [] { return 0; }};
};

TEST_F(MainWindowScreenshot, MainWindow) {
  MainWindowOfParts d(config_, store_, settingsFile(false));
  show(d);
  RECT r{};
  GetWindowRect(d.hwnd(), &r);
  EXPECT_EQ(r.right - r.left, layout_.width);
  EXPECT_EQ(r.bottom - r.top, layout_.height);
  // One key in each look: hover and pressed shown as the user would see them.
  SendMessageW(GetDlgItem(d.hwnd(), M::KEY_039.id), BM_SETSTATE, TRUE, 0);
  SendMessageW(GetDlgItem(d.hwnd(), M::KEY_01C.id), WM_MOUSEHOVER, 0, 0);
  test::pump(200);
  // A set key shows the set picture at its place; a plain key the normal one.
  const Control* a = layout_.find(M::KEY_01E.name);
  const Control* b = layout_.find(M::KEY_030.name);
  EXPECT_EQ(test::pixelOf(GetDlgItem(d.hwnd(), M::KEY_01E.id), 10, 10),
            GetPixel(d.surface(kSurfaceSet).hdc(), a->x + 9, a->y + 9));
  EXPECT_EQ(test::pixelOf(GetDlgItem(d.hwnd(), M::KEY_030.id), 10, 10),
            GetPixel(d.surface(kSurfaceNormal).hdc(), b->x + 9, b->y + 9));
  EXPECT_TRUE(test::saveWindowShot(d.hwnd(), shotPath(L"main.bmp")));
  EXPECT_TRUE(test::bmpToPng(shotPath(L"main.bmp"), shotPath(L"main.png")));
  d.DestroyWindow();
}

TEST_F(MainWindowScreenshot, MainWindowWithTheLightingPanelOpen) {
  MainWindowOfParts d(config_, store_, settingsFile(true));
  show(d);
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(d.hwnd(), M::CONTROL_XGcombox.id))) << "the lighting panel is closed";
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(d.hwnd(), M::CONTROL_umCombo.id))) << "no per-key tools";
  EXPECT_TRUE(test::saveWindowShot(d.hwnd(), shotPath(L"main_lighting.bmp")));
  EXPECT_TRUE(test::bmpToPng(shotPath(L"main_lighting.bmp"), shotPath(L"main_lighting.png")));
  d.DestroyWindow();
}

// The editor asks nothing of a main window here: it is opened on its own.
class NoMainWindow : public CompositeHost {
 public:
  void RefreshKeySummariesLocked() override {}
  void EnableMainApply() override {}
  HWND ButtonWindow(int) const override { return nullptr; }  // no key to open beside
  void ShowKeyUnassigned(int) override {}
  size_t KeyboardMacroMemory() const override { return 0; }  // no keyboard attached
};

// The program's editor opened for key A, which plays Macro1 (A pressed and
// released, S pressed): it opens on its macro page with the macro shown.
class EditorOnTheMacroPage {
 public:
  explicit EditorOnTheMacroPage(std::wstring folder = skinsFolder())
      : dialog_{nullptr, folder + L"Composite.ini", folder, helpFolder(), config_, host_} {
    config_.table = newKeyActionTable();
    EXPECT_NE(config_.table, nullptr);
    MacroRecord m{};
    setMacroName(m, u"Macro1");
    m.id = 1;
    m.cycles = 1;
    m.actionCount = 3;
    m.actions[0] = {50, 0x1E, kMacroPress};
    m.actions[1] = {50, 0x1E, kMacroRelease};
    m.actions[2] = {0, 0x1F, kMacroPress};
    config_.macros = {m};
    const int slotA = slotOfKey(0x1E);
    config_.table->entries[entryIndex(0, slotA)] = {ActionType::PlayMacro, 1, 1, 0, 0};
    DeviceLinkState().activeProfile = 0;  // what a keyboard would answer
    dialog_.editedSlot = slotA;
    dialog_.editedButtonId = M::KEY_01E.id;
    show(dialog_);
  }
  ~EditorOnTheMacroPage() {
    dialog_.DestroyWindow();
    DeviceLinkState().activeProfile = -1;
  }
  HWND hwnd() const { return dialog_.hwnd(); }

 private:
  WorkingConfig config_;
  NoMainWindow host_;
  Korvalin_DlgComposite dialog_;
};

TEST(SkinScreenshot, CompositeEditorOnItsMacroPage) {
  loadShippedTexts();
  const DialogLayout layout = skingen::compositeLayout();
  EditorOnTheMacroPage d;
  RECT r{};
  GetWindowRect(d.hwnd(), &r);
  EXPECT_EQ(r.right - r.left, layout.width);
  HWND list = GetDlgItem(d.hwnd(), C::FUNC_MACRO_LIST2.id);
  EXPECT_TRUE(IsWindowVisible(list)) << "not on the macro page";
  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_TRUE(test::saveWindowShot(d.hwnd(), shotPath(L"composite.bmp")));
  EXPECT_TRUE(test::bmpToPng(shotPath(L"composite.bmp"), shotPath(L"composite.png")));
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

// Every text the three windows show has a glyph in the font it is drawn in,
// in both languages, as the program chooses its fonts on this system: under
// Wine no font is linked in for the characters a face lacks.
class GlyphsOfEveryText : public MainWindowScreenshot, public ::testing::WithParamInterface<int> {
 protected:
  // A screenshot for review, named by window and language.
  static void shot(HWND window, const std::wstring& name) {
    const std::wstring base = name + (GetParam() == 1 ? L"_en" : L"_zh");
    EXPECT_TRUE(test::saveWindowShot(window, shotPath((base + L".bmp").c_str())));
    EXPECT_TRUE(test::bmpToPng(shotPath((base + L".bmp").c_str()), shotPath((base + L".png").c_str())));
  }
};

TEST_P(GlyphsOfEveryText, MainWindow) {
  SkinFilesInLanguage language(GetParam());
  for (bool panelOpen : {false, true}) {
    MainWindowOfParts d(config_, store_, settingsFile(panelOpen), language.folder());
    show(d);
    std::vector<std::string> faults = textsWithoutGlyphs(d.hwnd());
    EXPECT_TRUE(faults.empty()) << "panel open " << panelOpen << ":\n" << ::testing::PrintToString(faults);
    shot(d.hwnd(), panelOpen ? L"glyphs_main_lighting" : L"glyphs_main");
    d.DestroyWindow();
  }
}

TEST_P(GlyphsOfEveryText, EditorOnItsMacroPage) {
  SkinFilesInLanguage language(GetParam());
  EditorOnTheMacroPage d(language.folder());
  ASSERT_TRUE(IsWindowVisible(GetDlgItem(d.hwnd(), C::FUNC_MACRO_LIST2.id))) << "not on the macro page";
  std::vector<std::string> faults = textsWithoutGlyphs(d.hwnd());
  EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
  shot(d.hwnd(), L"glyphs_macro_page");
}

TEST_P(GlyphsOfEveryText, ProfileManager) {
  SkinFilesInLanguage language(GetParam());
  ManagerOnly host(store_);
  CKorvalin_DlgProfile d(nullptr, language.folder() + L"Profile.ini", language.folder(), host);
  show(d);
  std::vector<std::string> faults = textsWithoutGlyphs(d.hwnd());
  EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
  shot(d.hwnd(), L"glyphs_profile");
  d.DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, GlyphsOfEveryText, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& p) { return p.param == 1 ? "English" : "Chinese"; });

}  // namespace
}  // namespace kv
