#include "tessaro/hid/hid_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>

#include "tessaro/hid/report_descriptor.h"

namespace kv::hid {

namespace {

constexpr size_t kMaxReport = 4096;

bool readFile(const std::string& path, std::string* out, size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (out->size() > limit) out->resize(limit + 1);  // too long: the parser refuses it
  return !in.bad();
}

bool hexField(std::string_view s, uint32_t* value) {
  if (s.empty() || s.size() > 8) return false;
  uint32_t v = 0;
  for (char c : s) {
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return false;
    v = v << 4 | static_cast<uint32_t>(d);
  }
  *value = v;
  return true;
}

IoStatus statusOfErrno(int e) {
  switch (e) {
    case EACCES:
    case EPERM: return IoStatus::AccessDenied;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EPIPE:
    case ECONNRESET:
    case ESHUTDOWN: return IoStatus::Gone;
    default: return IoStatus::Failed;
  }
}

class LinuxChannel : public HidChannel {
 public:
  LinuxChannel(int fd, int cancelFd, bool numbered, std::vector<uint8_t> ids)
      : fd_(fd), cancelFd_(cancelFd), numbered_(numbered), ids_(std::move(ids)) {}
  ~LinuxChannel() override {
    ::close(fd_);
    ::close(cancelFd_);
  }

  IoStatus read(std::vector<uint8_t>& frame) override {
    uint8_t buffer[kMaxReport + 1];
    for (;;) {
      pollfd fds[2] = {{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return IoStatus::Failed;
      }
      if (fds[1].revents & POLLIN) {
        uint64_t n;
        (void)!::read(cancelFd_, &n, sizeof n);
        return IoStatus::Cancelled;
      }
      if (fds[0].revents & POLLNVAL) return IoStatus::Failed;
      if (!(fds[0].revents & POLLIN)) {
        if (fds[0].revents & (POLLERR | POLLHUP)) return IoStatus::Gone;
        continue;
      }
      ssize_t n = ::read(fd_, buffer + 1, kMaxReport);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return statusOfErrno(errno) == IoStatus::Failed ? IoStatus::Gone : statusOfErrno(errno);
      }
      if (n == 0) return IoStatus::Gone;  // the node's end was closed
      if (numbered_) {
        // The node carries every collection of its interface: keep ours.
        if (!std::binary_search(ids_.begin(), ids_.end(), buffer[1])) continue;
        frame.assign(buffer + 1, buffer + 1 + n);
      } else {
        buffer[0] = 0;
        frame.assign(buffer, buffer + 1 + n);
      }
      return IoStatus::Ok;
    }
  }

  IoStatus write(std::span<const uint8_t> frame, std::chrono::milliseconds timeout) override {
    // hidraw takes the report id first, 0 for an unnumbered report: the frame as it is.
    pollfd fd{fd_, POLLOUT, 0};
    int ready;
    while ((ready = ::poll(&fd, 1, static_cast<int>(timeout.count()))) < 0 && errno == EINTR) {
    }
    if (ready < 0) return IoStatus::Failed;
    if (ready == 0) return IoStatus::TimedOut;
    if (fd.revents & (POLLERR | POLLHUP)) return IoStatus::Gone;
    ssize_t n;
    while ((n = ::write(fd_, frame.data(), frame.size())) < 0 && errno == EINTR) {
    }
    if (n == static_cast<ssize_t>(frame.size())) return IoStatus::Ok;
    if (n < 0 && errno == EAGAIN) return IoStatus::TimedOut;
    return n < 0 ? statusOfErrno(errno) : IoStatus::Failed;
  }

  void cancelRead() override {
    uint64_t one = 1;
    (void)!::write(cancelFd_, &one, sizeof one);
  }

  void discardInput() override {
    // The node is non-blocking: read what is queued until nothing is. A
    // reader woken for a report taken here finds EAGAIN and polls again.
    uint8_t buffer[kMaxReport];
    ssize_t n;
    while ((n = ::read(fd_, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    }
  }

 private:
  int fd_;
  int cancelFd_;
  bool numbered_;
  std::vector<uint8_t> ids_;
};

class LinuxBackend : public HidBackend {
 public:
  explicit LinuxBackend(LinuxHidOptions options) : options_(std::move(options)) {
    if (!options_.openNode) options_.openNode = [](const std::string& p, int flags) { return ::open(p.c_str(), flags); };
  }
  ~LinuxBackend() override { unwatch(); }

  std::vector<HidCollection> enumerate() override {
    std::vector<HidCollection> out;
    std::map<std::string, std::vector<uint8_t>> ids;
    DIR* dir = ::opendir(options_.sysClass.c_str());
    if (!dir) return out;
    std::vector<std::string> nodes;
    while (dirent* e = ::readdir(dir))
      if (std::strncmp(e->d_name, "hidraw", 6) == 0) nodes.emplace_back(e->d_name);
    ::closedir(dir);
    std::sort(nodes.begin(), nodes.end());
    for (const std::string& node : nodes) {
      std::string base = options_.sysClass + "/" + node + "/device/";
      std::string uevent, descriptor, error;
      HidUevent info;
      if (!readFile(base + "uevent", &uevent, 16384) || !ParseHidUevent(uevent, &info)) continue;
      ReportDescriptor layout;
      if (!readFile(base + "report_descriptor", &descriptor, kMaxReport) ||
          !ParseReportDescriptor({reinterpret_cast<const uint8_t*>(descriptor.data()), descriptor.size()}, &layout,
                                 &error))
        continue;
      for (const TopLevelCollection& t : layout.collections) {
        HidCollection c;
        c.path = options_.devDir + "/" + node;
        c.deviceKey = info.physical.empty() ? c.path : info.physical;
        c.vendorId = info.vendorId;
        c.productId = info.productId;
        c.usagePage = t.usagePage;
        c.usage = t.usage;
        c.numbered = layout.numbered;
        c.inputFrameBytes = static_cast<uint16_t>(t.inputBytes ? t.inputBytes + 1 : 0);
        c.outputFrameBytes = static_cast<uint16_t>(t.outputBytes ? t.outputBytes + 1 : 0);
        ids[key(c)] = t.inputReportIds;
        out.push_back(c);
      }
    }
    std::lock_guard lock(mutex_);
    inputIds_ = std::move(ids);
    return out;
  }

  std::unique_ptr<HidChannel> open(const HidCollection& c, IoStatus* status, std::string* message) override {
    std::vector<uint8_t> ids;
    {
      std::lock_guard lock(mutex_);
      auto it = inputIds_.find(key(c));
      if (it != inputIds_.end()) ids = it->second;
    }
    int fd = options_.openNode(c.path, O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      int e = errno;
      *status = statusOfErrno(e);
      *message = *status == IoStatus::AccessDenied ? AccessDeniedMessage(c.path)
                                                   : "cannot open " + c.path + ": " + std::strerror(e);
      return nullptr;
    }
    // Whatever opened it: discardInput() must never block.
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0 && !(flags & O_NONBLOCK)) (void)::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int cancel = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (cancel < 0) {
      ::close(fd);
      *status = IoStatus::Failed;
      *message = std::string("eventfd: ") + std::strerror(errno);
      return nullptr;
    }
    return std::make_unique<LinuxChannel>(fd, cancel, c.numbered, std::move(ids));
  }

  bool watch(std::function<void()> changed) override {
    unwatch();
    int in = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (in < 0) return false;
    if (::inotify_add_watch(in, options_.devDir.c_str(), IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_TO) < 0) {
      ::close(in);
      return false;
    }
    int stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop < 0) {
      ::close(in);
      return false;
    }
    inotify_ = in;
    stop_ = stop;
    watcher_ = std::thread([in, stop, changed = std::move(changed)] { watchLoop(in, stop, changed); });
    return true;
  }

  void unwatch() override {
    if (!watcher_.joinable()) return;
    uint64_t one = 1;
    (void)!::write(stop_, &one, sizeof one);
    watcher_.join();
    ::close(inotify_);
    ::close(stop_);
    inotify_ = stop_ = -1;
  }

 private:
  static std::string key(const HidCollection& c) {
    return c.path + "#" + std::to_string(c.usagePage) + ":" + std::to_string(c.usage);
  }

  // Node created, removed, or its permissions set by udev (the rule's access
  // arrives after the node): each is a reason to look again.
  static void watchLoop(int in, int stop, const std::function<void()>& changed) {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      pollfd fds[2] = {{in, POLLIN, 0}, {stop, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents) return;
      bool relevant = false;
      ssize_t n;
      while ((n = ::read(in, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
          auto* e = reinterpret_cast<inotify_event*>(buffer + at);
          if (e->len && std::strncmp(e->name, "hidraw", 6) == 0) relevant = true;
          at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
      }
      if (relevant) changed();
    }
  }

  LinuxHidOptions options_;
  std::mutex mutex_;
  std::map<std::string, std::vector<uint8_t>> inputIds_;
  std::thread watcher_;
  int inotify_ = -1;
  int stop_ = -1;
};

}  // namespace

bool ParseHidUevent(std::string_view text, HidUevent* out) {
  HidUevent result;
  bool haveId = false;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view name = line.substr(0, eq), value = line.substr(eq + 1);
    if (name == "HID_ID") {
      // bus:vendor:product, each in hex: 0003:00000C45:00006518
      size_t a = value.find(':'), b = a == std::string_view::npos ? a : value.find(':', a + 1);
      uint32_t bus, vendor, product;
      if (b == std::string_view::npos || !hexField(value.substr(0, a), &bus) ||
          !hexField(value.substr(a + 1, b - a - 1), &vendor) || !hexField(value.substr(b + 1), &product) ||
          vendor > 0xFFFF || product > 0xFFFF)
        return false;
      result.vendorId = static_cast<uint16_t>(vendor);
      result.productId = static_cast<uint16_t>(product);
      haveId = true;
    } else if (name == "HID_PHYS") {
      size_t input = value.rfind("/input");
      result.physical = std::string(value.substr(0, input));
    } else if (name == "HID_NAME") {
      result.name = std::string(value);
    }
  }
  if (!haveId) return false;
  *out = std::move(result);
  return true;
}

std::string AccessDeniedMessage(const std::string& node) {
  return "cannot open " + node +
         " (the keyboard's configuration interface): permission denied. Install the udev rule " + kUdevRuleFile +
         " (sudo install -m 644 packaging/linux/" + kUdevRuleFile +
         " /etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger), then unplug and "
         "replug the keyboard";
}

std::unique_ptr<HidBackend> MakeLinuxHidBackend(LinuxHidOptions options) {
  return std::make_unique<LinuxBackend>(std::move(options));
}

}  // namespace kv::hid
