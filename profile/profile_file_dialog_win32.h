// The common file dialogs of the import and export commands and of the
// profile manager's Load and New.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace kv {

// The open-file dialog of Import: profile files first, the read-only box
// hidden. The chosen path, or nothing when the user cancelled. initialName:
// the name field at the start (a folder in it opens the dialog there).
[[nodiscard]] std::optional<std::wstring> AskProfileFileToOpen(HWND owner, const std::wstring& initialName = L"*.kvp");
// The save-file dialog of Export: the same filter, extension and initial
// name, asking before a file is overwritten.
[[nodiscard]] std::optional<std::wstring> AskProfileFileToSave(HWND owner, const std::wstring& initialName = L"*.kvp");

}  // namespace kv
