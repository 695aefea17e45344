// Whole-keyboard backups: everything a user can change on the keyboard (key
// tables, macro memory, settings records, per-key regions, active profile)
// in one versioned file with a checksum, and moving it to and from the
// keyboard. A profile file holds only what Apply writes; a backup holds the
// keyboard's memory byte for byte.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/protocol.h"

namespace kv {

static_assert(std::endian::native == std::endian::little, "the backup header is stored as it lies in memory");

// ---- The file ----------------------------------------------------------------------
//
// Little-endian, no gaps: the 32-byte header, then the regions in this order:
//   settings records of profiles 0-2    3 x 42 = 126 bytes
//   per-key regions of profiles 0-2     3 x 256 = 768 bytes
//   key tables of profiles 0-2          3 x 324 = 972 bytes
//   macro memory                        macro units x 128 bytes
// The checksum is the CRC-32 (IEEE 802.3, the one of zip and PNG) of every
// byte of the file except the checksum field itself.

inline constexpr std::array<char, 8> kBackupMagic = {'K', 'V', 'B', 'A', 'C', 'K', 'U', 'P'};
inline constexpr uint16_t kBackupVersion = 1;
inline constexpr size_t kBackupHeaderSize = 32;

#pragma pack(push, 1)
struct BackupHeader {
  char magic[8];          // kBackupMagic
  uint16_t version;       // kBackupVersion
  uint16_t headerSize;    // 32
  uint32_t fileSize;      // header and regions
  uint8_t macroUnits;     // the keyboard's macro memory / 128, 1-255 (information block byte 11)
  uint8_t activeProfile;  // 0-2 (information block byte 10)
  uint8_t reserved[10];   // zero
  uint32_t checksum;      // CRC-32 of every other byte of the file
};
#pragma pack(pop)
static_assert(sizeof(BackupHeader) == kBackupHeaderSize);
static_assert(offsetof(BackupHeader, version) == 8 && offsetof(BackupHeader, headerSize) == 10 &&
              offsetof(BackupHeader, fileSize) == 12 && offsetof(BackupHeader, macroUnits) == 16 &&
              offsetof(BackupHeader, activeProfile) == 17 && offsetof(BackupHeader, reserved) == 18 &&
              offsetof(BackupHeader, checksum) == 28);

inline constexpr size_t kBackupSettingsBytes = kProfileCount * kSettingsRecordSize;  // 126
inline constexpr size_t kBackupColoursBytes = kProfileCount * kColourRegionSize;     // 768
inline constexpr size_t kBackupKeyTablesBytes = kProfileCount * kKeyTableSize;       // 972
inline constexpr size_t kBackupFixedBytes =
    kBackupHeaderSize + kBackupSettingsBytes + kBackupColoursBytes + kBackupKeyTablesBytes;
inline constexpr int kMaxMacroUnits = 255;  // one byte of the information block

constexpr size_t backupFileSize(size_t macroUnits) { return kBackupFixedBytes + macroUnits * kMacroUnitBytes; }
inline constexpr size_t kMaxBackupFileSize = backupFileSize(kMaxMacroUnits);

// What the keyboard holds that a user can change.
struct KeyboardContents {
  std::array<uint8_t, kBackupSettingsBytes> settings{};
  std::array<uint8_t, kBackupColoursBytes> colours{};
  std::array<uint8_t, kBackupKeyTablesBytes> keyTables{};
  std::vector<uint8_t> macro;  // the whole macro memory, units x 128 bytes
  uint8_t activeProfile = 0;

  friend bool operator==(const KeyboardContents&, const KeyboardContents&) = default;
};

// CRC-32 (reflected, polynomial 0xEDB88320), continuing from `crc` (0 to start).
uint32_t crc32(std::span<const uint8_t> bytes, uint32_t crc = 0);

// The file's bytes; nullopt when the contents cannot be a keyboard's (macro
// memory not 1-255 whole units, active profile above 2).
std::optional<std::vector<uint8_t>> encodeBackup(const KeyboardContents& contents);

enum class BackupError {
  None,
  TooShort,           // shorter than the header
  NotABackup,         // wrong magic
  UnknownVersion,     // a version this program does not read
  BadHeader,          // header size, reserved bytes, macro units or active profile out of range
  WrongSize,          // the file's length is not what its header says
  BadChecksum,
};
// One line for the user, without the file name.
std::string describeBackupError(BackupError error, std::span<const uint8_t> file);

// Checks the whole file and fills `out`; on any error `out` is untouched.
[[nodiscard]] BackupError decodeBackup(std::span<const uint8_t> file, KeyboardContents& out);

// ---- Onto another keyboard ------------------------------------------------------------
//
// A backup goes whole onto a keyboard with at least as much macro memory (the
// rest of a larger memory is left as it is). Onto a smaller one it goes cut
// to the keyboard's size when everything the keyboard can read of its macro
// image (the header, the offset table and every macro the offsets name,
// actions and name included) lies inside that size: the keyboard never reads
// past its image, so the macros play exactly as on the first keyboard.
// Otherwise it is refused.

// The bytes of macro memory the keyboard can reach through the image: 0 when
// the memory holds no image (no magic); nullopt when the image names bytes
// outside the memory.
std::optional<size_t> macroImageExtent(std::span<const uint8_t> memory);

struct MacroPlacement {
  bool fits;
  size_t writeBytes;   // of the backup's macro memory, from offset 0, when it fits
  size_t neededBytes;  // what the image reaches (the whole memory when it cannot be cut)
};
MacroPlacement placeMacroMemory(std::span<const uint8_t> backupMacro, size_t keyboardMacroBytes);

// ---- The keyboard ---------------------------------------------------------------------

// Result of readKeyboardContents when the information block names an active
// profile above 2 or no macro memory: nothing such a keyboard holds can be
// restored faithfully.
inline constexpr int kResultBadInfoBlock = -301;

// Reads everything: the information block, the key tables and the macro
// memory, then the settings records and the per-key regions in one
// configuration bracket (always closed once opened). Returns 1 or the first
// failing result; `out` is untouched on failure.
[[nodiscard]] int readKeyboardContents(KeyboardContents& out);

// Writes the settings records, per-key regions, key tables and the first
// macroBytes of the macro memory in one configuration bracket (macro memory
// first, then the key tables that point into it), then makes the backup's
// profile active. The selected profile (WriteColours) is restored after.
// Returns 1 or the first failing result; a failed write ends the writing,
// but an opened bracket is closed.
[[nodiscard]] int writeKeyboardContents(const KeyboardContents& contents, size_t macroBytes);

// ---- Reading back --------------------------------------------------------------------

// A byte that differs: the region by the names `korvalinctl dump` uses
// ("info", "settings", "colours P", "keys P", "macros") and the offset in it.
struct RegionDifference {
  std::string region;
  size_t offset;
  uint8_t expected;
  uint8_t found;
};
// The first differing byte of two views of a region, over the shorter one's
// length (callers pass equal lengths); offsets count from `base`.
std::optional<RegionDifference> firstDifference(std::string_view region, std::span<const uint8_t> expected,
                                                std::span<const uint8_t> found, size_t base = 0);
// Region by region in the order they are written; the macro memory only in
// its first macroBytes.
std::optional<RegionDifference> firstDifference(const KeyboardContents& expected, const KeyboardContents& found,
                                                size_t macroBytes);
// "keys 1 differs at offset 0x0039: expected 0x05, found 0x00"
std::string describeDifference(const RegionDifference& difference);

}  // namespace kv
