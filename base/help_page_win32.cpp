#include "base/help_page_win32.h"

#include <shellapi.h>

namespace kv {

void OpenHelpPage(HWND owner, const std::wstring& helpFolder) {
  // Shell failures are not the user's problem to read about here. The page
  // is named by its full path: Wine's shell hands a bare name to the browser
  // as a web address instead of finding it in the working folder.
  std::wstring page = helpFolder + L"index.html";
  (void)ShellExecuteW(owner, L"open", page.c_str(), nullptr, helpFolder.c_str(), SW_SHOWNORMAL);
}

}  // namespace kv
