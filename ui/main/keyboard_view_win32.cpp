#include "ui/main/keyboard_view_win32.h"

#include <commctrl.h>

#include <mutex>
#include <span>

#include "app/settings_win32.h"
#include "base/log_win32.h"
#include "base/text_table.h"
#include "base/text_table_win32.h"
#include "base/wide_win32.h"
#include "device/protocol.h"
#include "device/transport.h"
#include "keys/key_action.h"
#include "keys/key_capture.h"
#include "keys/key_summary.h"
#include "model/key_codes.h"
#include "resources/control_ids.h"
#include "skin/placement_win32.h"
#include "widgets/message_box_win32.h"

namespace kv {
namespace {

using namespace ids::main_dlg;

int currentBank() { return CurrentBankReport()[1] & 1; }

// The button menu's entries: command and text key, top to bottom.
struct MenuEntry {
  UINT command;
  const char* textKey;
};
constexpr MenuEntry kButtonMenu[] = {
    {IDM_IMPORT, "MENU_1"}, {IDM_EXPORT, "MENU_2"}, {IDM_ABOUT, "MENU_3"}, {IDM_CLOSE, "MENU_4"}};

constexpr int kFlipOffKeys[] = {KEY_03B.id, KEY_03C.id, KEY_03D.id, KEY_03E.id};  // F1-F4
constexpr int kFlipOnKeys[] = {KEY_D1, KEY_D2, KEY_D3, KEY_D4, KEY_D5, KEY_D6};

}  // namespace

void CKeyboardView::Place() {
  gKeyTitle_ = u16(ReadLanguageText(context_.languageFile, added_text::kGKeyTitle));
  auto key = [&](int id, const std::wstring& skinKey) {
    PlaceButton(id, skinKey, kSurfaceNormal, kSurfaceOver, kSurfaceDown, kSurfaceNormal, kSurfaceSet);
  };
  for (const ids::SkinControl& b : {FUNC_MACRO, FUNC_DEFAULT, CONTROL_MENU, FLIP_1, FLIP_2, FUNC_SWITCH})
    key(b.id, b.key);
  // Flip0 is a picture behind the Flip buttons; the arrows show Arrow.jpg.
  PlaceButton(FLIP_0.id, FLIP_0.key, kSurfaceNormal, kSurfaceNormal, kSurfaceNormal, kSurfaceNormal, kSurfaceSet);
  (void)EnableWindow(item(FLIP_0.id), FALSE);  // answers the previous state, not success
  PlaceControlWithImageOrigin(Attach(LEFT_ARROW.id), context_.skinFile, L"BUTTONINFO", LEFT_ARROW.key, L"BUTTONINFO2",
                              DOWN_ARROW_LEFT1.key, &surface(kSurfaceArrow));
  PlaceControlWithImageOrigin(Attach(RIGHT_ARROW.id), context_.skinFile, L"BUTTONINFO", RIGHT_ARROW.key,
                              L"BUTTONINFO2", DOWN_ARROW_RIGHT1.key, &surface(kSurfaceArrow));
  (void)EnableWindow(item(LEFT_ARROW.id), FALSE);
  (void)EnableWindow(item(RIGHT_ARROW.id), FALSE);
  for (int id : {FUNC_SWITCH.id, FUNC_TEST, FUNC_DYNAMIC_MENU}) ShowWindow(item(id), SW_HIDE);

  for (int g = 0; g < 9; ++g) key(kGKeyControlIds[g], wideAscii(gKeySkinKey(g)));  // g = 0-8 names FUNC_G1-FUNC_G9
  for (const KeyButton& k : KeyButtonTable) key(k.controlId, wideAscii(keyButtonSkinKey(k.keyCode)));
  key(kFnControlId, wideAscii(kFnSkinKey));

  // The Flip buttons and F5 lie over Flip0: drawn again after it.
  Attach(FLIP_0.id).setDrawCallback([this](HWND, bool) {
    bool on = GetFlipSetting() != 0;
    auto again = [&](int id) {
      if (CPngButton* b = Button(id)) b->redraw();
    };
    for (int id : on ? std::span<const int>(kFlipOnKeys) : std::span<const int>(kFlipOffKeys)) again(id);
    for (int id : {KEY_03F.id, FLIP_1.id, FLIP_2.id}) again(id);
  });
  // Each Flip button drawn in its normal look shows its arrow for the state.
  Attach(FLIP_1.id).setDrawCallback([this](HWND, bool normalFace) {
    if (normalFace) ShowArrow(LEFT_ARROW, UP_ARROW_LEFT1.key, DOWN_ARROW_LEFT1.key);
  });
  Attach(FLIP_2.id).setDrawCallback([this](HWND, bool normalFace) {
    if (normalFace) ShowArrow(RIGHT_ARROW, UP_ARROW_RIGHT1.key, DOWN_ARROW_RIGHT1.key);
  });
  ShowFlip();
}

void CKeyboardView::ShowArrow(const ids::SkinControl& arrow, const wchar_t* upKey, const wchar_t* downKey) {
  bool on = GetFlipSetting() != 0;
  Placement origin = ReadPlacement(context_.skinFile, L"BUTTONINFO2", on ? upKey : downKey);
  CPngButton& a = Attach(arrow.id);
  if (a.originX() != origin.x || a.originY() != origin.y)
    PlaceControlWithImageOrigin(a, context_.skinFile, L"BUTTONINFO", arrow.key, L"BUTTONINFO2", on ? upKey : downKey,
                                &surface(kSurfaceArrow));
  // Drawn again either way: its Flip button, just drawn under it, covered it
  // (a profile switch redraws them all).
  a.redraw();
}

void CKeyboardView::ShowFlip() {
  // With Flip off F1-F4 take the keys, with Flip on D1-D6.
  bool on = GetFlipSetting() != 0;
  // EnableWindow answers the previous state, not success.
  for (int id : kFlipOffKeys) (void)EnableWindow(item(id), on ? FALSE : TRUE);
  for (int id : kFlipOnKeys) (void)EnableWindow(item(id), on ? TRUE : FALSE);
  CPngButton& flip0 = Attach(FLIP_0.id);
  flip0.setFaces(flip0.originX(), flip0.originY(), surface(kSurfaceNormal).hdc(), surface(kSurfaceNormal).hdc(),
                 surface(kSurfaceNormal).hdc(), surface(kSurfaceNormal).hdc(), surface(kSurfaceSet).hdc(), true);
  ShowArrow(LEFT_ARROW, UP_ARROW_LEFT1.key, DOWN_ARROW_LEFT1.key);
  ShowArrow(RIGHT_ARROW, UP_ARROW_RIGHT1.key, DOWN_ARROW_RIGHT1.key);
}

void CKeyboardView::ToggleFlip() {
  const int before = GetFlipSetting();
  (void)SetFlipSetting(before == 0 ? 1 : 0);  // answers the value stored
  ShowFlip();
  if (recorder_) recorder_->FlipChanged(before, GetFlipSetting());
}

void CKeyboardView::SetFlip(int value) {
  (void)SetFlipSetting(value);  // answers the value stored
  ShowFlip();
}

// ---- key summaries ----------------------------------------------------------------

void CKeyboardView::Summarise(int controlId, const std::u16string& name, const std::u16string& tooltip,
                              const KeyActionEntry& e) {
  CPngButton* b = Button(controlId);
  if (!b) return;
  // Drawn again only when its look changes: a reload refreshes every key.
  bool set = summarySetState(e);
  b->setSetState(set, set != b->setState());
  b->setTooltip(wide(tooltip), true);
  b->setAccessibleName(wide(keyAccessibleName(AccessibleBaseName(controlId, name), e, config_.macros)));
}

std::u16string CKeyboardView::AccessibleBaseName(int controlId, const std::u16string& name) const {
  if (gKeyOfControl(static_cast<uint16_t>(controlId)) < 0) return name;
  // A G key is said with the bank it acts in now.
  std::u16string_view title = gKeyTitle_.empty() ? std::u16string_view(added_text::kGKeyTitle.builtIn) : gKeyTitle_;
  return formatText(title, {std::u16string_view(name), currentBank() ? u"B" : u"A"});
}

void CKeyboardView::RefreshKeySummaries() {
  int active = GetActiveProfile();
  const KeyActionTable* table = config_.table.get();
  auto entry = [&](int slot) { return table ? readEntry(*table, active, slot) : KeyActionEntry{}; };
  int bank = currentBank();
  for (int n = 0; n < kGKeyCount; ++n) {
    KeyActionEntry e = entry(slotOfGKey(bank, n));
    Summarise(kGKeyControlIds[n], gKeyButtonName(n), gKeySummaryText(n, e, config_.macros), e);
  }
  for (const KeyButton& k : KeyButtonTable) {
    KeyActionEntry e = entry(slotOfKey(k.keyCode));
    Summarise(k.controlId, keyButtonName(k.keyCode), keySummaryText(keyButtonName(k.keyCode), e, config_.macros), e);
  }
}

void CKeyboardView::RefreshKeyButtons() {
  RefreshKeySummaries();
  ShowFlip();
}

void CKeyboardView::RefreshGKeys() {
  int active = GetActiveProfile();
  int bank = currentBank();
  for (int n = 0; n < kGKeyCount; ++n) {
    KeyActionEntry e = config_.table ? readEntry(*config_.table, active, slotOfGKey(bank, n)) : KeyActionEntry{};
    Summarise(kGKeyControlIds[n], gKeyButtonName(n), gKeySummaryText(n, e, config_.macros), e);
  }
}

void CKeyboardView::ShowKeyUnassigned(int slot) {
  int controlId = 0;
  std::u16string name;
  if (isGKeySlot(slot)) {
    int bank = currentBank();
    int n = slot - slotOfGKey(bank, 0);
    if (n < 0 || n >= kGKeyCount) return;  // a G key of the other bank has no button now
    controlId = kGKeyControlIds[n];
    name = gKeyButtonName(n);
  } else {
    for (const KeyButton& k : KeyButtonTable)
      if (slotOfKey(k.keyCode) == slot) {
        controlId = k.controlId;
        name = keyButtonName(k.keyCode);
        break;
      }
  }
  CPngButton* b = controlId ? Button(controlId) : nullptr;
  if (!b) return;
  b->setSetState(false, IsWindowEnabled(b->hwnd()) != FALSE);
  b->setTooltip(wide(name), true);
  b->setAccessibleName(wide(keyAccessibleName(AccessibleBaseName(controlId, name), KeyActionEntry{}, config_.macros)));
}

void CKeyboardView::ResetKeyAssignments() {
  int active = GetActiveProfile();
  {
    std::lock_guard lock(config_.lock);
    if (!config_.table || active < 0) return;
    if (recorder_) recorder_->ChangeStarting();
    KeyActionTable& table = *config_.table;
    int bank = currentBank();
    for (int n = 0; n < kGKeyCount; ++n) table.entries[entryIndex(active, slotOfGKey(bank, n))] = KeyActionEntry{};
    for (const KeyButton& k : KeyButtonTable) table.entries[entryIndex(active, slotOfKey(k.keyCode))] = KeyActionEntry{};
    // The defaults are the user's choice now, not a stand-in for a failed read.
    if (IsKeyboardProfile(active)) config_.sources.keys[static_cast<size_t>(active)] = RegionSource::kChosen;
    if (recorder_) recorder_->ChangeMade(StepKind::kRestore);
    RefreshKeySummaries();
  }
  ui_.SetApplyEnabled(true);
}

void CKeyboardView::ShowGKeyLabels(bool bankB) {
  for (int n = 0; n < 9; ++n) {
    std::wstring label = n < 5 ? std::wstring(bankB ? L"B" : L"A") + std::to_wstring(n + 1) : L"";
    (void)SetWindowTextW(item(kGKeyControlIds[n]), label.c_str());  // the G keys are in the template
    // Drawn after the bank indicator so they stay on top of it.
    if (CPngButton* g = Button(kGKeyControlIds[n])) g->redraw();
  }
}

// ---- clicks ---------------------------------------------------------------------------

void CKeyboardView::SetNormalFaces(CPngButton& b) {
  b.setFaces(b.originX(), b.originY(), surface(kSurfaceNormal).hdc(), surface(kSurfaceOver).hdc(),
             surface(kSurfaceDown).hdc(), surface(kSurfaceNormal).hdc(), surface(kSurfaceSet).hdc(), true);
}

void CKeyboardView::OpenEditor(int buttonId, int slot, bool macroOnly) {
  CPngButton* b = Button(buttonId);
  // The clicked key stays highlighted while its editor is open.
  if (b)
    b->setFaces(b->originX(), b->originY(), surface(kSurfaceOver).hdc(), surface(kSurfaceOver).hdc(),
                surface(kSurfaceDown).hdc(), surface(kSurfaceNormal).hdc(), surface(kSurfaceOver).hdc(), true);
  editor_.editedSlot = slot;
  editor_.editedButtonId = buttonId;
  editor_.macroOnly = macroOnly;
  (void)editor_.DoModal();  // what the user chose is stored by the editor itself
  if (b) SetNormalFaces(*b);
  {
    std::lock_guard lock(config_.lock);
    RefreshKeySummaries();
  }
  if (afterEditor_) afterEditor_();
}

void CKeyboardView::KeyClick(int id) {
  if (paintClick_ && paintClick_(id)) return;
  const KeyButton* k = keyButtonOfControl(static_cast<uint16_t>(id));
  if (!k) return;  // D1-D6 and the spare key have no key
  OpenEditor(id, slotOfKey(k->keyCode), false);
}

void CKeyboardView::GKeyClick(int g) {
  OpenEditor(kGKeyControlIds[g], slotOfGKey(currentBank(), g), g == kGKeyCount - 1);
}

void CKeyboardView::RestoreDefaults() {
  int answer = ShowMessageBox(window(), wide(text(TextId::MAIN_PROMPT_DEFAULT)).c_str(), L"",
                           MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION);
  if (answer != IDYES) return;
  ResetKeyAssignments();
  if (afterRestore_) afterRestore_();
}

void CKeyboardView::ShowButtonMenu() {
  UniqueMenu menu(CreatePopupMenu());
  if (!menu) {
    ReportWin32Failure(L"CreatePopupMenu");
    return;
  }
  if (menuItems_) {
    for (const MenuItem& i : menuItems_())
      if (!AppendMenuW(menu.get(), MF_STRING | (i.enabled ? MF_ENABLED : MF_GRAYED), i.command, i.text.c_str()))
        ReportWin32Failure(L"AppendMenuW(button menu)");
    if (!AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr)) ReportWin32Failure(L"AppendMenuW(button menu)");
  }
  for (const MenuEntry& e : kButtonMenu) {
    // Read each time: the language may have changed since the last opening.
    std::wstring t = ReadLanguageText(context_.languageFile, e.textKey);
    if (!AppendMenuW(menu.get(), MF_STRING, e.command, t.c_str())) ReportWin32Failure(L"AppendMenuW(button menu)");
  }
  POINT at{};
  if (!GetCursorPos(&at)) ReportWin32Failure(L"GetCursorPos");
  // The chosen command reaches the window as WM_COMMAND; closing the menu
  // without a choice is not a failure.
  (void)TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_LEFTBUTTON, at.x, at.y, 0, window(), nullptr);
}

// ---- choosing keys from the keyboard ------------------------------------------------------

std::vector<NavButton> CKeyboardView::NavigableButtons() const {
  std::vector<NavButton> buttons;
  auto add = [&](int id) {
    HWND h = item(id);
    RECT r{};
    if (!h || !IsWindowVisible(h) || !IsWindowEnabled(h) || !GetWindowRect(h, &r)) return;
    buttons.push_back({id, r.left, r.top, r.right, r.bottom});
  };
  for (const KeyButton& k : KeyButtonTable) add(k.controlId);
  for (uint16_t id : kGKeyControlIds) add(id);
  add(kFnControlId);
  return buttons;
}

bool CKeyboardView::SelectKeyOfMessage(WPARAM vk, LPARAM flags) {
  KeyCode code = keyCodeFromMessage(static_cast<uint32_t>(vk), static_cast<uint32_t>(flags));
  const KeyButton* k = code ? keyButtonOfKey(code) : nullptr;
  if (!k) return false;
  HWND h = item(k->controlId);
  if (!h || !IsWindowVisible(h) || !IsWindowEnabled(h)) return false;  // F1-F4 or D1-D6 under Flip
  Select(k->controlId);
  return true;
}

bool CKeyboardView::MoveSelection(NavMove move) {
  if (!selected_) {
    FocusPicture();
    return selected_ != 0;
  }
  int next = neighbourButton(NavigableButtons(), selected_, move);
  if (!next) return false;
  Select(next);
  return true;
}

void CKeyboardView::FocusPicture() {
  std::vector<NavButton> buttons = NavigableButtons();
  int id = selected_;
  bool shown = false;
  for (const NavButton& b : buttons) shown = shown || b.id == id;
  if (!shown) id = KEY_01E.id;  // A: where a typist's left hand rests
  Select(id);
}

bool CKeyboardView::PressSelection() {
  if (!selected_) return false;
  HWND h = item(selected_);
  if (!h || !IsWindowEnabled(h)) return false;
  // What a click does: the editor, or a paint stroke of one key while the
  // lighting panel is open.
  HideSelectionTip();
  const int pressed = selected_;
  bool handled = OnCommand(static_cast<WORD>(pressed), BN_CLICKED);
  // Back from the editor: the key stays selected, its tooltip saying what it
  // does now.
  if (selected_ == pressed && GetActiveWindow() == window()) Select(pressed);
  return handled;
}

void CKeyboardView::Select(int id) {
  CPngButton& b = Attach(id);
  if (!b.hwnd()) return;
  if (selected_ && selected_ != id)
    if (CPngButton* old = Button(selected_)) old->setFocusRing(false);
  selected_ = id;
  // The focus itself moves: screen readers follow it (EVENT_OBJECT_FOCUS)
  // and read the button's name.
  if (GetFocus() != b.hwnd()) (void)SetFocus(b.hwnd());  // answers the previous focus
  b.setFocusRing(true);
  ShowSelectionTip(b);
}

void CKeyboardView::ClearSelection() {
  if (selected_)
    if (CPngButton* b = Button(selected_)) b->setFocusRing(false);
  selected_ = 0;
  HideSelectionTip();
}

void CKeyboardView::HideSelectionTip() {
  if (!selectionTip_) return;
  TTTOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.hwnd = window();
  info.uId = 1;
  (void)SendMessageW(selectionTip_.get(), TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&info));
}

void CKeyboardView::ShowSelectionTip(CPngButton& b) {
  // One tracking tooltip of the window's, placed under the selected button:
  // the buttons' own tooltips follow the pointer.
  TTTOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  info.hwnd = window();
  info.uId = 1;
  std::wstring tip = b.tooltipText();
  info.lpszText = tip.data();
  if (!selectionTip_) {
    selectionTip_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window(), nullptr,
                                        GetModuleHandleW(nullptr), nullptr));
    if (!selectionTip_) {
      ReportWin32Failure(L"CreateWindowExW(selection tooltip)");
      return;
    }
    (void)SendMessageW(selectionTip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  }
  if (tip.empty()) {
    HideSelectionTip();
    return;
  }
  (void)SendMessageW(selectionTip_.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
  RECT r{};
  if (!GetWindowRect(b.hwnd(), &r)) return;
  (void)SendMessageW(selectionTip_.get(), TTM_TRACKPOSITION, 0, MAKELPARAM(r.left, r.bottom + 2));
  (void)SendMessageW(selectionTip_.get(), TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&info));
}

void CKeyboardView::CloseDialogs() { editor_.closeIfOpen(); }

bool CKeyboardView::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) return false;  // menu commands come with 0 too
  if (int g = gKeyOfControl(id); g >= 0) {
    GKeyClick(g);
    return true;
  }
  switch (id) {
    case FUNC_MACRO.id:  // the macro-edit button is G9
      GKeyClick(kGKeyCount - 1);
      return true;
    case FUNC_DEFAULT.id:
      RestoreDefaults();
      return true;
    case CONTROL_MENU.id:
      ShowButtonMenu();
      return true;
    case FLIP_1.id:
    case FLIP_2.id:
      ToggleFlip();
      return true;
    case KEY_FN.id:
      if (paintClick_) (void)paintClick_(id);  // nothing while the lighting panel is closed
      return true;
    default:
      break;
  }
  if (keyButtonOfControl(id) || (id >= KEY_D1 && id <= KEY_D6)) {
    KeyClick(id);
    return true;
  }
  return false;
}

}  // namespace kv
