// The user's settings file (wskb.ini) as the portable model sees it: string
// values by section and key. The Win32 implementation reads and writes the
// INI file; tools and tests keep the values in memory.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace kv {

inline constexpr std::u16string_view kSectionKeyColour = u"KEYCOLOR";
inline constexpr std::u16string_view kKeyLightingPanelOpen = u"DengCheck";
inline constexpr std::u16string_view kKeyCustomColours = u"CustomColors";

class SettingsFile {
 public:
  virtual ~SettingsFile() = default;
  // The value, or fallback when the file, section or key is missing.
  virtual std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                                    std::u16string_view fallback) = 0;
  // False when the value could not be stored; callers ignore it.
  [[nodiscard]] virtual bool WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value) = 0;
};

class MemorySettingsFile : public SettingsFile {
 public:
  std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                            std::u16string_view fallback) override;
  bool WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value) override;

  int writes() const { return writes_; }

 private:
  std::map<std::pair<std::u16string, std::u16string>, std::u16string> values_;
  int writes_ = 0;
};

// `lighting panel open`: "1" open, anything else (or nothing) closed.
bool readLightingPanelOpen(SettingsFile& settings);
void writeLightingPanelOpen(SettingsFile& settings, bool open);

// The colour dialog's 16 custom colours (0x00BBGGRR), kept between runs as
// one value: "RRGGBB" per colour, separated by commas. The file is the
// user's to edit: a slot that is missing or not six hex digits is white.
inline constexpr size_t kCustomColourCount = 16;
using CustomColours = std::array<uint32_t, kCustomColourCount>;
CustomColours parseCustomColours(std::u16string_view text);
std::u16string formatCustomColours(const CustomColours& colours);
CustomColours readCustomColours(SettingsFile& settings);
void writeCustomColours(SettingsFile& settings, const CustomColours& colours);

}  // namespace kv
