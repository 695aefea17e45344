#include "profile/keyboard_backup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "macro/macro_image.h"

namespace kv {

namespace {

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

constexpr size_t kChecksumOffset = offsetof(BackupHeader, checksum);
constexpr size_t kSettingsAt = kBackupHeaderSize;
constexpr size_t kColoursAt = kSettingsAt + kBackupSettingsBytes;
constexpr size_t kKeyTablesAt = kColoursAt + kBackupColoursBytes;
constexpr size_t kMacroAt = kKeyTablesAt + kBackupKeyTablesBytes;
static_assert(kMacroAt == kBackupFixedBytes);

// Every byte of the file but the checksum field.
uint32_t fileChecksum(std::span<const uint8_t> file) {
  uint32_t crc = crc32(file.first(kChecksumOffset));
  return crc32(file.subspan(kBackupHeaderSize), crc);
}

BackupHeader headerOf(std::span<const uint8_t> file) {
  BackupHeader h;
  std::memcpy(&h, file.data(), sizeof h);
  return h;
}

bool magicMatches(std::span<const uint8_t> file) {
  return file.size() >= kBackupMagic.size() && std::memcmp(file.data(), kBackupMagic.data(), kBackupMagic.size()) == 0;
}

uint16_t le16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::string hex(uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
  return buf;
}

}  // namespace

uint32_t crc32(std::span<const uint8_t> bytes, uint32_t crc) {
  crc = ~crc;
  for (uint8_t b : bytes) crc = kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::optional<std::vector<uint8_t>> encodeBackup(const KeyboardContents& contents) {
  const size_t units = contents.macro.size() / kMacroUnitBytes;
  if (units < 1 || units > static_cast<size_t>(kMaxMacroUnits) || contents.macro.size() % kMacroUnitBytes != 0 ||
      contents.activeProfile >= kProfileCount)
    return std::nullopt;
  std::vector<uint8_t> file(backupFileSize(units));
  BackupHeader h{};
  std::memcpy(h.magic, kBackupMagic.data(), kBackupMagic.size());
  h.version = kBackupVersion;
  h.headerSize = kBackupHeaderSize;
  h.fileSize = static_cast<uint32_t>(file.size());
  h.macroUnits = static_cast<uint8_t>(units);
  h.activeProfile = contents.activeProfile;
  std::memcpy(file.data(), &h, sizeof h);
  std::copy(contents.settings.begin(), contents.settings.end(), file.begin() + kSettingsAt);
  std::copy(contents.colours.begin(), contents.colours.end(), file.begin() + kColoursAt);
  std::copy(contents.keyTables.begin(), contents.keyTables.end(), file.begin() + kKeyTablesAt);
  std::copy(contents.macro.begin(), contents.macro.end(), file.begin() + kMacroAt);
  h.checksum = fileChecksum(file);
  std::memcpy(file.data(), &h, sizeof h);
  return file;
}

BackupError decodeBackup(std::span<const uint8_t> file, KeyboardContents& out) {
  if (file.size() >= kBackupMagic.size() && !magicMatches(file)) return BackupError::NotABackup;
  if (file.size() < kBackupHeaderSize) return BackupError::TooShort;
  const BackupHeader h = headerOf(file);
  // A later version may lay out even its header differently: nothing past
  // the version is trusted before it is known.
  if (h.version != kBackupVersion) return BackupError::UnknownVersion;
  if (file.size() != h.fileSize) return BackupError::WrongSize;
  if (fileChecksum(file) != h.checksum) return BackupError::BadChecksum;
  const bool reservedZero = std::all_of(std::begin(h.reserved), std::end(h.reserved), [](uint8_t b) { return b == 0; });
  if (h.headerSize != kBackupHeaderSize || !reservedZero || h.macroUnits == 0 || h.activeProfile >= kProfileCount ||
      h.fileSize != backupFileSize(h.macroUnits))
    return BackupError::BadHeader;

  KeyboardContents c;
  std::copy_n(file.begin() + kSettingsAt, c.settings.size(), c.settings.begin());
  std::copy_n(file.begin() + kColoursAt, c.colours.size(), c.colours.begin());
  std::copy_n(file.begin() + kKeyTablesAt, c.keyTables.size(), c.keyTables.begin());
  c.macro.assign(file.begin() + kMacroAt, file.end());
  c.activeProfile = h.activeProfile;
  out = std::move(c);
  return BackupError::None;
}

std::string describeBackupError(BackupError error, std::span<const uint8_t> file) {
  switch (error) {
    case BackupError::None: return "valid keyboard backup";
    case BackupError::TooShort:
      return "not a keyboard backup (" + std::to_string(file.size()) + " bytes, shorter than a backup's header)";
    case BackupError::NotABackup: return "not a keyboard backup";
    case BackupError::UnknownVersion:
      return "keyboard backup of format version " + std::to_string(headerOf(file).version) +
             "; this program reads version " + std::to_string(kBackupVersion);
    case BackupError::WrongSize:
      return "damaged keyboard backup: " + std::to_string(file.size()) + " bytes where its header says " +
             std::to_string(headerOf(file).fileSize);
    case BackupError::BadChecksum:
      return "damaged keyboard backup: checksum " + hex(fileChecksum(file), 8) + " where its header says " +
             hex(headerOf(file).checksum, 8);
    case BackupError::BadHeader: return "damaged keyboard backup: its header is inconsistent";
  }
  return "not a keyboard backup";
}

std::optional<size_t> macroImageExtent(std::span<const uint8_t> memory) {
  if (memory.size() < 2 || le16(memory, 0) != kMacroImageMagic) return 0;
  if (memory.size() < kMacroImageHeaderSize) return std::nullopt;
  const size_t count = le16(memory, 4);
  size_t extent = std::max<size_t>({kMacroImageHeaderSize, le16(memory, 2), kMacroImageHeaderSize + 2 * count});
  if (extent > memory.size()) return std::nullopt;
  for (size_t i = 0; i < count; ++i) {
    const size_t at = le16(memory, kMacroImageHeaderSize + 2 * i);
    if (at + 4 > memory.size()) return std::nullopt;
    const size_t actions = le16(memory, at);
    const size_t nameUnits = memory[at + 3];
    extent = std::max(extent, at + 4 + 4 * actions + 2 * nameUnits);
    if (extent > memory.size()) return std::nullopt;
  }
  return extent;
}

MacroPlacement placeMacroMemory(std::span<const uint8_t> backupMacro, size_t keyboardMacroBytes) {
  if (backupMacro.size() <= keyboardMacroBytes) return {true, backupMacro.size(), backupMacro.size()};
  std::optional<size_t> extent = macroImageExtent(backupMacro);
  if (!extent) return {false, 0, backupMacro.size()};
  if (*extent > keyboardMacroBytes) return {false, 0, *extent};
  return {true, keyboardMacroBytes, *extent};
}

std::optional<RegionDifference> firstDifference(std::string_view region, std::span<const uint8_t> expected,
                                                std::span<const uint8_t> found, size_t base) {
  const size_t n = std::min(expected.size(), found.size());
  auto at = std::mismatch(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(n), found.begin());
  if (at.first == expected.begin() + static_cast<std::ptrdiff_t>(n)) return std::nullopt;
  const auto i = static_cast<size_t>(at.first - expected.begin());
  return RegionDifference{std::string(region), base + i, expected[i], found[i]};
}

std::optional<RegionDifference> firstDifference(const KeyboardContents& expected, const KeyboardContents& found,
                                                size_t macroBytes) {
  const size_t n = std::min({macroBytes, expected.macro.size(), found.macro.size()});
  if (auto d = firstDifference("macros", std::span(expected.macro).first(n), std::span(found.macro).first(n)))
    return d;
  for (int p = 0; p < kProfileCount; ++p) {
    const size_t at = static_cast<size_t>(p) * kKeyTableSize;
    if (auto d = firstDifference("keys " + std::to_string(p), std::span(expected.keyTables).subspan(at, kKeyTableSize),
                                 std::span(found.keyTables).subspan(at, kKeyTableSize)))
      return d;
  }
  if (auto d = firstDifference("settings", expected.settings, found.settings)) return d;
  for (int p = 0; p < kProfileCount; ++p) {
    const size_t at = static_cast<size_t>(p) * kColourRegionSize;
    if (auto d = firstDifference("colours " + std::to_string(p),
                                 std::span(expected.colours).subspan(at, kColourRegionSize),
                                 std::span(found.colours).subspan(at, kColourRegionSize)))
      return d;
  }
  if (expected.activeProfile != found.activeProfile)
    return RegionDifference{"info", kInfoActiveProfile, expected.activeProfile, found.activeProfile};
  return std::nullopt;
}

std::string describeDifference(const RegionDifference& d) {
  return d.region + " differs at offset " + hex(static_cast<uint32_t>(d.offset), 4) + ": expected " +
         hex(d.expected, 2) + ", found " + hex(d.found, 2);
}

}  // namespace kv
