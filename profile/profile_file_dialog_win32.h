// The common file dialogs of the import and export commands.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace kv {

// The open-file dialog of Import: profile files first, the read-only box
// hidden. The chosen path, or nothing when the user cancelled.
[[nodiscard]] std::optional<std::wstring> AskProfileFileToOpen(HWND owner);
// The save-file dialog of Export: the same filter, extension and initial
// name, asking before a file is overwritten.
[[nodiscard]] std::optional<std::wstring> AskProfileFileToSave(HWND owner);

}  // namespace kv
