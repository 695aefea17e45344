#include "base/program_folder_win32.h"

namespace kv {

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

}  // namespace kv
