// Using the main window from the keyboard, without a hook: its key messages
// are looked at on their way through the window's own message loop, only
// while it is the active window and no editor is open. A key selects its
// button in the picture (a modifier when it is released alone); arrows,
// Home and End move the selection; Enter and Space press what is selected;
// Tab and Shift+Tab go from group to group (profiles, the keyboard picture,
// lighting, Apply/OK/Cancel).
#pragma once

#include <windows.h>

#include <functional>
#include <span>

#include "ui/main/keyboard_view_win32.h"

namespace kv {

class CKeyboardFocus {
 public:
  enum class Group { kProfiles, kPicture, kLighting, kFrame };

  // buttonOf: the image button of a control id, whichever part owns it.
  CKeyboardFocus(HWND dialog, CKeyboardView& keyboard, std::function<CPngButton*(int id)> buttonOf)
      : dialog_(dialog), keyboard_(keyboard), buttonOf_(std::move(buttonOf)) {}

  // True when the message was taken (it goes no further).
  [[nodiscard]] bool PreTranslate(const MSG& msg);
  // The window lost the activation: the selection's tooltip goes.
  void Deactivated();

 private:
  bool OnKeyDown(WPARAM vk, LPARAM flags);
  // The group of the control with the focus; the picture for the window
  // itself or a control of no group.
  Group FocusedGroup(HWND focus) const;
  void FocusGroup(Group g);
  // Focus on a member of a group other than the picture; its ring shown.
  void FocusMember(int id);
  void ClearMemberRing();
  std::span<const int> Members(Group g) const;
  bool Usable(int id) const;

  HWND dialog_;
  CKeyboardView& keyboard_;
  std::function<CPngButton*(int)> buttonOf_;
  int ringed_ = 0;  // the member of another group drawn with the ring
  WPARAM pendingModifier_ = 0;  // a modifier pressed alone so far
  LPARAM pendingModifierFlags_ = 0;
};

}  // namespace kv
