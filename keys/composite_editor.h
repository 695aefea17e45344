// The composite editor's decisions that need no window: what Apply stores,
// and where the editor opens beside the clicked key.
#pragma once

#include <cstdint>

#include "keys/key_action.h"

namespace kv {

// Editor pages; the values are the ActionType that Apply stores.
inline constexpr int kEditorPageNone = 0;  // after Clear, or an unassigned key
inline constexpr int kEditorPageSingleKey = 2;
inline constexpr int kEditorPageMacro = 4;
inline constexpr int kEditorPageMedia = 7;
inline constexpr int kEditorPageFunction = 8;

struct EditorChoice {
  int page = kEditorPageNone;
  int editedSlot = 0;
  KeyCode capturedCode = 0;
  uint32_t listRow = 0;        // media or function-key row
  int macroCount = 0;
  uint16_t selectedMacroId = 0;  // 0 when none is selected
  uint16_t cycles = 1;
};

struct Assignment {
  ActionType type = ActionType::Default;
  uint16_t aux = 0;
  uint32_t value = 0;
  friend bool operator==(const Assignment&, const Assignment&) = default;
};

// What Apply stores for the editor's state. A key assigned to itself, a
// single-key page with nothing captured and a macro page with no macros all
// store Default. G-key slots keep their G-key code in aux.
Assignment assignmentOf(const EditorChoice& c);

struct ScreenRect {
  int left, top, right, bottom;
};
struct ScreenPoint {
  int x, y;
  friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};
// The editor's top-left corner: beside the clicked key k, right and below
// when there is room in the area (the work area of the key's monitor, which
// may lie left of or above the primary one), else above or to the left.
ScreenPoint editorPosition(int width, int height, ScreenRect k, ScreenRect area);
// The same on a screen at (0, 0).
ScreenPoint editorPosition(int width, int height, ScreenRect k, int screenWidth, int screenHeight);

}  // namespace kv
