// The Linux backend against a fake sysfs tree, with socket pairs standing
// for the hidraw nodes (one pair per open, each end getting every report,
// as every open hidraw node does).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <future>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "tessaro/hid/hid_linux.h"
#include "tessaro/hid/hid_transport.h"
#include "tessaro/hid/report_descriptor.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Seen {
  int32_t kind;
  uint32_t tag;
  std::vector<uint8_t> bytes;
  int usage;
};
std::mutex seenMutex;
std::condition_variable seenCv;
std::vector<Seen> seen;

int KV_TRANSPORT_CALL Record(const kv::TransportEvent* e) {
  const kv::TransportRequest& r = *e->request;
  Seen s{e->kind, r.tag, {}, -1};
  if (e->kind == kv::kEventReport) {
    s.bytes.assign(r.report, r.report + r.length);
    if (r.info && r.info->usage) s.usage = *r.info->usage;
  } else {
    s.usage = static_cast<int>(r.length);
  }
  {
    std::lock_guard lock(seenMutex);
    seen.push_back(std::move(s));
  }
  seenCv.notify_all();
  return 1;
}

bool waitSeen(size_t n) {
  std::unique_lock lock(seenMutex);
  return seenCv.wait_for(lock, 2s, [&] { return seen.size() >= n; });
}

const uint8_t kBootKeyboard[] = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x08, 0x81, 0x00, 0xC0};

class LinuxHidTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kv_hidraw_" + std::to_string(getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "dev");
    // The keyboard's boot interface, its configuration interface, and another maker's device.
    AddNode("hidraw0", "0003:00000C45:00006518", "usb-0000:00:14.0-1/input0",
            {std::begin(kBootKeyboard), std::end(kBootKeyboard)});
    auto expected = kv::hid::ExpectedKeyboardDescriptor();
    AddNode("hidraw1", "0003:00000C45:00006518", "usb-0000:00:14.0-1/input1", {expected.begin(), expected.end()});
    AddNode("hidraw2", "0003:0000046D:0000C52B", "usb-0000:00:14.0-2/input2", {expected.begin(), expected.end()});
    std::lock_guard lock(seenMutex);
    seen.clear();
  }
  void TearDown() override {
    transport_.reset();
    for (int fd : peers_)
      if (fd >= 0) ::close(fd);
    fs::remove_all(root_);
  }

  void AddNode(const std::string& node, const std::string& id, const std::string& phys, std::vector<uint8_t> descriptor) {
    fs::path device = root_ / "sys" / node / "device";
    fs::create_directories(device);
    std::ofstream(device / "uevent") << "DRIVER=hid-generic\nHID_ID=" << id << "\nHID_NAME=Test\nHID_PHYS=" << phys
                                     << "\nHID_UNIQ=\n";
    std::ofstream(device / "report_descriptor", std::ios::binary)
        .write(reinterpret_cast<const char*>(descriptor.data()), static_cast<std::streamsize>(descriptor.size()));
    std::ofstream(root_ / "dev" / node);  // what inotify sees
  }

  kv::hid::HidTransport& Start() {
    transport_ = std::make_unique<kv::hid::HidTransport>(kv::hid::MakeLinuxHidBackend(Options()));
    EXPECT_GT(transport_->init(), 0);
    return *transport_;
  }

  kv::hid::LinuxHidOptions Options() {
    kv::hid::LinuxHidOptions o;
    o.sysClass = (root_ / "sys").string();
    o.devDir = (root_ / "dev").string();
    o.openNode = [this](const std::string& path, int) {
      std::lock_guard lock(peerMutex_);
      opened_.push_back(path);
      if (denied_) {
        errno = EACCES;
        return -1;
      }
      int pair[2];
      if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return -1;
      peers_.push_back(pair[1]);
      return pair[0];
    };
    // hidraw as the kernel has it: EIO once the device is gone; a write
    // that waits for the device whatever O_NONBLOCK says.
    o.readNode = [this](int fd, void* buffer, size_t size) -> ssize_t {
      if (readsFail_) {
        errno = EIO;
        return -1;
      }
      return ::read(fd, buffer, size);
    };
    o.writeNode = [this](int fd, const void* buffer, size_t size) -> ssize_t {
      std::unique_lock lock(writeGate_);
      ++writesStarted_;
      writeGateCv_.wait(lock, [&] { return !writesHeld_; });
      if (writeErrno_) {
        errno = writeErrno_;
        return -1;
      }
      return ::write(fd, buffer, size);
    };
    return o;
  }
  void HoldWrites(bool hold) {
    {
      std::lock_guard lock(writeGate_);
      writesHeld_ = hold;
    }
    writeGateCv_.notify_all();
  }

  // A report from the device: every open node gets it.
  void DeviceSends(std::vector<uint8_t> report) {
    std::lock_guard lock(peerMutex_);
    for (int fd : peers_) {
      if (fd >= 0) {
        ASSERT_EQ(::send(fd, report.data(), report.size(), 0), static_cast<ssize_t>(report.size()));
      }
    }
  }
  std::vector<uint8_t> DeviceReceives(int peer) {
    std::vector<uint8_t> buffer(4096);
    ssize_t n = ::recv(peers_[static_cast<size_t>(peer)], buffer.data(), buffer.size(), MSG_DONTWAIT);
    buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buffer;
  }

  fs::path root_;
  std::unique_ptr<kv::hid::HidTransport> transport_;
  std::mutex peerMutex_;
  std::vector<int> peers_;
  std::vector<std::string> opened_;
  bool denied_ = false;
  std::atomic<bool> readsFail_{false};
  std::mutex writeGate_;
  std::condition_variable writeGateCv_;
  bool writesHeld_ = false;
  int writesStarted_ = 0;
  int writeErrno_ = 0;
};

TEST_F(LinuxHidTest, EnumerationFindsEachCollectionOnItsNodeByUsage) {
  kv::hid::HidTransport& t = Start();
  EXPECT_EQ(t.deviceCount(&kv::kCommandChannel), 1);
  EXPECT_EQ(t.deviceCount(&kv::kConsumerChannel), 1);
  EXPECT_EQ(t.deviceCount(&kv::kLedChannel), 1);
  auto keyboards = t.keyboards();
  ASSERT_EQ(keyboards.size(), 1u);
  EXPECT_EQ(keyboards[0].deviceKey, "usb-0000:00:14.0-1");
  EXPECT_TRUE(keyboards[0].selected);
  // Both interfaces of the one keyboard: the boot keyboard and the three collections.
  ASSERT_EQ(keyboards[0].collections.size(), 4u);
  std::string node;
  for (const auto& c : keyboards[0].collections)
    if (c.usagePage == 0xFF1C) {
      node = c.path;
      EXPECT_TRUE(c.numbered);
      EXPECT_EQ(c.outputFrameBytes, 64);
      EXPECT_EQ(c.inputFrameBytes, 64);
    }
  EXPECT_EQ(node, (root_ / "dev" / "hidraw1").string());
  EXPECT_TRUE(opened_.empty()) << "nothing is opened before it is needed";
}

TEST_F(LinuxHidTest, ReadsAndWritesWholeReportsAndRoutesThemByReportId) {
  kv::hid::HidTransport& t = Start();
  uint32_t slot = 0;
  ASSERT_EQ(t.asyncRead(&kv::kCommandChannel, Record, kv::kTagCtrl, 11, &slot), 1);
  ASSERT_EQ(t.asyncRead(&kv::kConsumerChannel, Record, kv::kTagCons, 12, &slot), 1);
  ASSERT_EQ(opened_.size(), 2u);
  EXPECT_EQ(opened_[0], (root_ / "dev" / "hidraw1").string());

  std::array<uint8_t, 64> command{};
  command[0] = 0x04;
  command[3] = 0x03;
  command[63] = 0xEE;
  ASSERT_EQ(t.writeOne(&kv::kCommandChannel, command.data(), 64), 64);
  std::vector<uint8_t> written = DeviceReceives(0);
  EXPECT_EQ(written, std::vector<uint8_t>(command.begin(), command.end()));

  std::vector<uint8_t> answer(command.begin(), command.end());
  answer[7] = 0x00;
  DeviceSends(answer);              // command collection's report 4
  DeviceSends({0x03, 0x02, 0x04});  // consumer report 3: usage 0x0402
  DeviceSends({0x05, 0x01});        // no collection reads report 5
  ASSERT_TRUE(waitSeen(2));
  std::this_thread::sleep_for(50ms);
  std::lock_guard lock(seenMutex);
  ASSERT_EQ(seen.size(), 2u);
  // The two readers run on their own threads: find each by its tag.
  for (const Seen& s : seen) {
    EXPECT_EQ(s.kind, kv::kEventReport);
    if (s.tag == kv::kTagCtrl) {
      EXPECT_EQ(s.bytes, answer);
    } else {
      EXPECT_EQ(s.tag, kv::kTagCons);
      EXPECT_EQ(s.usage, 0x0402);
      EXPECT_EQ(s.bytes, (std::vector<uint8_t>{0x03, 0x02, 0x04}));
    }
  }
}

TEST_F(LinuxHidTest, DiscardingInputDropsOnlyWhatIsQueuedAndNeverBlocks) {
  auto backend = kv::hid::MakeLinuxHidBackend(Options());
  std::optional<kv::hid::HidCollection> command;
  for (const auto& c : backend->enumerate())
    if (kv::hid::Matches(kv::kCommandChannel, c)) command = c;
  ASSERT_TRUE(command);
  kv::hid::IoStatus status;
  std::string message;
  auto channel = backend->open(*command, &status, &message);
  ASSERT_TRUE(channel) << message;
  channel->discardInput();  // nothing queued: returns at once

  std::vector<uint8_t> stale(64, 0x11), fresh(64, 0x22);
  stale[0] = fresh[0] = 0x04;
  DeviceSends(stale);
  DeviceSends(stale);
  channel->discardInput();
  DeviceSends(fresh);
  std::vector<uint8_t> frame;
  ASSERT_EQ(channel->read(frame), kv::hid::IoStatus::Ok);
  EXPECT_EQ(frame, fresh);
}

TEST_F(LinuxHidTest, BankReportIsTwoBytesOnTheNode) {
  kv::hid::HidTransport& t = Start();
  uint8_t bank[2] = {0x05, 0x03};
  uint32_t slot = 0;
  EXPECT_EQ(t.statusWrite(&kv::kLedChannel, bank, 2, 5, &slot), 1);
  EXPECT_EQ(DeviceReceives(0), (std::vector<uint8_t>{0x05, 0x03}));
}

TEST_F(LinuxHidTest, AccessDeniedNamesTheNodeAndTheRule) {
  denied_ = true;
  kv::hid::HidTransport& t = Start();
  EXPECT_EQ(t.deviceCount(&kv::kCommandChannel), 1) << "a keyboard we may not open is still counted";
  std::array<uint8_t, 64> command{};
  command[0] = 0x04;
  EXPECT_EQ(t.writeOne(&kv::kCommandChannel, command.data(), 64), 0);
  std::string message = t.lastError();
  EXPECT_NE(message.find((root_ / "dev" / "hidraw1").string()), std::string::npos) << message;
  EXPECT_NE(message.find("permission denied"), std::string::npos) << message;
  EXPECT_NE(message.find("udevadm"), std::string::npos) << message;
  // The rule the package installed comes first; a source tree's copy after.
  size_t installed = message.find("/usr/lib/udev/rules.d/60-korvalin.rules");
  size_t source = message.find("packaging/linux/60-korvalin.rules");
  ASSERT_NE(installed, std::string::npos) << message;
  ASSERT_NE(source, std::string::npos) << message;
  EXPECT_LT(installed, source) << message;
  // uaccess serves the local seat only; others get a group rule.
  EXPECT_NE(message.find("uaccess"), std::string::npos) << message;
  EXPECT_NE(message.find("local seat"), std::string::npos) << message;
  EXPECT_NE(message.find("GROUP="), std::string::npos) << message;
}

TEST_F(LinuxHidTest, ArrivalAndRemovalOfANodeAreSeenWithoutPolling) {
  kv::hid::HidTransport& t = Start();
  uint32_t slot = 0;
  ASSERT_EQ(t.asyncRead(&kv::kCommandChannel, Record, kv::kTagCtrl, 11, &slot), 1);
  auto expected = kv::hid::ExpectedKeyboardDescriptor();
  AddNode("hidraw3", "0003:00000C45:00006518", "usb-0000:00:14.0-4/input1", {expected.begin(), expected.end()});
  ASSERT_TRUE(waitSeen(1));
  {
    std::lock_guard lock(seenMutex);
    EXPECT_EQ(seen.back().kind, kv::kEventDevicesChanged);
    EXPECT_EQ(seen.back().usage, 2);  // the count
  }
  fs::remove_all(root_ / "sys" / "hidraw3");
  fs::remove(root_ / "dev" / "hidraw3");
  ASSERT_TRUE(waitSeen(2));
  std::lock_guard lock(seenMutex);
  EXPECT_EQ(seen.back().usage, 1);
  EXPECT_EQ(t.deviceCount(&kv::kCommandChannel), 1);
}

TEST_F(LinuxHidTest, NodeThatGoesEndsItsReaderAndTheKeyboardIsLookedForAgain) {
  kv::hid::HidTransport& t = Start();
  uint32_t slot = 0;
  ASSERT_EQ(t.asyncRead(&kv::kCommandChannel, Record, kv::kTagCtrl, 11, &slot), 1);
  // The device end closes (what a removed hidraw node does to its reader);
  // the node itself stays in the tree, so the collection is opened again.
  {
    std::lock_guard lock(peerMutex_);
    ::close(peers_[0]);
    peers_[0] = -1;
  }
  auto reopened = [&] {
    std::lock_guard lock(peerMutex_);
    return opened_.size() >= 2;
  };
  for (int i = 0; i < 200 && !reopened(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(reopened());
  DeviceSends({0x04, 0x00, 0x00, 0x05});
  EXPECT_TRUE(waitSeen(1));
}

TEST(LinuxHidErrors, EachErrnoMeansWhatHidrawMeansByIt) {
  using kv::hid::IoStatus;
  const std::pair<int, IoStatus> table[] = {
      {EACCES, IoStatus::AccessDenied}, {EPERM, IoStatus::AccessDenied},
      {EBUSY, IoStatus::Busy},          {ENOENT, IoStatus::Gone},
      {ENODEV, IoStatus::Gone},
      {ENXIO, IoStatus::Gone},          {EIO, IoStatus::Gone},  // read after a disconnect
      {ESHUTDOWN, IoStatus::Gone},      {EPIPE, IoStatus::Rejected},  // the endpoint stalled
      {EPROTO, IoStatus::Rejected},     {EILSEQ, IoStatus::Rejected},
      {ETIMEDOUT, IoStatus::TimedOut},  {EINVAL, IoStatus::Failed},
  };
  for (auto [error, status] : table)
    EXPECT_EQ(kv::hid::StatusOfErrno(error), status) << std::strerror(error);
}

TEST_F(LinuxHidTest, ShortReportsArePaddedToTheCollectionsInputLength) {
  kv::hid::HidTransport& t = Start();
  uint32_t slot = 0;
  ASSERT_EQ(t.asyncRead(&kv::kCommandChannel, Record, kv::kTagCtrl, 11, &slot), 1);
  ASSERT_EQ(t.asyncRead(&kv::kConsumerChannel, Record, kv::kTagCons, 12, &slot), 1);
  DeviceSends({0x04, 0x00, 0x00, 0x05});  // 4 of the command collection's 64 bytes
  DeviceSends({0x03, 0xE9});               // 2 of the consumer collection's 3
  ASSERT_TRUE(waitSeen(2));
  std::lock_guard lock(seenMutex);
  for (const Seen& s : seen) {
    if (s.tag == kv::kTagCtrl) {
      std::vector<uint8_t> expected(64, 0);
      expected[0] = 0x04;
      expected[3] = 0x05;
      EXPECT_EQ(s.bytes, expected);
    } else {
      EXPECT_EQ(s.bytes, (std::vector<uint8_t>{0x03, 0xE9, 0x00}));
      EXPECT_EQ(s.usage, 0x00E9);
    }
  }
}

TEST_F(LinuxHidTest, WriteTheDeviceDoesNotTakeEndsAtItsTimeOutAndHoldsBackTheNext) {
  kv::hid::HidTransportOptions options;
  options.writeTimeout = 100ms;
  transport_ = std::make_unique<kv::hid::HidTransport>(kv::hid::MakeLinuxHidBackend(Options()), options);
  ASSERT_GT(transport_->init(), 0);
  std::array<uint8_t, 64> command{};
  command[0] = 0x04;
  HoldWrites(true);
  // Released well after the time-out, as the kernel's own 5 s would be.
  auto release = std::async(std::launch::async, [this] {
    std::this_thread::sleep_for(1500ms);
    HoldWrites(false);
  });
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(transport_->writeOne(&kv::kCommandChannel, command.data(), 64), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 1000ms) << "the caller waited for the blocked write";
  // The stuck write still holds the node: the next is refused at once.
  t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(transport_->writeOne(&kv::kCommandChannel, command.data(), 64), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 1000ms);
  {
    std::lock_guard lock(writeGate_);
    EXPECT_EQ(writesStarted_, 1) << "a second write went to the node under the stuck one";
  }
  release.get();
  for (int i = 0; i < 100 && transport_->writeOne(&kv::kCommandChannel, command.data(), 64) != 64; ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(transport_->writeOne(&kv::kCommandChannel, command.data(), 64), 64) << "writes never came back";
}

TEST_F(LinuxHidTest, StallFailsTheWriteAndKeepsTheNode) {
  kv::hid::HidTransport& t = Start();
  std::array<uint8_t, 64> command{};
  command[0] = 0x04;
  writeErrno_ = EPIPE;
  EXPECT_EQ(t.writeOne(&kv::kCommandChannel, command.data(), 64), 0);
  writeErrno_ = 0;
  EXPECT_EQ(t.writeOne(&kv::kCommandChannel, command.data(), 64), 64);
  std::lock_guard lock(peerMutex_);
  EXPECT_EQ(opened_.size(), 1u) << "the node was opened again after a stall";
}

TEST_F(LinuxHidTest, NodeWhoseReadsFailWithEioIsReopenedABoundedNumberOfTimes) {
  // EIO while the node stays listed (a device in trouble, or its removal
  // not yet seen): reopened after growing pauses, then left alone.
  kv::hid::HidTransport& t = Start();
  uint32_t slot = 0;
  readsFail_ = true;
  ASSERT_EQ(t.asyncRead(&kv::kCommandChannel, Record, kv::kTagCtrl, 11, &slot), 1);
  auto opens = [&] {
    std::lock_guard lock(peerMutex_);
    return opened_.size();
  };
  // Each reopened node is readable at once (a report waits on each peer).
  for (int i = 0; i < 150; ++i) {
    {
      std::lock_guard lock(peerMutex_);
      const uint8_t report = 0x04;
      // Closed nodes' peers refuse it; only the open one matters.
      for (int fd : peers_) (void)::send(fd, &report, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    std::this_thread::sleep_for(10ms);
  }
  size_t after = opens();
  EXPECT_GE(after, 3u) << "not reopened";
  EXPECT_LE(after, 7u) << "reopened again and again";
}

TEST_F(LinuxHidTest, RemovedNodeWhoseReadFailsWithEioIsAnUnplug) {
  // What hidraw does when its device goes: the node polls readable and the
  // read fails with EIO (never a read of 0 bytes); the node leaves the tree.
  kv::hid::HidTransport& t = Start();
  uint32_t slot = 0;
  ASSERT_EQ(t.asyncRead(&kv::kCommandChannel, Record, kv::kTagCtrl, 11, &slot), 1);
  fs::remove_all(root_ / "sys" / "hidraw1");
  readsFail_ = true;
  {
    std::lock_guard lock(peerMutex_);
    const uint8_t report = 0x04;
    (void)::send(peers_[0], &report, 1, MSG_NOSIGNAL);
  }
  ASSERT_TRUE(waitSeen(1));
  std::lock_guard lock(seenMutex);
  EXPECT_EQ(seen.back().kind, kv::kEventDevicesChanged);
  EXPECT_EQ(seen.back().usage, 0) << "the count after the removal";
  EXPECT_EQ(t.deviceCount(&kv::kCommandChannel), 0);
}

}  // namespace
