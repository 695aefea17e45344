// A string value under HKEY_CURRENT_USER set for the life of a test step,
// put back afterwards: the tests share the user's registry with each other.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kv::e2e {

// Sets a string value under HKEY_CURRENT_USER for as long as the object
// lives; puts back what was there (or removes the value) afterwards.
class RegistryOverride {
 public:
  RegistryOverride(std::wstring key, std::wstring name, const std::wstring& value);
  ~RegistryOverride();
  RegistryOverride(const RegistryOverride&) = delete;
  RegistryOverride& operator=(const RegistryOverride&) = delete;

 private:
  std::wstring key_, name_;
  bool hadValue_ = false;
  DWORD type_ = REG_SZ;
  std::vector<BYTE> old_;
};

}  // namespace kv::e2e
