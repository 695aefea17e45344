// Opening the help page, Help\index.html, with the shell.
#pragma once

#include <windows.h>

#include <string>

namespace kv {

// Opens helpFolder's index.html (helpFolder with a trailing backslash; the
// program's own is HelpFolder() of base/program_folder_win32.h).
void OpenHelpPage(HWND owner, const std::wstring& helpFolder);

}  // namespace kv
