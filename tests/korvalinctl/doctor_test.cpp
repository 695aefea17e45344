// doctor's checks on their own: the keyboard on the bus and its command
// collection over the fake HID device (each way an open fails), a node's
// access over a fake root (rule installed or not, a local seat or not), the
// round trips' judgement and the verdict. The built program's exit codes
// and JSON are in korvalinctl_tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tessaro/hid/fake_backend.h"
#include "tessaro/hid/report_descriptor.h"
#include "tools/korvalinctl/doctor.h"
#include "tools/korvalinctl/doctor_linux.h"

namespace {

namespace fs = std::filesystem;
using kv::hid::IoStatus;
using kvctl::DoctorCheck;
using Status = DoctorCheck::Status;

std::shared_ptr<kv::sim::SimKeyboard> Engine() {
  kv::sim::SimConfig c;
  c.roundTrip = std::chrono::microseconds(0);
  return std::make_shared<kv::sim::SimKeyboard>(c);
}

const DoctorCheck* Find(const std::vector<DoctorCheck>& checks, const std::string& name) {
  for (const DoctorCheck& c : checks)
    if (c.name == name) return &c;
  return nullptr;
}

TEST(Doctor, KeyboardOnTheBusAndItsCommandCollectionEachProblemNamed) {
  auto expected = kv::hid::ExpectedKeyboardDescriptor();
  const std::vector<uint8_t> consumerOnly(expected.begin(), expected.begin() + 25);
  struct Case {
    const char* name;
    bool attached;
    std::vector<std::vector<uint8_t>> interfaces;
    IoStatus refusal;  // Ok: the open succeeds
    Status bus, command;
    const char* says;
  };
  const Case cases[] = {
      {"no keyboard", false, {}, IoStatus::Ok, Status::Problem, Status::Ok, "no HID device 0C45:6518"},
      {"opened", true, {}, IoStatus::Ok, Status::Ok, Status::Ok, "found and opened"},
      {"permission denied", true, {}, IoStatus::AccessDenied, Status::Ok, Status::Problem, "permission denied"},
      {"another program holds it", true, {}, IoStatus::Busy, Status::Ok, Status::Problem, "in use by another program"},
      {"no command collection", true, {consumerOnly}, IoStatus::Ok, Status::Ok, Status::Problem, "absent"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto engine = Engine();
    kv::hid::FakeHidBackend fake;
    if (c.attached) fake.addKeyboard("usb-1-2", engine, {.withLed = true, .interfaces = c.interfaces});
    if (c.refusal != IoStatus::Ok) fake.refuseOpens(0xFF1C, 1, c.refusal, "cannot open it");
    std::vector<DoctorCheck> checks;
    auto command = kvctl::CheckKeyboardOnBus(fake, checks);
    const DoctorCheck* bus = Find(checks, "keyboard on the bus");
    ASSERT_TRUE(bus);
    EXPECT_EQ(bus->status, c.bus) << bus->detail;
    std::string all;
    for (const DoctorCheck& k : checks) all += k.detail + " | " + k.next + "\n";
    EXPECT_NE(all.find(c.says), std::string::npos) << all;
    if (c.bus == Status::Problem) {
      EXPECT_FALSE(command);
      EXPECT_FALSE(bus->next.empty());
      continue;
    }
    EXPECT_NE(bus->detail.find("0C45:6518 at usb-1-2"), std::string::npos) << bus->detail;
    const DoctorCheck* open = Find(checks, "command collection");
    ASSERT_TRUE(open);
    EXPECT_EQ(open->status, c.command) << open->detail;
    if (c.command == Status::Problem) {
      EXPECT_FALSE(open->next.empty());
    }
    if (c.refusal != IoStatus::Ok) {
      ASSERT_TRUE(command);
      EXPECT_EQ(command->openStatus, c.refusal);
    }
    engine->drain();
  }
  // The usage pages of every collection, in the descriptor's order.
  auto engine = Engine();
  kv::hid::FakeHidBackend fake;
  fake.addKeyboard("usb-1-2", engine);
  std::vector<DoctorCheck> checks;
  (void)kvctl::CheckKeyboardOnBus(fake, checks);
  EXPECT_EQ(checks.at(0).detail, "0C45:6518 at usb-1-2, 3 collections (usage pages 0x000C, 0xFF1C, 0x0008)");
}

class DoctorNode : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("kv_doctor_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "dev");
    std::ofstream(root_ / "dev/hidraw1");
  }
  void TearDown() override { fs::remove_all(root_); }
  void Put(const std::string& path, const std::string& text) {
    fs::create_directories((root_ / path).parent_path());
    std::ofstream(root_ / path) << text;
  }
  std::vector<DoctorCheck> Check(uid_t uid, bool denied) {
    std::vector<DoctorCheck> checks;
    kvctl::CheckNodeAccess({root_.string(), uid}, (root_ / "dev/hidraw1").string(), denied, checks);
    return checks;
  }
  fs::path root_;
};

TEST_F(DoctorNode, MissingRuleAndNoSeatAreTheReasonOnlyWhenTheNodeIsRefused) {
  // Refused, nothing installed, no session: each line says what to do.
  auto checks = Check(1000, true);
  ASSERT_EQ(checks.size(), 3u);
  EXPECT_EQ(checks[0].name, "node");
  EXPECT_EQ(checks[0].status, Status::Problem);
  EXPECT_NE(checks[0].detail.find("mode 0"), std::string::npos) << checks[0].detail;
  EXPECT_EQ(checks[1].name, "udev rule");
  EXPECT_EQ(checks[1].status, Status::Problem);
  EXPECT_NE(checks[1].next.find("sudo install -m 644 packaging/linux/60-korvalin.rules /etc/udev/rules.d/"),
            std::string::npos)
      << checks[1].next;
  EXPECT_EQ(checks[2].name, "seat");
  EXPECT_EQ(checks[2].status, Status::Problem);
  EXPECT_NE(checks[2].next.find("GROUP="), std::string::npos) << checks[2].next;

  // The package's rule, and a session at a seat: both fine.
  Put("usr/lib/udev/rules.d/60-korvalin.rules", "TAG+=\"uaccess\"\n");
  Put("run/systemd/sessions/3", "UID=1000\nUSER=someone\nACTIVE=1\nSEAT=seat0\nREMOTE=0\n");
  Put("run/systemd/sessions/4", "UID=1001\nACTIVE=1\nSEAT=seat0\n");
  checks = Check(1000, false);
  EXPECT_EQ(checks[1].status, Status::Ok);
  EXPECT_NE(checks[1].detail.find("/usr/lib/udev/rules.d/60-korvalin.rules is installed"), std::string::npos);
  EXPECT_EQ(checks[2].status, Status::Ok);
  EXPECT_NE(checks[2].detail.find("seat0 (session 3)"), std::string::npos) << checks[2].detail;

  // A source tree's copy counts; a remote or inactive session is no seat.
  fs::remove(root_ / "usr/lib/udev/rules.d/60-korvalin.rules");
  Put("etc/udev/rules.d/60-korvalin.rules", "TAG+=\"uaccess\"\n");
  Put("run/systemd/sessions/3", "UID=1000\nACTIVE=1\nSEAT=seat0\nREMOTE=1\n");
  Put("run/systemd/sessions/5", "UID=1000\nACTIVE=0\nSEAT=seat0\n");
  checks = Check(1000, true);
  EXPECT_EQ(checks[1].status, Status::Ok);
  EXPECT_NE(checks[1].detail.find("/etc/udev/rules.d/60-korvalin.rules"), std::string::npos);
  EXPECT_EQ(checks[2].status, Status::Problem) << checks[2].detail;

  // Without a rule or a seat, a node that opens is no problem.
  fs::remove(root_ / "etc/udev/rules.d/60-korvalin.rules");
  checks = Check(1000, false);
  for (const DoctorCheck& c : checks) EXPECT_EQ(c.status, Status::Ok) << c.name << ": " << c.detail;
}

TEST(Doctor, RoundTripsAreJudgedByTheirMedianAndTheVerdictNamesTheFirstProblem) {
  struct Case {
    std::vector<double> ms;
    Status status;
    const char* says;
  };
  const Case cases[] = {
      {{2.0, 2.1, 1.9, 40.0}, Status::Ok, "median 2.05 ms, worst 40.00 ms"},  // one slow answer is not a slow keyboard
      {{3.5, 4.0, 3.9}, Status::Problem, "median 3.90 ms"},
      {{}, Status::Problem, "none"},
  };
  for (const Case& c : cases) {
    DoctorCheck check = kvctl::RoundTripCheck(c.ms);
    EXPECT_EQ(check.status, c.status) << check.detail;
    EXPECT_NE(check.detail.find(c.says), std::string::npos) << check.detail;
  }
  std::vector<DoctorCheck> checks = {{"a", Status::Ok, "fine", {}},
                                     {"b", Status::Skipped, "not tried", {}},
                                     {"c", Status::Problem, "broken", "mend it"},
                                     {"d", Status::Problem, "also broken", "later"}};
  bool usable = true;
  EXPECT_EQ(kvctl::Verdict(checks, &usable), "the keyboard cannot be used: c: broken; next: mend it");
  checks[2].next.clear();  // a reason without a step of its own takes the next problem's
  EXPECT_EQ(kvctl::Verdict(checks, &usable), "the keyboard cannot be used: c: broken; next: later");
  checks[2].next = "mend it";
  EXPECT_FALSE(usable);
  EXPECT_EQ(kvctl::DoctorText(checks, "v"),
            "ok      a: fine\nskipped b: not tried\nproblem c: broken. Next: mend it\nproblem d: also broken. "
            "Next: later\nverdict: v\n");
  checks.resize(2);
  EXPECT_EQ(kvctl::Verdict(checks, &usable), "the keyboard can be used");
  EXPECT_TRUE(usable);
}

}  // namespace
