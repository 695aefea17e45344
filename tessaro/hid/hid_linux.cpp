#include "tessaro/hid/hid_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <optional>
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

class LinuxChannel : public HidChannel {
 public:
  LinuxChannel(int fd, int cancelFd, const HidCollection& collection, std::vector<uint8_t> ids,
               const LinuxHidOptions& options)
      : fd_(fd),
        cancelFd_(cancelFd),
        numbered_(collection.numbered),
        inputFrameBytes_(collection.inputFrameBytes),
        path_(collection.path),
        ids_(std::move(ids)),
        readNode_(options.readNode),
        writeNode_(options.writeNode) {}
  ~LinuxChannel() override {
    {
      std::lock_guard lock(writeMutex_);
      quit_ = true;
    }
    writeWake_.notify_all();
    // A write stuck in the kernel ends at its own time-out (5 s for hidraw).
    if (writer_.joinable()) writer_.join();
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
      // A removed hidraw node polls POLLHUP | POLLERR and its reads fail
      // with EIO (read() returns 0 only for the test's socket pair).
      if (!(fds[0].revents & POLLIN)) {
        if (fds[0].revents & (POLLERR | POLLHUP)) return IoStatus::Gone;
        continue;
      }
      ssize_t n = readNode_(fd_, buffer + 1, kMaxReport);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        IoStatus status = StatusOfErrno(errno);
        return status == IoStatus::Failed ? IoStatus::Gone : status;
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
      // A device may send a report shorter than the descriptor says; Windows
      // hands it over at the collection's input length, zero-filled.
      if (frame.size() < inputFrameBytes_) frame.resize(inputFrameBytes_, 0);
      return IoStatus::Ok;
    }
  }

  // hidraw's write() waits for the device whatever O_NONBLOCK says (up to
  // the kernel's 5 s), and the node always polls writable: the write runs
  // on a thread of its own, so that the caller's wait is the time-out.
  // While one is stuck, later ones are refused at once.
  IoStatus write(std::span<const uint8_t> frame, std::chrono::milliseconds timeout) override {
    std::unique_lock lock(writeMutex_);
    if (requested_ != completed_) return IoStatus::TimedOut;
    if (!writer_.joinable()) writer_ = std::thread([this] { writeLoop(); });
    pending_.assign(frame.begin(), frame.end());
    const uint64_t mine = ++requested_;
    writeWake_.notify_all();
    if (!writeWake_.wait_for(lock, timeout, [&] { return completed_ == mine; })) {
      stuckSince_ = std::chrono::steady_clock::now();
      return IoStatus::TimedOut;
    }
    return result_;
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
    while ((n = readNode_(fd_, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    }
  }

 private:
  void writeLoop() {
    std::unique_lock lock(writeMutex_);
    std::vector<uint8_t> frame;
    for (;;) {
      writeWake_.wait(lock, [&] { return quit_ || requested_ != completed_; });
      if (quit_ && requested_ == completed_) return;
      frame.swap(pending_);
      lock.unlock();
      // hidraw takes the report id first, 0 for an unnumbered report: the frame as it is.
      ssize_t n;
      while ((n = writeNode_(fd_, frame.data(), frame.size())) < 0 && errno == EINTR) {
      }
      int error = n < 0 ? errno : 0;
      IoStatus status = n == static_cast<ssize_t>(frame.size()) ? IoStatus::Ok
                        : n >= 0                                 ? IoStatus::Failed
                        : error == EAGAIN                        ? IoStatus::TimedOut
                                                                 : StatusOfErrno(error);
      lock.lock();
      if (stuckSince_) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - *stuckSince_);
        logLine("write to " + path_ + " returned " + std::to_string(ms.count()) + " ms after its time-out (" +
                IoStatusName(status) + (error ? ", errno " + std::to_string(error) : std::string()) + ")");
        stuckSince_.reset();
      }
      result_ = status;
      completed_ = requested_;
      writeWake_.notify_all();
    }
  }

  static void logLine(const std::string& line) { std::fprintf(stderr, "hidraw: %s\n", line.c_str()); }

  int fd_;
  int cancelFd_;
  bool numbered_;
  size_t inputFrameBytes_;
  std::string path_;
  std::vector<uint8_t> ids_;
  std::function<ssize_t(int, void*, size_t)> readNode_;
  std::function<ssize_t(int, const void*, size_t)> writeNode_;

  std::mutex writeMutex_;
  std::condition_variable writeWake_;
  std::thread writer_;  // started at the first write
  std::vector<uint8_t> pending_;
  uint64_t requested_ = 0;  // writes handed to the writer
  uint64_t completed_ = 0;  // writes it has finished
  IoStatus result_ = IoStatus::Ok;
  std::optional<std::chrono::steady_clock::time_point> stuckSince_;
  bool quit_ = false;
};

class LinuxBackend : public HidBackend {
 public:
  explicit LinuxBackend(LinuxHidOptions options) : options_(std::move(options)) {
    if (!options_.openNode) options_.openNode = [](const std::string& p, int flags) { return ::open(p.c_str(), flags); };
    if (!options_.readNode) options_.readNode = [](int fd, void* b, size_t n) { return ::read(fd, b, n); };
    if (!options_.writeNode) options_.writeNode = [](int fd, const void* b, size_t n) { return ::write(fd, b, n); };
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
        c.consumerField = t.consumer;
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
      *status = StatusOfErrno(e);
      *message = *status == IoStatus::AccessDenied ? AccessDeniedMessage(c.path)
                 : *status == IoStatus::Busy ? "cannot open " + c.path + ": in use by another program (" + std::strerror(e) + ")"
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
    return std::make_unique<LinuxChannel>(fd, cancel, c, std::move(ids), options_);
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

IoStatus StatusOfErrno(int e) {
  switch (e) {
    case EACCES:
    case EPERM: return IoStatus::AccessDenied;
    case EBUSY: return IoStatus::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO:  // hidraw's answer once its device is gone
    case ECONNRESET:
    case ESHUTDOWN: return IoStatus::Gone;
    case EPIPE:  // the endpoint stalled: the device refused this report
    case EPROTO:
    case EILSEQ: return IoStatus::Rejected;
    case ETIMEDOUT: return IoStatus::TimedOut;
    default: return IoStatus::Failed;
  }
}

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
  const std::string rule = kUdevRuleFile;
  return "cannot open " + node + " (the keyboard's configuration interface): permission denied. The package "
         "installs the udev rule " + kPackageRulesDir + "/" + rule + "; from a source tree install it with "
         "sudo install -m 644 packaging/linux/" + rule + " " + kLocalRulesDir + "/ && sudo udevadm control "
         "--reload && sudo udevadm trigger, then unplug and replug the keyboard. The rule's uaccess serves the "
         "user logged in at the local seat only; for another user (ssh, a service) add a group rule such as "
         "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"0c45\", ATTRS{idProduct}==\"6518\", GROUP=\"plugdev\", "
         "MODE=\"0660\" in " + kLocalRulesDir + "/61-korvalin-group.rules and join that group";
}

std::unique_ptr<HidBackend> MakeLinuxHidBackend(LinuxHidOptions options) {
  return std::make_unique<LinuxBackend>(std::move(options));
}

}  // namespace kv::hid
