// The INI reader of the skinned dialogs: bound to one skin description file.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "base/handles_win32.h"

namespace kv {

class CIniFile {
 public:
  // Paths are kept in 260 UTF-16 units; values are read 2048 units at a time.
  static constexpr size_t kPathUnits = 260;
  static constexpr size_t kValueUnits = 2048;

  CIniFile() = default;
  // Unbound when no memory could be had: every read then gives its default.
  explicit CIniFile(std::wstring_view path) { (void)setFile(path); }
  CIniFile(const CIniFile&) = delete;
  CIniFile& operator=(const CIniFile&) = delete;
  CIniFile(CIniFile&&) noexcept = default;
  CIniFile& operator=(CIniFile&&) noexcept = default;

  // Replaces the stored path; at most 259 units are kept. False when no
  // memory could be had (the reader is then unbound).
  [[nodiscard]] bool setFile(std::wstring_view path);
  // The bound path, or an empty text.
  const wchar_t* file() const;

  // The value, at most 2047 units; an empty value (or a missing one with an
  // empty default) gives none.
  std::optional<std::wstring> getString(std::wstring_view section, std::wstring_view key,
                                        std::wstring_view defaultText = L"") const;

 private:
  UniqueGlobal path_;
};

}  // namespace kv
