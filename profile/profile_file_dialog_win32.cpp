#include "profile/profile_file_dialog_win32.h"

#include <commdlg.h>

#include <cwchar>

namespace kv {

namespace {

std::optional<std::wstring> askProfileFile(HWND owner, bool save, const std::wstring& initialName) {
  // "(*.kvp)|*.kvp|(*.*)|*.*||" in the dialog's own form: pairs ended by NULs.
  static const wchar_t kFilter[] = L"(*.kvp)\0*.kvp\0(*.*)\0*.*\0";
  wchar_t file[MAX_PATH] = L"";
  // A name that does not fit starts the dialog with the plain pattern.
  (void)wcsncpy(file, initialName.size() < MAX_PATH ? initialName.c_str() : L"*.kvp", MAX_PATH - 1);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = kFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = L"kvp";
  ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_PATHMUSTEXIST | (save ? OFN_OVERWRITEPROMPT : 0);
  if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) {
    // 0 is a plain cancel; anything else is the dialog failing.
    if (DWORD error = CommDlgExtendedError()) {
      wchar_t line[96];
      swprintf(line, 96, L"Korvalin: %ls failed, CommDlgExtendedError %lu\n",
               save ? L"GetSaveFileNameW" : L"GetOpenFileNameW", error);
      OutputDebugStringW(line);
    }
    return std::nullopt;
  }
  return std::wstring(file);
}

}  // namespace

std::optional<std::wstring> AskProfileFileToOpen(HWND owner, const std::wstring& initialName) {
  return askProfileFile(owner, false, initialName);
}
std::optional<std::wstring> AskProfileFileToSave(HWND owner, const std::wstring& initialName) {
  return askProfileFile(owner, true, initialName);
}

}  // namespace kv
