#include "model/settings.h"

#include <cstring>

#include "model/settings_file.h"

namespace kv {

ProfileSettingsRecord settingsRecordFromBytes(std::span<const uint8_t, kSettingsRecordBytes> bytes) {
  ProfileSettingsRecord r;
  std::memcpy(&r, bytes.data(), sizeof r);
  return r;
}

std::array<uint8_t, kSettingsRecordBytes> settingsRecordBytes(const ProfileSettingsRecord& record) {
  std::array<uint8_t, kSettingsRecordBytes> out;
  std::memcpy(out.data(), &record, sizeof record);
  return out;
}

std::u16string MemorySettingsFile::ReadString(std::u16string_view section, std::u16string_view key,
                                              std::u16string_view fallback) {
  auto it = values_.find({std::u16string(section), std::u16string(key)});
  return it == values_.end() ? std::u16string(fallback) : it->second;
}

bool MemorySettingsFile::WriteString(std::u16string_view section, std::u16string_view key,
                                     std::u16string_view value) {
  values_[{std::u16string(section), std::u16string(key)}] = std::u16string(value);
  ++writes_;
  return true;
}

bool readLightingPanelOpen(SettingsFile& settings) {
  return settings.ReadString(kSectionKeyColour, kKeyLightingPanelOpen, u"0") == u"1";
}

void writeLightingPanelOpen(SettingsFile& settings, bool open) {
  settings.WriteString(kSectionKeyColour, kKeyLightingPanelOpen, open ? u"1" : u"0");
}

}  // namespace kv
