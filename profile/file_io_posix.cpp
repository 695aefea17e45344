// Crash-safe replace on POSIX: write, fsync, rename, fsync the folder.
#include "profile/file_io.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace kv {

bool processRunning(uint64_t pid) {
  if (pid == 0 || pid > static_cast<uint64_t>(INT32_MAX)) return false;
  // EPERM: it runs, under another user.
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool writeFileAtomically(const std::filesystem::path& path, std::initializer_list<std::span<const uint8_t>> parts) {
  removeStaleTemporaryFiles(path);
  std::filesystem::path temp = temporaryPathFor(path, static_cast<uint64_t>(::getpid()));
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
