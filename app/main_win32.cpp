// Korvalin.exe entry point. Until the main dialog exists this shows a plain
// window titled from the text table, so the program can be started and seen.
#include <windows.h>

#include <string>

#include "app/text_table.h"
#include "app/text_table_win32.h"
#include "app/wide_win32.h"

namespace {

std::wstring programFolder() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return L".\\";
  std::wstring p(path, n);
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

LRESULT CALLBACK wndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  kv::LoadTextTable(programFolder() + L"Skins\\language.ini");
  WNDCLASSW wc{};
  wc.lpfnWndProc = wndProc;
  wc.hInstance = instance;
  wc.lpszClassName = L"KorvalinMain";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  if (!RegisterClassW(&wc)) return 3;
  std::wstring title = kv::wide(kv::text(kv::TextId::MAIN_CAPTION));
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 100, 100, 640, 300,
                              nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 4;
  ShowWindow(hwnd, show);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return 0;
}
