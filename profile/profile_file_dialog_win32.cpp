#include "profile/profile_file_dialog_win32.h"

#include <commdlg.h>

#include <cwchar>

#include "base/log_win32.h"

namespace kv {

namespace {

// The common dialogs' library is loaded on the first file dialog, not with
// the program: with the printing libraries it brings it was three of the
// libraries every start loaded and initialised for a dialog most starts
// never open.
struct FileDialogs {
  using AskFn = BOOL(WINAPI*)(OPENFILENAMEW*);
  using ErrorFn = DWORD(WINAPI*)();
  AskFn open = nullptr, save = nullptr;
  ErrorFn error = nullptr;
};

const FileDialogs& fileDialogs() {
  static const FileDialogs d = [] {
    FileDialogs f;
    HMODULE lib = LoadLibraryExW(L"comdlg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!lib) {
      ReportWin32Failure(L"LoadLibraryExW(comdlg32.dll)");
      return f;
    }
    // Kept loaded for the rest of the process.
    f.open = reinterpret_cast<FileDialogs::AskFn>(reinterpret_cast<void*>(GetProcAddress(lib, "GetOpenFileNameW")));
    f.save = reinterpret_cast<FileDialogs::AskFn>(reinterpret_cast<void*>(GetProcAddress(lib, "GetSaveFileNameW")));
    f.error =
        reinterpret_cast<FileDialogs::ErrorFn>(reinterpret_cast<void*>(GetProcAddress(lib, "CommDlgExtendedError")));
    return f;
  }();
  return d;
}

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
  const FileDialogs& dialogs = fileDialogs();
  FileDialogs::AskFn ask = save ? dialogs.save : dialogs.open;
  if (!ask) return std::nullopt;  // reported when the library was loaded
  if (!ask(&ofn)) {
    // 0 is a plain cancel; anything else is the dialog failing.
    if (DWORD error = dialogs.error ? dialogs.error() : 0)
      LogFailure(save ? L"GetSaveFileNameW" : L"GetOpenFileNameW", error);  // CommDlgExtendedError
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
