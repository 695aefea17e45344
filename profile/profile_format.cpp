#include "profile/profile_format.h"

#include <bit>
#include <cstring>

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
  ProfileHeader h = readProfileHeader(header);
  return h.magic == kProfileMagic && h.headerSize == kProfileHeaderSize && h.formatId == 3 && h.formatVariant == 1 &&
         h.fileSize >= kProfileFixedSize && h.entryCount == kProfileEntryCount && h.macroCount <= kProfileMaxMacros &&
         h.flag <= 1 && uint64_t{h.fileSize} == profileFileSize(h.macroCount, h.poolSize) &&
         h.checksum == profileHeaderChecksum(header);
}

}  // namespace kv
