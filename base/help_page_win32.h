// Opening the help page, Help\index.html, with the shell.
#pragma once

#include <windows.h>

#include <string>

namespace kv {

// Opens helpFolder's index.html (helpFolder with a trailing backslash: the
// program folder's Help\, which the main window hands its parts).
void OpenHelpPage(HWND owner, const std::wstring& helpFolder);

}  // namespace kv
