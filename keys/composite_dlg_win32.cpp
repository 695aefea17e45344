#include "keys/composite_dlg_win32.h"

#include <mutex>
#include <string_view>

#include "base/exit_codes.h"
#include "base/help_page_win32.h"
#include "base/log_win32.h"
#include "base/text_table.h"
#include "base/text_table_win32.h"
#include "base/wide_win32.h"
#include "device/protocol.h"
#include "keys/key_summary.h"
#include "model/key_codes.h"
#include "model/key_info.h"
#include "resources/control_ids.h"
#include "resources/window_messages.h"
#include "skin/placement_win32.h"
#include "widgets/message_box_win32.h"
#include "widgets/ui_font_win32.h"

namespace kv {
namespace {

using namespace ids::composite_dlg;

constexpr COLORREF kLabelColour = RGB(228, 228, 228);

// The pictures of each image set: normal, hover, pressed and, for the key,
// macro and grey sets, disabled (the others use the normal picture).
struct ImageFiles {
  const wchar_t* normal;
  const wchar_t* over;
  const wchar_t* down;
  const wchar_t* disabled;
};
constexpr ImageFiles kImageFiles[] = {
    {L"key_normal.jpg", L"key_over.jpg", L"key_down.jpg", L"key_disable.jpg"},
    {L"macro_normal.jpg", L"macro_over.jpg", L"macro_down.jpg", L"macro_disable.jpg"},
    {L"macro2_normal.jpg", L"macro2_over.jpg", L"macro2_down.jpg", L"macro2_disable.jpg"},
    {L"media_normal.jpg", L"media_over.jpg", L"media_down.jpg", nullptr},
    {L"function_normal.jpg", L"function_over.jpg", L"function_down.jpg", nullptr},
};

// Labels drawn transparently over the skin.
constexpr int kLabels[] = {KEY_SETTING.id,         MARCO_NAME_SETTING.id,         TISHI_SINGLE_STATIC.id,
                           MEDIA_SETTING_TISHI.id, FUNCTION_KEY_SETTING_TISHI.id, FUNC_MACRO_CYCLES_PROMPT.id,
                           FUNC_MACRO_RECORD_DELAY2.id};

bool isLabel(int id) {
  for (int l : kLabels)
    if (l == id) return true;
  return false;
}

UniqueFont makeFont(UINT dpi, double points, const wchar_t* face) {
  LOGFONTW lf{};
  lf.lfHeight = FontHeightForPoints(points, dpi);
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  std::wstring_view(face).copy(lf.lfFaceName, LF_FACESIZE - 1);
  return CreateUiFont(lf);
}

}  // namespace

Korvalin_DlgComposite::Korvalin_DlgComposite(CWindow* parent, std::wstring skinFile, std::wstring skinsFolder,
                                             std::wstring helpFolder, WorkingConfig& config, CompositeHost& host)
    : CBaseDialog(IDD_COMPOSITE, parent, std::move(skinFile), std::move(skinsFolder)),
      config_(config),
      host_(host),
      helpFolder_(std::move(helpFolder)),
      macroPage_(*this, config, host, [this] { SetChanged(true); }) {}

Korvalin_DlgComposite::~Korvalin_DlgComposite() {
  removeCaptureHooks(config_);
  removeRecordHooks(config_);
}

void Korvalin_DlgComposite::closeIfOpen() {
  if (openCount_ > 0) OnCancel();
}

std::wstring Korvalin_DlgComposite::LanguageText(const char* key) const {
  return ReadLanguageText(folder() + L"language.ini", key);
}

CPngButton& Korvalin_DlgComposite::Button(int id) { return buttons_.Attach(hwnd(), id); }

// ---- opening ------------------------------------------------------------------

BOOL Korvalin_DlgComposite::OnInitDialog() {
  buttons_.Clear();  // the windows of the last opening are gone
  CBaseDialog::OnInitDialog();
  openCount_ = 1;
  LoadImageSets();
  macroPage_.Open();
  SkinControls();
  MakeFonts();
  FillLists();
  macroPage_.Fill();
  changed_ = false;
  ReadEntry();
  if (macroOnly) {
    page_ = kEditorPageMacro;
    ApplyMacroOnly();
  }
  capturedCode_ = 0;
  ShowPage(true);
  SetChanged(false);
  PlaceBesideKey();
  SetTexts();
  return FALSE;  // the page has set the focus
}

std::vector<std::wstring> Korvalin_DlgComposite::ImageFileNames() {
  std::vector<std::wstring> names;
  for (const ImageFiles& f : kImageFiles)
    for (const wchar_t* name : {f.normal, f.over, f.down, f.disabled})
      if (name) names.emplace_back(name);
  return names;
}

void Korvalin_DlgComposite::LoadImageSets(SkinPicturePreloader* preloaded) {
  if (setsLoaded_) return;
  // Surfaces of the pictures' own size: they are the editor's size, and the
  // editor need not exist yet (the main window loads them ahead of the first
  // click, so that the editor opens at once).
  WindowDc screen(nullptr);
  auto load = [&](SkinSurface& s, const wchar_t* file) {
    std::wstring path = skinsFolder() + file;
    PreparedPicture p = preloaded ? preloaded->take(path) : preparePicture(path);
    const SkinImage& image = p.image;
    // A skin picture the editor cannot show ends the program, as at start-up.
    if (!image.created()) ExitFatally(kExitSkinImageObject, file);
    if (!image.decoded()) ExitFatally(kExitSkinPictureDecode, file);
    if (!s.build(screen.get(), image.width(), image.height(), p.bitmap.get())) ExitFatally(kExitSkinImageObject, file);
  };
  for (int i = 0; i < kImageSetCount; ++i) {
    const ImageFiles& f = kImageFiles[i];
    Faces& set = sets_[static_cast<size_t>(i)];
    load(set.normal, f.normal);
    load(set.over, f.over);
    load(set.down, f.down);
    set.ownDisabled = f.disabled != nullptr;
    if (set.ownDisabled) load(set.disabled, f.disabled);
  }
  setsLoaded_ = true;
}

void Korvalin_DlgComposite::SkinButton(CPngButton& button, const wchar_t* key, ImageSet which) {
  const Faces& s = sets_[which];
  // The set face marks the tab of the page shown: the pressed look.
  PlaceSkinnedControl(button, dataFile(), L"BUTTONINFO", key, &s.normal, &s.over, &s.down, &s.disabledFace(),
                      &s.down);
  button.setCaptionStyle(true, key == std::wstring_view(FUNC_MACRO_RECORD.key) ? 8 : 9, L"Tahoma",
                         RGB(255, 255, 255), CPngButton::kDefaultCaptionFormat);
  // A disabled button of the key set shows its dimmed face; Apply's says nothing waits.
  if (key == std::wstring_view(CONTROL2_APPLY.key)) button.setDisabledCaptionColour(CPngButton::kDimmedCaptionColour);
}

void Korvalin_DlgComposite::SetPageFaces(ImageSet which) {
  const Faces& s = sets_[which];
  CPngButton& mask = Button(CONTROL_MASK.id);
  mask.setFaces(mask.originX(), mask.originY(), s.normal.hdc(), s.normal.hdc(), s.normal.hdc(), s.disabledFace().hdc(),
                s.normal.hdc(), true);
}

void Korvalin_DlgComposite::SkinControls() {
  for (const ids::SkinControl& c : {CONTROL_TITLE, CONTROL_OSK, CONTROL_KEY, CONTROL_MACRO, CONTROL_MEDIA,
                                    CONTROL_FUNCTION, CONTROL_CLEAR, CONTROL2_APPLY, CONTROL_OK, CONTROL_CANCEL})
    SkinButton(Button(c.id), c.key, kKeySet);
  macroPage_.Place(dataFile(), [this](CPngButton& b, const wchar_t* key) { SkinButton(b, key, kMacroSet); });
  EnableWindow(item(CONTROL_TITLE.id), FALSE);  // a picture, not a button
  // The page picture lies under the page's controls.
  const Faces& k = sets_[kKeySet];
  PlaceSkinnedControl(Button(CONTROL_MASK.id), dataFile(), L"BUTTONINFO", CONTROL_MASK.key, &k.normal, &k.normal,
                      &k.normal, &k.normal, &k.normal);
  EnableWindow(item(CONTROL_MASK.id), FALSE);
  (void)SetWindowPos(item(CONTROL_MASK.id), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  Button(CONTROL_MASK.id).setDrawCallback([this](HWND, bool) { RepaintPageControls(); });
  for (const ids::SkinControl& c : {KEY_SETTING, TISHI_SINGLE_STATIC, FUNC_KEY_INPUT, MEDIA_SETTING_TISHI,
                                    FUNC_MEDIA_SELECT, FUNCTION_KEY_SETTING_TISHI, FUNC_FUNCTION_SELECT})
    PlaceControl(item(c.id), dataFile(), L"BUTTONINFO", c.key);
  Button(CONTROL_CLEAR.id).setTooltip(LanguageText("COMPOSITE_PROMPT_CLEAR"), true);
  Button(CONTROL_OSK.id).setTooltip(LanguageText("COMPOSITE_PROMPT_OSK"), true);
}

void Korvalin_DlgComposite::MakeFonts() {
  if (!keyFont_) {
    const UINT dpi = SkinDpi(hwnd());
    keyFont_ = makeFont(dpi, 18, L"Verdana");
    listFont_ = makeFont(dpi, 12, L"Verdana");
    labelFont_ = makeFont(dpi, 10.8, L"Tahoma");
  }
  auto font = [&](int id, const UniqueFont& f) {
    (void)SendMessageW(item(id), WM_SETFONT, reinterpret_cast<WPARAM>(f.get()), FALSE);  // answers nothing
  };
  font(FUNC_KEY_INPUT.id, keyFont_);
  for (int id : {FUNC_MACRO_LIST.id, FUNC_MEDIA_SELECT.id, FUNC_FUNCTION_SELECT.id}) font(id, listFont_);
  for (int id : {KEY_SETTING.id, MARCO_NAME_SETTING.id, TISHI_SINGLE_STATIC.id, MEDIA_SETTING_TISHI.id,
                 FUNCTION_KEY_SETTING_TISHI.id})
    font(id, labelFont_);
}

void Korvalin_DlgComposite::FillLists() {
  auto fill = [&](int id, size_t count, auto nameOf) {
    HWND list = item(id);
    (void)SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (size_t i = 0; i < count; ++i) {
      std::wstring name = wide(nameOf(i));
      (void)SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));  // answers the index
    }
    (void)SendMessageW(list, LB_SETCURSEL, 0, 0);
  };
  fill(FUNC_MEDIA_SELECT.id, kMediaFunctionCount, [](size_t i) { return KeyName(MediaFunctionList[i].keyCode); });
  fill(FUNC_FUNCTION_SELECT.id, FunctionKeyList.size(), [](size_t i) { return std::u16string(functionKeyName(i)); });
}

void Korvalin_DlgComposite::ReadEntry() {
  // The edit belongs to the profile shown now, whatever the keyboard
  // switches to while the editor is open.
  profile_ = GetActiveProfile();
  KeyActionEntry e{};
  {
    std::lock_guard lock(config_.lock);
    if (config_.table) e = readEntry(*config_.table, profile_, editedSlot);
  }
  page_ = static_cast<int>(e.type);
  entryValue_ = e.value;
  entryAux_ = e.aux;
}

void Korvalin_DlgComposite::ApplyMacroOnly() {
  const Faces& g = sets_[kGreySet];
  for (int id : {CONTROL_KEY.id, CONTROL_MEDIA.id, CONTROL_FUNCTION.id, CONTROL_CLEAR.id, CONTROL_TITLE.id}) {
    CPngButton& b = Button(id);
    b.setFaces(b.originX(), b.originY(), g.normal.hdc(), g.over.hdc(), g.down.hdc(), g.disabledFace().hdc(),
               g.down.hdc(), false);
    if (id != CONTROL_TITLE.id) EnableWindow(item(id), FALSE);
  }
  for (int id : {TISHI_SINGLE_STATIC.id, MEDIA_SETTING_TISHI.id, FUNCTION_KEY_SETTING_TISHI.id})
    ShowWindow(item(id), SW_HIDE);
}

void Korvalin_DlgComposite::PlaceBesideKey() {
  RECT w{}, k{};
  GetWindowRect(hwnd(), &w);
  HWND key = host_.ButtonWindow(editedButtonId);
  if (!key || !GetWindowRect(key, &k)) return;
  // The work area of the key's monitor: not under the taskbar, and on the
  // monitor the main window is on.
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (GetMonitorInfoW(MonitorFromWindow(key, MONITOR_DEFAULTTONEAREST), &mi)) area = mi.rcWork;
  ScreenPoint p = editorPosition(w.right - w.left, w.bottom - w.top, {k.left, k.top, k.right, k.bottom},
                                 {area.left, area.top, area.right, area.bottom});
  if (!SetWindowPos(hwnd(), HWND_NOTOPMOST, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE))
    ReportWin32Failure(L"SetWindowPos(editor)");
}

void Korvalin_DlgComposite::SetTexts() {
  struct Text {
    int id;
    const char* key;
  };
  const Text texts[] = {{CONTROL_KEY.id, "SINGLE_KEY"},
                        {CONTROL_MACRO.id, "MACRO_SETTING"},
                        {CONTROL_MEDIA.id, "MULTI_MEDIA"},
                        {CONTROL_FUNCTION.id, "FUNCTION_KEY"},
                        {KEY_SETTING.id, macroOnly ? "MACRO_EDIT_TISHI" : "KEY_SETTING_TISHI"},
                        {TISHI_SINGLE_STATIC.id, "SINGLE_STATIC"},
                        {MEDIA_SETTING_TISHI.id, "MEDIA_EDIT_TISHI"},
                        {FUNCTION_KEY_SETTING_TISHI.id, "FUNCTION_TISHI"},
                        {CONTROL_OK.id, "MACRO_OK"},
                        {CONTROL_CANCEL.id, "MACRO_CANCLE"}};
  for (const Text& t : texts) {
    bool greyTab = macroOnly && (t.id == CONTROL_KEY.id || t.id == CONTROL_MEDIA.id || t.id == CONTROL_FUNCTION.id);
    std::wstring s = greyTab ? std::wstring() : LanguageText(t.key);
    (void)SetWindowTextW(item(t.id), s.c_str());  // the control exists: the template has it
    // A tab says ", selected" while its page shows.
    if (t.id == CONTROL_KEY.id || t.id == CONTROL_MACRO.id || t.id == CONTROL_MEDIA.id || t.id == CONTROL_FUNCTION.id)
      Button(t.id).setAccessibleName(s);
  }
  // The fifth tab restores the key's factory function; greyed with the
  // other tabs when only a macro can be chosen.
  (void)SetWindowTextW(item(CONTROL_CLEAR.id),
                       macroOnly ? L"" : ReadLanguageText(folder() + L"language.ini", added_text::kDefaultTab).c_str());
  ShowEditedKey();
  macroPage_.SetTexts([this](const char* key) { return LanguageText(key); });
  // The editor's Apply has no text of its own in the language file: the
  // main window's.
  (void)SetWindowTextW(item(CONTROL2_APPLY.id), ReadLanguageText(folder() + L"language.ini", "PROFILE_APPLY").c_str());
}

void Korvalin_DlgComposite::ShowEditedKey() {
  // Beside the product name in the title picture: which key is edited, and
  // for a G key which bank.
  std::u16string name;
  if (isGKeySlot(editedSlot)) {
    int g = editedSlot - kGKeySlotBase;
    name = formatText(u16(ReadLanguageText(folder() + L"language.ini", added_text::kGKeyTitle)),
                      {std::u16string_view(gKeyButtonName(g % kGKeyCount)), g < kGKeyCount ? u"A" : u"B"});
  } else {
    for (const KeyButton& k : KeyButtonTable)
      if (slotOfKey(k.keyCode) == editedSlot) {
        name = keyButtonName(k.keyCode);
        break;
      }
  }
  CPngButton& title = Button(CONTROL_TITLE.id);
  (void)SetWindowTextW(title.hwnd(), wide(name).c_str());  // the title is in the template
  title.setCaptionMargins(0, -12, 0, 0);
  title.setCaptionStyle(true, 11, L"Tahoma", RGB(255, 255, 255), DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
}

// ---- pages ----------------------------------------------------------------------

void Korvalin_DlgComposite::ShowPage(bool firstTime) {
  int shown = page_ == kEditorPageMacro || page_ == kEditorPageMedia || page_ == kEditorPageFunction ? page_ : kEditorPageSingleKey;
  if (shown != kEditorPageMacro) macroPage_.Leave();
  switch (shown) {
    case kEditorPageMacro:
      SetPageFaces(kMacroSet);
      removeCaptureHooks(config_);
      break;
    case kEditorPageMedia:
    case kEditorPageFunction: {
      SetPageFaces(shown == kEditorPageMedia ? kMediaSet : kFunctionSet);
      removeCaptureHooks(config_);
      if (firstTime)
        (void)SendMessageW(item(shown == kEditorPageMedia ? FUNC_MEDIA_SELECT.id : FUNC_FUNCTION_SELECT.id), LB_SETCURSEL,
                           entryValue_, 0);  // a row outside the list selects none
      break;
    }
    default:
      SetPageFaces(kKeySet);
      installCaptureHooks(config_, *this, hwnd());
      if (firstTime) capturedCode_ = static_cast<KeyCode>(entryValue_);
      if (page_ == kEditorPageSingleKey && capturedCode_ != 0)
        (void)SetWindowTextW(item(FUNC_KEY_INPUT.id), wide(KeyName(capturedCode_)).c_str());
      break;
  }
  auto show = [&](int id, bool on) { ShowWindow(item(id), on ? SW_SHOW : SW_HIDE); };
  macroPage_.ShowControls(shown == kEditorPageMacro);
  show(FUNC_KEY_INPUT.id, shown == kEditorPageSingleKey);
  show(TISHI_SINGLE_STATIC.id, shown == kEditorPageSingleKey && !macroOnly);
  show(FUNC_MEDIA_SELECT.id, shown == kEditorPageMedia);
  show(MEDIA_SETTING_TISHI.id, shown == kEditorPageMedia && !macroOnly);
  show(FUNC_FUNCTION_SELECT.id, shown == kEditorPageFunction);
  show(FUNCTION_KEY_SETTING_TISHI.id, shown == kEditorPageFunction && !macroOnly);
  Button(CONTROL_KEY.id).setSetState(shown == kEditorPageSingleKey, true);
  Button(CONTROL_MACRO.id).setSetState(shown == kEditorPageMacro, true);
  Button(CONTROL_MEDIA.id).setSetState(shown == kEditorPageMedia, true);
  Button(CONTROL_FUNCTION.id).setSetState(shown == kEditorPageFunction, true);
  // Screen readers hear which page is shown.
  Button(CONTROL_KEY.id).setAccessibleSelected(shown == kEditorPageSingleKey);
  Button(CONTROL_MACRO.id).setAccessibleSelected(shown == kEditorPageMacro);
  Button(CONTROL_MEDIA.id).setAccessibleSelected(shown == kEditorPageMedia);
  Button(CONTROL_FUNCTION.id).setAccessibleSelected(shown == kEditorPageFunction);
  if (shown == kEditorPageMacro) macroPage_.Enter(firstTime, static_cast<uint16_t>(entryValue_ & 0xFFFF));
  RepaintPageControls();
}

void Korvalin_DlgComposite::RepaintPageControls() {
  // The page picture is drawn over the page's controls: draw them again on top.
  HWND focus = nullptr;
  if (page_ == kEditorPageMacro) macroPage_.Repaint();
  for (int id : {FUNC_KEY_INPUT.id, FUNC_MEDIA_SELECT.id, FUNC_FUNCTION_SELECT.id, TISHI_SINGLE_STATIC.id,
                 MEDIA_SETTING_TISHI.id, FUNCTION_KEY_SETTING_TISHI.id}) {
    HWND h = item(id);
    if (!h || !IsWindowVisible(h)) continue;
    (void)RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    if (id == FUNC_KEY_INPUT.id || id == FUNC_MEDIA_SELECT.id || id == FUNC_FUNCTION_SELECT.id) focus = h;
  }
  if (focus && GetFocus() != focus) (void)SetFocus(focus);  // answers the previous focus
}

void Korvalin_DlgComposite::SelectTab(int page) {
  if (page == kEditorPageSingleKey) {
    if (page_ == kEditorPageNone || page_ == kEditorPageSingleKey) return;
  } else if (page_ == page) {
    return;
  }
  page_ = page;
  ShowPage(false);
  SetChanged(true);
}

void Korvalin_DlgComposite::Clear() {
  int before = page_;
  SelectTab(kEditorPageSingleKey);
  if (page_ == kEditorPageSingleKey) {
    (void)SetWindowTextW(item(FUNC_KEY_INPUT.id), L"");
    page_ = kEditorPageNone;
  }
  capturedCode_ = 0;
  // A key whose action was cleared has something to apply, whichever page it
  // showed: without this, clearing on the single-key page left Apply off.
  if (before != kEditorPageNone) SetChanged(true);
}

void Korvalin_DlgComposite::OnKeyCaptured(KeyCode code) {
  capturedCode_ = code;
  (void)SetWindowTextW(item(FUNC_KEY_INPUT.id), wide(KeyName(code)).c_str());
  page_ = kEditorPageSingleKey;
  SetChanged(true);
}

void Korvalin_DlgComposite::SetChanged(bool changed) {
  changed_ = changed;
  (void)EnableWindow(item(CONTROL2_APPLY.id), changed ? TRUE : FALSE);  // answers the previous state
}

// ---- Apply, OK, Cancel ----------------------------------------------------------------

void Korvalin_DlgComposite::Apply() {
  {
    std::lock_guard lock(config_.lock);
    host_.ChangeStarting();
  }
  macroPage_.Commit();
  EditorChoice c;
  c.page = page_;
  c.editedSlot = editedSlot;
  c.capturedCode = capturedCode_;
  c.selectedMacroId = macroPage_.SelectedMacroId();
  // The cycles field, as the commit stored it into the selected macro.
  if (c.selectedMacroId != 0) c.cycles = macroPage_.SelectedCycles();
  if (page_ == kEditorPageMedia || page_ == kEditorPageFunction) {
    LRESULT row = SendMessageW(item(page_ == kEditorPageMedia ? FUNC_MEDIA_SELECT.id : FUNC_FUNCTION_SELECT.id),
                               LB_GETCURSEL, 0, 0);
    c.listRow = row < 0 ? 0 : static_cast<uint32_t>(row);
  }
  bool stored = false;
  {
    std::lock_guard lock(config_.lock);
    c.macroCount = static_cast<int>(config_.macros.size());
    Assignment a = assignmentOf(c);
    if (config_.table)
      stored = writeAssignment(*config_.table, config_.strings, profile_, editedSlot, a.type, a.aux, a.value);
    if (stored) host_.RefreshKeySummariesLocked();
    host_.ChangeMade();
  }
  SetChanged(false);
  if (stored) {
    host_.EnableMainApply();
  } else {
    // No keyboard answers: there is no profile to store the key in. Shown
    // with the lock released.
    (void)ShowMessageBox(hwnd(), wide(text(TextId::APPLY_PROMPT)).c_str(), L"", MB_OK);  // OK only
  }
}

void Korvalin_DlgComposite::Closing() {
  removeCaptureHooks(config_);
  macroPage_.Close();
  SetChanged(false);
  openCount_ = 0;
}

void Korvalin_DlgComposite::OnOK() {
  // Unchanged, the entry stays as it is: the editor cannot show every entry
  // (a program path or a text block from a file) and would write it over.
  macroPage_.FinishEdits();
  if (changed_) Apply();
  Closing();
  CBaseDialog::OnOK();
}

void Korvalin_DlgComposite::OnCancel() {
  Closing();
  CBaseDialog::OnCancel();
}

bool Korvalin_DlgComposite::OnCommand(WORD id, WORD code, HWND control) {
  switch (id) {
    case IDC_COMPOSITE_CONTROL_KEY:
      SelectTab(kEditorPageSingleKey);
      return true;
    case IDC_COMPOSITE_CONTROL_MACRO:
      SelectTab(kEditorPageMacro);
      return true;
    case IDC_COMPOSITE_CONTROL_MEDIA:
      SelectTab(kEditorPageMedia);
      return true;
    case IDC_COMPOSITE_CONTROL_FUNCTION:
      SelectTab(kEditorPageFunction);
      return true;
    case IDC_COMPOSITE_CONTROL_CLEAR:
      Clear();
      return true;
    case IDC_COMPOSITE_CONTROL_OSK:
      openOnScreenKeyboard();
      return true;
    case IDC_COMPOSITE_CONTROL2_APPLY:
      Apply();
      return true;
    case IDC_COMPOSITE_FUNC_MEDIA_SELECT:
    case IDC_COMPOSITE_FUNC_FUNCTION_SELECT:
      // Another row is another function to apply.
      if (code == LBN_SELCHANGE) SetChanged(true);
      return true;
    default:
      if (macroPage_.OnCommand(id, code)) return true;
      return CBaseDialog::OnCommand(id, code, control);
  }
}

bool Korvalin_DlgComposite::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case kMsgDeferredInit:
      result = 0;
      return true;
    case WM_CTLCOLORSTATIC: {
      HWND control = reinterpret_cast<HWND>(lp);
      if (!isLabel(GetDlgCtrlID(control))) return false;
      (void)SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);       // previous mode
      (void)SetTextColor(reinterpret_cast<HDC>(wp), kLabelColour);  // previous colour
      result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      return true;
    }
    case WM_ACTIVATE:
      // The hooks act only while the editor is in front: never on another
      // program's keys, nor under one of our own message boxes.
      setKeyHooksInFront(LOWORD(wp) != WA_INACTIVE);
      return CBaseDialog::OnMessage(msg, wp, lp, result);
    case WM_HELP:
      result = TRUE;
      return true;  // F1 is taken in PreTranslateMessage
    case WM_NOTIFY: {
      const auto* n = reinterpret_cast<const NMHDR*>(lp);
      if (n && macroPage_.OnNotify(*n, result)) return true;
      return CBaseDialog::OnMessage(msg, wp, lp, result);
    }
    case WM_DRAWITEM: {
      const auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (dis && macroPage_.OnDrawItem(*dis)) {
        result = TRUE;
        return true;
      }
      return CBaseDialog::OnMessage(msg, wp, lp, result);
    }
    default:
      return CBaseDialog::OnMessage(msg, wp, lp, result);
  }
}

bool Korvalin_DlgComposite::PreTranslateMessage(MSG& msg) {
  bool key = msg.message == WM_KEYDOWN || msg.message == WM_KEYUP;
  // Enter and Escape end an in-place cell edit (kept or dropped).
  if (macroPage_.PreTranslate(msg)) return true;
  // Enter and Escape never close the editor: only its buttons do.
  if (key && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) return true;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
    if (!config_.recording) OpenHelpPage(hwnd(), helpFolder_, folder() + L"language.ini");
    return true;
  }
  return CBaseDialog::PreTranslateMessage(msg);
}

}  // namespace kv
