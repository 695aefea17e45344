#include "widgets/application_win32.h"

#include <commctrl.h>
#include <ole2.h>

#include "widgets/dialog_win32.h"

namespace kv {
namespace {

CApplication* g_app = nullptr;

}  // namespace

std::wstring ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return L"";
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() > 32768) return L"";
    path.resize(path.size() * 2);
  }
}

std::wstring ExecutableFolder() {
  std::wstring p = ExecutablePath();
  size_t slash = p.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring{} : p.substr(0, slash + 1);
}

std::wstring ExecutableFileName() {
  std::wstring p = ExecutablePath();
  size_t slash = p.find_last_of(L"\\/");
  return slash == std::wstring::npos ? p : p.substr(slash + 1);
}

std::wstring ExecutableBaseName() {
  std::wstring name = ExecutableFileName();
  size_t dot = name.find_last_of(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

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
    code = 1;
  }
  if (SUCCEEDED(ole)) OleUninitialize();
  return code;
}

}  // namespace kv
