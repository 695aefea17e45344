#include "widgets/application_win32.h"

#include <commctrl.h>
#include <ole2.h>

#include "base/log_win32.h"
#include "widgets/dialog_win32.h"

namespace kv {
namespace {

CApplication* g_app = nullptr;

}  // namespace

CApplication::CApplication() : profileName_(ExecutableBaseName()), programFolder_(ExecutableFolder()) {
  if (!g_app) g_app = this;
}

CApplication::~CApplication() {
  if (g_app == this) g_app = nullptr;
}

CApplication* CApplication::current() noexcept { return g_app; }

BOOL CApplication::InitInstance() { return TRUE; }

int CApplication::ExitInstance() { return quitCode_; }

int CApplication::Run() {
  MSG msg;
  for (;;) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      quitCode_ = static_cast<int>(msg.wParam);
      return quitCode_;
    }
    if (got == -1) return quitCode_;
    PumpMessage(msg);
  }
}

void CApplication::SetRegistryKey(std::wstring_view key) { registryKey_.assign(key); }

int RunApplication(CApplication& app, HINSTANCE instance) {
  app.instance_ = instance;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  HRESULT ole = OleInitialize(nullptr);
  int code = 0;
  try {
    if (app.InitInstance()) app.Run();
    code = app.ExitInstance();
  } catch (...) {
    LogLine(L"an exception ended the application");
    code = 1;
  }
  if (SUCCEEDED(ole)) OleUninitialize();
  return code;
}

}  // namespace kv
