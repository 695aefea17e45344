#include "app/korvalin_app_win32.h"

#include <windows.h>

#include "app/settings_win32.h"
#include "app/single_instance_win32.h"
#include "app/text_table_win32.h"
#include "ui/main/korvalin_dlg_win32.h"

namespace kv {

BOOL CKorvalinApp::InitInstance() {
  SetRegistryKey(kRegistryKeyName);
  ProgramPaths paths = BuildProgramPaths(programFolder(), ExecutableFileName());
  LoadTextTable(paths.languageFile);
  {
    auto dialog = std::make_unique<CKorvalinDlg>(config_, snapshot_, paths, CommandLineArguments());
    // The main window ends only by Close; how it ended changes nothing here.
    (void)dialog->DoModal();
  }
  // Repaints what the window covered; nothing to do when it fails.
  (void)InvalidateRect(nullptr, nullptr, TRUE);
  return FALSE;
}

}  // namespace kv

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  static kv::CKorvalinApp app;
  return kv::RunApplication(app, instance);
}
