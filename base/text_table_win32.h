// Loading the text table from the language file with the platform's
// profile-string reader.
#pragma once

#include <string>
#include <string_view>

namespace kv {

// Reads one INI string with a buffer of bufferChars characters. A missing
// section or key gives an empty string on Windows and under Wine alike.
std::wstring ReadProfileText(const std::wstring& iniPath, std::wstring_view section, std::wstring_view key,
                             std::wstring_view defaultText = L"", size_t bufferChars = 260);

// The language file's section choice ("ENGINSH" or "CHINESE").
std::wstring LanguageSectionOf(const std::wstring& languageFile);

// Fills every text slot from the chosen section of the language file.
void LoadTextTable(const std::wstring& languageFile);

// One further key from the chosen section (profile captions, tray menu, About box).
std::wstring ReadLanguageText(const std::wstring& languageFile, std::string_view key);

}  // namespace kv
