// Crash-safe replace on POSIX: write, fsync, rename, fsync the folder.
#include "profile/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace kv {

bool writeFileAtomically(const std::filesystem::path& path, std::initializer_list<std::span<const uint8_t>> parts) {
  std::filesystem::path temp = path;
  temp += ".tmp-" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (auto part : parts) {
    size_t done = 0;
    while (ok && done < part.size()) {
      ssize_t n = ::write(fd, part.data() + done, part.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ok = false;
      else done += static_cast<size_t>(n);
    }
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  std::filesystem::path folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace kv
