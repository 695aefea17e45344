#include "keys/composite_editor.h"

namespace kv {

Assignment assignmentOf(const EditorChoice& c) {
  Assignment a;
  a.type = static_cast<ActionType>(c.page);
  a.aux = gKeyCode(c.editedSlot);
  switch (c.page) {
    case kEditorPageSingleKey:
      a.value = c.capturedCode;
      if (c.capturedCode == 0 || slotOfKey(c.capturedCode) == c.editedSlot) a = {ActionType::Default, a.aux, a.value};
      break;
    case kEditorPageMacro:
      if (c.macroCount == 0) {
        a.type = ActionType::Default;
      } else {
        a.value = c.selectedMacroId;
        a.aux = c.cycles;
      }
      break;
    case kEditorPageMedia:
    case kEditorPageFunction:
      a.value = c.listRow;
      break;
    default:
      break;
  }
  return a;
}

ScreenPoint editorPosition(int w, int h, ScreenRect k, ScreenRect area) {
  int right = area.right - k.right, below = area.bottom - k.bottom;
  int above = k.top - area.top, left = k.left - area.left;
  if (right >= w) {
    if (below >= h) return {k.right, k.bottom};
    if (above >= h) return {k.right, k.top - h};
  } else if (left >= w) {
    if (below >= h) return {k.left - w, k.bottom};
    if (above >= h) return {k.left - w, k.top - h};
  }
  return {k.right, k.bottom};
}

ScreenPoint editorPosition(int w, int h, ScreenRect k, int screenWidth, int screenHeight) {
  return editorPosition(w, h, k, ScreenRect{0, 0, screenWidth, screenHeight});
}

}  // namespace kv
