#include "ui/main/keyboard_view_win32.h"

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
#include "keys/key_summary.h"
#include "model/key_codes.h"
#include "resources/control_ids.h"
#include "skin/placement_win32.h"

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

void CKeyboardView::Summarise(int controlId, const std::u16string& name, const KeyActionEntry& e) {
  CPngButton* b = Button(controlId);
  if (!b) return;
  // Drawn again only when its look changes: a reload refreshes every key.
  bool set = summarySetState(e);
  b->setSetState(set, set != b->setState());
  b->setTooltip(wide(keySummaryText(name, e, config_.macros)), true);
}

void CKeyboardView::RefreshKeySummaries() {
  int active = GetActiveProfile();
  const KeyActionTable* table = config_.table.get();
  auto entry = [&](int slot) { return table ? readEntry(*table, active, slot) : KeyActionEntry{}; };
  int bank = currentBank();
  for (int n = 0; n < kGKeyCount; ++n) Summarise(kGKeyControlIds[n], gKeyButtonName(n), entry(slotOfGKey(bank, n)));
  for (const KeyButton& k : KeyButtonTable) Summarise(k.controlId, keyButtonName(k.keyCode), entry(slotOfKey(k.keyCode)));
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
    Summarise(kGKeyControlIds[n], gKeyButtonName(n), e);
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
  int answer = MessageBoxW(window(), wide(text(TextId::MAIN_PROMPT_DEFAULT)).c_str(), L"",
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
