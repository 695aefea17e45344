// Opening the help page with the shell, in the language file's language
// first: Help\index.html, or Help\zh.html for Chinese.
#pragma once

#include <windows.h>

#include <string>

namespace kv {

// Opens helpFolder's page for languageFile's language (HelpPagePath;
// helpFolder with a trailing backslash: the program folder's Help\, which
// the main window hands its parts).
void OpenHelpPage(HWND owner, const std::wstring& helpFolder, const std::wstring& languageFile);

}  // namespace kv
