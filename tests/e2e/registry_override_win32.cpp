#include "tests/e2e/registry_override_win32.h"

#include <utility>

namespace kv::e2e {

RegistryOverride::RegistryOverride(std::wstring key, std::wstring name, const std::wstring& value)
    : key_(std::move(key)), name_(std::move(name)) {
  constexpr DWORD kFlags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), kFlags, &type_, nullptr, &size) ==
      ERROR_SUCCESS) {
    old_.resize(size);
    hadValue_ = RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), kFlags, &type_, old_.data(), &size) ==
                ERROR_SUCCESS;
    old_.resize(size);
  }
  RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), REG_SZ, value.c_str(),
                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

RegistryOverride::~RegistryOverride() {
  if (hadValue_)
    RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), type_, old_.data(),
                    static_cast<DWORD>(old_.size()));
  else
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str());
}

}  // namespace kv::e2e
