// The composite key editor (template 134): the pages that give a key or G key
// a new function. A skinned dialog of its own, held by the keyboard view; the
// key-editing issues fill it in.
#pragma once

#include <string>

#include "skin/base_dialog_win32.h"

namespace kv {

class Korvalin_DlgComposite : public CBaseDialog {
 public:
  Korvalin_DlgComposite(CWindow* parent, std::wstring skinFile, std::wstring skinsFolder);

  // Set by the keyboard view before the editor is shown.
  int editedSlot = 0;      // slot in the active profile's block
  int editedButtonId = 0;  // the clicked control
  bool macroOnly = false;  // G9 and the macro-edit button
};

}  // namespace kv
