// The profile manager (template 131): the list of profile files with Load,
// New, Delete, Apply, OK and Cancel. A skinned dialog of its own, held by the
// main window's profile switching; the profile issues fill it in.
#pragma once

#include <string>

#include "skin/base_dialog_win32.h"

namespace kv {

class CKorvalin_DlgProfile : public CBaseDialog {
 public:
  CKorvalin_DlgProfile(CWindow* parent, std::wstring skinFile, std::wstring skinsFolder);
};

}  // namespace kv
