// The profile file's fixed part: header, checksum and constant block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kv {

inline constexpr size_t kProfileHeaderSize = 32;
inline constexpr size_t kProfileFixedSize = 32832;  // header, constant block, 2048 entries
inline constexpr size_t kMacroRecordBytes = 16512;
inline constexpr uint16_t kProfileMagic = 0x4446;
inline constexpr uint16_t kProfileEntryCount = 2048;
inline constexpr uint16_t kProfileMaxMacros = 100;

#pragma pack(push, 1)
struct ProfileHeader {
  uint16_t magic;
  uint16_t headerSize;
  uint16_t formatId;
  uint16_t formatVariant;
  uint32_t fileSize;
  uint16_t entryCount;
  uint16_t macroCount;
  uint32_t poolSize;
  uint32_t reserved0;
  uint32_t reserved1;
  uint16_t reserved2;
  uint8_t flag;
  uint8_t checksum;
};
#pragma pack(pop)
static_assert(sizeof(ProfileHeader) == kProfileHeaderSize);
static_assert(offsetof(ProfileHeader, fileSize) == 8);
static_assert(offsetof(ProfileHeader, entryCount) == 12);
static_assert(offsetof(ProfileHeader, macroCount) == 14);
static_assert(offsetof(ProfileHeader, poolSize) == 16);
static_assert(offsetof(ProfileHeader, flag) == 30);
static_assert(offsetof(ProfileHeader, checksum) == 31);

inline constexpr std::array<uint8_t, 32> kProfileConstantBlock = {
    0x4B, 0x48, 0x20, 0x00, 0x20, 0x80, 0x00, 0x00, 0x04, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00,
    0x45, 0x0C, 0x18, 0x65, 0x4F, 0x1C, 0x0E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// 32,832 + 16,512 x macros + pool, as a 64-bit value so no count can wrap it.
constexpr uint64_t profileFileSize(uint64_t macroCount, uint64_t poolSize) {
  return kProfileFixedSize + kMacroRecordBytes * macroCount + poolSize;
}

// Sum of bytes 0-30 modulo 256.
uint8_t profileHeaderChecksum(std::span<const uint8_t, kProfileHeaderSize> header);

// Fills the 32 header bytes and the 32-byte constant block after them.
void writeProfileHeaderBytes(std::span<uint8_t, 64> headerAndConstant, uint16_t macroCount, uint32_t poolSize,
                             uint8_t flag);

// True when the header passes every check a profile file's header must pass
// (magic, sizes, counts, flag, file size field, checksum).
bool profileHeaderValid(std::span<const uint8_t, kProfileHeaderSize> header);

ProfileHeader readProfileHeader(std::span<const uint8_t, kProfileHeaderSize> header);

// The first check profileHeaderValid finds failing, in words naming the
// field, what it holds and what it must hold; empty when the header is valid.
std::string profileHeaderProblem(std::span<const uint8_t, kProfileHeaderSize> header);

}  // namespace kv
