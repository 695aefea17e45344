#include "profile/profile_file_dialog_win32.h"

#include <commdlg.h>

#include <algorithm>
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

// Puts the file dialog over the middle of its owner once it is laid out:
// without a window manager Wine leaves it at the screen's top-left corner,
// wherever the window it belongs to is.
UINT_PTR CALLBACK centreOverOwner(HWND child, UINT msg, WPARAM, LPARAM lp) {
  if (msg != WM_NOTIFY || reinterpret_cast<const NMHDR*>(lp)->code != CDN_INITDONE) return 0;
  HWND dialog = GetParent(child);  // the explorer-style dialog's hook runs in a child of it
  HWND owner = dialog ? GetWindow(dialog, GW_OWNER) : nullptr;
  RECT o{}, d{};
  if (!owner || !IsWindowVisible(owner) || !GetWindowRect(owner, &o) || !GetWindowRect(dialog, &d)) return 0;
  int x = (o.left + o.right - (d.right - d.left)) / 2, y = (o.top + o.bottom - (d.bottom - d.top)) / 2;
  if (!SetWindowPos(dialog, nullptr, std::max(0, x), std::max(0, y), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE))
    ReportWin32Failure(L"SetWindowPos(file dialog)");
  return 0;
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
  ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_ENABLEHOOK | OFN_ENABLESIZING |
              (save ? OFN_OVERWRITEPROMPT : 0);
  ofn.lpfnHook = centreOverOwner;
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
