// The common file dialogs of the import and export commands.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace kv {

// The open-file dialog of Import: profile files first, the read-only box
// hidden. The chosen path, or nothing when the user cancelled.
[[nodiscard]] std::optional<std::wstring> AskProfileFileToOpen(HWND owner);

}  // namespace kv
