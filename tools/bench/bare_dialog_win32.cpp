// The smallest Win32 dialog program: one modal dialog from a template in
// memory, shown at once. The start-up benchmark's reference for what a
// process and a first window cost on this system.
#include <windows.h>

#include <cstring>
#include <vector>

namespace {

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg == WM_COMMAND && (LOWORD(wp) == IDCANCEL || LOWORD(wp) == IDOK)) {
    EndDialog(dialog, 0);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // DLGTEMPLATE, then empty menu and class, the title, no controls.
  std::vector<WORD> words(64, 0);
  auto* t = reinterpret_cast<DLGTEMPLATE*>(words.data());
  t->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_CENTER;
  t->cx = 200;
  t->cy = 100;
  WORD* p = reinterpret_cast<WORD*>(t + 1);
  *p++ = 0;  // menu
  *p++ = 0;  // class
  const wchar_t title[] = L"Bare dialog";
  std::memcpy(p, title, sizeof title);
  return static_cast<int>(DialogBoxIndirectParamW(instance, t, nullptr, DialogProc, 0));
}
