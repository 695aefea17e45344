#include "ui/main/keyboard_view_win32.h"

#include "app/placement_win32.h"
#include "app/settings_win32.h"
#include "app/wide_win32.h"
#include "device/protocol.h"
#include "device/transport.h"
#include "keys/key_action.h"
#include "model/key_codes.h"
#include "resources/control_ids.h"

namespace kv {
namespace {

using namespace ids::main_dlg;

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

  for (int g = 0; g < 9; ++g) key(kGKeyControlIds[g], wideAscii(gKeySkinKey(g + 1)));
  for (const KeyButton& k : KeyButtonTable) key(k.controlId, wideAscii(keyButtonSkinKey(k.keyCode)));
  key(kFnControlId, wideAscii(kFnSkinKey));
  ShowFlip();
}

void CKeyboardView::ShowFlip() {
  // With Flip off F1-F4 take the keys, with Flip on D1-D6.
  bool on = GetFlipSetting() != 0;
  // EnableWindow answers the previous state, not success.
  for (int id : {KEY_03B.id, KEY_03C.id, KEY_03D.id, KEY_03E.id}) (void)EnableWindow(item(id), on ? FALSE : TRUE);
  for (int id : {KEY_D1, KEY_D2, KEY_D3, KEY_D4, KEY_D5, KEY_D6}) (void)EnableWindow(item(id), on ? TRUE : FALSE);
}

void CKeyboardView::RefreshKeyButtons() {
  int active = GetActiveProfile();
  const KeyActionTable* table = config_.table.get();
  for (const KeyButton& k : KeyButtonTable) {
    CPngButton* b = Button(k.controlId);
    if (!b) continue;
    bool set = table && readEntry(*table, active, slotOfKey(k.keyCode)).type != ActionType::Default;
    b->setSetState(set, true);
  }
  RefreshGKeys();
}

void CKeyboardView::RefreshGKeys() {
  int active = GetActiveProfile();
  int bank = CurrentBankReport()[1] & 1;
  for (int n = 0; n < 9; ++n) {
    CPngButton* b = Button(kGKeyControlIds[n]);
    if (!b) continue;
    bool marked = active >= 0 && config_.table &&
                  readEntry(*config_.table, active, slotOfGKey(bank, n)).type != ActionType::Default;
    b->setSetState(marked, true);
  }
}

void CKeyboardView::ShowGKeyLabels(bool bankB) {
  for (int n = 0; n < 9; ++n) {
    std::wstring label = n < 5 ? std::wstring(bankB ? L"B" : L"A") + std::to_wstring(n + 1) : L"";
    (void)SetWindowTextW(item(kGKeyControlIds[n]), label.c_str());  // the G keys are in the template
    // Drawn after the bank indicator so they stay on top of it.
    if (CPngButton* g = Button(kGKeyControlIds[n])) g->redraw();
  }
}

void CKeyboardView::CloseDialogs() {
  if (editor_.isOpen()) editor_.DestroyWindow();
}

bool CKeyboardView::OnCommand(WORD id, WORD code) {
  // With the lighting panel open a key click paints; Fn does nothing else.
  bool paintable = (id >= IDC_MAIN_KEY_03B && id <= IDC_MAIN_KEY_052) || id == kFnControlId;
  if (paintable && code == BN_CLICKED && paintClick_ && paintClick_(id)) return true;
  if (id == kFnControlId) return true;
  // Key and G-key clicks, Flip, restore and the button menu come with the
  // key-editing issues; until then their clicks do nothing.
  return false;
}

}  // namespace kv
