// The HID transport over fake HID keyboards that answer with the simulated
// keyboard's engine: standing reads and their events, the bank report,
// plug and unplug, writes that cannot complete, a keyboard without its LED
// collection, two keyboards. The protocol itself runs over the same link in
// hid_link_tests and hid_store_tests.
#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

#include "tessaro/hid/report_descriptor.h"
#include "tests/device/link_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Seen {
  int32_t kind;
  uint32_t tag;
  uint32_t length;
  std::vector<uint8_t> bytes;
  int usage;  // -1 without report information
};

// Events of the callback below, for the test to wait on.
struct Recorder {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<Seen> events;

  bool waitCount(size_t n, std::chrono::milliseconds timeout = 2000ms) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, timeout, [&] { return events.size() >= n; });
  }
  // The first event with that tag (events of other reads may come between).
  std::optional<Seen> waitTag(uint32_t tag, std::chrono::milliseconds timeout = 2000ms) {
    std::unique_lock lock(mutex);
    std::optional<Seen> found;
    cv.wait_for(lock, timeout, [&] {
      for (const Seen& s : events)
        if (s.tag == tag) return (found = s).has_value();
      return false;
    });
    return found;
  }
  std::vector<Seen> take() {
    std::lock_guard lock(mutex);
    return std::exchange(events, {});
  }
};
Recorder recorder;

int KV_TRANSPORT_CALL Record(const kv::TransportEvent* e) {
  const kv::TransportRequest& r = *e->request;
  Seen s{e->kind, r.tag, r.length, {}, -1};
  if (e->kind == kv::kEventReport && r.report) s.bytes.assign(r.report, r.report + r.length);
  if (e->kind == kv::kEventReport && r.info && r.info->usage) s.usage = *r.info->usage;
  {
    std::lock_guard lock(recorder.mutex);
    recorder.events.push_back(std::move(s));
  }
  recorder.cv.notify_all();
  return kv::DefaultTransportCallback(e);
}

class HidLinkTest : public kvtest::LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    recorder.take();
  }
  void Listen(const kv::DeviceMatch& match, uint32_t tag) {
    uint32_t slot = 0;
    ASSERT_EQ(kv::hid::RequestAsyncRead(&match, Record, tag, 0x1234 + tag, &slot), 1);
    EXPECT_EQ(slot, 0x1234 + tag);
  }
};

TEST_F(HidLinkTest, ConsumerReportsArriveAsKindOneEventsWithTheirUsage) {
  Listen(kv::kConsumerChannel, kv::kTagCons);
  Keyboard()->sendConsumerEvent(0x02FF);
  Keyboard()->sendConsumerEvent(0x1811);
  ASSERT_TRUE(recorder.waitCount(2));
  auto seen = recorder.take();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].kind, kv::kEventReport);
  EXPECT_EQ(seen[0].tag, kv::kTagCons);
  EXPECT_EQ(seen[0].usage, 0x02FF);
  EXPECT_EQ(seen[0].bytes, (std::vector<uint8_t>{0x03, 0xFF, 0x02}));  // report id 3, then the usage
  EXPECT_EQ(seen[1].usage, 0x1811);
}

TEST_F(HidLinkTest, CommandAnswersReachEveryStandingReadWithTheReportIdFirst) {
  Listen(kv::kCommandChannel, kv::kTagCtrl);
  std::array<uint8_t, 48> info{};
  ASSERT_EQ(kv::ReadInfoBlock(info), kv::kResultSuccess);
  EXPECT_EQ(info[11], kv::sim::kDefaultMacroUnits);
  ASSERT_TRUE(recorder.waitCount(1));
  auto seen = recorder.take();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].tag, kv::kTagCtrl);
  ASSERT_EQ(seen[0].length, 64u);
  EXPECT_EQ(seen[0].bytes[0], 0x04);
  EXPECT_EQ(seen[0].bytes[3], 0x03);
  EXPECT_EQ(seen[0].usage, -1) << "only the consumer collection's reports carry a usage";
}

TEST_F(HidLinkTest, DeletedReadGetsNothingMore) {
  Listen(kv::kConsumerChannel, kv::kTagCons);
  EXPECT_EQ(kv::hid::DeleteRequestFromUnitId(0x1234 + kv::kTagCons), 1);
  EXPECT_EQ(kv::hid::DeleteRequestFromUnitId(0x1234 + kv::kTagCons), 0);
  EXPECT_EQ(kv::hid::DeleteRequestFromUnitId(0), 0);
  Keyboard()->sendConsumerEvent(0x0401);
  Keyboard()->drain();
  EXPECT_FALSE(recorder.waitCount(1, 100ms));
}

TEST_F(HidLinkTest, BankReportGoesToTheLedCollection) {
  kv::ToggleGBank();
  kv::SendBankReport();
  Keyboard()->drain();
  EXPECT_EQ(Lines("LED"), (std::vector<std::string>{"0503"}));
  EXPECT_EQ(Keyboard()->status().bankReport, (std::array<uint8_t, 2>{0x05, 0x03}));
  EXPECT_NE(kv::CurrentRequestSlots().bank, 0u);
}

TEST_F(HidLinkTest, UnplugAndPlugAreKindZeroEventsWithTheNewCount) {
  Listen(kv::kCommandChannel, kv::kTagCtrl);
  Keyboard()->unplug();
  Keyboard()->drain();
  ASSERT_TRUE(recorder.waitCount(1));
  auto seen = recorder.take();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, kv::kEventDevicesChanged);
  EXPECT_EQ(seen[0].tag, kv::kTagCtrl);
  EXPECT_EQ(seen[0].length, 0u);
  EXPECT_EQ(kv::CountDevices(), 0);
  std::array<uint8_t, 48> info{};
  EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultNoDevice);

  Keyboard()->plug();
  Keyboard()->drain();
  ASSERT_TRUE(recorder.waitCount(1));
  seen = recorder.take();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, kv::kEventDevicesChanged);
  EXPECT_EQ(seen[0].length, 1u);
  EXPECT_EQ(kv::CountDevices(), 1);
  // The collections are opened anew: answers and events flow again.
  EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultSuccess);
  Listen(kv::kConsumerChannel, kv::kTagCons);
  Keyboard()->sendConsumerEvent(0x0401);
  auto event = recorder.waitTag(kv::kTagCons);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->usage, 0x0401);
}

TEST_F(HidLinkTest, WriteThatCannotCompleteFailsAtItsTimeOutWithinTheProtocolsWait) {
  kv::DeviceLinkState().timing = kv::TransactionTiming{};  // the real 1000 ms wait
  hid_->stallWrites(true);
  std::array<uint8_t, 48> info{};
  auto t0 = Clock::now();
  EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultSendRefused);
  auto took = Clock::now() - t0;
  EXPECT_GE(took, 450ms);
  EXPECT_LT(took, 1000ms);
  EXPECT_TRUE(Out().empty());

  hid_->stallWrites(false);
  EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultSuccess);
}

TEST_F(HidLinkTest, UnplugDuringAWriteEndsAtOnceWithAnError) {
  kv::DeviceLinkState().timing = kv::TransactionTiming{};
  hid_->stallWrites(true);
  auto pending = std::async(std::launch::async, [] {
    std::array<uint8_t, 48> info{};
    auto t0 = Clock::now();
    int result = kv::ReadInfoBlock(info);
    return std::make_pair(result, Clock::now() - t0);
  });
  std::this_thread::sleep_for(100ms);
  Keyboard()->unplug();
  ASSERT_EQ(pending.wait_for(2s), std::future_status::ready) << "the write hung";
  auto [result, took] = pending.get();
  EXPECT_LE(result, 0);
  EXPECT_LT(took, 400ms);
  Keyboard()->drain();
  EXPECT_EQ(kv::CountDevices(), 0);
}

// A standing read on the command collection whose callback holds the
// reader while the gate is closed, as a reader the system does not get to
// run for a while: the keyboard's answers wait in the platform's queue.
struct Gate {
  std::mutex mutex;
  std::condition_variable cv;
  bool closed = false;
  int held = 0;

  void close() {
    std::lock_guard lock(mutex);
    closed = true;
  }
  void open() {
    {
      std::lock_guard lock(mutex);
      closed = false;
    }
    cv.notify_all();
  }
  void reset() {
    std::lock_guard lock(mutex);
    closed = false;
    held = 0;
  }
  bool waitHeld() {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, 2s, [&] { return held > 0; });
  }
};
Gate gate;

int KV_TRANSPORT_CALL HoldWhileClosed(const kv::TransportEvent*) {
  std::unique_lock lock(gate.mutex);
  if (gate.closed) {
    ++gate.held;
    gate.cv.notify_all();
    gate.cv.wait(lock, [] { return !gate.closed; });
  }
  return 1;
}

TEST_F(HidLinkTest, AnswersToEarlierReportsAreNotTakenForTheAnswerToANewOne) {
  // The held reader has the earlier read's answer in hand, not yet given to
  // the program (gate first), or has given its report to the program and
  // the earlier read's answers wait behind it (gate last). Either way the
  // next read of the same command must get its own answer.
  for (bool gateFirst : {true, false}) {
    SCOPED_TRACE(gateFirst ? "gate before the program's read" : "gate after the program's read");
    // The new read's own answer comes well after the gate opens, so only a
    // held answer could be taken for it.
    kv::sim::SimConfig slow = kvtest::ZeroRoundTrip();
    slow.roundTrip = 50ms;
    Start(slow, kvtest::FastTiming());
    gate.reset();
    uint32_t slot = 0;
    ASSERT_EQ(kv::hid::RequestAsyncRead(&kv::kCommandChannel, HoldWhileClosed, 0x47415445, 0x47415445, &slot), 1);
    if (gateFirst) kv::RegisterCommandRead();  // the program's read now comes after the gate
    const std::vector<uint8_t> first(42, 0x11), second(42, 0x22);
    ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Settings, 0, first));
    ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Settings, 42, second));

    gate.close();
    std::shared_ptr<void> reopen(nullptr, [](void*) { gate.open(); });
    std::array<uint8_t, 56> piece{};
    if (!gateFirst) {
      std::array<uint8_t, 48> info{};
      EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultSuccess);
      ASSERT_TRUE(gate.waitHeld());
    }
    EXPECT_EQ(kv::ReadSettings(piece, 42, 0), kv::kResultNoResponse) << "its answers are held";
    ASSERT_TRUE(gate.waitHeld());

    auto opener = std::async(std::launch::async, [] {
      std::this_thread::sleep_for(5ms);
      gate.open();
    });
    piece.fill(0);
    EXPECT_EQ(kv::ReadSettings(piece, 42, 42), kv::kResultSuccess);
    EXPECT_EQ(piece[0], 0x22) << "an answer to the read at address 0 was taken for the read at 42";
    opener.get();
    Keyboard()->drain();
  }
}

TEST_F(HidLinkTest, FakeDeviceAnswersAlikeWhetherItsReaderIsWokenOrReady) {
  // The benchmark's timing model: with the reader ready at each answer, a
  // lost or late answer must still end in the answer, and events flow.
  for (auto timing : {kv::hid::FakeAnswerTiming::ReaderWoken, kv::hid::FakeAnswerTiming::ReaderReady}) {
    SCOPED_TRACE(timing == kv::hid::FakeAnswerTiming::ReaderReady ? "reader ready" : "reader woken");
    const bool ready = timing == kv::hid::FakeAnswerTiming::ReaderReady;
    kv::sim::SimConfig device = kvtest::ZeroRoundTrip();
    if (!ready) device.roundTrip = 2ms;  // else the fake device keeps the time
    Start(device, kvtest::FastTiming());
    hid_->setAnswerTiming(timing, 2000us);
    Listen(kv::kConsumerChannel, kv::kTagCons);
    std::array<uint8_t, 48> info{};
    EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultSuccess);
    Fault({.dropResponses = 1});
    EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultSuccess);
    Fault({.lateResponses = 1, .lateDelay = 30ms});
    EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultSuccess);
    EXPECT_EQ(Out().size(), 4u) << "one report sent again, after the lost answer";
    EXPECT_EQ(info[11], kv::sim::kDefaultMacroUnits);
    Keyboard()->sendConsumerEvent(0x0401);
    auto event = recorder.waitTag(kv::kTagCons);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->usage, 0x0401);
    Keyboard()->drain();
    recorder.take();
  }
}

// ---- the core on its own ------------------------------------------------------------------

std::shared_ptr<kv::sim::SimKeyboard> Engine() {
  kv::sim::SimConfig c;
  c.roundTrip = 0us;
  return std::make_shared<kv::sim::SimKeyboard>(c);
}

std::array<uint8_t, 64> InfoRequest() {
  std::array<uint8_t, 64> r{};
  r[0] = 0x04;
  r[3] = 0x03;
  r[4] = 0x30;
  r[1] = 0x33;  // checksum of bytes 3-63
  return r;
}

size_t OutLines(const std::shared_ptr<kv::sim::SimKeyboard>& k) {
  size_t n = 0;
  for (const std::string& l : k->trace()) n += l.rfind("OUT ", 0) == 0;
  return n;
}

TEST(HidTransport, KeyboardWithoutItsLedCollectionStillTakesCommands) {
  auto engine = Engine();
  auto fake = std::make_unique<kv::hid::FakeHidBackend>();
  fake->addKeyboard("usb-1", engine, {.withLed = false, .interfaces = {}});
  kv::hid::HidTransport t(std::move(fake));
  ASSERT_GT(t.init(), 0);
  EXPECT_EQ(t.deviceCount(&kv::kCommandChannel), 1);
  EXPECT_EQ(t.deviceCount(&kv::kConsumerChannel), 1);
  EXPECT_EQ(t.deviceCount(&kv::kLedChannel), 0);
  uint8_t bank[2] = {0x05, 0x02};
  uint32_t slot = 0;
  EXPECT_EQ(t.statusWrite(&kv::kLedChannel, bank, 2, 77, &slot), 0);
  EXPECT_EQ(slot, 77u);
  auto request = InfoRequest();
  EXPECT_EQ(t.writeOne(&kv::kCommandChannel, request.data(), 64), 64);
  engine->drain();
  EXPECT_EQ(engine->status().reportsReceived, 1u);
  EXPECT_EQ(engine->status().bankReport, (std::array<uint8_t, 2>{0, 0}));
}

TEST(HidTransport, ReportsThatDoNotFitAreRefusedAndNothingIsSent) {
  auto engine = Engine();
  auto fake = std::make_unique<kv::hid::FakeHidBackend>();
  fake->addKeyboard("usb-1", engine);
  kv::hid::HidTransport t(std::move(fake));
  ASSERT_GT(t.init(), 0);
  std::vector<uint8_t> big(65, 0x04);
  EXPECT_EQ(t.writeOne(&kv::kCommandChannel, big.data(), 65), 0);
  EXPECT_EQ(t.writeOne(&kv::kCommandChannel, nullptr, 64), 0);
  EXPECT_EQ(t.writeOne(&kv::kConsumerChannel, big.data(), 3), 0) << "the consumer collection has no output report";
  kv::DeviceMatch other = kv::kCommandChannel;
  other.productId = 0x6519;
  EXPECT_EQ(t.writeOne(&other, big.data(), 64), 0);
  EXPECT_EQ(t.deviceCount(&other), 0);
  engine->drain();
  EXPECT_EQ(OutLines(engine), 0u);
}

TEST(HidTransport, TwoKeyboardsCountTwoAndTheOneInUseIsKept) {
  auto first = Engine(), second = Engine();
  std::vector<std::string> log;
  std::mutex logMutex;
  kv::hid::HidTransportOptions options;
  options.log = [&](const std::string& line) {
    std::lock_guard lock(logMutex);
    log.push_back(line);
  };
  auto fake = std::make_unique<kv::hid::FakeHidBackend>();
  fake->addKeyboard("usb-2", second);
  fake->addKeyboard("usb-1", first);
  kv::hid::HidTransport t(std::move(fake), options);
  ASSERT_GT(t.init(), 0);
  EXPECT_EQ(t.deviceCount(&kv::kCommandChannel), 2);
  auto keyboards = t.keyboards();
  ASSERT_EQ(keyboards.size(), 2u);
  EXPECT_TRUE(keyboards[0].selected);
  EXPECT_EQ(keyboards[0].deviceKey, "usb-1");
  EXPECT_EQ(keyboards[0].collections.size(), 3u);
  {
    std::lock_guard lock(logMutex);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "using keyboard usb-1 (2 attached)");
  }

  auto request = InfoRequest();
  auto writeAndCount = [&] {
    EXPECT_EQ(t.writeOne(&kv::kCommandChannel, request.data(), 64), 64);
    first->drain();
    second->drain();
    return std::make_pair(OutLines(first), OutLines(second));
  };
  EXPECT_EQ(writeAndCount(), std::make_pair(size_t{1}, size_t{0}));

  // The other one going and coming back changes nothing about which is used.
  second->unplug();
  second->drain();
  EXPECT_EQ(t.deviceCount(&kv::kCommandChannel), 1);
  second->plug();
  second->drain();
  EXPECT_EQ(t.deviceCount(&kv::kCommandChannel), 2);
  EXPECT_EQ(writeAndCount(), std::make_pair(size_t{2}, size_t{0}));

  // Only when the one in use goes does the other take its place.
  first->unplug();
  first->drain();
  EXPECT_EQ(t.deviceCount(&kv::kCommandChannel), 1);
  EXPECT_EQ(writeAndCount(), std::make_pair(size_t{2}, size_t{1}));
  std::lock_guard lock(logMutex);
  EXPECT_NE(std::find(log.begin(), log.end(), "using keyboard usb-2 (1 attached)"), log.end());
}

TEST(HidTransport, WriteCancelledAtItsTimeOutCountsAsSentWhenItCompletedMeanwhile) {
  using kv::hid::IoStatus;
  struct Case {
    bool completed;
    size_t sent;
    IoStatus status;
  };
  const Case cases[] = {
      {true, 64, IoStatus::Ok},         // completed between the wait and the cancellation
      {false, 0, IoStatus::TimedOut},   // the cancellation took
      {true, 10, IoStatus::Failed},     // a part went: not the report
  };
  for (const Case& c : cases)
    EXPECT_EQ(kv::hid::CancelledWriteStatus(c.completed, c.sent, 64), c.status) << c.completed << " " << c.sent;
}

TEST(HidTransport, SelectorBitsChooseTheFieldsThatCount) {
  kv::hid::HidCollection c;
  c.vendorId = 0x0C45;
  c.productId = 0x6518;
  c.usagePage = 0xFF1C;
  c.usage = 0x92;
  struct Case {
    uint32_t selector;
    uint16_t vendor, product, page, usage;
    bool matches;
  };
  const Case cases[] = {
      {0x0F, 0x0C45, 0x6518, 0xFF1C, 0x92, true},  {0x0F, 0x0C45, 0x6518, 0xFF1C, 0x93, false},
      {0x0F, 0x0C46, 0x6518, 0xFF1C, 0x92, false}, {0x07, 0x0C45, 0x6518, 0xFF1C, 0x93, true},
      {0x03, 0x0C45, 0x6518, 0x0001, 0x06, true},  {0x00, 0x0C45, 0x6518, 0xFF1C, 0x92, false},
  };
  for (const Case& k : cases) {
    kv::DeviceMatch m{k.selector, k.vendor, k.product, k.page, k.usage, 0};
    EXPECT_EQ(kv::hid::Matches(m, c), k.matches) << std::hex << k.selector << " " << k.usage;
  }
}

// ---- what breaks on real devices --------------------------------------------------------

// A transport over one fake keyboard with its own engine, recording events.
struct Rig {
  explicit Rig(kv::hid::FakeKeyboardOptions options = {}, kv::hid::HidTransportOptions transportOptions = {}) {
    engine = Engine();
    auto backend = std::make_unique<kv::hid::FakeHidBackend>();
    backend->addKeyboard("usb-1", engine, std::move(options));
    fake = backend.get();
    transport = std::make_unique<kv::hid::HidTransport>(std::move(backend), std::move(transportOptions));
    recorder.take();
  }
  ~Rig() {
    transport->end();
    engine->drain();
    recorder.take();
  }
  void listen(const kv::DeviceMatch& match, uint32_t tag) {
    uint32_t slot = 0;
    EXPECT_EQ(transport->asyncRead(&match, Record, tag, 0x1000 + tag, &slot), 1);
  }
  // One information block request; true when its answer reached the standing read.
  bool askAndHear() {
    recorder.take();
    auto request = InfoRequest();
    if (transport->writeOne(&kv::kCommandChannel, request.data(), 64) != 64) return false;
    auto answer = recorder.waitTag(kv::kTagCtrl, 1000ms);
    return answer && answer->length == 64 && answer->bytes[0] == 0x04 && answer->bytes[3] == 0x03;
  }

  std::shared_ptr<kv::sim::SimKeyboard> engine;
  kv::hid::FakeHidBackend* fake;
  std::unique_ptr<kv::hid::HidTransport> transport;
};

TEST(HidRealDevice, CollectionFirstHeldByAnotherProgramIsReadOnceItIsOpened) {
  Rig rig;
  rig.fake->refuseOpens(0xFF1C, 1, kv::hid::IoStatus::Busy,
                        "cannot open fake/usb-1/col2: in use by another program (sharing violation)");
  ASSERT_GT(rig.transport->init(), 0);
  rig.listen(kv::kCommandChannel, kv::kTagCtrl);
  EXPECT_NE(rig.transport->lastError().find("in use by another program"), std::string::npos);
  EXPECT_EQ(rig.transport->openProblem(&kv::kCommandChannel), 1) << "what the program names as in use";
  EXPECT_EQ(rig.transport->openProblem(&kv::kConsumerChannel), 0);
  // The other program let go: the write opens it, and its answer must come.
  EXPECT_TRUE(rig.askAndHear()) << "the channel opened by a write has no reader";
  EXPECT_EQ(rig.transport->lastError(), "") << "a failure that no longer holds is still reported";
  EXPECT_EQ(rig.transport->openProblem(&kv::kCommandChannel), 0);
}

TEST(HidRealDevice, RefusedCollectionIsToldFromOneInUse) {
  Rig rig;
  rig.fake->refuseOpens(0xFF1C, 1, kv::hid::IoStatus::AccessDenied, "cannot open fake/usb-1/col2: access denied");
  ASSERT_GT(rig.transport->init(), 0);
  rig.listen(kv::kCommandChannel, kv::kTagCtrl);
  EXPECT_EQ(rig.transport->openProblem(&kv::kCommandChannel), 2);
}

TEST(HidRealDevice, CollectionsArrivingOneByOneWithAFailedOpenBetween) {
  // The consumer collection is refused at the first look (its driver not
  // yet let go), the command collection then opened by the program's read.
  Rig rig;
  rig.fake->refuseOpens(0x000C, 1, kv::hid::IoStatus::Failed, "cannot open fake/usb-1/col1: failed");
  ASSERT_GT(rig.transport->init(), 0);
  rig.listen(kv::kConsumerChannel, kv::kTagCons);
  rig.listen(kv::kCommandChannel, kv::kTagCtrl);
  EXPECT_TRUE(rig.askAndHear());
  // The next device change opens the consumer collection.
  rig.engine->unplug();
  rig.engine->drain();
  rig.engine->plug();
  rig.engine->drain();
  recorder.take();
  rig.engine->sendConsumerEvent(0x00E9);
  auto event = recorder.waitTag(kv::kTagCons);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->usage, 0x00E9);
  EXPECT_EQ(rig.transport->lastError(), "");
}

TEST(HidRealDevice, RefusedReportFailsTheWriteWithoutLookingForTheKeyboardAgain) {
  Rig rig;
  ASSERT_GT(rig.transport->init(), 0);
  rig.listen(kv::kCommandChannel, kv::kTagCtrl);
  ASSERT_TRUE(rig.askAndHear());
  const int enumerations = rig.fake->enumerations();
  const int opens = rig.fake->opens();
  rig.fake->rejectWrites(1);
  auto request = InfoRequest();
  EXPECT_EQ(rig.transport->writeOne(&kv::kCommandChannel, request.data(), 64), 0);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(rig.fake->enumerations(), enumerations) << "a stall was taken for an unplug";
  EXPECT_EQ(rig.fake->opens(), opens);
  EXPECT_TRUE(rig.askAndHear()) << "the next report goes out on the same channel";
}

TEST(HidRealDevice, ReadsThatFailAreRetriedAfterAPauseABoundedNumberOfTimes) {
  struct Case {
    const char* name;
    int failures;
    kv::hid::IoStatus status;
    bool recovers;
  };
  const Case cases[] = {
      {"two failed reads, then well", 2, kv::hid::IoStatus::Failed, true},
      {"removed while still listed, twice", 2, kv::hid::IoStatus::Gone, true},
      {"every read fails", -1, kv::hid::IoStatus::Gone, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.fake->failReads(0xFF1C, c.failures, c.status);
    ASSERT_GT(rig.transport->init(), 0);
    const auto t0 = Clock::now();
    rig.listen(kv::kCommandChannel, kv::kTagCtrl);
    if (c.recovers) {
      // Opened, failed, and after 25 and 50 ms opened again.
      for (int i = 0; i < 100 && rig.fake->opens() < 3; ++i) std::this_thread::sleep_for(5ms);
      EXPECT_GE(Clock::now() - t0, 70ms) << "reopened without a pause";
      EXPECT_TRUE(rig.askAndHear()) << "the reader was not started again";
      continue;
    }
    // 25 + 50 + 100 + 200 + 400 ms of pauses, then it waits for a device change.
    std::this_thread::sleep_for(1500ms);
    int opens = rig.fake->opens();
    EXPECT_LE(opens, 8) << "a collection that cannot be read is opened again and again";
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(rig.fake->opens(), opens) << "it kept trying";
    // A device change is a reason to try again.
    rig.fake->failReads(0xFF1C, 0, kv::hid::IoStatus::Ok);
    rig.engine->unplug();
    rig.engine->drain();
    rig.engine->plug();
    rig.engine->drain();
    EXPECT_TRUE(rig.askAndHear());
  }
}

// Descriptors of real keyboards that put the same collections differently.
// Each must give the command collection's answers with the report id first
// and the consumer usages, with a release (usage 0) no event.
TEST(HidRealDevice, DescriptorVariantsCarryCommandsAndConsumerEventsAlike) {
  using Bytes = std::vector<uint8_t>;
  auto expected = kv::hid::ExpectedKeyboardDescriptor();
  const Bytes standard(expected.begin(), expected.end());
  const Bytes consumer(expected.begin(), expected.begin() + 25);
  const Bytes command(expected.begin() + 25, expected.begin() + 25 + 27);
  const Bytes led(expected.begin() + 25 + 27, expected.end());
  const Bytes commandUsageFirst = {0x09, 0x92, 0x06, 0x1C, 0xFF, 0xA1, 0x01, 0x85, 0x04, 0x15, 0x00, 0x26, 0xFF, 0x00,
                                   0x75, 0x08, 0x95, 0x3F, 0x09, 0x01, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0};
  const Bytes consumer10Bit = {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x03, 0x75, 0x08, 0x95, 0x01, 0x81,
                               0x01, 0x15, 0x00, 0x26, 0xFF, 0x03, 0x19, 0x00, 0x2A, 0xFF, 0x03, 0x75, 0x0A,
                               0x95, 0x01, 0x81, 0x00, 0x75, 0x06, 0x81, 0x01, 0xC0};
  const Bytes commandTwoOutputs = {0x06, 0x1C, 0xFF, 0x09, 0x92, 0xA1, 0x01, 0x85, 0x04, 0x15, 0x00, 0x26, 0xFF,
                                   0x00, 0x75, 0x08, 0x95, 0x3F, 0x09, 0x01, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02,
                                   0x85, 0x06, 0x95, 0x07, 0x09, 0x03, 0x91, 0x02, 0xC0};
  // One interface each, reports unnumbered: a 65-byte command frame.
  const Bytes consumerAlone = {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x01, 0x26, 0x00, 0x04, 0x19,
                               0x01, 0x2A, 0x00, 0x04, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0xC0};
  const Bytes commandAlone = {0x06, 0x1C, 0xFF, 0x09, 0x92, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75,
                              0x08, 0x95, 0x40, 0x09, 0x01, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0};
  const Bytes ledAlone = {0x05, 0x08, 0x09, 0x89, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};
  Bytes padded = standard;
  padded.push_back(0x00);
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  struct Case {
    const char* name;
    std::vector<Bytes> interfaces;
    uint16_t commandFrame;
  };
  const std::vector<Case> cases = {
      {"as expected", {standard}, 64},
      {"usage before usage page", {join({consumer, commandUsageFirst, led})}, 64},
      {"trailing 0x00 pad", {padded}, 64},
      {"10-bit consumer usage after a constant byte", {join({consumer10Bit, command, led})}, 64},
      {"several output reports", {join({consumer, commandTwoOutputs, led})}, 64},
      {"collections split across unnumbered interfaces", {consumerAlone, commandAlone, ledAlone}, 65},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig({.withLed = true, .interfaces = c.interfaces});
    ASSERT_GT(rig.transport->init(), 0);
    ASSERT_EQ(rig.transport->deviceCount(&kv::kCommandChannel), 1) << "the command collection was not found";
    ASSERT_EQ(rig.transport->deviceCount(&kv::kConsumerChannel), 1);
    const auto keyboards = rig.transport->keyboards();
    for (const kv::hid::HidCollection& col : keyboards.at(0).collections)
      if (col.usagePage == 0xFF1C) {
        EXPECT_EQ(col.outputFrameBytes, c.commandFrame);
      }
    rig.listen(kv::kCommandChannel, kv::kTagCtrl);
    rig.listen(kv::kConsumerChannel, kv::kTagCons);
    EXPECT_TRUE(rig.askAndHear());
    std::string sent;
    for (const std::string& line : rig.engine->trace())
      if (line.rfind("OUT ", 0) == 0) sent = line;
    EXPECT_EQ(sent.substr(0, 8), "OUT 0433") << "the report the keyboard got";

    recorder.take();
    rig.engine->sendConsumerEvent(0x02FF);
    rig.engine->sendConsumerEvent(0);  // the key's release
    rig.engine->sendConsumerEvent(0x00E9);
    ASSERT_TRUE(recorder.waitCount(2));
    std::this_thread::sleep_for(30ms);
    auto seen = recorder.take();
    ASSERT_EQ(seen.size(), 2u) << "a release was taken for an event";
    EXPECT_EQ(seen[0].usage, 0x02FF);
    EXPECT_EQ(seen[1].usage, 0x00E9);

    uint8_t bank[2] = {0x05, 0x03};
    uint32_t slot = 0;
    EXPECT_EQ(rig.transport->statusWrite(&kv::kLedChannel, bank, 2, 9, &slot), 1);
  }
}

}  // namespace
