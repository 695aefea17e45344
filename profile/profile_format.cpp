#include "profile/profile_format.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <string>

namespace kv {

static_assert(std::endian::native == std::endian::little, "records are stored as they lie in memory");

uint8_t profileHeaderChecksum(std::span<const uint8_t, kProfileHeaderSize> header) {
  unsigned sum = 0;
  for (size_t i = 0; i < 31; ++i) sum += header[i];
  return static_cast<uint8_t>(sum);
}

void writeProfileHeaderBytes(std::span<uint8_t, 64> out, uint16_t macroCount, uint32_t poolSize, uint8_t flag) {
  ProfileHeader h{};
  h.magic = kProfileMagic;
  h.headerSize = kProfileHeaderSize;
  h.formatId = 3;
  h.formatVariant = 1;
  h.fileSize = static_cast<uint32_t>(profileFileSize(macroCount, poolSize));
  h.entryCount = kProfileEntryCount;
  h.macroCount = macroCount;
  h.poolSize = poolSize;
  h.flag = flag;
  std::memcpy(out.data(), &h, sizeof h);
  out[31] = profileHeaderChecksum(out.first<kProfileHeaderSize>());
  std::memcpy(out.data() + kProfileHeaderSize, kProfileConstantBlock.data(), kProfileConstantBlock.size());
}

ProfileHeader readProfileHeader(std::span<const uint8_t, kProfileHeaderSize> header) {
  ProfileHeader h;
  std::memcpy(&h, header.data(), sizeof h);
  return h;
}

bool profileHeaderValid(std::span<const uint8_t, kProfileHeaderSize> header) {
  return profileHeaderProblem(header).empty();
}

std::string profileHeaderProblem(std::span<const uint8_t, kProfileHeaderSize> header) {
  ProfileHeader h = readProfileHeader(header);
  auto field = [](const char* name, uint64_t holds, const std::string& must) {
    return std::string("header field ") + name + " is " + std::to_string(holds) + ", must be " + must;
  };
  if (h.magic != kProfileMagic) {
    char text[64];
    std::snprintf(text, sizeof text, "header field magic is 0x%04X, must be 0x%04X", h.magic, kProfileMagic);
    return text;
  }
  if (h.headerSize != kProfileHeaderSize) return field("header size", h.headerSize, std::to_string(kProfileHeaderSize));
  if (h.formatId != 3) return field("format id", h.formatId, "3");
  if (h.formatVariant != 1) return field("format variant", h.formatVariant, "1");
  if (h.entryCount != kProfileEntryCount) return field("entry count", h.entryCount, std::to_string(kProfileEntryCount));
  if (h.macroCount > kProfileMaxMacros)
    return field("macro count", h.macroCount, "at most " + std::to_string(kProfileMaxMacros));
  if (h.flag > 1) return field("flag", h.flag, "0 or 1");
  uint64_t size = profileFileSize(h.macroCount, h.poolSize);
  if (h.fileSize != size)
    return field("file size", h.fileSize,
                 std::to_string(size) + " (32832 + 16512 x " + std::to_string(h.macroCount) + " macros + " +
                     std::to_string(h.poolSize) + " bytes of strings)");
  uint8_t sum = profileHeaderChecksum(header);
  if (h.checksum != sum) return field("checksum", h.checksum, std::to_string(sum));
  return {};
}

}  // namespace kv
