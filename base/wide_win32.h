// Conversions between the portable UTF-16 strings and the platform's wide
// strings. On Windows wchar_t is 16 bits, so these are copies, not recodings.
#pragma once

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 code expects a 16-bit wchar_t");

namespace kv {

inline std::wstring wide(std::u16string_view s) {
  return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), s.size());
}
inline std::u16string u16(std::wstring_view s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.data()), s.size());
}
inline std::wstring wideAscii(std::string_view s) { return std::wstring(s.begin(), s.end()); }

}  // namespace kv
