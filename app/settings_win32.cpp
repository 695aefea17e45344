#include "app/settings_win32.h"

#include <shlobj.h>

#include <cwchar>
#include <vector>

#include "base/handles_win32.h"
#include "base/placement.h"
#include "base/text_table_win32.h"
#include "base/wide_win32.h"
#include "widgets/application_win32.h"

namespace kv {

std::wstring DocumentsFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) return L"";
  std::wstring p(path);
  while (!p.empty() && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
  return p;
}

std::wstring SettingsFilePathIn(std::wstring_view documentsFolder) {
  if (documentsFolder.empty()) return L"";
  std::wstring p(documentsFolder);
  if (p.back() != L'\\' && p.back() != L'/') p += L'\\';
  return p + kSettingsFolderName + L"\\" + kSettingsFileName;
}

std::wstring SettingsFilePath() { return SettingsFilePathIn(DocumentsFolder()); }

bool ReadDengCheck(const std::wstring& settingsFile) {
  if (settingsFile.empty()) return false;
  return ReadProfileText(settingsFile, kKeyColourSection, kDengCheckKey, L"0") == L"1";
}

bool WriteDengCheck(const std::wstring& settingsFile, bool open) {
  if (settingsFile.empty()) return false;
  return WritePrivateProfileStringW(kKeyColourSection, kDengCheckKey, open ? L"1" : L"0", settingsFile.c_str()) !=
         FALSE;
}

std::wstring AppProfileKeyPath() {
  const CApplication* app = CApplication::current();
  std::wstring key = app && !app->registryKey().empty() ? app->registryKey() : std::wstring(kRegistryKeyName);
  std::wstring name = app ? app->profileName() : ExecutableBaseName();
  return L"Software\\" + key + L"\\" + name;
}

namespace {

std::wstring sectionPath(std::wstring_view section) { return AppProfileKeyPath() + L"\\" + std::wstring(section); }

}  // namespace

std::wstring GetProfileText(std::wstring_view section, std::wstring_view entry, std::wstring_view defaultText) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, sectionPath(section).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
    return std::wstring(defaultText);  // no section yet: the default, and nothing to report
  UniqueRegistryKey key(opened);
  std::wstring name(entry);
  DWORD type = 0, bytes = 0;
  std::wstring result(defaultText);
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && bytes <= 64 * 1024) {
    std::vector<wchar_t> buf(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &got) ==
        ERROR_SUCCESS) {
      buf.back() = L'\0';
      result.assign(buf.data());
    }
  }
  return result;
}

bool WriteProfileText(std::wstring_view section, std::wstring_view entry, std::wstring_view value) {
  HKEY created = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, sectionPath(section).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &created, nullptr);
  if (rc != ERROR_SUCCESS) return false;
  UniqueRegistryKey key(created);
  std::wstring name(entry), text(value);
  rc = RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  return rc == ERROR_SUCCESS;
}

int GetProfileNumber(std::wstring_view section, std::wstring_view entry, int defaultValue) {
  return parseLeadingInt(u16(GetProfileText(section, entry, L""))).value_or(defaultValue);
}

int SetFlipSetting(int value) {
  int stored = (value == 0 || value == 1) ? value : 0;
  wchar_t text[16];
  std::swprintf(text, 16, L"%d", stored);
  (void)WriteProfileText(kProfilesSection, kFlipValue, text);  // not kept: the setting still holds for this run
  return stored;
}

int GetFlipSetting() { return GetProfileNumber(kProfilesSection, kFlipValue, 0); }

}  // namespace kv
