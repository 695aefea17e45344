// Where the user's own settings live: the settings file wskb.ini in the
// documents folder, and the per-user application profile in the registry.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kv {

inline constexpr wchar_t kRegistryKeyName[] = L"Korvalin_Nalvori";
inline constexpr wchar_t kProfilesSection[] = L"PROFILES";
inline constexpr wchar_t kFlipValue[] = L"Flip";
inline constexpr wchar_t kSettingsFolderName[] = L"Korvalin";
inline constexpr wchar_t kSettingsFileName[] = L"wskb.ini";
inline constexpr wchar_t kKeyColourSection[] = L"KEYCOLOR";
inline constexpr wchar_t kDengCheckKey[] = L"DengCheck";

// The shell's "personal" folder (Documents), without a trailing separator;
// empty when the shell has none.
std::wstring DocumentsFolder();
// documents + "\Korvalin\wskb.ini"; empty when there is no documents folder.
std::wstring SettingsFilePath();
std::wstring SettingsFilePathIn(std::wstring_view documentsFolder);

// KEYCOLOR/DengCheck: "1" is open; anything else, or nothing, is closed.
bool ReadDengCheck(const std::wstring& settingsFile);
[[nodiscard]] bool WriteDengCheck(const std::wstring& settingsFile, bool open);

// The application profile: HKEY_CURRENT_USER\Software\<registry key>\<application>\<section>,
// string values. The registry key is the application object's (Korvalin_Nalvori
// when none is set), the application name the executable's base name.
std::wstring AppProfileKeyPath();
std::wstring GetProfileText(std::wstring_view section, std::wstring_view entry, std::wstring_view defaultText);
// Write failures are reported but callers may ignore them.
[[nodiscard]] bool WriteProfileText(std::wstring_view section, std::wstring_view entry, std::wstring_view value);
// The entry read as "%d" (a leading integer); defaultValue when missing or not a number.
int GetProfileNumber(std::wstring_view section, std::wstring_view entry, int defaultValue);

// PROFILES/Flip: "0" or "1"; any number other than 0 and 1 is stored as 0.
// Returns the stored number.
[[nodiscard]] int SetFlipSetting(int value);
// The stored Flip value as a number (0 when missing or not a number).
int GetFlipSetting();

}  // namespace kv
