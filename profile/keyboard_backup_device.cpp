// Moving a whole keyboard's contents through the command protocol.
#include <algorithm>

#include "model/lighting.h"
#include "model/settings.h"
#include "profile/keyboard_backup.h"

namespace kv {

namespace {

std::span<uint8_t, kKeyTableSize> keyTableOf(KeyboardContents& c, int profile) {
  return std::span<uint8_t, kKeyTableSize>(c.keyTables.data() + static_cast<size_t>(profile) * kKeyTableSize,
                                           kKeyTableSize);
}
std::span<const uint8_t, kKeyTableSize> keyTableOf(const KeyboardContents& c, int profile) {
  return std::span<const uint8_t, kKeyTableSize>(c.keyTables.data() + static_cast<size_t>(profile) * kKeyTableSize,
                                                 kKeyTableSize);
}

}  // namespace

int readKeyboardContents(KeyboardContents& out) {
  std::array<uint8_t, kInfoBlockSize> info{};
  int result = ReadInfoBlock(info);
  if (result != kResultSuccess) return result;
  if (info[kInfoMacroUnits] == 0 || info[kInfoActiveProfile] >= kProfileCount) return kResultBadInfoBlock;

  KeyboardContents c;
  c.activeProfile = info[kInfoActiveProfile];
  c.macro.assign(static_cast<size_t>(info[kInfoMacroUnits]) * kMacroUnitBytes, 0);
  for (int p = 0; p < kProfileCount && result == kResultSuccess; ++p) result = ReadKeyTable(keyTableOf(c, p), p);
  if (result == kResultSuccess) result = ReadMacroMemory(c.macro, static_cast<int>(c.macro.size()));
  if (result != kResultSuccess) return result;

  // The settings and per-key regions are read inside a bracket, as a
  // lighting load reads them.
  std::array<ProfileSettingsRecord, kProfileCount> records{};
  result = InConfigBracket([&] {
    int r = readSettingsRecords(records);
    for (int p = 0; p < kProfileCount && r == kResultSuccess; ++p) {
      PerKeyRegion region{};
      r = readPerKeyRegion(p, region);
      std::copy(region.begin(), region.end(), c.colours.begin() + static_cast<std::ptrdiff_t>(p * kColourRegionSize));
    }
    return r;
  });
  if (result != kResultSuccess) return result;
  for (int p = 0; p < kProfileCount; ++p) {
    auto bytes = settingsRecordBytes(records[p]);
    std::copy(bytes.begin(), bytes.end(), c.settings.begin() + static_cast<std::ptrdiff_t>(p * kSettingsRecordSize));
  }
  out = std::move(c);
  return kResultSuccess;
}

int writeKeyboardContents(const KeyboardContents& contents, size_t macroBytes) {
  if (macroBytes > contents.macro.size() || contents.activeProfile >= kProfileCount) return kResultBadArgument;
  int result = InConfigBracket([&] {
    // The macro image before the key tables whose records point into it.
    int r = WriteMacroMemory(contents.macro, static_cast<int>(macroBytes));
    for (int p = 0; p < kProfileCount && r == kResultSuccess; ++p) r = WriteKeyTable(keyTableOf(contents, p), p);
    for (int p = 0; p < kProfileCount && r == kResultSuccess; ++p) {
      const auto record = std::span(contents.settings).subspan(static_cast<size_t>(p) * kSettingsRecordSize,
                                                               kSettingsRecordSize);
      r = WriteSettings(record, static_cast<int>(kSettingsRecordSize), settingsAddress(p, 0));
    }
    // WriteColours reaches the selected profile's region; the lighting
    // model's selection is put back afterwards.
    const int selected = SelectedProfile();
    for (int p = 0; p < kProfileCount && r == kResultSuccess; ++p) {
      PerKeyRegion region{};
      std::copy_n(contents.colours.begin() + static_cast<std::ptrdiff_t>(p * kColourRegionSize), region.size(),
                  region.begin());
      SetSelectedProfile(p);
      r = writePerKeyRegion(region);
    }
    SetSelectedProfile(selected);
    return r;
  });
  if (result == kResultSuccess) result = SetActiveProfile(contents.activeProfile);
  return result;
}

}  // namespace kv
