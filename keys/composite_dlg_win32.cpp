#include "keys/composite_dlg_win32.h"

#include "resources/control_ids.h"

namespace kv {

Korvalin_DlgComposite::Korvalin_DlgComposite(CWindow* parent, std::wstring skinFile, std::wstring skinsFolder)
    : CBaseDialog(IDD_COMPOSITE, parent, std::move(skinFile), std::move(skinsFolder)) {}

}  // namespace kv
