// The simulated keyboard as a keyboard: its answers, memory map, events,
// trace, timing, state file and control commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <thread>

#include "device/protocol.h"
#include "tessaro/sim/sim_control.h"
#include "tessaro/sim/sim_factory.h"
#include "tessaro/sim/sim_keyboard.h"
#include "tessaro/sim/trace_ring.h"

namespace {

using namespace kv::sim;

std::array<uint8_t, 64> request(uint8_t cmd, uint8_t len, uint16_t addr, std::vector<uint8_t> payload = {}) {
  return kv::BuildCommandReport(cmd, len, addr, payload);
}

struct Answer {
  uint8_t status;
  std::array<uint8_t, 64> response;
};

Answer ask(SimMemory& m, bool& bracket, const std::array<uint8_t, 64>& r) {
  CommandOutcome o = ProcessCommand(m, bracket, r);
  return {o.response[7], o.response};
}

TEST(SimAnswers, EveryCommandOfTheTable) {
  SimMemory m = FactoryMemory(kDefaultMacroUnits, 0);
  const std::vector<uint8_t> b56(56, 0x5A);
  const std::vector<uint8_t> b48(48, 0);
  struct Case {
    const char* what;
    std::array<uint8_t, 64> report;
    bool inBracket;
    uint8_t status;
  };
  const Case cases[] = {
      {"BeginConfig", request(0x01, 0, 0), false, 0x00},
      {"EndConfig", request(0x02, 0, 0), true, 0x00},
      {"ReadInfoBlock", request(0x03, 0x30, 0), false, 0x00},
      {"ReadInfoBlock, bad length", request(0x03, 0x20, 0), false, 0xFF},
      {"WriteInfoBlock", request(0x04, 0x30, 0, b48), false, 0x00},
      {"ReadSettings at the last record", request(0x05, 56, 84), false, 0x00},
      {"ReadSettings past the region", request(0x05, 56, 126), false, 0xFF},
      {"ReadSettings, length 57", request(0x05, 57, 0), false, 0xFF},
      {"WriteSettings in a bracket", request(0x06, 42, 84, b56), true, 0x00},
      {"WriteSettings outside a bracket", request(0x06, 1, 57, b56), false, 0xFE},
      {"WriteSettings past the region", request(0x06, 43, 84, b56), true, 0xFF},
      {"ReadKeyTable, last chunk of profile 2", request(0x07, 44, 2 * 324 + 280), false, 0x00},
      {"ReadKeyTable past the region", request(0x07, 45, 2 * 324 + 280), false, 0xFF},
      {"WriteKeyTable outside a bracket", request(0x08, 56, 0, b56), false, 0xFE},
      {"WriteKeyTable in a bracket", request(0x08, 56, 0, b56), true, 0x00},
      {"ReadMacroMemory, last byte", request(0x09, 1, kDefaultMacroUnits * 128 - 1), false, 0x00},
      {"ReadMacroMemory past the end", request(0x09, 2, kDefaultMacroUnits * 128 - 1), false, 0xFF},
      {"WriteMacroMemory outside a bracket", request(0x0A, 1, 0, b56), false, 0xFE},
      {"WriteMacroMemory in a bracket", request(0x0A, 56, 0, b56), true, 0x00},
      {"ReadDefaultKeyTable", request(0x0F, 56, 0), false, 0x00},
      {"ReadDefaultKeyTable past the end", request(0x0F, 56, 280), false, 0xFF},
      {"ReadColours", request(0x10, 54, 2 * 256 + 216), false, 0x00},
      {"ReadColours past the region", request(0x10, 54, 3 * 256), false, 0xFF},
      {"WriteColours outside a bracket", request(0x11, 1, 0, b56), false, 0xFE},
      {"WriteColours in a bracket", request(0x11, 48, 2 * 256 + 208, b56), true, 0x00},
      {"unknown command", request(0x42, 0, 0), false, 0xFF},
      {"write to the read-only default table", request(0x0E, 1, 0, b56), true, 0xFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool bracket = c.inBracket;
    Answer a = ask(m, bracket, c.report);
    EXPECT_EQ(a.status, c.status);
    EXPECT_EQ(a.response[0], 0x04);
    EXPECT_TRUE(std::equal(a.response.begin() + 3, a.response.begin() + 7, c.report.begin() + 3));
    EXPECT_EQ(kv::ReportChecksum(a.response), a.response[1] | a.response[2] << 8);
  }
}

TEST(SimAnswers, MalformedReportsAreRefused) {
  SimMemory m = FactoryMemory(kDefaultMacroUnits, 0);
  bool bracket = false;
  auto r = request(0x03, 0x30, 0);
  r[1] ^= 1;  // checksum
  EXPECT_EQ(ask(m, bracket, r).status, 0xFF);
  r = request(0x03, 0x30, 0);
  r[0] = 0x05;
  EXPECT_EQ(ask(m, bracket, r).status, 0xFF);
  const uint8_t shortReport[10] = {4, 0, 0, 3, 0x30};
  EXPECT_EQ(ProcessCommand(m, bracket, shortReport).response[7], 0xFF);
}

TEST(SimAnswers, BracketOpensAndCloses) {
  SimMemory m = FactoryMemory(kDefaultMacroUnits, 0);
  bool bracket = false;
  const std::vector<uint8_t> one = {9};
  EXPECT_EQ(ask(m, bracket, request(0x06, 1, 0, one)).status, 0xFE);
  ask(m, bracket, request(0x01, 0, 0));
  EXPECT_EQ(ask(m, bracket, request(0x06, 1, 0, one)).status, 0x00);
  ask(m, bracket, request(0x02, 0, 0));
  EXPECT_EQ(ask(m, bracket, request(0x06, 1, 0, one)).status, 0xFE);
  EXPECT_EQ(m.settings[0], 9);
}

TEST(SimMemoryMap, FactoryContents) {
  SimMemory m = FactoryMemory(40, 1);
  EXPECT_EQ(m.info[10], 1);
  EXPECT_EQ(m.info[11], 40);
  EXPECT_EQ(m.macro.size(), 40u * 128);
  EXPECT_NE(std::find(m.info.begin() + 16, m.info.end(), 254), m.info.end());
  EXPECT_EQ(m.defaultKeyTable, kKeySlotTemplate);
  for (int p = 0; p < 3; ++p) {
    EXPECT_TRUE(std::equal(kKeySlotTemplate.begin(), kKeySlotTemplate.end(), m.keyTables.begin() + p * 324));
    EXPECT_TRUE(std::equal(kFactoryPatterns.begin(), kFactoryPatterns.end(), m.colours.begin() + p * 256));
  }
  // Slot 53 and slots 0-5 hold the template-only records; slot 8 is Esc's.
  EXPECT_EQ(std::vector<uint8_t>(kKeySlotTemplate.begin() + 53 * 3, kKeySlotTemplate.begin() + 54 * 3),
            (std::vector<uint8_t>{0x05, 0x02, 0x02}));
  EXPECT_EQ(std::vector<uint8_t>(kKeySlotTemplate.begin() + 8 * 3, kKeySlotTemplate.begin() + 9 * 3),
            (std::vector<uint8_t>{0x02, 0x02, 0x29}));
  // Pattern 0 lights arrows (LED bytes 8-10, bit 0x20).
  EXPECT_EQ(kFactoryPatterns[8], 0x20);
}

TEST(SimMemoryMap, WrittenInformationBlockKeepsTheFirmwaresFields) {
  SimMemory m = FactoryMemory(kDefaultMacroUnits, 0);
  bool bracket = false;
  std::vector<uint8_t> info(48, 0x33);
  info[10] = 2;
  EXPECT_EQ(ask(m, bracket, request(0x04, 0x30, 0, info)).status, 0x00);
  EXPECT_EQ(m.info[10], 2);
  EXPECT_EQ(m.info[3], 0x33);
  EXPECT_EQ(m.info[11], kDefaultMacroUnits);
  EXPECT_EQ(m.info[16], kFactoryEffects[0]);
  info[10] = 3;
  EXPECT_EQ(ask(m, bracket, request(0x04, 0x30, 0, info)).status, 0xFF);
  EXPECT_EQ(m.info[10], 2);
}

// ---- the keyboard with its thread ------------------------------------------

struct Seen {
  int32_t kind;
  uint32_t tag;
  uint32_t length;
  std::vector<uint8_t> report;
  uint16_t usage;
  std::thread::id thread;
};
std::mutex seenMutex;
std::condition_variable seenSignal;
std::vector<Seen> seen;

int KV_TRANSPORT_CALL record(const kv::TransportEvent* e) {
  Seen s{e->kind, e->request->tag, e->request->length, {}, 0, std::this_thread::get_id()};
  if (e->kind == 1 && e->request->report) s.report.assign(e->request->report, e->request->report + e->request->length);
  // The usage is reached through the pointer at offset 28 of the report information.
  const uint8_t* info = reinterpret_cast<const uint8_t*>(e->request->info);
  const uint16_t* usage = nullptr;
  std::memcpy(&usage, info + 28, sizeof usage);
  if (usage) s.usage = *usage;
  std::lock_guard lock(seenMutex);
  seen.push_back(s);
  seenSignal.notify_all();
  return 1;
}

class SimKeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::lock_guard lock(seenMutex);
    seen.clear();
  }
  std::unique_ptr<SimKeyboard> Make(SimConfig c = {}) {
    c.roundTrip = std::chrono::microseconds(0);
    auto kb = std::make_unique<SimKeyboard>(c);
    uint32_t slot = 0;
    (void)kb->asyncRead(&kv::kConsumerChannel, record, kv::kTagCons, 11, &slot);
    EXPECT_EQ(slot, 11u);
    (void)kb->asyncRead(&kv::kCommandChannel, record, kv::kTagCtrl, 12, &slot);
    return kb;
  }
  std::vector<Seen> Seen_() {
    std::lock_guard lock(seenMutex);
    return seen;
  }
};

TEST_F(SimKeyboardTest, ConsumerEventsComeFromTheKeyboardsThread) {
  auto kb = Make();
  const uint16_t codes[] = {0x02FF, 0x0401, 0x1801, 0x1802, 0x1803, 0x1804, 0x1810, 0x1811};
  for (uint16_t c : codes) kb->sendConsumerEvent(c);
  kb->drain();
  auto s = Seen_();
  ASSERT_EQ(s.size(), std::size(codes));
  for (size_t i = 0; i < s.size(); ++i) {
    EXPECT_EQ(s[i].kind, 1);
    EXPECT_EQ(s[i].tag, kv::kTagCons);
    EXPECT_EQ(s[i].usage, codes[i]);
    EXPECT_EQ(s[i].report, (std::vector<uint8_t>{static_cast<uint8_t>(codes[i]), static_cast<uint8_t>(codes[i] >> 8)}));
    EXPECT_NE(s[i].thread, std::this_thread::get_id());
  }
}

TEST_F(SimKeyboardTest, ProfileChangedOnTheKeyboardMovesTheActiveProfile) {
  auto kb = Make();
  kb->sendConsumerEvent(0x0402);
  EXPECT_EQ(kb->status().activeProfile, 1);
  kb->sendConsumerEvent(0x0402, 0);
  EXPECT_EQ(kb->status().activeProfile, 0);
  kb->sendConsumerEvent(0x0402);
  kb->sendConsumerEvent(0x0402);
  kb->sendConsumerEvent(0x0402);
  EXPECT_EQ(kb->status().activeProfile, 0);  // wraps after 2
  kb->drain();
  EXPECT_EQ(Seen_().size(), 5u);
}

TEST_F(SimKeyboardTest, PlugAndUnplugReachEveryStandingRequest) {
  auto kb = Make();
  kb->unplug();
  kb->drain();
  EXPECT_EQ(kb->deviceCount(&kv::kCommandChannel), 0);
  kb->sendConsumerEvent(0x02FF);  // nothing from a keyboard that is gone
  kb->plug();
  kb->drain();
  auto s = Seen_();
  ASSERT_EQ(s.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(s[i].kind, 0);
    EXPECT_EQ(s[i].length, i < 2 ? 0u : 1u);
  }
  EXPECT_EQ(s[0].tag, kv::kTagCons);
  EXPECT_EQ(s[1].tag, kv::kTagCtrl);
  EXPECT_EQ(kb->deviceCount(&kv::kLedChannel), 1);
  kv::DeviceMatch other = kv::kCommandChannel;
  other.productId = 0x1234;
  EXPECT_EQ(kb->deviceCount(&other), 0);
}

TEST_F(SimKeyboardTest, DeletedRequestGetsNothingMore) {
  auto kb = Make();
  EXPECT_EQ(kb->deleteRequest(11), 1);
  EXPECT_EQ(kb->deleteRequest(0), 0);
  kb->sendConsumerEvent(0x02FF);
  kb->drain();
  EXPECT_TRUE(Seen_().empty());
}

TEST_F(SimKeyboardTest, AnswersGoToTheCommandRead) {
  auto kb = Make();
  auto r = request(0x0F, 3, 0);
  EXPECT_EQ(kb->writeOne(&kv::kCommandChannel, r.data(), 64), 64);
  EXPECT_EQ(kb->writeOne(&kv::kConsumerChannel, r.data(), 64), 0);  // not the command interface
  EXPECT_EQ(kb->writeOne(&kv::kCommandChannel, r.data(), 63), 0);
  kb->drain();
  auto s = Seen_();
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].tag, kv::kTagCtrl);
  ASSERT_EQ(s[0].report.size(), 64u);
  EXPECT_EQ(s[0].report[8], 0x05);
}

// A lying keyboard answers status 0 to the next n writes of any region and
// keeps none of them; reads and bracket commands pass without using it up,
// and `after` delays it like the other faults.
TEST_F(SimKeyboardTest, LyingWritesAreAcknowledgedButNotStored) {
  auto kb = Make();
  const std::vector<uint8_t> one = {0xAB};
  const std::vector<uint8_t> info = kb->read(Region::Info, 0, 48);
  std::vector<uint8_t> otherProfile = info;
  otherProfile[10] = 2;
  SimFaults f;
  f.after = 1;        // BeginConfig passes
  f.lyingWrites = 5;  // the five writes of the regions below
  kb->setFaults(f);
  const std::array<uint8_t, 64> reports[] = {
      request(0x01, 0, 0),              request(0x03, 0x30, 0),     request(0x06, 1, 99, one),
      request(0x08, 1, 400, one),       request(0x0A, 1, 7, one),   request(0x11, 1, 300, one),
      request(0x04, 0x30, 0, otherProfile), request(0x09, 1, 7),    request(0x06, 1, 98, one),
  };
  for (const auto& r : reports) ASSERT_EQ(kb->writeOne(&kv::kCommandChannel, r.data(), 64), 64);
  kb->drain();
  auto s = Seen_();
  ASSERT_EQ(s.size(), std::size(reports));
  for (size_t i = 0; i < s.size(); ++i) {
    ASSERT_EQ(s[i].report.size(), 64u);
    EXPECT_EQ(s[i].report[3], reports[i][3]) << i;
    EXPECT_EQ(s[i].report[7], 0x00) << i;  // every answer claims success
  }
  EXPECT_EQ(kb->read(Region::Settings, 99, 1), std::vector<uint8_t>{kFactorySettings[2][15]});
  EXPECT_EQ(kb->read(Region::KeyTables, 400, 1), std::vector<uint8_t>{kKeySlotTemplate[400 - 324]});
  EXPECT_EQ(kb->read(Region::Macro, 7, 1), std::vector<uint8_t>{0});
  EXPECT_EQ(kb->read(Region::Colours, 300, 1), std::vector<uint8_t>{kFactoryPatterns[300 - 256]});
  EXPECT_EQ(kb->read(Region::Info, 0, 48), info);
  EXPECT_EQ(kb->read(Region::Settings, 98, 1), one);  // the sixth write is kept
  EXPECT_EQ(kb->faults().lyingWrites, 0);
  const std::regex lied("# write acknowledged, not stored");
  auto lines = kb->trace();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return std::regex_match(l, lied); }),
            5);
}

TEST_F(SimKeyboardTest, RoundTripDelaysTheAnswer) {
  SimConfig c;
  auto kb = std::make_unique<SimKeyboard>(c);  // default 2 ms
  uint32_t slot = 0;
  (void)kb->asyncRead(&kv::kCommandChannel, record, kv::kTagCtrl, 1, &slot);
  auto r = request(0x03, 0x30, 0);
  auto t0 = std::chrono::steady_clock::now();
  (void)kb->writeOne(&kv::kCommandChannel, r.data(), 64);
  std::unique_lock lock(seenMutex);
  seenSignal.wait(lock, [] { return !seen.empty(); });
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2));
}

TEST_F(SimKeyboardTest, TraceLinesHaveTheirForms) {
  auto kb = Make();
  auto r = request(0x03, 0x30, 0);
  (void)kb->writeOne(&kv::kCommandChannel, r.data(), 64);
  const uint8_t bank[2] = {0x05, 0x03};
  uint32_t slot = 0;
  EXPECT_EQ(kb->statusWrite(&kv::kLedChannel, record, kv::kTagLed, bank, 2, 77, &slot), 1);
  EXPECT_EQ(slot, 77u);
  kb->sendConsumerEvent(0x0401);
  kb->drain();
  kb->unplug();
  kb->note("a note");
  kb->drain();
  const std::regex form("(OUT|IN) [0-9A-F]{128}|LED 0503|EVENT CONS 0401|EVENT DEVICES 0|# .*");
  auto lines = kb->trace();
  ASSERT_GE(lines.size(), 6u);
  for (const std::string& l : lines) EXPECT_TRUE(std::regex_match(l, form)) << l;
  EXPECT_EQ(lines[0].substr(0, 12), "OUT 04330003");
  EXPECT_EQ(kb->status().bankReport, (std::array<uint8_t, 2>{0x05, 0x03}));
}

TEST_F(SimKeyboardTest, TraceFileGetsEveryLine) {
  auto path = std::filesystem::temp_directory_path() / ("kv-sim-trace-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".txt");
  std::filesystem::remove(path);
  {
    SimConfig c;
    c.tracePath = path;
    auto kb = Make(c);
    auto r = request(0x01, 0, 0);
    (void)kb->writeOne(&kv::kCommandChannel, r.data(), 64);
    kb->drain();
  }
  std::ifstream in(path);
  std::string first, second;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_EQ(first, "OUT 04010001" + std::string(120, '0'));
  EXPECT_EQ(second.substr(0, 11), "IN 04010001");
  std::filesystem::remove(path);
}

TEST_F(SimKeyboardTest, ConfiguredMacroSizeAndProfile) {
  SimConfig c;
  c.macroUnits = 10;
  c.activeProfile = 2;
  auto kb = Make(c);
  EXPECT_EQ(kb->status().macroBytes, 1280);
  EXPECT_EQ(kb->read(Region::Info, 10, 2), (std::vector<uint8_t>{2, 10}));
}

// ---- state file ----------------------------------------------------------------

class StateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() /
            ("kv-sim-state-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    clean();
  }
  void TearDown() override { clean(); }
  void clean() {
    std::filesystem::remove(path_);
    std::filesystem::remove(std::filesystem::path(path_) += ".bad");
  }
  SimConfig config() {
    SimConfig c;
    c.roundTrip = std::chrono::microseconds(0);
    c.statePath = path_;
    return c;
  }
  std::filesystem::path path_;
};

TEST_F(StateFileTest, MemoryOutlivesTheKeyboard) {
  {
    SimKeyboard kb(config());
    for (auto r : {request(0x01, 0, 0), request(0x08, 2, 324, {0xAA, 0xBB}), request(0x0A, 1, 100, {0x42}),
                   request(0x02, 0, 0)})
      (void)kb.writeOne(&kv::kCommandChannel, r.data(), 64);
    kb.sendConsumerEvent(0x0402, 2);
  }
  SimKeyboard again(config());
  EXPECT_EQ(again.read(Region::KeyTables, 324, 2), (std::vector<uint8_t>{0xAA, 0xBB}));
  EXPECT_EQ(again.read(Region::Macro, 100, 1), std::vector<uint8_t>{0x42});
  EXPECT_EQ(again.status().activeProfile, 2);
}

TEST_F(StateFileTest, MissingFileStartsFromFactoryContents) {
  SimKeyboard kb(config());
  EXPECT_EQ(kb.read(Region::KeyTables, 0, 324), std::vector<uint8_t>(kKeySlotTemplate.begin(), kKeySlotTemplate.end()));
  EXPECT_FALSE(std::filesystem::exists(path_));  // nothing written until something changes
}

TEST_F(StateFileTest, UnreadableFileIsKeptAndFactoryContentsUsed) {
  {
    std::ofstream out(path_, std::ios::binary);
    out << "KVSIMST1 but cut short";
  }
  SimKeyboard kb(config());
  EXPECT_EQ(kb.read(Region::Info, 11, 1), std::vector<uint8_t>{kDefaultMacroUnits});
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(path_) += ".bad"));
  auto lines = kb.trace();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("state file unreadable") != std::string::npos; }));
}

TEST(StateImage, ParseRejectsWhatItCannotTrust) {
  SimMemory m = FactoryMemory(4, 1);
  m.keyTables[5] = 0x99;
  std::vector<uint8_t> image = SerializeState(m);
  SimMemory back;
  std::string error;
  ASSERT_TRUE(ParseState(image, &back, &error)) << error;
  EXPECT_EQ(back.keyTables, m.keyTables);
  EXPECT_EQ(back.macro.size(), 512u);

  struct Case {
    const char* what;
    size_t at;
    uint8_t value;
  };
  const Case cases[] = {{"magic", 0, 'X'}, {"version", 8, 2}, {"units", 10, 0}, {"active profile", 12 + 10, 3},
                        {"byte 11 disagrees", 12 + 11, 5}};
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = image;
    bad[c.at] = c.value;
    SimMemory untouched = FactoryMemory(1, 0);
    EXPECT_FALSE(ParseState(bad, &untouched, &error)) << c.what;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(untouched.macro.size(), 128u) << c.what;
  }
  image.pop_back();
  EXPECT_FALSE(ParseState(image, &back, &error));
}

// ---- control -----------------------------------------------------------------

TEST(SimControl, CommandsAndTheirEffects) {
  SimConfig c;
  c.roundTrip = std::chrono::microseconds(0);
  SimKeyboard kb(c);
  struct Case {
    const char* line;
    const char* firstLine;
  };
  const Case cases[] = {
      {"status", "OK"},        {"fault drop 2", "OK"},         {"fault status FE 1", "OK"},
      {"fault status 12 1", "ERR"}, {"fault late 300 2", "OK"}, {"fault short 8", "OK"},
      {"fault unplug 5", "OK"}, {"fault echo 1", "OK"},        {"fault after 1", "OK"},
      {"fault lie 3", "OK"},    {"fault lie", "ERR"},          {"fault lie -2", "ERR"},
      {"fault", "ERR"},         {"fault drop -1", "ERR"},      {"roundtrip 1500", "OK"},
      {"read default 0 3", "OK"}, {"read nowhere", "ERR"},     {"write keys 0 0102", "OK"},
      {"write default 0 00", "ERR"}, {"write keys 971 0102", "ERR"}, {"write keys 0 0G", "ERR"},
      {"event 0402 2", "OK"},   {"event 12345", "ERR"},        {"event 0402 3", "ERR"},
      {"", "ERR"},              {"bogus", "ERR"},              {"help", "OK"},
      {"trace", "OK"},          {"trace clear", "OK"},         {"save", "OK"},
  };
  for (const Case& k : cases) {
    std::string reply = ExecuteControl(kb, k.line);
    EXPECT_EQ(reply.substr(0, reply.find_first_of(" \n")), k.firstLine) << k.line << " -> " << reply;
  }
  SimFaults f = kb.faults();
  EXPECT_EQ(f.dropResponses, 2);
  EXPECT_EQ(f.errorStatus, 1);
  EXPECT_EQ(f.statusByte, 0xFE);
  EXPECT_EQ(f.lateResponses, 2);
  EXPECT_EQ(f.lateDelay, std::chrono::milliseconds(300));
  EXPECT_EQ(f.shortResponses, 1);
  EXPECT_EQ(f.shortLength, 8u);
  EXPECT_EQ(f.unplugAfter, 5);
  EXPECT_EQ(f.wrongEcho, 1);
  EXPECT_EQ(f.after, 1);
  EXPECT_EQ(f.lyingWrites, 3);
  EXPECT_EQ(kb.status().roundTrip, std::chrono::microseconds(1500));
  EXPECT_EQ(kb.read(Region::KeyTables, 0, 2), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(kb.status().activeProfile, 2);
  EXPECT_EQ(ExecuteControl(kb, "read default 0 3"), "OK\n050000\n");
  EXPECT_EQ(ExecuteControl(kb, "fault clear"), "OK\n");
  EXPECT_EQ(kb.faults().dropResponses, 0);
  EXPECT_EQ(ExecuteControl(kb, "unplug"), "OK\n");
  EXPECT_NE(ExecuteControl(kb, "status").find("attached=0"), std::string::npos);
  EXPECT_EQ(ExecuteControl(kb, "factory"), "OK\n");
  EXPECT_EQ(kb.read(Region::KeyTables, 0, 2), (std::vector<uint8_t>{5, 0}));
}

// ---- the trace kept in memory ------------------------------------------------

// Whatever the lengths of the lines, the ring gives back a run of the latest
// lines, whole, oldest first, as many as its room holds (one fewer at most
// when its boundary falls on a line's start).
TEST(TraceRing, KeepsTheLatestWholeLines) {
  struct Case {
    const char* what;
    size_t reportLines;  // the ring's room
    size_t appended;
    size_t maxLength;
  };
  const Case cases[] = {
      {"short lines, all kept", 4, 5, 20},
      {"report lines, one of room", 1, 3, TraceRing::kReportLineBytes - 1},
      {"mixed lengths, wrapped many times", 3, 500, 300},
      {"lines longer than the ring", 1, 20, 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TraceRing ring(c.reportLines);
    std::vector<std::string> appended;
    uint32_t seed = 12345;
    for (size_t i = 0; i < c.appended; ++i) {
      seed = seed * 1103515245u + 12345u;
      std::string line = std::to_string(i) + ":";
      line.resize(std::max(line.size(), static_cast<size_t>(seed >> 8) % (c.maxLength + 1)), 'x');
      appended.push_back(line);
      ring.append(line);
    }
    std::vector<std::string> kept = ring.lines();
    ASSERT_LE(kept.size(), appended.size());
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), appended.end() - static_cast<std::ptrdiff_t>(kept.size())))
        << "not the latest lines, in order";
    size_t keptBytes = 0;
    for (const std::string& l : kept) keptBytes += l.size() + 1;
    EXPECT_LE(keptBytes, ring.capacityBytes());
    // Two more of the earlier lines would not have fitted.
    size_t wouldBe = keptBytes;
    for (size_t i = kept.size(); i < std::min(appended.size(), kept.size() + 2); ++i)
      wouldBe += appended[appended.size() - 1 - i].size() + 1;
    if (kept.size() < appended.size()) {
      EXPECT_GT(wouldBe, ring.capacityBytes()) << kept.size() << " kept";
    }
  }
}

TEST(TraceRing, ClearEmptiesAndKeepsTheRoom) {
  TraceRing ring(2);
  const size_t room = ring.capacityBytes();
  for (int i = 0; i < 10; ++i) ring.append(std::string(100, 'a'));
  ring.clear();
  EXPECT_TRUE(ring.lines().empty());
  ring.append("OUT 01");
  EXPECT_EQ(ring.lines(), std::vector<std::string>{"OUT 01"});
  EXPECT_EQ(ring.capacityBytes(), room);
}

// A keyboard with room for 4 report lines after 50 transactions: the last
// two transactions' lines, whole.
TEST_F(SimKeyboardTest, TraceKeepsTheLatestReports) {
  SimConfig c;
  c.roundTrip = std::chrono::microseconds(0);
  c.traceLines = 4;
  auto kb = std::make_unique<SimKeyboard>(c);
  uint32_t slot = 0;
  (void)kb->asyncRead(&kv::kCommandChannel, record, kv::kTagCtrl, 1, &slot);
  for (int i = 0; i < 50; ++i) {
    auto r = request(0x05, 1, static_cast<uint16_t>(i));
    (void)kb->writeOne(&kv::kCommandChannel, r.data(), 64);
    kb->drain();
  }
  auto lines = kb->trace();
  ASSERT_EQ(lines.size(), 4u);
  const std::regex form("(OUT|IN) [0-9A-F]{128}");
  for (const std::string& l : lines) EXPECT_TRUE(std::regex_match(l, form)) << l;
  // Command, length and address of the last two: ReadSettings of 1 byte at 48, 49.
  EXPECT_EQ(lines[0].substr(0, 4) + lines[0].substr(10, 6), "OUT 050130");
  EXPECT_EQ(lines[2].substr(0, 4) + lines[2].substr(10, 6), "OUT 050131");
}

}  // namespace
