// Runs one skin loading step for the fatal-problem test: exits with the
// step's fatal code, or 0 when the skin loaded.
#include <windows.h>

#include <string>

#include "skin/base_dialog_win32.h"
#include "skin/skin_picture_win32.h"

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wstring(argv[1]) == L"picture") {
    kv::UniqueBitmap bm = kv::loadPictureFile(argv[2]);
    return bm ? 0 : 1;
  }
  if (argc >= 4 && std::wstring(argv[1]) == L"dialog") {
    static const kv::DialogTemplate t(WS_POPUP, 0, 0, 0, 50, 50, L"probe");
    kv::CBaseDialog dialog(t, nullptr, argv[2], argv[3]);
    if (!dialog.Create()) return 2;
    return dialog.background() ? 0 : 3;
  }
  return 4;
}
