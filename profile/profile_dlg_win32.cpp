#include "profile/profile_dlg_win32.h"

#include "resources/control_ids.h"

namespace kv {

CKorvalin_DlgProfile::CKorvalin_DlgProfile(CWindow* parent, std::wstring skinFile, std::wstring skinsFolder)
    : CBaseDialog(IDD_PROFILE, parent, std::move(skinFile), std::move(skinsFolder)) {}

}  // namespace kv
