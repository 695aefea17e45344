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

CustomColours parseCustomColours(std::u16string_view text) {
  CustomColours out;
  out.fill(0x00FFFFFF);
  auto hex = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  };
  size_t slot = 0;
  while (slot < kCustomColourCount) {
    size_t comma = text.find(u',');
    std::u16string_view item = text.substr(0, comma);
    uint32_t rgb = 0;
    bool valid = item.size() == 6;
    for (size_t i = 0; valid && i < 6; ++i) {
      int d = hex(item[i]);
      valid = d >= 0;
      rgb = rgb << 4 | static_cast<uint32_t>(d < 0 ? 0 : d);
    }
    // "RRGGBB" as people write colours; the dialog takes 0x00BBGGRR.
    if (valid) out[slot] = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
    ++slot;
    if (comma == std::u16string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return out;
}

std::u16string formatCustomColours(const CustomColours& colours) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out;
  for (size_t i = 0; i < colours.size(); ++i) {
    if (i) out += u',';
    const uint32_t c = colours[i];
    const uint32_t rgb = (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
    for (int shift = 20; shift >= 0; shift -= 4) out += kDigits[rgb >> shift & 0xF];
  }
  return out;
}

CustomColours readCustomColours(SettingsFile& settings) {
  return parseCustomColours(settings.ReadString(kSectionKeyColour, kKeyCustomColours, u""));
}

void writeCustomColours(SettingsFile& settings, const CustomColours& colours) {
  (void)settings.WriteString(kSectionKeyColour, kKeyCustomColours, formatCustomColours(colours));
}

bool readLightingPanelOpen(SettingsFile& settings) {
  return settings.ReadString(kSectionKeyColour, kKeyLightingPanelOpen, u"0") == u"1";
}

void writeLightingPanelOpen(SettingsFile& settings, bool open) {
  settings.WriteString(kSectionKeyColour, kKeyLightingPanelOpen, open ? u"1" : u"0");
}

}  // namespace kv
