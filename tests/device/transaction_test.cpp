// Command operations and the transaction through the simulated keyboard:
// report bytes, chunking, retries, faults, unplugging.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "tessaro/sim/sim_factory.h"
#include "tests/device/link_fixture.h"

namespace {

using kvtest::LinkTest;
using kv::sim::SimFaults;
using Clock = std::chrono::steady_clock;

TEST_F(LinkTest, BracketAndReportRateGoAsTheGoldenBytes) {
  const uint8_t rate[] = {2};
  ASSERT_EQ(kv::BeginConfig(), 1);
  ASSERT_EQ(kv::WriteSettings(rate, 1, 1 * 42 + 15), 1);
  ASSERT_EQ(kv::EndConfig(), 1);
  auto out = Out();
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], "04010001" + std::string(120, '0'));
  EXPECT_EQ(out[1], "044200060139000002" + std::string(110, '0'));
  EXPECT_EQ(out[2], "04020002" + std::string(120, '0'));
  EXPECT_EQ(Keyboard()->read(kv::sim::Region::Settings, 57, 1), std::vector<uint8_t>{2});
}

TEST_F(LinkTest, KeyTableGoesAsFiveChunksOfFiftySixAndOneOfFortyFour) {
  std::array<uint8_t, 324> table{};
  ASSERT_EQ(kv::ReadKeyTable(table, 2), 1);
  EXPECT_EQ(table, kv::sim::kKeySlotTemplate);
  auto out = Out();
  ASSERT_EQ(out.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    unsigned address = 2 * 324 + 56 * static_cast<unsigned>(i);
    EXPECT_EQ(ByteOf(out[i], 3), 0x07);
    EXPECT_EQ(ByteOf(out[i], 4), i < 5 ? 56 : 44);
    EXPECT_EQ(ByteOf(out[i], 5), address & 0xFF);
    EXPECT_EQ(ByteOf(out[i], 6), address >> 8);
  }
}

TEST_F(LinkTest, KeyTableWriteInsideABracketReadsBack) {
  std::array<uint8_t, 324> table;
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(kv::BeginConfig(), 1);
  ASSERT_EQ(kv::WriteKeyTable(table, 1), 1);
  ASSERT_EQ(kv::EndConfig(), 1);
  std::array<uint8_t, 324> back{};
  ASSERT_EQ(kv::ReadKeyTable(back, 1), 1);
  EXPECT_EQ(back, table);
  ASSERT_EQ(kv::ReadKeyTable(back, 0), 1);  // the neighbour is untouched
  EXPECT_EQ(back, kv::sim::kKeySlotTemplate);
}

TEST_F(LinkTest, MacroWriteOfFiftySevenBytesIsTwoReports) {
  std::vector<uint8_t> image(57);
  std::iota(image.begin(), image.end(), 1);
  ASSERT_EQ(kv::BeginConfig(), 1);
  Keyboard()->clearTrace();
  ASSERT_EQ(kv::WriteMacroMemory(image, 57), 1);
  auto out = Out();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(ByteOf(out[0], 4), 56);
  EXPECT_EQ(ByteOf(out[0], 5), 0);
  EXPECT_EQ(ByteOf(out[1], 4), 1);
  EXPECT_EQ(ByteOf(out[1], 5), 56);
  EXPECT_EQ(ByteOf(out[1], 8), 57);
  ASSERT_EQ(kv::EndConfig(), 1);
  std::vector<uint8_t> back(57);
  ASSERT_EQ(kv::ReadMacroMemory(back, 57), 1);
  EXPECT_EQ(back, image);
}

TEST_F(LinkTest, RefusedArgumentsSendNothing) {
  std::array<uint8_t, 324> table{};
  std::vector<uint8_t> small(10);
  const uint8_t one[1] = {1};
  struct Case {
    const char* what;
    int result;
    int expected;
  };
  const Case cases[] = {
      {"key table read, profile 3", kv::ReadKeyTable(table, 3), kv::kResultBadProfile},
      {"key table write, profile 3", kv::WriteKeyTable(table, 3), kv::kResultBadProfile},
      {"key table read, profile -1", kv::ReadKeyTable(table, -1), kv::kResultBadProfile},
      {"macro read of 0", kv::ReadMacroMemory(small, 0), kv::kResultSuccess},
      {"macro write of 0", kv::WriteMacroMemory(small, 0), kv::kResultSuccess},
      {"macro read beyond the buffer", kv::ReadMacroMemory(small, 11), kv::kResultBadArgument},
      {"macro write of a negative count", kv::WriteMacroMemory(small, -1), kv::kResultBadArgument},
      {"settings write longer than the source", kv::WriteSettings(one, 2, 0), kv::kResultBadArgument},
      {"settings write over 56 bytes", kv::WriteSettings(table, 57, 0), kv::kResultBadArgument},
      {"settings write, negative length", kv::WriteSettings(one, -1, 0), kv::kResultBadArgument},
      {"colour read, high byte 256", kv::ReadColours(table, 56, 0, 256), kv::kResultBadArgument},
      {"active profile 3", kv::SetActiveProfile(3), kv::kResultBadProfile},
      {"active profile -1", kv::SetActiveProfile(-1), kv::kResultBadProfile},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
  EXPECT_TRUE(Out().empty());
}

TEST_F(LinkTest, SettingsAndColourReadsNeverWritePastTheDestination) {
  // Exactly 42 bytes: the keyboard answers 56, the rest must not be written
  // (AddressSanitizer would catch it).
  std::vector<uint8_t> record(42);
  ASSERT_EQ(kv::ReadSettings(record, 56, 42), 1);
  EXPECT_EQ(record, Keyboard()->read(kv::sim::Region::Settings, 42, 42));
  std::vector<uint8_t> colours(54);
  ASSERT_EQ(kv::ReadColours(colours, 54, 0, 1), 1);
  EXPECT_EQ(colours, Keyboard()->read(kv::sim::Region::Colours, 256, 54));
  std::array<uint8_t, 56> full{};
  ASSERT_EQ(kv::ReadSettings(full, 56, 84), 1);  // the last record; bytes past it read as 0
  EXPECT_TRUE(std::all_of(full.begin() + 42, full.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(LinkTest, WriteColoursAddressesTheSelectedProfile) {
  const uint8_t bytes[] = {0xAB, 0xCD};
  kv::SetSelectedProfile(2);
  ASSERT_EQ(kv::BeginConfig(), 1);
  ASSERT_EQ(kv::WriteColours(bytes, 2, 5 * 18 + 3), 1);
  ASSERT_EQ(kv::EndConfig(), 1);
  EXPECT_EQ(Keyboard()->read(kv::sim::Region::Colours, 2 * 256 + 93, 2), (std::vector<uint8_t>{0xAB, 0xCD}));
  EXPECT_EQ(ByteOf(Out()[1], 6), 2);
  kv::SetSelectedProfile(3);
  EXPECT_EQ(kv::WriteColours(bytes, 2, 0), kv::kResultBadProfile);
}

TEST_F(LinkTest, WritesOutsideABracketAreReportedNotHidden) {
  const uint8_t b[] = {1};
  std::array<uint8_t, 324> table{};
  EXPECT_EQ(kv::WriteSettings(b, 1, 0), kv::kResultStatusNotConfiguring);
  EXPECT_EQ(kv::WriteKeyTable(table, 0), kv::kResultStatusNotConfiguring);
  EXPECT_EQ(kv::WriteMacroMemory(b, 1), kv::kResultStatusNotConfiguring);
  EXPECT_EQ(kv::WriteColours(b, 1, 0), kv::kResultStatusNotConfiguring);
  // Each was sent three times, then given up; the key table stopped at its first chunk.
  EXPECT_EQ(Out().size(), 12u);
}

// ---- retry paths -------------------------------------------------------------

TEST_F(LinkTest, LostResponseIsSentAgain) {
  SimFaults f;
  f.dropResponses = 1;
  Fault(f);
  std::array<uint8_t, 48> info{};
  ASSERT_EQ(kv::ReadInfoBlock(info), 1);
  EXPECT_EQ(info[11], kv::sim::kDefaultMacroUnits);
  auto out = Out();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], out[1]);
}

TEST_F(LinkTest, ErrorStatusThenSuccess) {
  for (uint8_t status : {uint8_t{0xFF}, uint8_t{0xFE}}) {
    Keyboard()->clearTrace();
    SimFaults f;
    f.errorStatus = 2;
    f.statusByte = status;
    Fault(f);
    std::array<uint8_t, 48> info{};
    EXPECT_EQ(kv::ReadInfoBlock(info), 1) << int(status);
    EXPECT_EQ(Out().size(), 3u);
    EXPECT_EQ(info[11], kv::sim::kDefaultMacroUnits);
  }
}

TEST_F(LinkTest, PersistentErrorStatusGivesItsCodeAfterThreeAttempts) {
  const std::pair<uint8_t, int> cases[] = {{0xFF, kv::kResultStatusError},
                                           {0xFE, kv::kResultStatusNotConfiguring}};
  for (auto [status, code] : cases) {
    Keyboard()->clearTrace();
    SimFaults f;
    f.errorStatus = 5;
    f.statusByte = status;
    Fault(f);
    std::array<uint8_t, 48> info{};
    info.fill(0x77);
    EXPECT_EQ(kv::ReadInfoBlock(info), code);
    EXPECT_EQ(Out().size(), 3u);
    EXPECT_EQ(info[0], 0x77);  // nothing copied from an error answer
  }
}

TEST_F(LinkTest, WrongEchoIsIgnoredAndTheReportSentAgain) {
  SimFaults f;
  f.wrongEcho = 1;
  Fault(f);
  std::array<uint8_t, 48> info{};
  EXPECT_EQ(kv::ReadInfoBlock(info), 1);
  EXPECT_EQ(Out().size(), 2u);
  f.wrongEcho = 3;
  Fault(f);
  EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultNoResponse);
}

TEST_F(LinkTest, NoAnswerAtAllGivesUpAfterThreeAttempts) {
  SimFaults f;
  f.dropResponses = 3;
  Fault(f);
  std::array<uint8_t, 48> info{};
  EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultNoResponse);
  EXPECT_EQ(Out().size(), 3u);
}

TEST_F(LinkTest, ShortResponseIsNoAnswer) {
  SimFaults f;
  f.shortResponses = 1;
  f.shortLength = 20;  // the payload would be half stale
  Fault(f);
  std::array<uint8_t, 48> info{};
  ASSERT_EQ(kv::ReadInfoBlock(info), 1);
  EXPECT_EQ(Out().size(), 2u);
  EXPECT_EQ(info[11], kv::sim::kDefaultMacroUnits);
  f.shortResponses = 3;
  f.shortLength = 4;  // not even a status byte
  Fault(f);
  EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultNoResponse);
}

TEST_F(LinkTest, LateResponsesAfterTheGiveUpAreDropped) {
  SimFaults f;
  f.lateResponses = 3;
  f.lateDelay = std::chrono::milliseconds(500);  // after three 100 ms waits
  Fault(f);
  std::array<uint8_t, 48> info{};
  EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultNoResponse);
  // Let every late answer arrive while nothing waits.
  Keyboard()->drain();
  EXPECT_EQ(Lines("IN").size(), 3u);
  EXPECT_FALSE(kv::DeviceLinkState().handOff.waiting());
  // The next transactions get their own answers, not a stale one.
  std::array<uint8_t, 324> table{};
  ASSERT_EQ(kv::ReadKeyTable(table, 0), 1);
  EXPECT_EQ(table, kv::sim::kKeySlotTemplate);
  ASSERT_EQ(kv::ReadInfoBlock(info), 1);
  EXPECT_EQ(info[11], kv::sim::kDefaultMacroUnits);
}

TEST_F(LinkTest, LateResponseWithinTheAttemptsIsTaken) {
  SimFaults f;
  f.lateResponses = 1;
  f.lateDelay = std::chrono::milliseconds(150);  // during the second wait
  Fault(f);
  std::array<uint8_t, 48> info{};
  EXPECT_EQ(kv::ReadInfoBlock(info), 1);
  EXPECT_EQ(info[11], kv::sim::kDefaultMacroUnits);
}

// ---- presence ------------------------------------------------------------------

TEST_F(LinkTest, NoKeyboardMeansZeroWithoutTraffic) {
  Keyboard()->unplug();
  Keyboard()->drain();
  Keyboard()->clearTrace();
  std::array<uint8_t, 48> info{};
  std::array<uint8_t, 324> table{};
  EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultNoDevice);
  EXPECT_EQ(kv::ReadKeyTable(table, 0), kv::kResultNoDevice);
  EXPECT_EQ(kv::BeginConfig(), kv::kResultNoDevice);
  EXPECT_EQ(kv::GetActiveProfile(), -1);
  EXPECT_TRUE(Out().empty());
}

TEST_F(LinkTest, UnplugMidTransferReturnsPromptlyWithAnError) {
  // Default one-second waits: an answer must not be waited for.
  Start(kvtest::ZeroRoundTrip(), kv::TransactionTiming{});
  SimFaults f;
  f.unplugAfter = 3;  // the third chunk is lost as the keyboard goes
  Fault(f);
  std::array<uint8_t, 324> table{};
  auto t0 = Clock::now();
  EXPECT_EQ(kv::ReadKeyTable(table, 0), kv::kResultNoDevice);
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(900));
  EXPECT_EQ(Out().size(), 3u);
  EXPECT_EQ(kv::ReadKeyTable(table, 0), kv::kResultNoDevice);
  EXPECT_EQ(Out().size(), 3u);
  // Back again, it answers as before (once the arrival has been announced,
  // which a real transport does from its own thread).
  Keyboard()->plug();
  Keyboard()->drain();
  ASSERT_EQ(kv::ReadKeyTable(table, 0), 1);
  EXPECT_EQ(table, kv::sim::kKeySlotTemplate);
}

// ---- active profile --------------------------------------------------------

TEST_F(LinkTest, ActiveProfileIsCachedUntilReset) {
  EXPECT_EQ(kv::GetActiveProfile(), 0);
  EXPECT_EQ(kv::GetActiveProfile(), 0);
  EXPECT_EQ(Out().size(), 1u);
  Keyboard()->sendConsumerEvent(0x0402, 2);  // changed on the keyboard
  Keyboard()->drain();
  EXPECT_EQ(kv::GetActiveProfile(), 0);
  kv::ResetActiveProfileCache();
  EXPECT_EQ(kv::GetActiveProfile(), 2);
}

TEST_F(LinkTest, SetActiveProfileWritesBackTheOtherBytes) {
  const uint8_t marks[] = {0x11, 0x22};
  ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Info, 3, marks));
  auto before = Keyboard()->read(kv::sim::Region::Info, 0, 48);
  ASSERT_EQ(kv::SetActiveProfile(1), 1);
  auto after = Keyboard()->read(kv::sim::Region::Info, 0, 48);
  before[10] = 1;
  EXPECT_EQ(after, before);
  Keyboard()->clearTrace();
  EXPECT_EQ(kv::GetActiveProfile(), 1);
  EXPECT_TRUE(Out().empty());  // cached by the write
}

TEST_F(LinkTest, FailedProfileWriteForgetsTheCacheAndFailedReadChangesNothing) {
  EXPECT_EQ(kv::GetActiveProfile(), 0);
  SimFaults f;
  f.after = 1;  // the read passes, the write fails
  f.errorStatus = 3;
  Fault(f);
  EXPECT_EQ(kv::SetActiveProfile(2), kv::kResultStatusError);
  EXPECT_EQ(kv::DeviceLinkState().activeProfile.load(), -1);

  EXPECT_EQ(kv::GetActiveProfile(), 0);
  f = SimFaults{};
  f.errorStatus = 3;
  Fault(f);
  EXPECT_EQ(kv::SetActiveProfile(2), kv::kResultStatusError);
  EXPECT_EQ(kv::DeviceLinkState().activeProfile.load(), 0);
}

TEST_F(LinkTest, OutOfRangeActiveProfileFromTheKeyboardIsNoAnswer) {
  const uint8_t seven[] = {7};
  ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Info, 10, seven));
  EXPECT_EQ(kv::GetActiveProfile(), -1);
  EXPECT_EQ(kv::DeviceLinkState().activeProfile.load(), -1);
}

TEST_F(LinkTest, ResponseLongerThanTheCapacityIsCut) {
  kv::CommandReport r = kv::BuildCommandReport(0x03, 0x30, 0);
  std::array<uint8_t, 16> response{};
  size_t received = 0;
  ASSERT_EQ(kv::CommandTransaction(r, response, &received), 1);
  EXPECT_EQ(received, 16u);
  EXPECT_EQ(response[3], 0x03);
  std::array<uint8_t, 4> tiny{};
  EXPECT_EQ(kv::CommandTransaction(r, tiny, &received), kv::kResultBadArgument);
}

TEST_F(LinkTest, ShortRequestIsPaddedWithZeros) {
  const uint8_t request[] = {0x04, 0x33, 0x00, 0x03, 0x30};
  std::array<uint8_t, 64> response{};
  size_t received = 0;
  ASSERT_EQ(kv::CommandTransaction(request, response, &received), 1);
  EXPECT_EQ(received, 64u);
  EXPECT_EQ(response[7], 0);
  EXPECT_EQ(Out()[0], "04330003300000" + std::string(114, '0'));
}

}  // namespace
