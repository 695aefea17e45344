#include "ui/main/korvalin_app_win32.h"

#include <windows.h>

#include "app/settings_win32.h"
#include "app/single_instance_win32.h"
#include "app/startup_marks_win32.h"
#include "base/profile_cache_win32.h"
#include "base/text_table_win32.h"
#include "ui/main/korvalin_dlg_win32.h"

namespace kv {

BOOL CKorvalinApp::InitInstance() {
  StartupMark(L"app");
  SetRegistryKey(kRegistryKeyName);
  ProgramPaths paths = BuildProgramPaths(programFolder(), ExecutableFileName());
  // The program only reads these; their entries are answered from memory.
  for (const std::wstring* file : {&paths.languageFile, &paths.mainSkinFile, &paths.compositeSkinFile,
                                   &paths.profileSkinFile})
    CacheReadOnlyProfile(*file);
  LoadTextTable(paths.languageFile);
  StartupMark(L"text table");
  {
    auto dialog = std::make_unique<CKorvalinDlg>(config_, snapshot_, paths, CommandLineArguments());
    StartupMark(L"instance");
    // The main window ends only by Close; how it ended changes nothing here.
    (void)dialog->DoModal();
  }
  // The system repaints what the window covered; repainting the whole
  // desktop would only make every program redraw.
  return FALSE;
}

}  // namespace kv

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  static kv::CKorvalinApp app;
  return kv::RunApplication(app, instance);
}
