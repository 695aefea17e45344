#include "profile/file_io.h"

#include <fstream>
#include <new>

namespace kv {

std::optional<std::vector<uint8_t>> readFilePrefix(const std::filesystem::path& path, uint64_t maxBytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::error_code ec;
  uint64_t size = std::filesystem::file_size(path, ec);
  if (ec) return std::nullopt;
  uint64_t want = size < maxBytes ? size : maxBytes;
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(want));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  if (want > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(want)))
    return std::nullopt;
  return bytes;
}

}  // namespace kv
