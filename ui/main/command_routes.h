// Which part of the main window owns a control and answers its commands, by
// id range: the frame's routing table. Portable, so that native tests hold
// it against the skin layout.
#pragma once

#include "resources/control_ids.h"

namespace kv {

enum class WindowPart { kFrame, kKeyboard, kLighting, kProfiles };

struct CommandRoute {
  int first, last;
  WindowPart part;
};

// The first range that holds an id wins; ids in no range are the frame's own
// (title bar, link, version, Apply, OK, Cancel, the tray menu).
inline constexpr CommandRoute kCommandRoutes[] = {
    {IDC_MAIN_FUNC_G1, IDC_MAIN_FUNC_G5, WindowPart::kKeyboard},
    {IDC_MAIN_FUNC_PROFILES, IDC_MAIN_FUNC_PROFILES, WindowPart::kProfiles},  // opens the profile manager
    {IDC_MAIN_FUNC_MACRO, IDC_MAIN_FUNC_MACRO, WindowPart::kKeyboard},        // acts as G9
    {IDC_MAIN_FUNC_TEST, IDC_MAIN_FUNC_DYNAMIC_MENU, WindowPart::kKeyboard},  // hidden
    {IDC_MAIN_KEY_03B, IDC_MAIN_KEY_052, WindowPart::kKeyboard},  // F1 to keypad 0: keys, D1-D6, the spare key
    {IDC_MAIN_LOCK_CAPS, IDC_MAIN_LOCK_AB, WindowPart::kLighting},  // lock and bank indicators
    {IDC_MAIN_FLIP_0, IDC_MAIN_RIGHT_ARROW, WindowPart::kKeyboard},  // Flip and its arrows
    {IDC_MAIN_FUNC_PROFILE1, IDC_MAIN_FUNC_PROFILE3, WindowPart::kProfiles},
    {IDC_MAIN_FUNC_DEFAULT, IDC_MAIN_CONTROL_MENU, WindowPart::kKeyboard},  // restore defaults, the button menu
    {IDC_MAIN_FUNC_G6, IDC_MAIN_FUNC_SWITCH, WindowPart::kKeyboard},
    {IDC_MAIN_KEY_FN, IDC_MAIN_KEY_FN, WindowPart::kKeyboard},  // inside the lighting range below
    {IDC_MAIN_CONTROL_XGcombox, IDC_MAIN_CONTROL_umCombo, WindowPart::kLighting},  // lighting, report rate
    {IDC_MAIN_CONTROL_UsbStatic, IDC_MAIN_CONTROL_UsbStatic, WindowPart::kLighting},
    {IDC_MAIN_CONTROL_PaintHint, IDC_MAIN_CONTROL_PaintHint, WindowPart::kLighting},
    {IDC_MAIN_CONTROL_ZSrandStatic, IDC_MAIN_CONTROL_YSStatic, WindowPart::kLighting},  // random, preset label
    {IDM_IMPORT, IDM_EXPORT, WindowPart::kProfiles},
};

constexpr WindowPart partOfCommand(int id) {
  for (const CommandRoute& r : kCommandRoutes)
    if (id >= r.first && id <= r.last) return r.part;
  return WindowPart::kFrame;
}

}  // namespace kv
