#include "base/text_table_win32.h"

#include <windows.h>

#include <vector>

#include "base/profile_cache_win32.h"
#include "base/text_table.h"
#include "base/wide_win32.h"

namespace kv {

std::wstring ReadProfileText(const std::wstring& iniPath, std::wstring_view section, std::wstring_view key,
                             std::wstring_view defaultText, size_t bufferChars) {
  // Windows strips the trailing blank of a " " default, Wine does not; the
  // callers want "missing means empty", so a blank default is taken as empty.
  if (std::optional<std::wstring> cached = CachedProfileText(iniPath, section, key, bufferChars)) return *cached;
  std::wstring def(defaultText);
  if (def == L" ") def.clear();
  std::vector<wchar_t> buf(bufferChars > 0 ? bufferChars : 1, L'\0');
  std::wstring sec(section), k(key);
  DWORD n = GetPrivateProfileStringW(sec.c_str(), k.c_str(), def.c_str(), buf.data(),
                                     static_cast<DWORD>(buf.size()), iniPath.c_str());
  if (n >= buf.size()) n = static_cast<DWORD>(buf.size() - 1);
  return std::wstring(buf.data(), n);
}

std::wstring LanguageSectionOf(const std::wstring& languageFile) {
  std::wstring value = ReadProfileText(languageFile, L"LANGUAGE", L"language");
  return wide(LanguageSection(languageValue(u16(value))));
}

std::wstring HelpPagePath(const std::wstring& helpFolder, const std::wstring& languageFile) {
  std::wstring value = ReadProfileText(languageFile, L"LANGUAGE", L"language");
  return helpFolder + wide(HelpPageName(languageValue(u16(value))));
}

void LoadTextTable(const std::wstring& languageFile) {
  std::wstring section = LanguageSectionOf(languageFile);
  for (size_t i = 0; i < kTextIdCount; ++i) {
    auto id = static_cast<TextId>(i);
    std::wstring fallback = i < kFileTextCount ? L" " : wide(builtInText(id));
    std::wstring value = ReadProfileText(languageFile, section, wideAscii(textKey(id)), fallback, kTextBufferChars);
    setText(id, u16(value));
  }
}

std::wstring ReadLanguageText(const std::wstring& languageFile, std::string_view key) {
  return ReadProfileText(languageFile, LanguageSectionOf(languageFile), wideAscii(key), L" ", kTextBufferChars);
}

std::wstring ReadLanguageText(const std::wstring& languageFile, const LanguageKey& key) {
  std::wstring t = ReadLanguageText(languageFile, std::string_view(key.key));
  return t.empty() ? wide(std::u16string_view(key.builtIn)) : t;
}

}  // namespace kv
