// Sections of the program's read-only INI files (the language file and the
// skin description files) read whole once and looked up in memory. Start-up
// reads a few hundred entries of them; the platform's reader opens and
// closes the file for each one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv {

// Marks a file as one the program never writes, so its entries may be
// answered from memory. A change of the file's time or size is noticed.
void CacheReadOnlyProfile(const std::wstring& path);

// The entry as GetPrivateProfileStringW gives it with a buffer of
// bufferChars characters, when the file is marked and the entry is a plain
// "key=value" of its section. Nothing otherwise (an unmarked or unreadable
// file, a missing or quoted entry): the caller asks the platform's reader,
// which also settles defaults.
std::optional<std::wstring> CachedProfileText(const std::wstring& path, std::wstring_view section,
                                              std::wstring_view key, size_t bufferChars);

}  // namespace kv
