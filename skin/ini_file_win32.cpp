#include "skin/ini_file_win32.h"

#include <algorithm>
#include <cstring>

#include <vector>

namespace kv {

bool CIniFile::setFile(std::wstring_view path) {
  path_.reset(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, kPathUnits * sizeof(wchar_t)));
  if (!path_) return false;
  auto* buf = static_cast<wchar_t*>(static_cast<void*>(path_.get()));
  size_t n = std::min(path.size(), kPathUnits - 1);
  std::memcpy(buf, path.data(), n * sizeof(wchar_t));
  buf[n] = L'\0';
  return true;
}

const wchar_t* CIniFile::file() const {
  return path_ ? static_cast<const wchar_t*>(static_cast<const void*>(path_.get())) : L"";
}

std::optional<std::wstring> CIniFile::getString(std::wstring_view section, std::wstring_view key,
                                                std::wstring_view defaultText) const {
  if (!path_) return std::nullopt;
  // Windows strips the blank of a " " default and Wine does not: a blank
  // default is passed as empty so a missing entry gives none on both.
  std::wstring sec(section), k(key), def(defaultText);
  if (def == L" ") def.clear();
  std::vector<wchar_t> buf(kValueUnits, L'\0');
  DWORD n = GetPrivateProfileStringW(sec.c_str(), k.c_str(), def.c_str(), buf.data(), kValueUnits, file());
  if (n == 0) return std::nullopt;
  if (n >= kValueUnits) n = kValueUnits - 1;
  return std::wstring(buf.data(), n);
}

}  // namespace kv
