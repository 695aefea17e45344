#include "ui/main/keyboard_focus_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <array>

#include "resources/control_ids.h"

namespace kv {
namespace {

using namespace ids::main_dlg;

constexpr int kProfilesGroup[] = {FUNC_PROFILE1.id, FUNC_PROFILE2.id, FUNC_PROFILE3.id, FUNC_PROFILES.id,
                                  FUNC_MACRO.id,    FUNC_DEFAULT.id,  CONTROL_MENU.id};
constexpr int kLightingGroup[] = {CONTROL_DengStaPic.id, FUNC_REPORT1.id,    FUNC_REPORT2.id,
                                  FUNC_REPORT3.id,       FUNC_REPORT4.id,    CONTROL_XGcombox.id,
                                  CONTROL_umCombo.id};
constexpr int kFrameGroup[] = {CONTROL2_APPLY.id, CONTROL_OK.id, CONTROL_CANCEL.id};
constexpr std::array kGroupOrder = {CKeyboardFocus::Group::kProfiles, CKeyboardFocus::Group::kPicture,
                                    CKeyboardFocus::Group::kLighting, CKeyboardFocus::Group::kFrame};

bool isComboBox(HWND h) {
  wchar_t cls[32] = {};
  return h && GetClassNameW(h, cls, 32) > 0 && lstrcmpiW(cls, WC_COMBOBOXW) == 0;
}

}  // namespace

std::span<const int> CKeyboardFocus::Members(Group g) const {
  switch (g) {
    case Group::kProfiles:
      return kProfilesGroup;
    case Group::kLighting:
      return kLightingGroup;
    case Group::kFrame:
      return kFrameGroup;
    case Group::kPicture:
      break;
  }
  return {};
}

bool CKeyboardFocus::Usable(int id) const {
  HWND h = GetDlgItem(dialog_, id);
  return h && IsWindowVisible(h) && IsWindowEnabled(h);
}

CKeyboardFocus::Group CKeyboardFocus::FocusedGroup(HWND focus) const {
  // A combo box's edit or list is a child of the combo box.
  for (HWND h = focus; h && h != dialog_; h = GetParent(h)) {
    int id = GetDlgCtrlID(h);
    for (Group g : {Group::kProfiles, Group::kLighting, Group::kFrame})
      for (int m : Members(g))
        if (m == id) return g;
  }
  return Group::kPicture;
}

bool CKeyboardFocus::PreTranslate(const MSG& msg) {
  if (!msg.hwnd || GetAncestor(msg.hwnd, GA_ROOT) != dialog_) return false;
  switch (msg.message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
      // The pointer takes over: no ring stays behind on a key.
      keyboard_.ClearSelection();
      ClearMemberRing();
      return false;
    case WM_KEYDOWN:
    case WM_KEYUP:
      break;
    default:
      return false;
  }
  // Only while this window is the one in front and no editor is open (the
  // editor's own loop sees its keys; the main window is disabled meanwhile).
  if (GetActiveWindow() != dialog_ || !IsWindowEnabled(dialog_) || keyboard_.EditorOpen()) {
    pendingModifier_ = 0;
    return false;
  }
  if (msg.message == WM_KEYUP) {
    // A modifier released with no other key pressed meanwhile is a key of
    // its own: its button is selected then, not while it may still become
    // Shift+Tab.
    if (pendingModifier_ == 0 || msg.wParam != pendingModifier_) return false;
    pendingModifier_ = 0;
    if (!keyboard_.SelectKeyOfMessage(msg.wParam, pendingModifierFlags_)) return false;
    ClearMemberRing();
    return true;
  }
  if (msg.wParam == VK_SHIFT || msg.wParam == VK_CONTROL || msg.wParam == VK_LWIN || msg.wParam == VK_RWIN) {
    if (!(msg.lParam & (1 << 30))) {  // not an auto-repeat
      pendingModifier_ = msg.wParam;
      pendingModifierFlags_ = msg.lParam;
    }
    return false;
  }
  pendingModifier_ = 0;
  return OnKeyDown(msg.wParam, msg.lParam);
}

void CKeyboardFocus::Deactivated() { keyboard_.HideSelectionTip(); }

bool CKeyboardFocus::OnKeyDown(WPARAM vk, LPARAM flags) {
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  HWND focus = GetFocus();
  Group group = FocusedGroup(focus);

  if (vk == VK_TAB && !ctrl) {
    auto at = std::find(kGroupOrder.begin(), kGroupOrder.end(), group);
    size_t i = static_cast<size_t>(at - kGroupOrder.begin());
    // The next group that has something to take the focus.
    for (size_t step = 1; step <= kGroupOrder.size(); ++step) {
      size_t n = shift ? (i + kGroupOrder.size() - step) % kGroupOrder.size() : (i + step) % kGroupOrder.size();
      Group g = kGroupOrder[n];
      if (g == Group::kPicture || std::any_of(Members(g).begin(), Members(g).end(), [&](int id) { return Usable(id); })) {
        FocusGroup(g);
        return true;
      }
    }
    return true;
  }
  // Escape and F1 keep their meaning (Cancel, the help page); a combo box
  // with the focus takes its own keys.
  if (vk == VK_ESCAPE || vk == VK_F1) return false;
  if (isComboBox(focus) || (focus && isComboBox(GetParent(focus)))) return false;

  const bool press = vk == VK_RETURN || vk == VK_SPACE;
  if (group == Group::kPicture) {
    switch (vk) {
      case VK_LEFT:
        return keyboard_.MoveSelection(NavMove::kLeft) || true;
      case VK_RIGHT:
        return keyboard_.MoveSelection(NavMove::kRight) || true;
      case VK_UP:
        return keyboard_.MoveSelection(NavMove::kUp) || true;
      case VK_DOWN:
        return keyboard_.MoveSelection(NavMove::kDown) || true;
      case VK_HOME:
        return keyboard_.MoveSelection(NavMove::kRowStart) || true;
      case VK_END:
        return keyboard_.MoveSelection(NavMove::kRowEnd) || true;
      default:
        break;
    }
    if (press) {
      if (!keyboard_.PressSelection()) keyboard_.FocusPicture();
      return true;
    }
  } else {
    std::span<const int> members = Members(group);
    int current = GetDlgCtrlID(focus);
    auto at = std::find(members.begin(), members.end(), current);
    if (press && at != members.end()) {
      // What a click sends (BN_CLICKED and STN_CLICKED are both 0).
      (void)SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(current, BN_CLICKED), reinterpret_cast<LPARAM>(focus));
      return true;
    }
    int step = (vk == VK_LEFT || vk == VK_UP) ? -1 : (vk == VK_RIGHT || vk == VK_DOWN) ? 1 : 0;
    if (step != 0) {
      if (at == members.end()) return true;
      for (auto it = at + step; it >= members.begin() && it < members.end(); it += step)
        if (Usable(*it)) {
          FocusMember(*it);
          break;
        }
      return true;
    }
  }
  // Any other key: its button in the picture.
  if (keyboard_.SelectKeyOfMessage(vk, flags)) {
    ClearMemberRing();
    return true;
  }
  return false;
}

void CKeyboardFocus::FocusGroup(Group g) {
  if (g == Group::kPicture) {
    ClearMemberRing();
    keyboard_.FocusPicture();
    return;
  }
  keyboard_.ClearSelection();
  for (int id : Members(g))
    if (Usable(id)) {
      FocusMember(id);
      return;
    }
}

void CKeyboardFocus::FocusMember(int id) {
  ClearMemberRing();
  HWND h = GetDlgItem(dialog_, id);
  if (!h) return;
  (void)SetFocus(h);  // answers the previous focus
  if (CPngButton* b = buttonOf_(id)) {
    b->setFocusRing(true);
    ringed_ = id;
  }
}

void CKeyboardFocus::ClearMemberRing() {
  if (!ringed_) return;
  if (CPngButton* b = buttonOf_(ringed_)) b->setFocusRing(false);
  ringed_ = 0;
}

}  // namespace kv
