// The keyboard's events through the real callback, from the simulated
// keyboard's own thread: presence, the consumer codes and the tray icon.
#include "device_events/events.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/text_table.h"
#include "keys/device_records.h"
#include "tests/device/link_fixture.h"
#include "tests/device_events/recording_ui.h"

namespace kvtest {
namespace {

using namespace std::chrono_literals;

template <class F>
bool eventually(F cond, std::chrono::milliseconds limit = 3000ms) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (cond()) return true;
    std::this_thread::sleep_for(2ms);
  }
  return cond();
}

class EventsTest : public LinkTest {
 protected:
  void SetUp() override {}  // each test starts the link itself
  void TearDown() override {
    kv::resetCurrentKeySlotTemplate();
    if (events_) {
      Keyboard()->drain();
      events_->JoinWorkers();
      events_.reset();
    }
    LinkTest::TearDown();
  }

  // Brings the link up as the main window does: callback, then the
  // presence worker with the start-up count.
  void Boot(bool attached, bool startHidden = false, bool join = true) {
    kv::sim::SimConfig config = ZeroRoundTrip();
    config.attached = attached;
    kv::ResetDeviceLink();
    kv::sim::ResetKeyboard(config);
    kv::DeviceLinkState().timing = FastTiming();
    events_ = std::make_unique<kv::DeviceEvents>(ui_);
    kv::InstallDeviceEvents(events_.get());
    kv::TransportApi api;
    kv::sim::BindSimulator(api);
    int count = -1;
    ASSERT_EQ(kv::StartTransport(api, kv::OnTransportEvent, &count), 0);
    if (count == 0 || startHidden) events_->SetFirstShowDone(true);
    events_->StartPresenceWorker(count);
    if (join) events_->JoinWorkers();
  }

  RecordingUi ui_;
  std::unique_ptr<kv::DeviceEvents> events_;
};

TEST_F(EventsTest, StartWithKeyboardReadsItAndShowsTheWindowOnce) {
  Boot(true);
  EXPECT_EQ(ui_.reloads(), 1);
  EXPECT_EQ(ui_.shows(), 1);
  EXPECT_EQ(ui_.icon(), kv::TrayIcon::kKeyboard);
  EXPECT_EQ(events_->DevicePresent(), 1);
  EXPECT_TRUE(events_->DefaultKeyTableRead());
  std::array<uint8_t, kv::kKeyTableSize> current{};
  kv::recordsToBytes(kv::currentKeySlotTemplate().records, current);
  EXPECT_EQ(std::vector<uint8_t>(current.begin(), current.end()),
            Keyboard()->read(kv::sim::Region::DefaultKeyTable, 0, kv::kKeyTableSize));
  EXPECT_EQ(events_->MacroMemorySize(), Keyboard()->status().macroBytes);
  // Same count again: nothing happens.
  events_->StartPresenceWorker(1);
  events_->JoinWorkers();
  EXPECT_EQ(ui_.reloads(), 1);
  EXPECT_EQ(ui_.shows(), 1);
}

TEST_F(EventsTest, StartHiddenKeepsTheWindowHidden) {
  Boot(true, /*startHidden=*/true);
  EXPECT_EQ(ui_.reloads(), 1);
  EXPECT_EQ(ui_.shows(), 0);
  EXPECT_EQ(ui_.icon(), kv::TrayIcon::kKeyboard);
}

TEST_F(EventsTest, AttachLaterReloadsWithoutShowingAndRemovalHides) {
  Boot(false);
  EXPECT_EQ(ui_.reloads(), 0);
  EXPECT_TRUE(ui_.icons().empty());  // the window shows the no-keyboard icon itself at start-up

  Keyboard()->plug();
  ASSERT_TRUE(eventually([&] { return events_->DevicePresent() == 1; }));
  events_->JoinWorkers();
  EXPECT_EQ(ui_.reloads(), 1);
  EXPECT_EQ(ui_.shows(), 0);
  EXPECT_EQ(ui_.icon(), kv::TrayIcon::kKeyboard);

  ASSERT_GE(kv::GetActiveProfile(), 0);  // cached now
  Keyboard()->unplug();
  ASSERT_TRUE(eventually([&] { return events_->DevicePresent() == 0; }));
  events_->JoinWorkers();
  EXPECT_EQ(ui_.hides(), 1);
  EXPECT_EQ(ui_.icon(), kv::TrayIcon::kNoKeyboard);
  EXPECT_EQ(kv::DeviceLinkState().activeProfile.load(), -1);

  // Back again: the next active-profile request asks the keyboard.
  Keyboard()->plug();
  ASSERT_TRUE(eventually([&] { return events_->DevicePresent() == 1; }));
  events_->JoinWorkers();
  Keyboard()->clearTrace();
  kv::ResetActiveProfileCache();
  EXPECT_GE(kv::GetActiveProfile(), 0);
  ASSERT_FALSE(Out().empty());
  EXPECT_EQ(ByteOf(Out().front(), 3), 0x03);
}

// Every tray event starts a short worker: the ended ones are joined as new
// ones start, so a long run does not pile up threads.
TEST_F(EventsTest, EndedWorkersAreReleased) {
  Boot(false);
  for (int i = 0; i < 40; ++i) {
    events_->OnConsumerCode(i % 2 ? kv::kEventTrayBusy : kv::kEventTrayRestore);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_LT(events_->WorkersHeld(), 10u);
  events_->JoinWorkers();
  EXPECT_EQ(events_->WorkersHeld(), 0u);
}

TEST_F(EventsTest, FailedDefaultTableReadShowsItsMessageAndGoesOn) {
  Boot(false);
  kv::sim::SimFaults f;
  f.errorStatus = 3;  // all three attempts of the first read fail
  Fault(f);
  Keyboard()->plug();
  ASSERT_TRUE(eventually([&] { return events_->DevicePresent() == 1; }));
  events_->JoinWorkers();
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_EQ(ui_.messages()[0], kv::text(kv::TextId::MAIN_DEFAULT_MATRIX_PROMPT));
  EXPECT_FALSE(events_->DefaultKeyTableRead());
  EXPECT_EQ(ui_.reloads(), 1);
}

TEST_F(EventsTest, GBankKeyTwiceReturnsTheBankAndSendsTwoBankReports) {
  Boot(true);
  Keyboard()->clearTrace();
  Keyboard()->sendConsumerEvent(kv::kEventGBankToggle);
  ASSERT_TRUE(eventually([&] { return ui_.banks().size() == 1; }));
  Keyboard()->sendConsumerEvent(kv::kEventGBankToggle);
  ASSERT_TRUE(eventually([&] { return ui_.banks().size() == 2; }));
  EXPECT_EQ(ui_.banks(), (std::vector<bool>{true, false}));
  Keyboard()->drain();
  EXPECT_EQ(Lines("LED"), (std::vector<std::string>{"0503", "0502"}));
  EXPECT_EQ(kv::CurrentBankReport()[1], 0x02);
}

TEST_F(EventsTest, KeyboardChangesScheduleTasksOnly) {
  Boot(true);
  int reloads = ui_.reloads();
  Keyboard()->sendConsumerEvent(kv::kEventProfileChanged);
  Keyboard()->sendConsumerEvent(kv::kEventProfileChanged);
  Keyboard()->sendConsumerEvent(kv::kEventLightingChanged);
  ASSERT_TRUE(eventually([&] { return ui_.taskRequests() == 3; }));
  // Asked for twice before it ran, the reload runs once.
  EXPECT_EQ(ui_.tasks(), (std::set<kv::WindowTask>{kv::WindowTask::kReloadLighting, kv::WindowTask::kReload}));
  EXPECT_TRUE(ui_.RunTask(kv::WindowTask::kReload));
  EXPECT_FALSE(ui_.RunTask(kv::WindowTask::kReload));
  EXPECT_EQ(ui_.reloads(), reloads + 1);
}

TEST_F(EventsTest, ProfileChangedOnTheKeyboardIsReadAgain) {
  Boot(true);
  ASSERT_EQ(kv::GetActiveProfile(), 0);
  Keyboard()->sendConsumerEvent(kv::kEventProfileChanged, 2);
  ASSERT_TRUE(eventually([&] { return ui_.tasks().count(kv::WindowTask::kReload) == 1; }));
  EXPECT_EQ(kv::GetActiveProfile(), 2) << "the reload would show the profile cached before the event";
}

TEST_F(EventsTest, OtherCodesChangeNothing) {
  Boot(true);
  auto icons = ui_.icons();
  for (uint16_t code : {0x1801, 0x1802, 0x1803, 0x1804, 0x0000, 0x7777}) Keyboard()->sendConsumerEvent(code);
  Keyboard()->drain();
  events_->JoinWorkers();
  EXPECT_EQ(ui_.icons(), icons);
  EXPECT_TRUE(ui_.tasks().empty());
  EXPECT_TRUE(ui_.banks().empty());
  EXPECT_EQ(ui_.reloads(), 1);
}

TEST_F(EventsTest, BusyIconUntilRestored) {
  Boot(true);
  Keyboard()->sendConsumerEvent(kv::kEventTrayBusy);
  ASSERT_TRUE(eventually([&] { return ui_.icon() == kv::TrayIcon::kBusy; }));
  Keyboard()->sendConsumerEvent(kv::kEventTrayBusy);  // already showing: no change
  Keyboard()->drain();
  events_->JoinWorkers();
  Keyboard()->sendConsumerEvent(kv::kEventTrayRestore);
  ASSERT_TRUE(eventually([&] { return ui_.icon() == kv::TrayIcon::kKeyboard; }));
  events_->JoinWorkers();
  EXPECT_EQ(ui_.icons(), (std::vector<kv::TrayIcon>{kv::TrayIcon::kKeyboard, kv::TrayIcon::kBusy, kv::TrayIcon::kKeyboard}));
}

TEST_F(EventsTest, PresenceWaitsForTheWindowToBeInitialised) {
  ui_.initialised = false;
  Boot(true, false, /*join=*/false);  // the start-up worker reads, then waits
  ASSERT_TRUE(eventually([&] { return ui_.reloads() == 1; }));
  std::this_thread::sleep_for(150ms);
  EXPECT_TRUE(ui_.icons().empty());
  EXPECT_EQ(ui_.shows(), 0);
  ui_.initialised = true;
  events_->JoinWorkers();
  EXPECT_EQ(ui_.icon(), kv::TrayIcon::kKeyboard);
  EXPECT_EQ(ui_.shows(), 1);
}

// The keyboard unplugged while the worker of its arrival is still reading
// and reloading: the unplug's worker compares with the arrival, not with the
// count before it, so the window hides and the icon and the count end as
// "no keyboard"; the overtaken worker then changes nothing.
TEST_F(EventsTest, UnplugWhileThePlugsWorkerReadsIsNotLost) {
  Boot(false);
  std::atomic<bool> inReload{false}, release{false};
  ui_.onReload = [&] {
    inReload = true;
    while (!release) std::this_thread::sleep_for(1ms);
  };
  Keyboard()->plug();
  ASSERT_TRUE(eventually([&] { return inReload.load(); }));
  Keyboard()->unplug();
  EXPECT_TRUE(eventually([&] { return ui_.hides() == 1; })) << "the unplug was taken for no change";
  EXPECT_TRUE(eventually([&] { return ui_.icon() == kv::TrayIcon::kNoKeyboard; }));
  release = true;
  events_->JoinWorkers();
  EXPECT_EQ(events_->DevicePresent(), 0);
  EXPECT_EQ(ui_.icon(), kv::TrayIcon::kNoKeyboard) << "the overtaken worker set its icon last";
  EXPECT_EQ(ui_.shows(), 0);
}

}  // namespace
}  // namespace kvtest
