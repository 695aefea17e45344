#include "profile/file_io.h"

#include <fstream>
#include <new>
#include <string>

namespace kv {

std::filesystem::path temporaryPathFor(const std::filesystem::path& path, uint64_t pid) {
  std::filesystem::path temp = path;
  temp += ".tmp-" + std::to_string(pid);
  return temp;
}

void removeStaleTemporaryFiles(const std::filesystem::path& path) {
  // Native strings: a file name need not convert to narrow text on Windows.
  using String = std::filesystem::path::string_type;
  const String prefix = path.filename().native() + std::filesystem::path(".tmp-").native();
  std::filesystem::path folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
  std::error_code ec;
  std::vector<std::filesystem::path> stale;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const String name = it->path().filename().native();
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 10 ||
        name.compare(0, prefix.size(), prefix) != 0)
      continue;
    uint64_t pid = 0;
    bool digits = true;
    for (size_t i = prefix.size(); i < name.size() && digits; ++i) {
      digits = name[i] >= '0' && name[i] <= '9';
      pid = pid * 10 + static_cast<uint64_t>(name[i] - '0');
    }
    std::error_code typeError;
    if (!digits || !it->is_regular_file(typeError) || processRunning(pid)) continue;
    stale.push_back(it->path());
  }
  for (const auto& p : stale) std::filesystem::remove(p, ec);
}

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
